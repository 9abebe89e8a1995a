#pragma once

#include <QString>

// Length in ms of an MPEG audio file (mp3, mp2) that carries no VBR header,
// found by walking every frame. Returns -1 for any other file, including an
// mp3 with a Xing, Info or VBRI header, whose length GStreamer knows exactly.
qint64 mpegAudioLengthMs(const QString& path);

// The same on bytes already in memory.
qint64 mpegAudioLengthMs(const uchar* data, qint64 size);

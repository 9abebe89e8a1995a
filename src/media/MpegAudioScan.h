#pragma once

#include <QString>

#include <optional>

// Length in ms of an MPEG audio file (mp3, mp2) that carries no VBR header,
// found by walking every frame. Returns -1 for any other file, including an
// mp3 with a Xing, Info or VBRI header, whose length GStreamer knows exactly.
qint64 mpegAudioLengthMs(const QString& path);

// The same on bytes already in memory.
qint64 mpegAudioLengthMs(const uchar* data, qint64 size);

// What the decoder puts before and after an mp3's sound: the encoder's delay
// and padding as its LAME tag tells them, with the decoder's own delay.
// GStreamer plays them as part of the stream, so that every moment of the
// sound comes that much later than its time in the file.
struct MpegAudioGap
{
    qint64 leadNs = 0;
    qint64 trailNs = 0;
};
std::optional<MpegAudioGap> mpegAudioGap(const QString& path);

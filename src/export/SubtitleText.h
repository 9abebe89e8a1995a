#pragma once

#include <QByteArray>

class SectionTableModel;

enum class SubtitleFormat
{
    SubRip, // .srt
    WebVtt, // .vtt
};

// The subtitle file of the sections of `table`, UTF-8 without BOM, every line
// ending in CR LF: one cue per section in table order, timed by the raw
// millisecond cells. A section with no text, with an end not after its start
// or with a raw cell that is not a plain decimal number gives no cue.
QByteArray subtitleBytes(const SectionTableModel& table, SubtitleFormat format);

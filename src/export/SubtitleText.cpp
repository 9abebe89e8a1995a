#include "export/SubtitleText.h"

#include "model/SectionTableModel.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace {

enum Column
{
    Start = 0,
    End = 1,
    Text = 4,
};

const QByteArrayView LineBreak("\r\n");
// U+2060 WORD JOINER: zero width, no line break opportunity.
const QByteArrayView WordJoiner("\xE2\x81\xA0");

// A raw cell as milliseconds: decimal digits only, no sign or blanks, since
// a hand-edited project file can hold anything there.
std::optional<qint64> milliseconds(const QString& cell)
{
    const auto digit = [](QChar c) {
        return c >= u'0' && c <= u'9';
    };
    if (cell.isEmpty() || !std::all_of(cell.begin(), cell.end(), digit))
        return std::nullopt;
    bool ok = false;
    const qint64 value = cell.toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

// `value` in decimal, zero-padded to at least `width` digits.
void appendNumber(QByteArray& out, qint64 value, int width)
{
    char digits[20];
    const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    for (auto n = end - digits; n < width; ++n)
        out.append('0');
    out.append(digits, end - digits);
}

// "HH:MM:SS,mmm"; the hours take as many digits as they need.
void appendTime(QByteArray& out, qint64 ms, char fractionSeparator)
{
    appendNumber(out, ms / 3600000, 2);
    out.append(':');
    appendNumber(out, ms / 60000 % 60, 2);
    out.append(':');
    appendNumber(out, ms / 1000 % 60, 2);
    out.append(fractionSeparator);
    appendNumber(out, ms % 1000, 3);
}

// Whether the text after a "<" reads as a tag: a letter or "/", maybe after
// blanks, as in "<i>", "</b>" or "< u>".
bool opensTag(QByteArrayView text, qsizetype i)
{
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i == text.size())
        return false;
    const char c = text[i];
    return c == '/' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// SubRip has no escapes: readers show "&", ">" and a lone "<" as they stand,
// but take "<i>", "<b>", "<u>" as formatting and drop any other "<word ...>"
// up to the next ">". A word joiner after such a "<" keeps all of it text
// while it looks as typed.
void appendSubRipText(QByteArray& out, QByteArrayView text)
{
    const qsizetype lastClose = text.lastIndexOf('>');
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        out.append(c);
        if (c == '<' && i < lastClose && opensTag(text, i + 1))
            out.append(WordJoiner);
    }
}

// WebVTT cue text is markup: "<" and "&" would start a tag or a character
// reference, and ">" also keeps "-->" out of the cue.
void appendWebVttText(QByteArray& out, QByteArrayView text)
{
    for (const char c : text) {
        if (c == '&')
            out.append("&amp;");
        else if (c == '<')
            out.append("&lt;");
        else if (c == '>')
            out.append("&gt;");
        else
            out.append(c);
    }
}

} // namespace

QByteArray subtitleBytes(const SectionTableModel& table, SubtitleFormat format)
{
    const bool subRip = format == SubtitleFormat::SubRip;
    const int rows = table.rowCount();

    // Roughly one allocation for the whole file: the text and some 50 bytes
    // of number and times per cue.
    qsizetype size = 16;
    for (int row = 0; row < rows; ++row)
        size += table.cell(row, Text).size() + 56;
    QByteArray out;
    out.reserve(size);

    if (!subRip)
        out.append("WEBVTT").append(LineBreak).append(LineBreak);
    qint64 cues = 0;
    for (int row = 0; row < rows; ++row) {
        const std::optional<qint64> start = milliseconds(table.cell(row, Start));
        const std::optional<qint64> end = milliseconds(table.cell(row, End));
        if (!start || !end || *end <= *start)
            continue;
        const QByteArray text = table.cell(row, Text).trimmed().toUtf8();
        if (text.isEmpty())
            continue;

        if (subRip) {
            appendNumber(out, ++cues, 1);
            out.append(LineBreak);
        }
        const char fractionSeparator = subRip ? ',' : '.';
        appendTime(out, *start, fractionSeparator);
        out.append(" --> ");
        appendTime(out, *end, fractionSeparator);
        out.append(LineBreak);
        if (subRip)
            appendSubRipText(out, text);
        else
            appendWebVttText(out, text);
        out.append(LineBreak).append(LineBreak);
    }
    return out;
}

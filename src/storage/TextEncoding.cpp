#include "storage/TextEncoding.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <array>
#include <numeric>
#include <optional>

namespace {

// Windows-1252 is Latin-1 except for bytes 0x80 to 0x9F, which hold these
// characters. The five bytes the code page leaves undefined map to the C1
// controls of the same value, as Windows itself maps them, so every byte
// reads as some character and writes back unchanged.
constexpr std::array<char16_t, 32> HighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Most characters are ASCII; the rest look the code page up out of line.
std::optional<char> highToWindows1252(char16_t c)
{
    if (c >= 0xA0 && c <= 0xFF)
        return char(c);
    const auto* found = std::find(HighControls.begin(), HighControls.end(), c);
    if (found == HighControls.end())
        return std::nullopt;
    return char(0x80 + (found - HighControls.begin()));
}

inline std::optional<char> toWindows1252(char16_t c)
{
    return c < 0x80 ? std::optional<char>(char(c)) : highToWindows1252(c);
}

char16_t fromWindows1252(unsigned char byte)
{
    return byte >= 0x80 && byte < 0xA0 ? HighControls[byte - 0x80] : char16_t(byte);
}

bool isAscii(QByteArrayView bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char b) { return (b & 0x80) == 0; });
}

// Bytes that are UTF-8 and not plain ASCII, which only UTF-8 text holds.
bool isUtf8Text(QByteArrayView bytes)
{
    return !isAscii(bytes) && bytes.isValidUtf8();
}

// Hands the bytes to `part` in pieces, each line and each line end (CR, LF
// or CR LF) apart. Line ends are ASCII in both code pages and never inside a
// UTF-8 character, so the lines are the same in either code page.
template <typename Part> void forEachLine(QByteArrayView bytes, Part part)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        part(bytes.sliced(start, i - start));
        start = i + (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n' ? 2 : 1);
        part(bytes.sliced(i, start - i));
        i = start - 1;
    }
    part(bytes.sliced(start));
}

// Whether some line of the bytes would read as UTF-8.
bool hasUtf8Line(QByteArrayView bytes)
{
    bool found = false;
    if (!isAscii(bytes))
        forEachLine(bytes, [&found](QByteArrayView line) { found = found || isUtf8Text(line); });
    return found;
}

QChar* appendWindows1252(QChar* out, QByteArrayView bytes)
{
    return std::transform(bytes.begin(), bytes.end(), out, [](char b) {
        return QChar(fromWindows1252(static_cast<unsigned char>(b)));
    });
}

} // namespace

QByteArray encodeText(QStringView text)
{
    return encodeText([text](const TextSink& sink) { sink(text); });
}

QByteArray encodeText(const TextPieces& pieces)
{
    qsizetype length = 0;
    bool fits = true;
    pieces([&](QStringView piece) {
        length += piece.size();
        fits = fits && std::all_of(piece.begin(), piece.end(),
                                   [](QChar c) { return toWindows1252(c.unicode()).has_value(); });
    });
    if (fits) {
        QByteArray bytes(length, Qt::Uninitialized);
        char* out = bytes.data();
        pieces([&out](QStringView piece) {
            for (const QChar c : piece)
                *out++ = *toWindows1252(c.unicode());
        });
        // A few Windows-1252 texts ("Ã©") make lines that are valid UTF-8 and
        // would read back as other characters; those go out as UTF-8 too.
        if (!hasUtf8Line(bytes))
            return bytes;
    }
    // UTF-8 takes one byte for ASCII, two up to U+07FF and at most three for
    // any other UTF-16 unit. Sizing by these rather than by three bytes for
    // every unit keeps a mostly Latin project's buffer near its real size,
    // small enough for the allocator to reuse at the next auto-save.
    qsizetype bound = 0;
    pieces([&bound](QStringView piece) {
        bound = std::accumulate(piece.begin(), piece.end(), bound, [](qsizetype sum, QChar c) {
            return sum + (c.unicode() < 0x80 ? 1 : c.unicode() < 0x800 ? 2 : 3);
        });
    });
    QByteArray bytes(bound, Qt::Uninitialized);
    QStringEncoder encoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    char* out = bytes.data();
    pieces([&](QStringView piece) { out = encoder.appendToBuffer(out, piece); });
    bytes.truncate(out - bytes.data());
    return bytes;
}

QString decodeText(const QByteArray& bytes)
{
    // A byte-order mark is kept as a character: the files carry none.
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom |
                                                    QStringConverter::Flag::Stateless);
    // Either code page makes at most one character of a byte.
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    // Most files are in one code page throughout and are read in one go (a
    // plain ASCII file reads the same in both). A file edited in both, or with
    // a stray byte, is read line by line, so that a line in the other code
    // page garbles only itself.
    if (bytes.isValidUtf8())
        out = utf8.appendToBuffer(out, bytes);
    else
        forEachLine(bytes, [&](QByteArrayView part) {
            out = isUtf8Text(part) ? utf8.appendToBuffer(out, part) : appendWindows1252(out, part);
        });
    text.truncate(out - text.data());
    return text;
}

#include "project/TextEncoding.h"

#include <QStringDecoder>

#include <algorithm>
#include <array>
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

std::optional<char> toWindows1252(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return char(c);
    const auto* found = std::find(HighControls.begin(), HighControls.end(), c);
    if (found == HighControls.end())
        return std::nullopt;
    return char(0x80 + (found - HighControls.begin()));
}

char16_t fromWindows1252(unsigned char byte)
{
    return byte >= 0x80 && byte < 0xA0 ? HighControls[byte - 0x80] : char16_t(byte);
}

bool isAscii(const QByteArray& bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char b) { return (b & 0x80) == 0; });
}

std::optional<QString> decodeUtf8(const QByteArray& bytes)
{
    // A byte-order mark is kept as a character: the files carry none.
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace

QByteArray encodeText(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar c : text) {
        const std::optional<char> byte = toWindows1252(c.unicode());
        if (!byte)
            return text.toUtf8();
        bytes.append(*byte);
    }
    // A few Windows-1252 texts ("Ã©") make bytes that are valid UTF-8 and
    // would read back as other characters; those go out as UTF-8 as well.
    if (!isAscii(bytes) && decodeUtf8(bytes))
        return text.toUtf8();
    return bytes;
}

QString decodeText(const QByteArray& bytes)
{
    if (!isAscii(bytes)) {
        if (std::optional<QString> text = decodeUtf8(bytes))
            return *text;
    }
    QString text(bytes.size(), Qt::Uninitialized);
    std::transform(bytes.begin(), bytes.end(), text.begin(),
                   [](char b) { return QChar(fromWindows1252(static_cast<unsigned char>(b))); });
    return text;
}

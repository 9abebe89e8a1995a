#pragma once

#include <QString>

#include <optional>

// "hh:mm:ss" for a position in milliseconds: each field two digits, the time
// truncated to whole seconds, hours shown by their last two digits only.
QString FormatTime(qint32 position);

// The raw position text kept in table columns 0 and 1 and in the hidden
// section labels: plain decimal digits, as in "12500".
QString RawPositionText(qint32 position);

// A raw position text read back; nothing when the text is not a 32-bit
// number, as a damaged project file may hold.
std::optional<qint32> ReadRawPosition(const QString& text);

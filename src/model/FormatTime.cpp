#include "model/FormatTime.h"

#include <cmath>

namespace {

QString lastTwoDigits(qint64 field)
{
    return (QStringLiteral("00") + QString::number(field)).right(2);
}

} // namespace

QString FormatTime(qint32 position)
{
    // Each field is truncated toward zero, so a negative position gives
    // negative fields; the hour count is a 16-bit number, as stored files and
    // exports have always shown it.
    const qint64 hours = static_cast<qint16>(std::trunc(position / 3600000.0));
    const qint64 minutes = (position - hours * 3600000) / 60000;
    const qint64 seconds = (position - hours * 3600000 - minutes * 60000) / 1000;
    return lastTwoDigits(hours) + u':' + lastTwoDigits(minutes) + u':' + lastTwoDigits(seconds);
}

QString RawPositionText(qint32 position)
{
    return QString::number(position);
}

std::optional<qint32> ReadRawPosition(const QString& text)
{
    bool ok = false;
    const qint32 position = text.toInt(&ok);
    return ok ? std::optional<qint32>(position) : std::nullopt;
}

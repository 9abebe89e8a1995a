#include "pedal/InputDevices.h"

#include <QCollator>
#include <QDir>
#include <QFile>

#include <algorithm>

namespace {

QString readLine(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readLine()).trimmed();
}

quint16 readHex(const QString& path)
{
    return quint16(readLine(path).toUInt(nullptr, 16));
}

// "05f3:00ff", as lsusb shows it.
QString usbId(quint16 vendor, quint16 product)
{
    return QStringLiteral("%1:%2")
        .arg(vendor, 4, 16, QLatin1Char('0'))
        .arg(product, 4, 16, QLatin1Char('0'));
}

} // namespace

QString InputDevice::id() const
{
    return usbId(vendor, product) + QLatin1Char(' ') + name;
}

QString InputDevice::title() const
{
    return QStringLiteral("%1 (%2)").arg(name.isEmpty() ? QStringLiteral("Unnamed device")
                                                        : name.simplified(),
                                         usbId(vendor, product));
}

QList<InputDevice> listKeyDevices(const QString& devFolder, const QString& sysFolder)
{
    QStringList nodes =
        QDir(devFolder).entryList({QStringLiteral("event*")}, QDir::System | QDir::Files);
    QCollator numeric;
    numeric.setNumericMode(true);
    std::sort(nodes.begin(), nodes.end(), numeric);
    QList<InputDevice> devices;
    for (const QString& node : nodes) {
        const QString described = sysFolder + QLatin1Char('/') + node + QStringLiteral("/device/");
        // A bitmap of the keys it has, in hexadecimal words; "0" for none.
        const QString keys = readLine(described + QStringLiteral("capabilities/key"));
        if (keys.isEmpty() || keys == QLatin1String("0"))
            continue;
        devices.append({devFolder + QLatin1Char('/') + node,
                        readLine(described + QStringLiteral("name")),
                        readHex(described + QStringLiteral("id/vendor")),
                        readHex(described + QStringLiteral("id/product"))});
    }
    return devices;
}

#include "pedal/KnownPedals.h"

#include <algorithm>

namespace {

struct KnownPedal
{
    quint16 vendor;
    quint16 product;
    const char* name;
};

constexpr KnownPedal KnownPedals[] = {
    {0x05f3, 0x00ff, "VEC / Infinity USB foot pedal (IN-USB-1, 2, 3)"},
    {0x0c45, 0x7403, "PCsensor foot switch"},
    {0x0c45, 0x7404, "PCsensor foot switch, three pedals"},
    {0x413d, 0x2107, "PCsensor foot switch"},
    {0x1a86, 0xe026, "PCsensor foot switch"},
    {0x1a86, 0xe02d, "PCsensor foot switch"},
    {0x0426, 0x3011, "Scythe USB foot switch II"},
};

} // namespace

bool isKnownPedal(quint16 vendor, quint16 product)
{
    return std::any_of(std::begin(KnownPedals), std::end(KnownPedals),
                       [&](const KnownPedal& pedal) {
                           return pedal.vendor == vendor && pedal.product == product;
                       });
}

QString knownPedalsUdevRules()
{
    QString rules =
        QStringLiteral("# Kelvane reads these foot pedals' events while the user transcribes; the\n"
                       "# user at the seat may read them (\"uaccess\" must be set before\n"
                       "# 73-seat-late.rules).\n");
    for (const KnownPedal& pedal : KnownPedals)
        rules +=
            QStringLiteral("\n# %1\nSUBSYSTEM==\"input\", KERNEL==\"event*\", "
                           "ATTRS{idVendor}==\"%2\", ATTRS{idProduct}==\"%3\", TAG+=\"uaccess\"\n")
                .arg(QLatin1String(pedal.name))
                .arg(pedal.vendor, 4, 16, QLatin1Char('0'))
                .arg(pedal.product, 4, 16, QLatin1Char('0'));
    return rules;
}

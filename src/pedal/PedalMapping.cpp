#include "pedal/PedalMapping.h"
#include "pedal/InputDevices.h"
#include "pedal/KnownPedals.h"

#include <QSettings>

#include <linux/input.h>

namespace {

// The user's settings file, the same wherever it is asked for.
QSettings userSettings()
{
    return QSettings(QStringLiteral("Kelvane"), QStringLiteral("Kelvane"));
}

QString groupOf(const InputDevice& device)
{
    // Slashes would open groups within groups.
    return QStringLiteral("FootPedal/") +
           QString(device.id()).replace(QLatin1Char('/'), QLatin1Char('_'));
}

} // namespace

PedalMapping::PedalMapping() : jumpBack(BTN_0), playPause(BTN_1), replay(BTN_2) {}

PedalAction PedalMapping::action(int code) const
{
    if (code == jumpBack)
        return PedalAction::JumpBack;
    if (code == playPause)
        return PedalAction::PlayPause;
    if (code == replay)
        return PedalAction::Replay;
    return PedalAction::None;
}

int PedalMapping::key(PedalAction action) const
{
    switch (action) {
    case PedalAction::JumpBack:
        return jumpBack;
    case PedalAction::PlayPause:
        return playPause;
    case PedalAction::Replay:
        return replay;
    case PedalAction::None:
        break;
    }
    return -1;
}

// One key stands for one action: a key learned for another action leaves
// the one it stood for.
void PedalMapping::setKey(PedalAction action, int code)
{
    for (int* held : {&jumpBack, &playPause, &replay})
        if (*held == code)
            *held = -1;
    switch (action) {
    case PedalAction::JumpBack:
        jumpBack = code;
        break;
    case PedalAction::PlayPause:
        playPause = code;
        break;
    case PedalAction::Replay:
        replay = code;
        break;
    case PedalAction::None:
        break;
    }
}

PedalMapping PedalMapping::load(const InputDevice& device)
{
    QSettings settings = userSettings();
    settings.beginGroup(groupOf(device));
    PedalMapping mapping;
    mapping.jumpBack = settings.value(QStringLiteral("JumpBack"), mapping.jumpBack).toInt();
    mapping.playPause = settings.value(QStringLiteral("PlayPause"), mapping.playPause).toInt();
    mapping.replay = settings.value(QStringLiteral("Replay"), mapping.replay).toInt();
    mapping.holdToPlay = settings.value(QStringLiteral("HoldToPlay"), false).toBool();
    mapping.use =
        settings.value(QStringLiteral("Use"), isKnownPedal(device.vendor, device.product)).toBool();
    return mapping;
}

void PedalMapping::save(const InputDevice& device) const
{
    QSettings settings = userSettings();
    settings.beginGroup(groupOf(device));
    settings.setValue(QStringLiteral("JumpBack"), jumpBack);
    settings.setValue(QStringLiteral("PlayPause"), playPause);
    settings.setValue(QStringLiteral("Replay"), replay);
    settings.setValue(QStringLiteral("HoldToPlay"), holdToPlay);
    settings.setValue(QStringLiteral("Use"), use);
}

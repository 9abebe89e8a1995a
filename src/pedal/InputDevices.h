#pragma once

#include <QList>
#include <QString>

// An event device of the kernel's input layer (a keyboard, a mouse, a foot
// pedal), as the system describes it to everyone, whether or not this user
// may read its events.
struct InputDevice
{
    QString node; // the event device, such as /dev/input/event5
    QString name; // the name it gives itself
    quint16 vendor = 0;
    quint16 product = 0;

    // Stays the same when the device is plugged in again, unlike its node:
    // its settings are kept under it.
    QString id() const;
    // "VEC USB Footpedal (05f3:00ff)"
    QString title() const;
    bool operator==(const InputDevice&) const = default;
};

// The event devices in `devFolder` that have keys or buttons, as described in
// `sysFolder` (the kernel's /sys/class/input), in the order of their nodes.
QList<InputDevice> listKeyDevices(const QString& devFolder, const QString& sysFolder);

#pragma once

#include "pedal/InputDevices.h"
#include "pedal/InputEvents.h"
#include "pedal/PedalMapping.h"

#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>

class PedalReader;

// The foot pedals plugged in: finds the event devices to read (the known
// pedals and the devices the user picked), reads them whichever window has
// the focus, follows devices that come and go, and turns their pedals into
// the window's keys by each device's mapping.
class FootPedals final : public QObject
{
    Q_OBJECT

public:
    // What a pedal press or release asks of the window.
    enum class Command
    {
        JumpBack,
        PlayPause, // F11
        Play,      // F11 where it starts the sound (hold to play)
        Pause,     // F11 where it stops the sound (hold to play)
        Replay,    // F12
    };

    static constexpr const char* DeviceFolder = "/dev/input";
    static constexpr const char* SystemFolder = "/sys/class/input";

    explicit FootPedals(QObject* parent = nullptr);
    ~FootPedals() override;

    // Watches the event devices in `devFolder`, as described in `sysFolder`.
    void watch(const QString& devFolder = QLatin1String(DeviceFolder),
               const QString& sysFolder = QLatin1String(SystemFolder));
    // Every device with keys, read or not.
    QList<InputDevice> devices() const { return devices_; }
    bool isReading(const InputDevice& device) const;
    // Devices to read that this user may not read.
    QList<InputDevice> notAllowed() const { return notAllowed_; }
    // Why the devices may not be read and how to allow them; empty for none.
    QString notAllowedText() const;
    // The settings have changed: devices are read or left and pedals mean
    // what they now say.
    void reload();
    // The mapping the user is choosing, in use at once and saved by the
    // dialog if the user keeps it; reload() goes back to the saved one.
    void preview(const InputDevice& device, const PedalMapping& mapping);
    PedalMapping mapping(const InputDevice& device) const { return mappings_.value(device.id()); }
    // While the pedal dialog learns pedals, presses only go out as key changes.
    void setLearning(bool learning) { learning_ = learning; }

signals:
    void commandGiven(Command command);
    // Every key change of a device read, for the dialog to learn from.
    void keyChanged(const InputDevice& device, KeyChange change);
    void devicesChanged();

private:
    void rescan();
    void open(const InputDevice& device);
    void onKeyChanged(const PedalReader& reader, KeyChange change);

    QString devFolder_;
    QString sysFolder_;
    QFileSystemWatcher watcher_;
    // A device appears before the system has given the user access to it.
    QTimer settle_;
    QList<InputDevice> devices_;
    QList<InputDevice> notAllowed_;
    QHash<QString, PedalReader*> readers_;  // by node
    QHash<QString, PedalMapping> mappings_; // by device id
    // The devices whose hold-to-play pedal is down, by node.
    QSet<QString> holdingToPlay_;
    bool learning_ = false;
};

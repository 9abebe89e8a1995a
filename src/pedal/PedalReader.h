#pragma once

#include "pedal/InputDevices.h"
#include "pedal/InputEvents.h"

#include <QObject>
#include <QSocketNotifier>

// Reads one opened event device as its events come, on the thread's event
// loop. The device is shared: other programs go on receiving its events.
class PedalReader final : public QObject
{
    Q_OBJECT

public:
    // Takes over `fd`, opened for reading and not blocking.
    PedalReader(const InputDevice& device, int fd, QObject* parent = nullptr);
    ~PedalReader() override;

    const InputDevice& device() const { return device_; }

signals:
    void keyChanged(KeyChange change);
    // The device is gone (unplugged): nothing more comes from it.
    void vanished();

private:
    void readAvailable();

    InputDevice device_;
    int fd_;
    QSocketNotifier notifier_;
    InputEventStream stream_;
};

#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <initializer_list>
#include <utility>

#include <sys/types.h>

// A stand-in for /dev/input and /sys/class/input: each event device is a
// pipe (a FIFO) fed the kernel's own event records, and described as the
// kernel describes its devices.
class InputFolders
{
public:
    QString devFolder() const { return dev_.path(); }
    QString sysFolder() const { return sys_.path(); }
    QString node(int n) const;

    // Adds eventN with keys; returns the end the test writes to, -1 if this
    // user may not open it, -2 if it could not be made.
    int plug(int n, quint16 vendor, quint16 product, const QString& name, mode_t mode = 0600);
    // The node goes first, as when a device is unplugged, then its writer.
    void unplug(int n, int fd);

    // Each change (key code, value: 1 press, 0 release, 2 repeat) as a device
    // sends it, the key's record and the report's end; send() writes them.
    static QByteArray records(std::initializer_list<std::pair<int, int>> changes);
    static bool send(int fd, std::initializer_list<std::pair<int, int>> changes);

private:
    QTemporaryDir dev_, sys_;
};

#include "pedal/PedalReader.h"

#include <QPointer>

#include <cerrno>
#include <unistd.h>

PedalReader::PedalReader(const InputDevice& device, int fd, QObject* parent)
    : QObject(parent), device_(device), fd_(fd), notifier_(fd, QSocketNotifier::Read)
{
    connect(&notifier_, &QSocketNotifier::activated, this, &PedalReader::readAvailable);
}

PedalReader::~PedalReader()
{
    notifier_.setEnabled(false);
    ::close(fd_);
}

void PedalReader::readAvailable()
{
    char buffer[1024];
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got > 0) {
            // What a key does may end this reader (a dialog's own event loop
            // sees the device go).
            const QPointer<PedalReader> alive(this);
            for (const KeyChange& change : stream_.feed(buffer, got)) {
                emit keyChanged(change);
                // cppcheck-suppress knownConditionTrueFalse ; a handler clears the pointer
                if (!alive)
                    return;
            }
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno == EAGAIN)
            return;
        // The end of the stream, or ENODEV: the device was unplugged.
        notifier_.setEnabled(false);
        emit vanished();
        return;
    }
}

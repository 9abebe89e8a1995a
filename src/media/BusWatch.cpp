#include "media/BusWatch.h"

#include "media/GstSupport.h"

#include <QPointer>
#include <QSocketNotifier>

BusWatch::BusWatch(GstBus* bus, Handler handler, QObject* parent)
    : QObject(parent), bus_(bus), handler_(std::move(handler))
{
    GPollFD pollFd;
    gst_bus_get_pollfd(bus_, &pollFd);
    auto* notifier = new QSocketNotifier(pollFd.fd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &BusWatch::dispatchPending);
}

void BusWatch::dispatchPending()
{
    const QPointer<BusWatch> alive(this);
    // cppcheck-suppress knownConditionTrueFalse ; a handler clears the pointer
    while (alive) {
        GstMessagePtr message(gst_bus_pop(bus_));
        if (!message)
            break;
        handler_(message.get());
    }
}

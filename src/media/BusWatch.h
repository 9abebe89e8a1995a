#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;
typedef struct _GstBus GstBus;
typedef struct _GstMessage GstMessage;

// Hands each message of a pipeline's bus to a handler on this object's
// thread, woken by the bus's poll descriptor: messages arrive whichever
// event loop Qt runs, with no GLib main loop.
class BusWatch : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<void(GstMessage*)>;

    // `bus` must outlive the watch.
    BusWatch(GstBus* bus, Handler handler, QObject* parent);

    // Handles every message already waiting. A handler may destroy the
    // watch, with its owner: reading stops there.
    void dispatchPending();

private:
    GstBus* bus_;
    Handler handler_;
};

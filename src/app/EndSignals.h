#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// Turns the signals that end a program from outside (SIGTERM when the
// session ends or the system shuts down, SIGHUP when its terminal goes,
// SIGINT from Ctrl+C there) into a call on the event loop, where the program
// can keep its work before it ends. A signal handler itself may do almost
// nothing: it only writes a byte into a pipe that the loop watches.
class EndSignals final : public QObject
{
    Q_OBJECT

public:
    explicit EndSignals(std::function<void()> onEnd, QObject* parent = nullptr);
    ~EndSignals() override;

private:
    std::function<void()> onEnd_;
    QSocketNotifier* notifier_ = nullptr;
};

#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QSize>
#include <QStringList>

// A private X server (Xvfb) without a window manager, where tests and benchmarks
// run the real program and drive it with xdotool as a person at the keyboard would.
class XServer
{
public:
    XServer() = default;
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // Starts the server on a free display; false (see error()) when it cannot.
    bool start();
    QString error() const { return error_; }
    QString display() const { return display_; }
    qint64 pid() const { return server_.processId(); }

    // An environment for a program that is to show its windows here.
    QProcessEnvironment environment() const;
    // Runs xdotool with `args` against this server; its standard output.
    QString xdotool(const QStringList& args) const;

    // The visible windows of process `pid`; the one named `name` once it shows, or "".
    QStringList visibleWindows(qint64 pid) const;
    QString waitForWindow(qint64 pid, const QString& name, int ms = 15000) const;
    QString windowName(const QString& id) const;
    QSize windowSize(const QString& id) const;
    // Asks a window to close as a close box does (WM_DELETE_WINDOW).
    bool closeWindow(const QString& id) const;
    // Gives the keysym `name` ("eacute") a key of its own, so that typing it never needs
    // xdotool's passing remap of a spare key, which a busy program may read too late.
    bool mapKeysym(const char* name) const;

private:
    QProcess server_;
    QString display_;
    QString error_;
};

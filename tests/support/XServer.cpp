#include "XServer.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QThread>

#include <X11/Xlib.h>

#include <algorithm>
#include <memory>

namespace {

using Connection = std::unique_ptr<Display, int (*)(Display*)>;

Connection connect(const QString& display)
{
    return {XOpenDisplay(display.toLatin1().constData()), XCloseDisplay};
}

} // namespace

XServer::~XServer()
{
    server_.terminate();
    if (!server_.waitForFinished(5000))
        server_.kill();
    server_.waitForFinished(1000);
}

bool XServer::start()
{
    // Xvfb picks a free display and tells it once it accepts clients, so that tests
    // side by side never share one. Without -noreset it resets when its last client
    // goes (a killed program, an xdotool call) and refuses one connecting meanwhile.
    // The root window is black, so that a window not yet drawn shows as black.
    server_.setStandardErrorFile(QProcess::nullDevice());
    server_.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp",
                           "-noreset", "-br"});
    if (!server_.waitForStarted(5000)) {
        error_ = "Xvfb does not start (is it installed?)";
        return false;
    }
    for (const QDeadlineTimer deadline(15000); !server_.canReadLine();)
        if (deadline.hasExpired() || !server_.waitForReadyRead(int(deadline.remainingTime()))) {
            error_ = "Xvfb did not tell its display";
            return false;
        }
    display_ = ':' + QString::fromLatin1(server_.readLine().trimmed());
    return true;
}

QProcessEnvironment XServer::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display_);
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.remove("WAYLAND_DISPLAY");
    return env;
}

QString XServer::xdotool(const QStringList& args) const
{
    QProcess tool;
    tool.setProcessEnvironment(environment());
    tool.start("xdotool", args);
    if (!tool.waitForFinished(10000))
        return {};
    return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
}

QStringList XServer::visibleWindows(qint64 pid) const
{
    return xdotool({"search", "--onlyvisible", "--pid", QString::number(pid)})
        .split(u'\n', Qt::SkipEmptyParts);
}

QString XServer::waitForWindow(qint64 pid, const QString& name, int ms) const
{
    for (const QDeadlineTimer deadline(ms); !deadline.hasExpired(); QThread::msleep(50))
        for (const QString& id : visibleWindows(pid))
            if (windowName(id) == name)
                return id;
    return {};
}

QString XServer::windowName(const QString& id) const
{
    return xdotool({"getwindowname", id});
}

QSize XServer::windowSize(const QString& id) const
{
    const QRegularExpressionMatch m =
        QRegularExpression("Geometry: (\\d+)x(\\d+)").match(xdotool({"getwindowgeometry", id}));
    return m.hasMatch() ? QSize(m.captured(1).toInt(), m.captured(2).toInt()) : QSize();
}

bool XServer::closeWindow(const QString& id) const
{
    const Connection display = connect(display_);
    if (!display)
        return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = id.toULong();
    event.xclient.message_type = XInternAtom(display.get(), "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display.get(), "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    return XSendEvent(display.get(), event.xclient.window, False, NoEventMask, &event) != 0;
}

bool XServer::mapKeysym(const char* name) const
{
    const KeySym keysym = XStringToKeysym(name);
    const Connection display = connect(display_);
    if (!display || keysym == NoSymbol)
        return false;
    int first = 0, last = 0, perKey = 0;
    XDisplayKeycodes(display.get(), &first, &last);
    KeySym* map = XGetKeyboardMapping(display.get(), KeyCode(first), last - first + 1, &perKey);
    bool mapped = false;
    for (int code = last; code >= first && !mapped; --code) {
        KeySym* syms = map + (code - first) * perKey;
        if (std::all_of(syms, syms + perKey, [](KeySym s) { return s == NoSymbol; })) {
            std::fill(syms, syms + perKey, keysym);
            XChangeKeyboardMapping(display.get(), code, perKey, syms, 1);
            mapped = true;
        }
    }
    XFree(map);
    return mapped;
}

#include "XServer.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QThread>

#include <X11/Xlib.h>

#include <algorithm>

XServer::~XServer()
{
    if (server_.state() != QProcess::NotRunning) {
        server_.terminate();
        if (!server_.waitForFinished(5000))
            server_.kill();
        server_.waitForFinished(1000);
    }
}

bool XServer::start()
{
    // Xvfb picks a free display itself and tells its number once it accepts
    // clients, so that tests running side by side never share one. Without
    // -noreset it resets when its last client goes (a killed program, an
    // xdotool call) and refuses a program that connects meanwhile. The root
    // window is black, so that a window not yet drawn shows as black.
    server_.setStandardErrorFile(QProcess::nullDevice());
    server_.start(QStringLiteral("Xvfb"),
                  {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                   QStringLiteral("0"), QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"),
                   QStringLiteral("tcp"), QStringLiteral("-noreset"), QStringLiteral("-br")});
    if (!server_.waitForStarted(5000)) {
        error_ = QStringLiteral("Xvfb does not start (is it installed?)");
        return false;
    }
    const QDeadlineTimer deadline(15000);
    while (!server_.canReadLine()) {
        if (deadline.hasExpired() || !server_.waitForReadyRead(int(deadline.remainingTime()))) {
            error_ = QStringLiteral("Xvfb did not tell its display");
            return false;
        }
    }
    bool ok = false;
    const int number = server_.readLine().trimmed().toInt(&ok);
    if (!ok) {
        error_ = QStringLiteral("Xvfb told no display number");
        return false;
    }
    display_ = QStringLiteral(":%1").arg(number);
    return true;
}

QProcessEnvironment XServer::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return env;
}

QString XServer::xdotool(const QStringList& args) const
{
    QProcess tool;
    tool.setProcessEnvironment(environment());
    tool.start(QStringLiteral("xdotool"), args);
    if (!tool.waitForFinished(10000))
        return {};
    return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
}

QStringList XServer::visibleWindows(qint64 pid) const
{
    const QString found = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                   QStringLiteral("--pid"), QString::number(pid)});
    return found.split(u'\n', Qt::SkipEmptyParts);
}

QString XServer::waitForWindow(qint64 pid, const QString& name, int ms) const
{
    const QDeadlineTimer deadline(ms);
    do {
        for (const QString& id : visibleWindows(pid))
            if (windowName(id) == name)
                return id;
        QThread::msleep(50);
    } while (!deadline.hasExpired());
    return {};
}

bool XServer::closeWindow(const QString& id) const
{
    Display* display = XOpenDisplay(display_.toLatin1().constData());
    if (!display)
        return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = id.toULong();
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(display, event.xclient.window, False, NoEventMask, &event) != 0;
    XCloseDisplay(display); // flushes the request
    return sent;
}

bool XServer::mapKeysym(const char* name) const
{
    const KeySym keysym = XStringToKeysym(name);
    Display* display = XOpenDisplay(display_.toLatin1().constData());
    if (!display || keysym == NoSymbol) {
        if (display)
            XCloseDisplay(display);
        return false;
    }
    int first = 0, last = 0, perKey = 0;
    XDisplayKeycodes(display, &first, &last);
    KeySym* map = XGetKeyboardMapping(display, KeyCode(first), last - first + 1, &perKey);
    bool mapped = false;
    for (int code = last; code >= first && !mapped; --code) {
        KeySym* syms = map + (code - first) * perKey;
        if (std::all_of(syms, syms + perKey, [](KeySym s) { return s == NoSymbol; })) {
            std::fill(syms, syms + perKey, keysym);
            XChangeKeyboardMapping(display, code, perKey, syms, 1);
            mapped = true;
        }
    }
    XFree(map);
    XCloseDisplay(display);
    return mapped;
}

QString XServer::windowName(const QString& id) const
{
    return xdotool({QStringLiteral("getwindowname"), id});
}

QSize XServer::windowSize(const QString& id) const
{
    // "Geometry: 843x503" in xdotool's report.
    const QString report = xdotool({QStringLiteral("getwindowgeometry"), id});
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("Geometry: (\\d+)x(\\d+)")).match(report);
    return m.hasMatch() ? QSize(m.captured(1).toInt(), m.captured(2).toInt()) : QSize();
}

#pragma once

#include "XServer.h"

#include <QImage>

// The real program on a private X server, run as a user of its own (a home with
// Documents and the XDG folders under it, and a runtime folder only that user may
// enter, for the one-copy lock), driven only through the X server as a person would.
// Two programs given one home and two runtime folders are a user on two computers
// sharing a home. Its sound goes nowhere, unless a test puts a sound server's
// address into environment() as PULSE_SERVER. Without a window manager, whoever
// opens or closes a window also gives the keyboard focus to the window that
// should have it.
class ProgramUnderTest
{
public:
    ProgramUnderTest(const XServer& x, const QString& home, const QString& runtime = {});
    ~ProgramUnderTest();
    ProgramUnderTest(const ProgramUnderTest&) = delete;
    ProgramUnderTest& operator=(const ProgramUnderTest&) = delete;

    QProcessEnvironment& environment() { return environment_; }
    QProcess& process() { return process_; }
    qint64 pid() const { return process_.processId(); }

    bool start(const QString& binary, const QStringList& arguments = {});
    // Closes `window` as a close box does, waits up to `ms` for the end, then
    // terminates or kills the program; how it ended: "closed", "SIGTERM", "SIGKILL".
    QString end(const QString& window, int ms = 10000);
    bool waitForEnd(int ms = 15000)
    {
        return process_.waitForFinished(ms) && process_.exitStatus() == QProcess::NormalExit;
    }

    // Waits for the main window (message boxes share its name but are narrow), focuses it.
    bool waitForMainWindow();
    QString mainWindow() const { return main_; }
    QString caption() const { return x_.windowName(main_); }
    bool waitForCaption(const QString& caption, int ms = 10000) const;

    void focus(const QString& window) const { x_.xdotool({"windowfocus", "--sync", window}); }
    void focusMainWindow() const { focus(main_); }
    // Key names as xdotool knows them ("ctrl+s", "F11").
    void key(const QString& keys) const { x_.xdotool({"key", "--clearmodifiers", keys}); }
    void type(const QString& text) const { x_.xdotool({"type", "--delay", "20", text}); }
    // Drags with the left button from `from` to `to` in small steps, inside `window`.
    void drag(const QString& window, QPoint from, QPoint to) const;
    void click(const QString& window, QPoint at) const;

    // Waits for a window of the program named `name`, or for a message box
    // (named like the main window), and focuses it; a message box, once it
    // takes keys.
    QString waitForWindow(const QString& name, int ms = 15000) const;
    QString waitForMessage(int ms = 15000) const;
    // Answers `message` with `keys`; once it has closed, focuses the main window.
    bool answer(const QString& message, const QString& keys) const;
    // Answers the file dialog `title` with `path`; once it has closed, focuses `returnTo`.
    bool chooseFile(const QString& title, const QString& path, const QString& returnTo) const;
    QImage picture(const QString& window) const;

    // Every step leaves a picture of the screen in `folder`, to see failures by.
    void keepPicturesIn(const QString& folder) { screens_ = folder; }
    void step(const QString& name) const;

private:
    bool waitForClose(const QString& window) const;

    const XServer& x_;
    QProcessEnvironment environment_;
    QProcess process_;
    QString main_;
    QString screens_;
};

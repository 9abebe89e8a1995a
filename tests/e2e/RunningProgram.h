#pragma once

#include "ProgramUnderTest.h"

#include <QImage>
#include <QString>

class XServer;

// The real kelvane program on a private X server, driven only through that
// server, as a person would: keys, typed text, the mouse and close boxes.
// There is no window manager, so whoever opens or closes a window also gives
// the keyboard focus to the window that should have it.
class RunningProgram
{
public:
    // The program as the user whose home is `home`. Every step leaves a
    // picture of the screen in `screens`, so that a failure can be seen
    // afterwards.
    RunningProgram(const XServer& x, const QString& home, QString screens);
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // Starts the program and waits for its main window, which gets the focus.
    bool start(const QString& binary);
    QProcess& process() { return program_.process(); }
    QString mainWindow() const { return main_; }
    QString caption() const;
    bool waitForCaption(const QString& caption, int ms = 10000) const;

    void focus(const QString& window) const;
    void focusMainWindow() const { focus(main_); }
    // Key names as xdotool knows them ("ctrl+s", "F11").
    void key(const QString& keys) const;
    void type(const QString& text) const;
    // Presses the left button at `from`, moves to `to` in small steps and
    // releases it there; coordinates inside `window`.
    void drag(const QString& window, QPoint from, QPoint to) const;
    void click(const QString& window, QPoint at) const;

    // Waits for a window of the program named `name` and focuses it.
    QString waitForWindow(const QString& name, int ms = 15000) const;
    // Waits for a message box of the program, which shares the main
    // window's name, and focuses it.
    QString waitForMessage(int ms = 15000) const;
    // Answers the message box `message` with `keys`, waits for it to close
    // and gives the focus back to the main window.
    bool answer(const QString& message, const QString& keys) const;
    // Answers the file dialog named `title` with `path`, waits for it to
    // close and gives the focus back to `returnTo`.
    bool chooseFile(const QString& title, const QString& path, const QString& returnTo) const;
    QImage picture(const QString& window) const;

    // Records the step about to be taken, with a picture of the screen.
    void step(const QString& name);
    bool waitForEnd(int ms = 15000);

private:
    bool waitForClose(const QString& window) const;

    const XServer& x_;
    ProgramUnderTest program_;
    QString screens_;
    QString main_;
};

#pragma once

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

class XServer;

// The real program on a private X server, run as a user of its own (a home
// with Documents, the settings, data and cache folders under it, and a
// runtime folder that only the user may enter, where the program keeps its
// one-copy lock), and driven only through the X server, as a person would:
// keys, typed text, the mouse and close boxes. Two programs given one home
// and two runtime folders are a user on two computers sharing a home. There
// is no window manager, so whoever opens or closes a window also gives the
// keyboard focus to the window that should have it.
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
    // Asks `window` to close as a window manager's close box does and waits
    // up to `ms` for the program to end; then terminates it, and kills it if
    // it must. Returns how it ended: "closed", "SIGTERM" or "SIGKILL".
    QString end(const QString& window, int ms = 10000);
    bool waitForEnd(int ms = 15000);

    // Waits for the main window (a message box has its name too, but it is
    // narrow) and gives it the focus.
    bool waitForMainWindow();
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

    // Waits for a window of the program named `name`, or for a message box
    // (named like the main window), and focuses it.
    QString waitForWindow(const QString& name, int ms = 15000) const;
    QString waitForMessage(int ms = 15000) const;
    // Answers the message box `message` with `keys` and gives the focus back
    // to the main window once it has closed.
    bool answer(const QString& message, const QString& keys) const;
    // Answers the file dialog named `title` with `path` and gives the focus
    // back to `returnTo` once it has closed.
    bool chooseFile(const QString& title, const QString& path, const QString& returnTo) const;
    QImage picture(const QString& window) const;

    // Every step leaves a picture of the screen in `folder`, so that a
    // failure can be seen afterwards.
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

#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

class XServer;

// The real program on a private X server, run as a user of its own: a home
// folder with Documents, the settings, data and cache folders under it, and
// a runtime folder that only the user may enter, where the program keeps its
// one-copy lock. Two programs given one home and two runtime folders are a
// user on two computers sharing a home.
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

private:
    const XServer& x_;
    QProcessEnvironment environment_;
    QProcess process_;
};

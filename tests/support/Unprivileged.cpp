#include "Unprivileged.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <grp.h>
#include <unistd.h>

constexpr uid_t Nobody = 65534;

bool Unprivileged::runningAsRoot()
{
    return geteuid() == 0;
}

bool Unprivileged::rerun(const char* testFunction)
{
    // A folder of its own: the data folder, where the program keeps its
    // recovery copy, and a copy of this test program, since the build folder
    // may lie where only root can enter.
    QTemporaryDir data;
    QTemporaryDir bin;
    const QString program = bin.filePath(QStringLiteral("test"));
    if (!data.isValid() || chown(QFile::encodeName(data.path()).constData(), Nobody, Nobody) != 0 ||
        !bin.isValid() || !QFile::copy(QCoreApplication::applicationFilePath(), program) ||
        !QFile::setPermissions(bin.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                               QFile::ReadOther | QFile::ExeOther))
        return false;
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
    environment.insert(QStringLiteral("HOME"), data.path());
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(data.path());
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.setChildProcessModifier([] {
        // Only async-signal-safe calls between fork and exec; a failure
        // ends the child, which the parent sees as a failed test.
        if (setgroups(0, nullptr) != 0 || setgid(Nobody) != 0 || setuid(Nobody) != 0)
            _exit(125);
    });
    child.start(program, {QString::fromLatin1(testFunction)});
    if (!child.waitForFinished(120000)) {
        std::fprintf(stderr, "rerun as nobody did not finish\n");
        return false;
    }
    return child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
}

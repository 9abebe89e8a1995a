#include "Unprivileged.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <grp.h>
#include <unistd.h>

namespace {

constexpr uid_t Nobody = 65534;

} // namespace

bool Unprivileged::runningAsRoot()
{
    return geteuid() == 0;
}

bool Unprivileged::rerun(const char* testFunction)
{
    // A data folder of its own, where the program keeps its recovery copy.
    QTemporaryDir data;
    if (!data.isValid() || chown(QFile::encodeName(data.path()).constData(), Nobody, Nobody) != 0)
        return false;
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.setChildProcessModifier([] {
        // Only async-signal-safe calls between fork and exec; a failure
        // ends the child, which the parent sees as a failed test.
        if (setgroups(0, nullptr) != 0 || setgid(Nobody) != 0 || setuid(Nobody) != 0)
            _exit(125);
    });
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(testFunction)});
    if (!child.waitForFinished(120000)) {
        std::fprintf(stderr, "rerun as nobody did not finish\n");
        return false;
    }
    return child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
}

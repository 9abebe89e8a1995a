#include "ProgramUnderTest.h"

#include "XServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

ProgramUnderTest::ProgramUnderTest(const XServer& x, const QString& home, const QString& runtime)
    : x_(x), environment_(x.environment())
{
    const QString runtimeFolder = runtime.isEmpty() ? home + "/runtime" : runtime;
    QDir().mkpath(home + "/Documents");
    QDir().mkpath(runtimeFolder);
    QFile::setPermissions(runtimeFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    for (const char* name :
         {"XAUTHORITY", "XDG_STATE_HOME", "DBUS_SESSION_BUS_ADDRESS", "SESSION_MANAGER", "BROWSER"})
        environment_.remove(name);
    environment_.insert("HOME", home);
    environment_.insert("XDG_RUNTIME_DIR", runtimeFolder);
    environment_.insert("XDG_CONFIG_HOME", home + "/.config");
    environment_.insert("XDG_DATA_HOME", home + "/.local/share");
    environment_.insert("XDG_CACHE_HOME", home + "/.cache");
    // GStreamer's plugin registry, built once for all the programs the tests
    // start rather than at the first play of each new home, which takes
    // seconds on a busy machine.
    if (!environment_.contains("GST_REGISTRY"))
        environment_.insert("GST_REGISTRY",
                            QCoreApplication::applicationDirPath() + "/gst-registry.bin");
}

ProgramUnderTest::~ProgramUnderTest()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

bool ProgramUnderTest::start(const QString& binary, const QStringList& arguments)
{
    process_.setProcessEnvironment(environment_);
    if (process_.processChannelMode() == QProcess::SeparateChannels)
        process_.setProcessChannelMode(QProcess::ForwardedChannels);
    process_.start(binary, arguments);
    return process_.waitForStarted(5000);
}

QString ProgramUnderTest::end(const QString& window, int ms)
{
    x_.closeWindow(window);
    if (process_.waitForFinished(ms))
        return "closed";
    process_.terminate();
    if (process_.waitForFinished(5000))
        return "SIGTERM";
    process_.kill();
    process_.waitForFinished(5000);
    return "SIGKILL";
}

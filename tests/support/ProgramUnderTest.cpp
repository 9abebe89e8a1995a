#include "ProgramUnderTest.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QPoint>
#include <QTest>

namespace {

// Waits up to `ms` for `done`, letting the test's own events run.
template <typename Done> bool waitFor(Done done, int ms)
{
    for (const QDeadlineTimer deadline(ms); !done(); QTest::qWait(50))
        if (deadline.hasExpired())
            return false;
    return true;
}

} // namespace

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
    // No sound server answers there, and none is started for it: the program
    // never plays into the user's own session. A test that wants to hear it
    // puts a private server's address here instead.
    environment_.insert("PULSE_SERVER", "unix:" + runtimeFolder + "/no-sound-server");
    // GStreamer's plugin registry, built once for all the programs the tests start,
    // not at the first play in each new home, which takes seconds on a busy machine.
    if (!environment_.contains("GST_REGISTRY"))
        environment_.insert("GST_REGISTRY",
                            QCoreApplication::applicationDirPath() + "/gst-registry.bin");
}

ProgramUnderTest::~ProgramUnderTest()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    // Still running: the test stopped short, and the screen shows where.
    step("stopped here");
    process_.kill();
    process_.waitForFinished(5000);
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

bool ProgramUnderTest::waitForMainWindow()
{
    // A machine busy with other tests may take a while to show it.
    const bool shown = waitFor(
        [this] {
            for (const QString& id : x_.visibleWindows(pid()))
                // 600: narrower than the main window ever is, wider than a message box.
                if (x_.windowName(id) == "Kelvane" && x_.windowSize(id).width() >= 600)
                    main_ = id;
            return !main_.isEmpty();
        },
        30000);
    if (shown)
        focusMainWindow();
    return shown;
}

bool ProgramUnderTest::waitForCaption(const QString& caption, int ms) const
{
    return waitFor([&] { return this->caption() == caption; }, ms);
}

void ProgramUnderTest::drag(const QString& window, QPoint from, QPoint to) const
{
    const auto moveTo = [&](QPoint p) {
        x_.xdotool(
            {"mousemove", "--window", window, QString::number(p.x()), QString::number(p.y())});
    };
    moveTo(from);
    x_.xdotool({"mousedown", "1"});
    for (int i = 1; i <= 8; ++i)
        moveTo(from + (to - from) * i / 8);
    x_.xdotool({"mouseup", "1"});
}

void ProgramUnderTest::click(const QString& window, QPoint at) const
{
    x_.xdotool({"mousemove", "--window", window, QString::number(at.x()), QString::number(at.y()),
                "click", "1"});
}

QString ProgramUnderTest::waitForWindow(const QString& name, int ms) const
{
    const QString window = x_.waitForWindow(pid(), name, ms);
    if (!window.isEmpty())
        focus(window);
    return window;
}

QString ProgramUnderTest::waitForMessage(int ms) const
{
    QString message;
    waitFor(
        [&] {
            for (const QString& id : x_.visibleWindows(pid()))
                if (id != main_ && x_.windowName(id) == "Kelvane")
                    message = id;
            return !message.isEmpty();
        },
        ms);
    if (!message.isEmpty())
        focus(message);
    // A message box takes no key in its first 400 ms, which a user typing
    // when it appeared would have pressed before seeing it.
    QTest::qWait(500);
    return message;
}

bool ProgramUnderTest::answer(const QString& message, const QString& keys) const
{
    key(keys);
    if (!waitForClose(message))
        return false;
    focusMainWindow();
    return true;
}

bool ProgramUnderTest::chooseFile(const QString& title, const QString& path,
                                  const QString& returnTo) const
{
    const QString dialog = waitForWindow(title);
    if (dialog.isEmpty())
        return false;
    // The file name box has the focus; a suggested name in it is replaced.
    key("ctrl+a");
    type(path);
    key("Return");
    if (!waitForClose(dialog))
        return false;
    focus(returnTo);
    return true;
}

bool ProgramUnderTest::waitForClose(const QString& window) const
{
    return waitFor([&] { return !x_.visibleWindows(pid()).contains(window); }, 10000);
}

QImage ProgramUnderTest::picture(const QString& window) const
{
    QProcess import;
    import.setProcessEnvironment(x_.environment());
    import.start("import", {"-window", window, "png:-"});
    import.waitForFinished(10000);
    return QImage::fromData(import.readAllStandardOutput(), "PNG");
}

void ProgramUnderTest::step(const QString& name) const
{
    if (screens_.isEmpty())
        return;
    // Numbered on from the pictures an earlier program of the test may have left.
    QDir(screens_).mkpath(".");
    const qsizetype number = QDir(screens_).entryList(QDir::Files).size() + 1;
    qInfo("step %lld: %s", qlonglong(number), qPrintable(name));
    QProcess import;
    import.start("import", {"-display", x_.display(), "-window", "root",
                            QString("%1/%2-%3.png")
                                .arg(screens_)
                                .arg(number, 2, 10, QChar('0'))
                                .arg(QString(name).replace(' ', '-'))});
    if (!import.waitForFinished(30000) || import.exitCode() != 0)
        qWarning("no picture of the screen: %s", import.readAllStandardError().constData());
}

#include "ScriptedPrompts.h"
#include "XServer.h"

#include "app/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Waits for `pid` to show exactly one visible window; its id, or "".
QString waitForOneWindow(const XServer& x, qint64 pid)
{
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        const QStringList windows = x.visibleWindows(pid);
        if (windows.size() == 1)
            return windows.first();
        QTest::qWait(100);
    }
    return {};
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void secondClaimIsRefusedWithAMessage();
    void secondProgramEndsWithoutAWindow();
    void programsSharingAHomeLeaveTheRecoveryCopyToTheFirst();
};

void TestSingleInstance::secondClaimIsRefusedWithAMessage()
{
    QTemporaryDir folder;
    const QString path = folder.filePath("kelvane.lock");
    ScriptedPrompts prompts;
    {
        SingleInstance first(path);
        QVERIFY(first.claim(prompts));
        QVERIFY(prompts.asked.isEmpty());

        SingleInstance second(path);
        QVERIFY(!second.claim(prompts));
        QCOMPARE(prompts.asked.size(), 1);
        QCOMPARE(prompts.asked[0].text, QString("Kelvane is already running."));
        QCOMPARE(prompts.asked[0].buttons, Prompts::Buttons::Ok);
    }
    // Once the first one has ended, the next start runs.
    SingleInstance next(path);
    QVERIFY(next.claim(prompts));
    QCOMPARE(prompts.asked.size(), 1);
    QVERIFY(SingleInstance::defaultLockPath().endsWith("/kelvane.lock"));

    // Where no lock can be written, nothing is known of another program:
    // the program starts rather than refusing.
    SingleInstance unwritable(folder.filePath("missing/folder/kelvane.lock"));
    QVERIFY(unwritable.claim(prompts));
    QCOMPARE(prompts.asked.size(), 1);
}

void TestSingleInstance::secondProgramEndsWithoutAWindow()
{
    XServer x;
    QVERIFY2(x.start(), qPrintable(x.error()));
    QTemporaryDir runtime; // the user's runtime folder, where the lock lives
    QVERIFY(QFile::setPermissions(runtime.path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QProcessEnvironment env = x.environment();
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    auto start = [&](QProcess& program) {
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(KELVANE_BINARY, {});
        return program.waitForStarted(5000);
    };

    QProcess first;
    QVERIFY(start(first));
    const QString mainWindow = waitForOneWindow(x, first.processId());
    QVERIFY2(!mainWindow.isEmpty(), "the first program shows its window");
    QCOMPARE(x.windowName(mainWindow), QString("Kelvane"));
    QVERIFY(x.windowSize(mainWindow).width() >= 790);

    // The second program shows only the message, and ends once it is
    // dismissed; the first one runs on.
    QProcess second;
    QVERIFY(start(second));
    const QString message = waitForOneWindow(x, second.processId());
    QVERIFY2(!message.isEmpty(), "the second program shows its message");
    QCOMPARE(x.windowName(message), QString("Kelvane"));
    const QSize messageSize = x.windowSize(message);
    QVERIFY2(messageSize.width() < 600 && messageSize.height() < 300,
             "the message box, not a main window");
    x.xdotool({"windowfocus", "--sync", message});
    x.xdotool({"key", "Return"});
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);
    QCOMPARE(x.visibleWindows(first.processId()), QStringList{mainWindow});

    // A program that died leaves its lock behind; the next start runs anyway.
    first.kill();
    QVERIFY(first.waitForFinished(5000));
    QVERIFY(QFile::exists(runtime.filePath("kelvane.lock")));
    QProcess third;
    QVERIFY(start(third));
    const QString thirdWindow = waitForOneWindow(x, third.processId());
    QVERIFY2(!thirdWindow.isEmpty(), "the next program shows its window");
    QVERIFY(x.windowSize(thirdWindow).width() >= 790);
    third.kill();
    third.waitForFinished(5000);
}

// Two computers sharing a home folder each have their own runtime folder, so
// both programs run. The recovery copy is the first one's: the second
// neither offers nor removes it; once the first has died, the next start
// offers it.
void TestSingleInstance::programsSharingAHomeLeaveTheRecoveryCopyToTheFirst()
{
    XServer x;
    QVERIFY2(x.start(), qPrintable(x.error()));
    QTemporaryDir home;
    const QString copy = home.filePath("Kelvane/recovery.kvrec");
    auto start = [&](QProcess& program, const QString& computer) {
        QVERIFY(QDir(home.path()).mkpath(computer));
        QVERIFY(QFile::setPermissions(home.filePath(computer),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QProcessEnvironment env = x.environment();
        env.insert("XDG_RUNTIME_DIR", home.filePath(computer));
        env.insert("XDG_DATA_HOME", home.path());
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(KELVANE_BINARY, {});
        QVERIFY(program.waitForStarted(5000));
    };

    QProcess first;
    start(first, "one");
    QVERIFY(!waitForOneWindow(x, first.processId()).isEmpty());
    QFile file(copy);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("kv recovery file\r\n\r\nkv project file\r\n\r\n");
    file.close();

    QProcess second;
    start(second, "two");
    const QString window = waitForOneWindow(x, second.processId());
    QVERIFY2(!window.isEmpty(), "the second program shows its main window only");
    QVERIFY(x.windowSize(window).width() >= 790);
    QTest::qWait(1000);
    QCOMPARE(x.visibleWindows(second.processId()).size(), 1);
    QVERIFY(x.closeWindow(window));
    QVERIFY(second.waitForFinished(10000));
    QVERIFY2(QFile::exists(copy), "the first program's copy is left alone");

    first.kill();
    QVERIFY(first.waitForFinished(5000));
    QProcess next;
    start(next, "two");
    QDeadlineTimer deadline(15000);
    while (x.visibleWindows(next.processId()).size() < 2 && !deadline.hasExpired())
        QTest::qWait(100);
    QCOMPARE(x.visibleWindows(next.processId()).size(), 2); // the window and the question
    next.kill();
    next.waitForFinished(5000);
}

QTEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"

#include "ScriptedPrompts.h"
#include "XServer.h"

#include "app/SingleInstance.h"

#include <QDeadlineTimer>
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

QTEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"

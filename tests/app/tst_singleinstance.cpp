#include "ProgramUnderTest.h"
#include "ScriptedPrompts.h"
#include "TestFiles.h"
#include "XServer.h"

#include "app/SingleInstance.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The visible windows of `program` once there are `count` of them.
QStringList waitForWindows(const XServer& x, const ProgramUnderTest& program, int count = 1)
{
    for (const QDeadlineTimer deadline(15000); !deadline.hasExpired(); QTest::qWait(100)) {
        const QStringList windows = x.visibleWindows(program.pid());
        if (windows.size() == count)
            return windows;
    }
    return {};
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void lockRefusesASecondProgram();
    void programsSharingAHomeLeaveTheRecoveryCopyToTheFirst();
};

void TestSingleInstance::lockRefusesASecondProgram()
{
    QTemporaryDir folder;
    const QString path = folder.filePath("kelvane.lock");
    ScriptedPrompts prompts;
    {
        SingleInstance first(path);
        QVERIFY(first.claim(prompts));
        SingleInstance second(path);
        QVERIFY(!second.claim(prompts));
        QCOMPARE(prompts.asked.size(), 1);
        QCOMPARE(prompts.asked[0].text, QString("Kelvane is already running."));
        QCOMPARE(prompts.asked[0].buttons, Prompts::Buttons::Ok);
    }
    // Once the first one has ended, the next start runs. Where no lock can
    // be written, nothing is known of another program: it runs too.
    SingleInstance next(path);
    QVERIFY(next.claim(prompts));
    SingleInstance unwritable(folder.filePath("missing/folder/kelvane.lock"));
    QVERIFY(unwritable.claim(prompts));
    QCOMPARE(prompts.asked.size(), 1);
    QVERIFY(SingleInstance::defaultLockPath().endsWith("/kelvane.lock"));
}

// Two computers sharing a home folder each have their own runtime folder, so
// both programs run. The recovery copy is the first one's: the second
// neither offers nor removes it. Once the first has died, leaving its locks
// behind, the next start on its computer runs and offers the copy.
void TestSingleInstance::programsSharingAHomeLeaveTheRecoveryCopyToTheFirst()
{
    XServer x;
    QVERIFY2(x.start(), qPrintable(x.error()));
    QTemporaryDir home;
    const QString copy = home.filePath(".local/share/Kelvane/recovery.kvrec");
    ProgramUnderTest first(x, home.path(), home.filePath("one"));
    QVERIFY(first.start(KELVANE_BINARY));
    QVERIFY(!waitForWindows(x, first).isEmpty());
    QVERIFY(TestFiles::write(copy, "kv recovery file\r\n\r\nkv project file\r\n\r\n"));

    ProgramUnderTest second(x, home.path(), home.filePath("two"));
    QVERIFY(second.start(KELVANE_BINARY));
    const QStringList windows = waitForWindows(x, second);
    QVERIFY2(!windows.isEmpty(), "the second program shows its main window only");
    QVERIFY(x.windowSize(windows[0]).width() >= 790);
    QTest::qWait(1000);
    QCOMPARE(x.visibleWindows(second.pid()).size(), 1);
    QCOMPARE(second.end(windows[0]), QString("closed"));
    QVERIFY2(QFile::exists(copy), "the first program's copy is left alone");

    first.process().kill();
    QVERIFY(first.process().waitForFinished(5000));
    QVERIFY(QFile::exists(home.filePath("one/kelvane.lock")));
    ProgramUnderTest next(x, home.path(), home.filePath("one"));
    QVERIFY(next.start(KELVANE_BINARY));
    QVERIFY2(!waitForWindows(x, next, 2).isEmpty(), "the window and the recovery question");
}

QTEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"

#include "ScriptedPrompts.h"

#include "app/SingleInstance.h"

#include <QTemporaryDir>
#include <QTest>

// One running program per user: the lock, and the message of a second start.
// The real program's second start, and its start after it was killed, are
// part of the end-to-end test.
class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void lockRefusesASecondProgram()
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
};

QTEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"

#include "ScriptedPrompts.h"

#include "app/SingleInstance.h"

#include <QTemporaryDir>
#include <QTest>

// One running program per user: the lock, and the message of a second start.
// The real program's restarts are the end-to-end test's.
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
            SingleInstance first(path), second(path);
            QVERIFY(first.claim(prompts) && !second.claim(prompts));
            QVERIFY(prompts.asked.size() == 1 && prompts.asked[0].buttons == Prompts::Buttons::Ok);
            QCOMPARE(prompts.asked[0].text, QString("Kelvane is already running."));
        }
        // Once the first one has ended, the next start runs. Where no lock can
        // be written, nothing is known of another program: it runs too.
        SingleInstance next(path), unwritable(folder.filePath("missing/folder/kelvane.lock"));
        QVERIFY(next.claim(prompts) && unwritable.claim(prompts) && prompts.asked.size() == 1);
        QVERIFY(SingleInstance::defaultLockPath().endsWith("/kelvane.lock"));
    }
};

QTEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"

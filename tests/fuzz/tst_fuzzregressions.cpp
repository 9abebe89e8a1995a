// Replays the inputs kept for the fuzz target through its own check: the
// seed corpus, and every input a fuzz run found failing.

#include "FuzzChecks.h"

#include <QDir>
#include <QTest>

class TestFuzzRegressions : public QObject
{
    Q_OBJECT

private slots:
    void replay()
    {
        int seeds = 0;
        for (const QString folder : {"corpus", "regressions"}) {
            const QDir dir(QStringLiteral(KELVANE_FUZZ_INPUTS "/%1/projectfile").arg(folder));
            for (const QFileInfo& input : dir.entryInfoList(QDir::Files, QDir::Name)) {
                QFile file(input.filePath());
                QVERIFY(file.open(QIODevice::ReadOnly));
                const QString failure = FuzzChecks::projectFile(file.readAll());
                QVERIFY2(failure.isEmpty(), qPrintable(input.filePath() + ": " + failure));
                seeds += folder == QLatin1String("corpus");
            }
        }
        QVERIFY(seeds > 0);
    }
};

QTEST_GUILESS_MAIN(TestFuzzRegressions)
#include "tst_fuzzregressions.moc"

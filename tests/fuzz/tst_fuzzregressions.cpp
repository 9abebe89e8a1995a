// Replays the inputs kept for the fuzz targets through the targets' own
// checks: the seed corpus, and every input a fuzz run found failing.

#include "FuzzChecks.h"

#include <QDir>
#include <QTest>

class TestFuzzRegressions : public QObject
{
    Q_OBJECT

private slots:
    void replay()
    {
        using Check = QString (*)(const QByteArray&);
        const QList<std::pair<QString, Check>> targets = {{"projectfile", &FuzzChecks::projectFile},
                                                          {"playslider", &FuzzChecks::playSlider}};
        for (const auto& [target, check] : targets) {
            int seeds = 0;
            for (const QString folder : {"corpus", "regressions"}) {
                const QDir dir(QStringLiteral(KELVANE_FUZZ_INPUTS "/%1/%2").arg(folder, target));
                for (const QFileInfo& input : dir.entryInfoList(QDir::Files, QDir::Name)) {
                    QFile file(input.filePath());
                    QVERIFY(file.open(QIODevice::ReadOnly));
                    const QString failure = check(file.readAll());
                    QVERIFY2(failure.isEmpty(), qPrintable(input.filePath() + ": " + failure));
                    seeds += folder == QLatin1String("corpus");
                }
            }
            QVERIFY2(seeds > 0, qPrintable(target)); // every target has seeds
        }
    }
};

QTEST_MAIN(TestFuzzRegressions)
#include "tst_fuzzregressions.moc"

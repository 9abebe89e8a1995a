// Replays the inputs kept for the fuzz targets through the targets' own
// checks: the seed corpus, and every input a fuzz run found failing.

#include "FuzzChecks.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

using Check = QString (*)(const QByteArray&);

const QList<std::pair<QString, Check>> Targets = {
    {QStringLiteral("projectfile"), &FuzzChecks::projectFile},
    {QStringLiteral("playslider"), &FuzzChecks::playSlider},
};

const QStringList Folders = {QStringLiteral("corpus"), QStringLiteral("regressions")};

QFileInfoList inputs(const QString& folder, const QString& target)
{
    const QDir dir(QStringLiteral(KELVANE_FUZZ_INPUTS "/%1/%2").arg(folder, target));
    return dir.entryInfoList(QDir::Files, QDir::Name);
}

} // namespace

class TestFuzzRegressions : public QObject
{
    Q_OBJECT

private slots:
    void everyTargetHasSeeds()
    {
        for (const auto& [target, check] : Targets)
            QVERIFY2(!inputs(QStringLiteral("corpus"), target).isEmpty(), qPrintable(target));
    }

    void replay_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("target");
        for (const QString& folder : Folders) {
            for (int target = 0; target < Targets.size(); ++target) {
                for (const QFileInfo& file : inputs(folder, Targets[target].first)) {
                    const QString name =
                        folder + u'/' + Targets[target].first + u'/' + file.fileName();
                    QTest::newRow(qPrintable(name)) << file.filePath() << target;
                }
            }
        }
    }
    void replay()
    {
        QFETCH(QString, path);
        QFETCH(int, target);
        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.errorString()));
        const QString failure = Targets[target].second(file.readAll());
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }
};

QTEST_MAIN(TestFuzzRegressions)
#include "tst_fuzzregressions.moc"

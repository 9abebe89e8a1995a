// kelvane-probe as a developer runs it: its output lines and exit codes.

#include "TestMedia.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestProbe : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;

    struct Run
    {
        int exitCode = -1;
        QString out;
    };

    static Run probe(const QStringList& args)
    {
        QProcess process;
        process.start(KELVANE_PROBE, args);
        if (!process.waitForFinished(30000))
            return {};
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput())};
    }

private slots:
    void reportsLengthAndStretch()
    {
        const QString mp3 = TestMedia::generate(dir_.path(), TestMedia::Kind::Mp3VbrNoHeader, 3);
        QVERIFY(!mp3.isEmpty());

        const Run length = probe({mp3});
        QCOMPARE(length.exitCode, 0);
        const auto lengthMatch = QRegularExpression("^length=(\\d+)\\n$").match(length.out);
        QVERIFY2(lengthMatch.hasMatch(), qPrintable(length.out));
        QVERIFY(qAbs(lengthMatch.captured(1).toInt() - 3000) <= 50);

        const Run stretch = probe({mp3, "500", "1300"});
        QCOMPARE(stretch.exitCode, 0);
        const auto match =
            QRegularExpression("stopped_at=(\\d+) mode=(\\d+) heard_ms=(\\d+) wall_ms=(\\d+)\\n$")
                .match(stretch.out);
        QVERIFY2(match.hasMatch(), qPrintable(stretch.out));
        QCOMPARE(match.captured(1).toInt(), 1300);
        QCOMPARE(match.captured(2).toInt(), 525);
        QVERIFY(qAbs(match.captured(3).toInt() - 800) <= 5);
        QVERIFY(match.captured(4).toInt() >= 790);
    }

    void unplayableAndMisused()
    {
        const QString text = TestMedia::writeFile(dir_.path(), "notes.mp3", "not a recording\n");
        const Run broken = probe({text, "0", "1000"});
        QCOMPARE(broken.exitCode, 0);
        QCOMPARE(broken.out, QString("length=0\n"));

        QCOMPARE(probe({}).exitCode, 2);
        QCOMPARE(probe({text, "0"}).exitCode, 2);
        QCOMPARE(probe({text, "zero", "1000"}).exitCode, 2);
    }
};

QTEST_GUILESS_MAIN(TestProbe)
#include "tst_probe.moc"

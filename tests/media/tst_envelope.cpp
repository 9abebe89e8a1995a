// The envelope scanner on real media of every format: where the sound is, on
// the device's timeline, the stretch asked for first, and what it says of
// media it cannot scan.

#include "TestMedia.h"
#include "media/Envelope.h"
#include "media/EnvelopeScanner.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using TestMedia::Kind;

namespace {

constexpr qint32 LengthMs = 50000;

// What one scanner said, signal by signal.
struct Heard
{
    explicit Heard(EnvelopeScanner& scanner) : envelope(LengthMs)
    {
        QObject::connect(&scanner, &EnvelopeScanner::levelsFound, [this](qsizetype first, auto l) {
            chunks.push_back(first);
            envelope.setLevels(first, l.data(), l.size());
        });
        QObject::connect(&scanner, &EnvelopeScanner::finished, [this] { ++ends; });
        QObject::connect(&scanner, &EnvelopeScanner::failed, [this](QString note) {
            ++ends;
            failure = note;
        });
    }
    bool waitForEnd()
    {
        return QTest::qWaitFor([this] { return ends > 0; }, 60000);
    }

    Envelope envelope;
    QList<qsizetype> chunks;
    int ends = 0;
    QString failure;
};

} // namespace

class TestEnvelope : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;

private slots:
    void everyFormat_data()
    {
        QTest::addColumn<Kind>("kind");
        for (Kind kind : TestMedia::AllKinds)
            QTest::newRow(qPrintable(TestMedia::name(kind))) << kind;
    }
    // Loud buckets where the bursts are, within 10 ms, and quiet ones
    // elsewhere; the stretch around 40 s first (MPEG streams, timed by their
    // samples, go in order), in several chunks; every bucket known at the end.
    void everyFormat()
    {
        QFETCH(Kind, kind);
        const QString path =
            TestMedia::generate(dir_.path(), kind, LengthMs / 1000, TestMedia::Signal::Bursts);
        QVERIFY(!path.isEmpty());
        EnvelopeScanner scanner;
        Heard heard(scanner);
        scanner.start(path, LengthMs, 40000);
        QVERIFY(heard.waitForEnd());
        QVERIFY2(heard.failure.isEmpty(), qPrintable(heard.failure));
        QVERIFY2(heard.envelope.isComplete(),
                 qPrintable(QString::number(heard.envelope.knownCount())));
        // In order, a fast decode may send it all in one go.
        const bool inOrder = kind >= Kind::Mpeg;
        QVERIFY(heard.chunks.size() >= (inOrder ? 1 : 3));
        QCOMPARE(heard.chunks.first(), inOrder ? 0 : 30000 / Envelope::BucketMs);
        QVERIFY(heard.chunks.contains(0));
        // Without a LAME tag (raw or in AVI), an mp3's encoder delay is sound
        // to the device, as is raw AAC's: 1105 and 1024 samples.
        const int lead = kind == Kind::Mp3VbrNoHeader || kind == Kind::Avi ? 23
                         : kind == Kind::Aac                               ? 21
                                                                           : 0;
        for (qsizetype bucket = 0; bucket < heard.envelope.bucketCount(); ++bucket) {
            const qint64 ms = bucket * Envelope::BucketMs - lead;
            const quint16 level = heard.envelope.level(bucket);
            if (const bool loud = TestMedia::inBurst(ms - 10); loud == TestMedia::inBurst(ms + 14))
                QVERIFY2(loud ? level > Envelope::FullScale / 2 : level < Envelope::FullScale / 20,
                         qPrintable(QString("%1 ms: %2").arg(ms).arg(level)));
        }
    }

    // Media it cannot scan: a short note, no hang. A scan replaced, cancelled
    // or whose scanner goes sends nothing more, and stops at once.
    void trouble()
    {
        const auto bursts = TestMedia::Signal::Bursts;
        const QString wav = TestMedia::generate(dir_.path(), Kind::Wav, LengthMs / 1000, bursts);
        const QString mp3 = TestMedia::generate(dir_.path(), Kind::Mp3Cbr, LengthMs / 1000, bursts);
        const QString changed = dir_.filePath("changed.wav"), silent = dir_.filePath("silent.wmv");
        QVERIFY(QFile::copy(wav, changed));
        QVERIFY(TestMedia::ffmpeg({"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=3",
                                   "-c:v", "wmv2", silent}));
        const QString broken = TestMedia::writeFile(dir_.path(), "x.m4a", QByteArray(9999, 'x'));
        // 8-bit mono with an odd number of samples: sound only when read in order.
        const QString odd = dir_.filePath("odd.wav");
        QVERIFY(TestMedia::ffmpeg({"-f", "lavfi", "-i", "sine=sample_rate=11025", "-af",
                                   "atrim=end_sample=33083", "-c:a", "pcm_u8", odd}));
        const std::pair<QString, QString> cases[] = {
            {silent, "No sound in this recording."},
            {broken, "The recording could not be read."},
            {dir_.filePath("gone.wav"), "The recording could not be read."},
            {changed, "The recording changed on disk."},
            {odd, ""}};
        for (const auto& [path, note] : cases) {
            EnvelopeScanner scanner;
            Heard heard(scanner);
            scanner.start(path, LengthMs, 0);
            if (QFile file(path); path == changed)
                QVERIFY(file.open(QIODevice::Append) && file.write("x") == 1);
            QVERIFY(heard.waitForEnd());
            QVERIFY2(heard.failure == note, qPrintable(path + ": " + heard.failure));
            if (note.isEmpty())
                QVERIFY(heard.envelope.peakBetween(0, 3000) > Envelope::FullScale / 10);
        }

        EnvelopeScanner scanner;
        Heard heard(scanner);
        scanner.start(mp3, LengthMs, 40000);
        scanner.start(mp3, LengthMs, 0);
        QVERIFY(heard.waitForEnd() && heard.failure.isEmpty());
        QVERIFY(heard.ends == 1 && heard.chunks.first() == 0 && heard.envelope.isComplete());
        Heard cut(scanner);
        connect(&scanner, &EnvelopeScanner::levelsFound, &scanner, &EnvelopeScanner::cancel);
        scanner.start(mp3, LengthMs, 0);
        QVERIFY(QTest::qWaitFor([&] { return !cut.chunks.isEmpty(); }));
        QTest::qWait(300);
        QVERIFY(cut.chunks.size() == 1 && cut.ends == 0 && !scanner.isScanning());
        for (int wait : {0, 30}) {
            auto* going = new EnvelopeScanner;
            going->start(mp3, LengthMs, 20000);
            QTest::qWait(wait);
            QElapsedTimer clock;
            clock.start();
            delete going;
            QVERIFY2(clock.elapsed() < 100, qPrintable(QString::number(clock.elapsed())));
        }
    }
};

QTEST_GUILESS_MAIN(TestEnvelope)
#include "tst_envelope.moc"

// The GStreamer media device on real files of every supported format, with
// a silent sink that keeps real time and measures the sound it receives.

#include "TestMedia.h"
#include "media/GstMediaControl.h"
#include "media/Playbin.h"
#include "tools/SoundMeter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <gst/gst.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <memory>

using TestMedia::Kind;

namespace {

constexpr int PlayTimeoutMs = 8000;

struct Device
{
    SoundMeter meter;
    GstMediaControl control{[this] {
        return meter.createSink();
    }};

    bool open(const QString& path)
    {
        control.setFileName(path);
        control.setCommand("close");
        control.setCommand("open");
        return control.Length() > 0;
    }
    void play(qint32 from, qint32 to)
    {
        control.setFrom(from);
        control.setTo(to);
        control.setCommand("play");
    }
    qint64 heardMs() const { return (meter.heardUs() + 500) / 1000; }
};

} // namespace

class TestGstMediaControl : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    QHash<QString, QString> media_;

    QString media(Kind kind) const { return media_.value(TestMedia::name(kind)); }

private slots:
    void initTestCase()
    {
        // GStreamer starts with the first file, not with the device, so
        // that the program's window comes up without waiting for it.
        {
            GstMediaControl idle;
            idle.setCommand("close");
            QVERIFY(!gst_is_initialized());
        }
        QVERIFY(dir_.isValid());
        for (Kind kind : TestMedia::AllKinds) {
            const QString path = TestMedia::generate(dir_.path(), kind);
            QVERIFY2(!path.isEmpty(), qPrintable("ffmpeg could not make " + TestMedia::name(kind)));
            media_.insert(TestMedia::name(kind), path);
        }
    }

    // mp3 is decoded by mpg123, which keeps FFmpeg's libraries out of memory.
    void mp3IsDecodedByMpg123()
    {
        for (Kind kind : {Kind::Mp3Cbr, Kind::Mp3VbrNoHeader}) {
            const auto playbin = Playbin::open(
                media(kind), [] { return gst_element_factory_make("fakesink", nullptr); }, 10000);
            QVERIFY(playbin);
            QVERIFY(playbin->contains("mpg123audiodec"));
            QVERIFY(!playbin->contains("avdec_mp3"));
        }
    }

    void everyFormat_data()
    {
        QTest::addColumn<QString>("path");
        for (Kind kind : TestMedia::AllKinds)
            QTest::newRow(qPrintable(TestMedia::name(kind))) << media(kind);
    }

    // Opens with its true length (encoders add at most a frame or two of
    // padding to the 4 s recorded), plays a stretch to exactly its end with
    // exactly its sound, and a pause in the middle keeps that end.
    void everyFormat()
    {
        QFETCH(QString, path);
        const qint64 trueLength = 4000;

        Device device;
        QVERIFY(device.open(path));
        QCOMPARE(device.control.mode(), DeviceMode::Stopped);
        QCOMPARE(device.control.Position(), 0);
        QVERIFY2(
            qAbs(device.control.Length() - trueLength) <= 50,
            qPrintable(QString("length %1, true %2").arg(device.control.Length()).arg(trueLength)));

        device.meter.reset();
        device.play(1000, 2500);
        QCOMPARE(device.control.mode(), DeviceMode::Playing);
        QTRY_COMPARE_WITH_TIMEOUT(device.control.mode(), DeviceMode::Stopped, PlayTimeoutMs);
        QCOMPARE(device.control.Position(), 2500);
        QVERIFY2(qAbs(device.heardMs() - 1500) <= 5, qPrintable(QString::number(device.heardMs())));

        device.meter.reset();
        device.play(500, 2000);
        QTest::qWait(500);
        device.control.setCommand("pause");
        QCOMPARE(device.control.mode(), DeviceMode::Paused);
        const qint32 pausedAt = device.control.Position();
        QVERIFY2(pausedAt > 700 && pausedAt < 1500, qPrintable(QString::number(pausedAt)));
        QTest::qWait(300);
        QCOMPARE(device.control.Position(), pausedAt);
        QCOMPARE(device.control.mode(), DeviceMode::Paused);
        QVERIFY(qAbs(device.heardMs() - (pausedAt - 500)) <= 60);

        device.control.setCommand("pause");
        QCOMPARE(device.control.mode(), DeviceMode::Playing);
        QTRY_COMPARE_WITH_TIMEOUT(device.control.mode(), DeviceMode::Stopped, PlayTimeoutMs);
        QCOMPARE(device.control.Position(), 2000);
        QVERIFY2(qAbs(device.heardMs() - 1500) <= 5, qPrintable(QString::number(device.heardMs())));

        // To the end: no sound beyond the length. A video container's length
        // may run a last picture (40 ms here) past its sound.
        device.meter.reset();
        device.control.setFrom(3000);
        device.control.setCommand("play");
        QTRY_COMPARE_WITH_TIMEOUT(device.control.mode(), DeviceMode::Stopped, PlayTimeoutMs);
        QCOMPARE(device.control.Position(), device.control.Length());
        const qint64 toEnd = device.control.Length() - 3000;
        QVERIFY2(
            device.heardMs() <= toEnd + 5 && device.heardMs() >= toEnd - 45,
            qPrintable(QString("%1 of %2").arg(device.heardMs()).arg(device.control.Length())));
        device.control.setCommand("close");
        QCOMPARE(device.control.mode(), DeviceMode::NotOpen);
        QCOMPARE(device.control.Length(), 0);
    }

    // An MPEG file whose sound is not decoded yet when "open" returns plays
    // from the original; the device switches to the exact timeline at the
    // first moment it is not playing, and removes the decoded file on close.
    void mpegSwitchesToDecodedSound()
    {
        // A temporary folder of this test's own, so that other tests running
        // meanwhile cannot change the count.
        const QString temp = dir_.filePath("temp");
        QVERIFY(QDir().mkpath(temp));
        qputenv("TMPDIR", QFile::encodeName(temp));
        const auto decodedFiles = [&temp] {
            return QDir(temp).entryList(QDir::Files).size();
        };
        QCOMPARE(decodedFiles(), 0);
        Device device;
        device.control.setDecodeWaitMs(0);
        QVERIFY(device.open(media(Kind::Mpeg)));
        QCOMPARE(decodedFiles(), 1);

        device.play(0, 3000);
        QTest::qWait(600); // decoding ends meanwhile; no switch while playing
        QCOMPARE(device.control.mode(), DeviceMode::Playing);
        device.control.setCommand("pause");
        QCOMPARE(device.control.mode(), DeviceMode::Paused);
        QVERIFY2(qAbs(device.control.Length() - 4000) <= 50,
                 qPrintable(QString::number(device.control.Length())));
        const qint32 pausedAt = device.control.Position();
        QVERIFY(pausedAt > 300 && pausedAt < 1200);

        device.meter.reset();
        device.control.setCommand("pause");
        QTRY_COMPARE_WITH_TIMEOUT(device.control.mode(), DeviceMode::Stopped, PlayTimeoutMs);
        QCOMPARE(device.control.Position(), 3000);
        QVERIFY(qAbs(device.heardMs() - (3000 - pausedAt)) <= 60);

        device.meter.reset();
        device.play(1000, 2500);
        QTRY_COMPARE_WITH_TIMEOUT(device.control.mode(), DeviceMode::Stopped, PlayTimeoutMs);
        QCOMPARE(device.control.Position(), 2500);
        QVERIFY2(qAbs(device.heardMs() - 1500) <= 5, qPrintable(QString::number(device.heardMs())));

        device.control.setCommand("close");
        QCOMPARE(decodedFiles(), 0);
        qunsetenv("TMPDIR");
    }

    // A play to the end that is paused while the decoded sound takes over
    // ends at the decoded sound's end.
    void mpegSwitchKeepsPlayToTheEnd()
    {
        Device device;
        device.control.setDecodeWaitMs(0);
        QVERIFY(device.open(media(Kind::Mpeg)));
        device.control.setFrom(2000);
        device.control.setCommand("play");
        QTest::qWait(600);
        device.control.setCommand("pause");
        const qint32 pausedAt = device.control.Position();
        device.meter.reset();
        device.control.setCommand("pause");
        QTRY_COMPARE_WITH_TIMEOUT(device.control.mode(), DeviceMode::Stopped, PlayTimeoutMs);
        QVERIFY2(qAbs(device.control.Length() - 4000) <= 50,
                 qPrintable(QString::number(device.control.Length())));
        QCOMPARE(device.control.Position(), device.control.Length());
        QVERIFY(qAbs(device.heardMs() - (device.control.Length() - pausedAt)) <= 60);
    }

    // When the decoding fails (here: the disk is full), during "open" or
    // after it, the device goes on with the original, and the half-written
    // file goes away.
    void mpegDecodeFailureKeepsTheOriginal_data()
    {
        QTest::addColumn<int>("decodeWaitMs");
        QTest::newRow("after open") << 0;
        QTest::newRow("during open") << 1500;
    }

    void mpegDecodeFailureKeepsTheOriginal()
    {
        QFETCH(int, decodeWaitMs);
        const QString temp = dir_.filePath(QString("full-disk-%1").arg(decodeWaitMs));
        QVERIFY(QDir().mkpath(temp));
        // Files of this process may not grow past 64 KiB until the scope ends.
        struct FullDisk
        {
            rlimit saved{};
            void (*savedSignal)(int) = nullptr;
            explicit FullDisk(const QString& temp)
            {
                qputenv("TMPDIR", QFile::encodeName(temp));
                ::getrlimit(RLIMIT_FSIZE, &saved);
                savedSignal = std::signal(SIGXFSZ, SIG_IGN);
                rlimit small = saved;
                small.rlim_cur = 64 * 1024;
                ::setrlimit(RLIMIT_FSIZE, &small);
            }
            ~FullDisk()
            {
                ::setrlimit(RLIMIT_FSIZE, &saved);
                std::signal(SIGXFSZ, savedSignal);
                qunsetenv("TMPDIR");
            }
        };

        Device device;
        device.control.setDecodeWaitMs(decodeWaitMs);
        {
            FullDisk full(temp);
            QVERIFY(device.open(media(Kind::Mpeg)));
            QTRY_COMPARE(QDir(temp).entryList(QDir::Files).size(), 0);
        }
        device.play(1000, 1500);
        QTRY_COMPARE_WITH_TIMEOUT(device.control.mode(), DeviceMode::Stopped, PlayTimeoutMs);
        QCOMPARE(device.control.Position(), 1500);
    }

    // A stream that breaks while playing stops there; the next play opens
    // it afresh and plays in real time to its exact end.
    void brokenStreamRecovers()
    {
        int sinks = 0;
        SoundMeter meter;
        GstMediaControl device([&] {
            GstElement* sink = meter.createSink();
            if (sinks++ > 0)
                return sink;
            // The first output fails after a few buffers, as a device may.
            GstElement* bin = gst_bin_new(nullptr);
            GstElement* failing = gst_element_factory_make("identity", nullptr);
            g_object_set(failing, "error-after", 20, nullptr);
            gst_bin_add_many(GST_BIN(bin), failing, sink, nullptr);
            gst_element_link(failing, sink);
            GstPad* input = gst_element_get_static_pad(failing, "sink");
            gst_element_add_pad(bin, gst_ghost_pad_new("sink", input));
            gst_object_unref(input);
            return bin;
        });
        device.setFileName(media(Kind::Wav));
        device.setCommand("open");
        QCOMPARE(device.Length(), 4000);
        device.setFrom(0);
        device.setTo(3500);
        device.setCommand("play");
        QTRY_COMPARE_WITH_TIMEOUT(device.mode(), DeviceMode::Stopped, PlayTimeoutMs);
        QVERIFY(device.Position() < 3500);

        meter.reset();
        QElapsedTimer clock;
        clock.start();
        device.setFrom(500);
        device.setTo(1500);
        device.setCommand("play");
        QTRY_COMPARE_WITH_TIMEOUT(device.mode(), DeviceMode::Stopped, PlayTimeoutMs);
        QCOMPARE(device.Position(), 1500);
        QVERIFY(clock.elapsed() >= 950);
        QVERIFY(qAbs((meter.heardUs() + 500) / 1000 - 1000) <= 5);
        QCOMPARE(sinks, 2);
    }

    // An 8-bit mono WAV with an odd number of samples ends in a pad byte,
    // which GStreamer's own reader rejects.
    void oddSizedWav()
    {
        const QString path = dir_.filePath("dictaphone.wav");
        QVERIFY(TestMedia::ffmpeg({"-f", "lavfi", "-i",
                                   "sine=frequency=300:sample_rate=11025:duration=3", "-c:a",
                                   "pcm_u8", path}));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const qsizetype data = bytes.indexOf("data");
        QVERIFY(data > 0);
        QCOMPARE(qFromLittleEndian<quint32>(bytes.constData() + data + 4), 33075u);

        Device device;
        QVERIFY(device.open(path));
        QVERIFY2(qAbs(device.control.Length() - 3000) <= 5,
                 qPrintable(QString::number(device.control.Length())));
        device.play(1000, 1500);
        QTRY_COMPARE_WITH_TIMEOUT(device.control.mode(), DeviceMode::Stopped, PlayTimeoutMs);
        QCOMPARE(device.control.Position(), 1500);
        QVERIFY(qAbs(device.heardMs() - 500) <= 5);
    }

    // Files that cannot be played: length 0, not open, no hang, and the
    // device stays usable.
    void unplayableFiles_data()
    {
        QTest::addColumn<QString>("path");
        QByteArray noise(64 * 1024, '\0');
        quint32 state = 12345;
        for (char& byte : noise) {
            state = state * 1664525u + 1013904223u;
            byte = char(state >> 24);
        }
        QFile wav(media(Kind::Wav));
        QVERIFY(wav.open(QIODevice::ReadOnly));
        const QByteArray header = wav.read(30);

        QTest::newRow("random bytes named .wav")
            << TestMedia::writeFile(dir_.path(), "noise.wav", noise);
        QTest::newRow("empty file") << TestMedia::writeFile(dir_.path(), "empty.mp3", {});
        QTest::newRow("missing file") << dir_.filePath("missing.wav");
        QTest::newRow("cut-off file") << TestMedia::writeFile(dir_.path(), "cut.wav", header);
        QTest::newRow("text named .mp3") << TestMedia::writeFile(
            dir_.path(), "notes.mp3", QByteArray("Dear diary,\n").repeated(400));
        QTest::newRow("folder") << dir_.path();
        const QString pipe = dir_.filePath("pipe.wav");
        QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
        QTest::newRow("named pipe") << pipe;
    }

    void unplayableFiles()
    {
        QFETCH(QString, path);
        Device device;
        QElapsedTimer clock;
        clock.start();
        device.control.setFileName(path);
        device.control.setCommand("close");
        device.control.setCommand("open");
        QVERIFY(clock.elapsed() < GstMediaControl::OpenTimeoutMs + 1000);
        QCOMPARE(device.control.Length(), 0);
        QCOMPARE(device.control.mode(), DeviceMode::NotOpen);
        QCOMPARE(device.control.Position(), 0);

        // Nothing open: every command is harmless.
        device.control.setCommand("play");
        device.control.setCommand("pause");
        device.control.setCommand("close");
        device.control.setCommand("close");
        QCOMPARE(device.control.mode(), DeviceMode::NotOpen);

        QVERIFY(device.open(media(Kind::Wav)));
        QCOMPARE(device.control.mode(), DeviceMode::Stopped);
    }

    // A file cut in the middle of its sound still plays what it has.
    void truncatedFilePlaysWhatItHas()
    {
        QFile wav(media(Kind::Wav));
        QVERIFY(wav.open(QIODevice::ReadOnly));
        const QByteArray bytes = wav.readAll();
        const QString path =
            TestMedia::writeFile(dir_.path(), "half.wav", bytes.left(bytes.size() / 2));

        Device device;
        QVERIFY(device.open(path));
        QVERIFY2(qAbs(device.control.Length() - 2000) <= 50,
                 qPrintable(QString::number(device.control.Length())));
        device.play(1700, device.control.Length());
        QTRY_COMPARE_WITH_TIMEOUT(device.control.mode(), DeviceMode::Stopped, PlayTimeoutMs);
        QCOMPARE(device.control.Position(), device.control.Length());
    }

    // The program's own output is the desktop's; on a machine without a
    // sound device it still keeps time and stops exactly.
    void defaultOutputKeepsTime()
    {
        GstMediaControl device;
        device.setFileName(media(Kind::Wav));
        device.setCommand("open");
        QCOMPARE(device.Length(), 4000);
        QElapsedTimer clock;
        clock.start();
        device.setFrom(1000);
        device.setTo(1300);
        device.setCommand("play");
        QTRY_COMPARE_WITH_TIMEOUT(device.mode(), DeviceMode::Stopped, PlayTimeoutMs);
        QVERIFY2(clock.elapsed() >= 280, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(device.Position(), 1300);
    }

    // At every speed a stretch lasts its length divided by the speed, keeps
    // its pitch, stops exactly at its end and is heard up to that end. The
    // tone grows louder over the stretch's last 20 ms, louder again over
    // its last 10 ms, and is loudest after its end.
    void speedStretchesTheStretch_data()
    {
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("channels");
        QTest::addColumn<double>("endLevel");
        // Faster than normal, the stretcher plays 24 ms out of every (20 x
        // speed) ms of the recording, so the end it reaches lies within the
        // last 20 ms, not always within the last 10.
        QTest::newRow("0.5x") << 500 << 1 << 0.5;
        QTest::newRow("0.8x") << 800 << 1 << 0.5;
        QTest::newRow("1.0x") << 1000 << 1 << 0.5;
        QTest::newRow("1.5x") << 1500 << 1 << 0.35;
        QTest::newRow("2.0x") << 2000 << 1 << 0.35;
        QTest::newRow("0.5x stereo") << 500 << 2 << 0.5;
        QTest::newRow("2.0x stereo") << 2000 << 2 << 0.35;
    }
    void speedStretchesTheStretch()
    {
        QFETCH(int, speed);
        QFETCH(int, channels);
        QFETCH(double, endLevel);
        const QString path = dir_.filePath(QString("marked-end-%1.wav").arg(channels));
        const QString tone = "sin(2*PI*440*t)*if(lt(t,1.98),0.1,if(lt(t,1.99),0.4,if(lt(t,2),"
                             "0.55,if(lt(t,2.1),0.9,0.1))))";
        if (!QFile::exists(path))
            QVERIFY(TestMedia::ffmpeg(
                {"-f", "lavfi", "-i",
                 "aevalsrc=exprs='" + QStringList(channels, tone).join('|') + "':s=44100:d=3",
                 "-c:a", "pcm_s16le", path}));
        Device device;
        QVERIFY(device.open(path));
        device.control.setSpeed(speed);
        device.meter.countSamplesFrom(endLevel);
        device.play(1000, 2000);
        QTRY_COMPARE_WITH_TIMEOUT(device.control.mode(), DeviceMode::Stopped, PlayTimeoutMs);
        QCOMPARE(device.control.Position(), 2000);

        const qint64 expected = 1000 * 1000 / speed;
        QVERIFY2(qAbs(device.heardMs() - expected) <= expected * 3 / 100,
                 qPrintable(QString("heard %1 ms of %2").arg(device.heardMs()).arg(expected)));
        QVERIFY2(device.meter.samplesCounted() > 0, "the end of the stretch was not heard");
        QVERIFY2(device.meter.peak() < 0.7,
                 qPrintable(QString("heard past the end: %1").arg(device.meter.peak())));
    }

    // The position moves while playing and is read in ms.
    void positionFollowsPlayback()
    {
        Device device;
        device.control.setTimeFormat(MediaControl::MillisecondsFormat);
        QCOMPARE(device.control.TimeFormat(), 0);
        QVERIFY(device.open(media(Kind::Mp3VbrNoHeader)));
        QElapsedTimer clock;
        device.play(500, 3000);
        clock.start();
        QTest::qWait(600);
        const qint32 position = device.control.Position();
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(position > 500 + elapsed - 150 && position <= 500 + elapsed + 20,
                 qPrintable(QString("%1 after %2 ms").arg(position).arg(elapsed)));
    }
};

QTEST_GUILESS_MAIN(TestGstMediaControl)
#include "tst_gstmediacontrol.moc"

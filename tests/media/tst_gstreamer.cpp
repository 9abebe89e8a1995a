// GStreamer's ways with real files, and what the device does about them; the
// frame count that gives an mp3 without a VBR header its length.

#include "MediaRig.h"
#include "TestFiles.h"
#include "TestMedia.h"
#include "media/MpegAudioScan.h"
#include "media/Playbin.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>

#include <gst/gst.h>
#include <sys/stat.h>

using TestMedia::Kind;
using enum DeviceMode;

class TestGStreamer : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    QMap<Kind, QString> media_;
    int decoded() const { return int(QDir(dir_.filePath("temp")).entryList(QDir::Files).size()); }
    // `count` MPEG audio frames with `header`, of `size` bytes each.
    static QByteArray frames(quint32 header, int size, int count)
    {
        QByteArray frame(size, '\0');
        qToBigEndian(header, frame.data());
        return frame.repeated(count);
    }

private slots:
    void initTestCase()
    {
        // GStreamer starts with the first file, not with the device, so
        // that the program's window comes up without waiting for it.
        GstMediaControl().setCommand("close");
        QVERIFY(!gst_is_initialized());
        for (Kind kind : TestMedia::AllKinds)
            QVERIFY(!(media_[kind] = TestMedia::generate(dir_.path(), kind)).isEmpty());
        // Decoded tracks go to a folder of this test's own, to be counted.
        QVERIFY(QDir().mkpath(dir_.filePath("temp")));
        qputenv("TMPDIR", QFile::encodeName(dir_.filePath("temp")));
    }

    void everyFormat_data()
    {
        QTest::addColumn<Kind>("kind");
        for (Kind kind : TestMedia::AllKinds)
            QTest::newRow(qPrintable(TestMedia::name(kind))) << kind;
    }
    // The true length (encoders pad the 4 s by a frame or two at most); a
    // stretch paused and resumed, exact in its end, sound and positions; no
    // sound past the length (a video's last picture may run 40 ms past it).
    void everyFormat()
    {
        QFETCH(Kind, kind);
        MediaRig r(true);
        QVERIFY(r.open(media_[kind]));
        VERIFY_NEAR(r.d().Length(), 4000, 50);
        r.run("from:1000 to:2500 play");
        QTRY_VERIFY(r.d().Position() > 1300);
        r.run("pause");
        const qint32 pausedAt = r.d().Position();
        STEP(r, "wait:200", Paused, pausedAt, pausedAt - 1000, 60);
        STEP(r, "pause end", Stopped, 2500, 1500);
        r.run("reset from:3000 play end");
        STEP(r, "", Stopped, r.d().Length(), r.d().Length() - 3020, 25);
        // mp3 is decoded by mpg123, which keeps FFmpeg's libraries out of memory.
        const auto playbin = Playbin::open(
            media_[kind], [] { return gst_element_factory_make("fakesink", nullptr); }, 10000);
        QVERIFY(playbin && !playbin->contains("avdec_mp3") &&
                (TestMedia::extension(kind) != "mp3" || playbin->contains("mpg123audiodec")));
    }

    // An MPEG stream not yet decoded when "open" returns plays from the
    // original; the device takes the decoded sound's exact timeline at the
    // first moment it is not playing, keeping the play's end, and removes it
    // on close. When decoding fails (a full disk), the original plays on.
    void mpegDecodedTrack()
    {
        for (const int to : {3000, 0}) {
            MediaRig r(true);
            r.gst->setDecodeWaitMs(0);
            QVERIFY(r.open(media_[Kind::Mpeg]));
            QCOMPARE(decoded(), 1);
            r.run(to ? QString("from:1000 to:%1 play").arg(to) : "from:1000 play");
            STEP(r, "wait:800", Playing, -1); // decoding ends meanwhile
            r.run("pause");
            VERIFY_NEAR(r.d().Length(), 4000, 50);
            const qint32 pausedAt = r.d().Position();
            const qint32 end = to ? to : r.d().Length();
            STEP(r, "reset pause end", Stopped, end, end - pausedAt, 60);
            STEP(r, "reset from:1000 to:2500 play end close", NotOpen, 0, 1500);
            QCOMPARE(decoded(), 0);
        }
        for (const int decodeWaitMs : {0, 1500}) {
            MediaRig r(true);
            r.gst->setDecodeWaitMs(decodeWaitMs);
            {
                TestFiles::DiskFull full(64 * 1024);
                QVERIFY(full.active() && r.open(media_[Kind::Mpeg]));
                QTRY_COMPARE(decoded(), 0);
            }
            STEP(r, "from:1000 to:1500 play end", Stopped, 1500);
        }
    }

    // A stream that breaks while playing stops there; the next play opens
    // it afresh and plays in real time to its exact end. So does the
    // desktop's output, the program's own, on a machine without sound.
    void brokenStreamAndDefaultOutput()
    {
        int sinks = 0;
        MediaRig r(true, [&sinks](GstElement* sink) {
            if (sinks++)
                return sink;
            // The first output fails after a few buffers, as a device may.
            gst_object_unref(gst_object_ref_sink(sink));
            return gst_parse_bin_from_description("identity error-after=20 ! fakesink sync=true",
                                                  TRUE, nullptr);
        });
        QVERIFY(r.open(media_[Kind::Wav]));
        r.run("from:0 to:3500 play end");
        QVERIFY(r.d().mode() == Stopped && r.d().Position() < 3500);
        qint64 startNs = SoundMeter::nowNs();
        STEP(r, "reset from:500 to:1500 play end", Stopped, 1500, 1000);
        QVERIFY(SoundMeter::nowNs() - startNs >= 950'000'000 && sinks == 2);

        MediaRig desktop(true, {});
        QVERIFY(desktop.open(media_[Kind::Wav]));
        startNs = SoundMeter::nowNs();
        STEP(desktop, "from:1000 to:1300 play end", Stopped, 1300);
        QVERIFY(SoundMeter::nowNs() - startNs >= 280'000'000);
    }

    // WAV files GStreamer's reader cannot play alone: 8-bit mono with an odd
    // number of samples ends in a pad byte that it rejects unless fed in
    // order; a file cut in the middle of its sound plays what it has.
    // Lengths are rounded to the nearest millisecond.
    void wavFilesGStreamerStumblesOn()
    {
        const QString odd = dir_.filePath("dictaphone.wav");
        QVERIFY(TestMedia::ffmpeg({"-f", "lavfi", "-i", "sine=frequency=300:sample_rate=11025",
                                   "-af", "atrim=end_sample=33083", "-c:a", "pcm_u8", odd}));
        const QByteArray bytes = TestFiles::read(odd);
        QCOMPARE(qFromLittleEndian<quint32>(bytes.constData() + bytes.indexOf("data") + 4), 33083u);
        MediaRig r(true);
        QVERIFY(r.open(odd));
        QCOMPARE(r.d().Length(), 3001); // 3000.73 ms
        STEP(r, "from:1000 to:1500 play end", Stopped, 1500, 500);

        const QByteArray wav = TestFiles::read(media_[Kind::Wav]);
        QVERIFY(r.open(TestMedia::writeFile(dir_.path(), "half.wav", wav.left(wav.size() / 2))));
        QCOMPARE(r.d().Length(), 2000); // 1999.77 ms
        STEP(r, "reset from:1700 play end", Stopped, 2000, 300);
    }

    // Files that cannot be played open with length 0, not open, without a
    // hang; the device stays usable.
    void unplayableFiles()
    {
        QByteArray noise(64 * 1024, '\0');
        QRandomGenerator(1).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        const QString dir = dir_.path();
        const QString pipe = dir_.filePath("pipe.wav");
        QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
        for (const QString& path :
             {TestMedia::writeFile(dir, "noise.wav", noise),
              TestMedia::writeFile(dir, "empty.mp3", {}),
              TestMedia::writeFile(dir, "cut.wav", TestFiles::read(media_[Kind::Wav]).left(30)),
              TestMedia::writeFile(dir, "notes.mp3", QByteArray("Dear diary,\n").repeated(400)),
              pipe}) {
            MediaRig r(true);
            QVERIFY2(!r.open(path), qPrintable(path));
            STEP(r, "from:0 to:1000 play", NotOpen, 0);
            QVERIFY(r.open(media_[Kind::Wav]));
        }
    }

    void speeds_data()
    {
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("channels");
        for (const int speed : {500, 800, 1000, 1500, 2000})
            QTest::addRow("%d mono", speed) << speed << 1;
        QTest::newRow("500 stereo") << 500 << 2;
        QTest::newRow("2000 stereo") << 2000 << 2;
    }
    // At every speed a stretch lasts its length divided by the speed, stops
    // exactly at its end and is heard up to that end, not past it: the tone
    // grows louder over the last 20 ms (all the stretcher reaches when fast),
    // again over the last 10 ms, and is loudest after the end.
    void speeds()
    {
        QFETCH(int, speed);
        QFETCH(int, channels);
        const QString path = dir_.filePath(QString("marked-end-%1.wav").arg(channels));
        const QString tone = "sin(2*PI*440*t)*if(lt(t,1.98),0.1,if(lt(t,1.99),0.4,if(lt(t,2),"
                             "0.55,if(lt(t,2.1),0.9,0.1))))";
        QVERIFY(QFile::exists(path) ||
                TestMedia::ffmpeg(
                    {"-f", "lavfi", "-i",
                     "aevalsrc=exprs='" + QStringList(channels, tone).join('|') + "':s=44100:d=3",
                     "-c:a", "pcm_s16le", path}));
        MediaRig r(true);
        QVERIFY(r.open(path));
        r.meter.countSamplesFrom(speed > 1000 ? 0.35 : 0.5);
        STEP(r, QString("speed:%1 from:1000 to:2000 play end").arg(speed), Stopped, 2000,
             1000 * 1000 / speed, 30000 / speed);
        QVERIFY2(r.meter.samplesCounted() > 0, "the end of the stretch was not heard");
        QVERIFY2(r.meter.peak() < 0.7, qPrintable(QString::number(r.meter.peak())));
    }

    void mpegAudioFrameCount_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("lengthMs");
        // MPEG-1 layer III at 44.1 kHz: 128 kbit/s with and without padding, 320 kbit/s.
        const QByteArray mp3 = frames(0xFFFB9000, 417, 10) + frames(0xFFFB9200, 418, 10) +
                               frames(0xFFFBE000, 1044, 10);
        const auto with = [](QByteArray bytes, int at, const QByteArray& text) {
            return bytes.replace(at, text.size(), text);
        };
        QTest::newRow("mpeg-1 layer III") << mp3 << qint64(784); // 30 x 1152 samples
        QTest::newRow("mpeg-2 layer III") << frames(0xFFF38000, 208, 20) << qint64(522);
        QTest::newRow("mpeg-2.5 layer III") << frames(0xFFE34800, 288, 20) << qint64(1440);
        QTest::newRow("mpeg-1 layer II") << frames(0xFFFDA400, 576, 20) << qint64(480);
        // An ID3v2 tag holding what looks like another stream; an ID3v1 tag.
        QTest::newRow("tags") << QByteArray("ID3\3\0\0\0\0\6\x40", 10) +
                                     frames(0xFFF38000, 208, 4) + mp3 + "TAG" + QByteArray(125, 'x')
                              << qint64(784);
        QTest::newRow("damaged frame") << with(mp3, 5 * 417, QByteArray(4, 0)) << qint64(758);
        QTest::newRow("Info header") << with(mp3, 36, "Info") << qint64(-1);
        QTest::newRow("Xing, mono") << with(frames(0xFFFB90C0, 417, 9), 21, "Xing") << qint64(-1);
        QTest::newRow("in a WAV file") << QByteArray("RIFF\0\0\0\0WAVE", 12) + mp3 << qint64(-1);
        QTest::newRow("no bitrates") << QByteArray(5000, '\xFF') << qint64(-1);
    }
    // The length of MPEG audio without a VBR header, by counting its frames.
    // No cut of it is longer, and each is read without overrunning (a
    // sanitizer watches the heap copy).
    void mpegAudioFrameCount()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, lengthMs);
        const auto scan = [](const QByteArray& data) {
            return mpegAudioLengthMs(reinterpret_cast<const uchar*>(data.constData()), data.size());
        };
        QCOMPARE(scan(bytes), lengthMs);
        for (qsizetype size = 0; size < bytes.size(); size += 7)
            QVERIFY(scan(QByteArray(bytes.constData(), size)) <= lengthMs);
    }

    // An hour's recording is walked in pieces: its pages are handed back as
    // the count goes on instead of all staying in memory at once.
    void longFileIsWalkedInPieces()
    {
        const QString path = dir_.filePath("long.mp3");
        QVERIFY(TestFiles::write(path, frames(0xFFFB9000, 417, 2400).repeated(40)));
        const auto peakKb = [] {
            const QByteArray status = TestFiles::read("/proc/self/status");
            const qsizetype at = status.indexOf("VmHWM:") + 6;
            return status.mid(at, status.indexOf("kB", at) - at).trimmed().toLongLong();
        };
        QVERIFY(TestFiles::write("/proc/self/clear_refs", "5")); // the peak counts from here
        const qint64 before = peakKb();
        QCOMPARE(mpegAudioLengthMs(path), (40 * 2400 * 1152 * 1000LL + 22050) / 44100);
        QVERIFY2(peakKb() - before < 8 * 1024, qPrintable(QString::number(peakKb() - before)));
    }
};

QTEST_GUILESS_MAIN(TestGStreamer)
#include "tst_gstreamer.moc"

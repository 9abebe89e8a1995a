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

#include <sys/stat.h>

using TestMedia::Kind;
using enum DeviceMode;

class TestGStreamer : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    QMap<Kind, QString> media_;
    int decoded() const { return int(QDir(dir_.filePath("temp")).entryList(QDir::Files).size()); }

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
    // The true length (encoders pad the 4 s by a frame or two at most); plays
    // exact in their end, sound and positions, also when paused and resumed;
    // no sound past the length (a video's last picture may run 40 ms past it).
    // MPEG streams and raw AAC (which tells no length) play a track decoded to
    // an exact timeline, removed on close; not yet decoded, it takes over at
    // the first pause, keeping the play's end (a few ms may sound twice).
    void everyFormat()
    {
        QFETCH(Kind, kind);
        MediaRig r(true);
        r.gst->setDecodeWaitMs(0);
        QVERIFY(r.open(media_[kind]));
        QCOMPARE(decoded(), kind >= Kind::Mpeg ? 1 : 0);
        // Decoded tracks play to the end, except MPEG-TS, which stops at 3 s.
        const bool toTheEnd = kind == Kind::Mpeg || kind == Kind::Aac;
        const qint32 end = kind == Kind::MpegTs ? 3000 : 2500;
        r.run(toTheEnd ? QString("from:1000 play") : QString("from:1000 to:%1 play").arg(end));
        QTRY_VERIFY_WITH_TIMEOUT(r.d().Position() > 1300, 30000);
        r.run("pause");
        const qint32 pausedAt = r.d().Position();
        QTRY_VERIFY_WITH_TIMEOUT(qAbs(r.d().Length() - 4000) <= 50, 30000);
        STEP(r, "wait:200", Paused, pausedAt, pausedAt - 1000, 60);
        if (toTheEnd) {
            r.run("pause end");
            STEP(r, "", Stopped, r.d().Length(), r.d().Length() - 1000, 60);
        } else {
            STEP(r, "pause end", Stopped, end, end - 1000, kind >= Kind::Mpeg ? 60 : 5);
        }
        const qint32 length = r.d().Length();
        STEP(r, "reset from:3000 play end", Stopped, length, length - 3020, 25);
        STEP(r, "close", NotOpen, 0);
        QCOMPARE(decoded(), 0);
        // mp3 is decoded by mpg123, which keeps FFmpeg's libraries out of memory.
        const auto playbin = Playbin::open(
            media_[kind], [] { return gst_element_factory_make("fakesink", nullptr); }, 10000);
        QVERIFY(playbin && !playbin->contains("avdec_mp3") &&
                (TestMedia::extension(kind) != "mp3" || playbin->contains("mpg123audiodec")));
    }

    // What goes wrong. A sound output that fails while playing pauses the
    // play there; resuming goes on from there on a fresh output. GStreamer's WAV reader rejects the
    // pad byte of 8-bit mono with an odd number of samples unless fed in order; a WAV cut in the
    // middle of its sound plays what it has (lengths rounded to the nearest ms). Files that cannot
    // be played open with length 0, not open, without a hang, and leave the device usable. When the
    // disk is too full to decode an MPEG stream into a track, the original plays on.
    void trouble()
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
        // It pauses where it failed and goes on, on a fresh output, from there.
        QVERIFY(r.open(media_[Kind::Wav]));
        r.run("from:0 to:3500 play wait:1000");
        const qint32 lostAt = r.d().Position();
        QVERIFY(r.d().mode() == Paused && lostAt < 1000);
        QVERIFY(r.d().soundOutput() == SoundOutput::Lost);
        STEP(r, "reset pause end", Stopped, 3500, 3500 - lostAt, 30);
        QVERIFY(r.d().soundOutput() == SoundOutput::Heard);
        STEP(r, "reset from:500 to:1500 play end", Stopped, 1500, 1000);

        const QString odd = dir_.filePath("dictaphone.wav"), dir = dir_.path();
        QVERIFY(TestMedia::ffmpeg({"-f", "lavfi", "-i", "sine=frequency=300:sample_rate=11025",
                                   "-af", "atrim=end_sample=33083", "-c:a", "pcm_u8", odd}));
        QVERIFY(TestFiles::read(odd).contains(QByteArray("data\x3B\x81\0\0", 8))); // 33083 bytes
        const QByteArray wav = TestFiles::read(media_[Kind::Wav]);
        QVERIFY(r.open(odd));
        QCOMPARE(r.d().Length(), 3001); // 3000.73 ms
        STEP(r, "reset from:1000 to:1500 play end", Stopped, 1500, 500);
        QVERIFY(r.open(TestMedia::writeFile(dir, "half.wav", wav.left(wav.size() / 2))));
        QCOMPARE(r.d().Length(), 2000); // 1999.77 ms
        STEP(r, "reset from:1700 play end", Stopped, 2000, 300);
        // A WMA cut in half still claims its 4 s: a play stops where its sound ends.
        const QByteArray wma = TestFiles::read(media_[Kind::Wma]);
        QVERIFY(r.open(TestMedia::writeFile(dir, "half.wma", wma.left(wma.size() / 2))));
        r.run("reset play end");
        QVERIFY(r.d().Length() > 3900 && r.d().endedEarlyAt() == r.d().Position());
        QVERIFY(r.d().mode() == Stopped && qAbs(r.d().Position() - r.heardMs()) <= 30);

        QByteArray noise(64 * 1024, '\0');
        QRandomGenerator(1).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        QVERIFY(::mkfifo(QFile::encodeName(dir_.filePath("pipe.wav")).constData(), 0600) == 0);
        for (const QString& path :
             {TestMedia::writeFile(dir, "noise.wav", noise),
              TestMedia::writeFile(dir, "empty.mp3", {}),
              TestMedia::writeFile(dir, "cut.wav", wav.left(30)),
              TestMedia::writeFile(dir, "notes.mp3", QByteArray("Dear diary,\n").repeated(400)),
              dir_.filePath("pipe.wav")}) {
            QVERIFY2(!r.open(path), qPrintable(path));
            STEP(r, "from:0 to:1000 play", NotOpen, 0);
            QVERIFY(r.open(media_[Kind::Wav]));
        }

        for (const int decodeWaitMs : {0, 1500}) {
            r.gst->setDecodeWaitMs(decodeWaitMs);
            TestFiles::DiskFull full(64 * 1024);
            QVERIFY(full.active() && r.open(media_[Kind::Mpeg]));
            QTRY_COMPARE(decoded(), 0);
            STEP(r, "from:1000 to:1500 play end", Stopped, 1500);
        }
    }

    // At every speed a stretch lasts its length divided by the speed, stops
    // exactly at its end and is heard up to that end, not past it: the tone
    // grows louder over the last 20 ms (all the stretcher reaches when fast),
    // again over the last 10 ms, and is loudest after the end.
    void speeds()
    {
        const QString tone = "aevalsrc=exprs='sin(2*PI*440*t)*if(lt(t,1.98),0.1,if(lt(t,1.99),0.4,"
                             "if(lt(t,2),0.55,if(lt(t,2.1),0.9,0.1))))':s=44100:d=3:c=";
        for (const QString layout : {"mono", "stereo"}) {
            const QString path = dir_.filePath(layout + ".wav");
            MediaRig r(true);
            QVERIFY(TestMedia::ffmpeg({"-f", "lavfi", "-i", tone + layout, path}) && r.open(path));
            for (const int speed : {500, 800, 1000, 1500, 2000}) {
                r.meter.countSamplesFrom(speed > 1000 ? 0.35 : 0.5);
                STEP(r, QString("reset speed:%1 from:1000 to:2000 play end").arg(speed), Stopped,
                     2000, 1000 * 1000 / speed, 30000 / speed);
                QCOMPARE_GT(r.meter.samplesCounted(), 0);
                QCOMPARE_LT(r.meter.peak(), 0.7);
            }
        }
    }

    // A change of volume is heard at once, and only the level changes: the
    // play runs on to its end, nothing skipped or heard twice. A file opened
    // afresh plays at the volume chosen.
    void volume()
    {
        const QString path = dir_.filePath("tone.wav");
        MediaRig r(true);
        QVERIFY(TestMedia::ffmpeg({"-f", "lavfi", "-i",
                                   "aevalsrc=exprs='0.3*sin(2*PI*440*t)':s=44100:d=4", path}) &&
                r.open(path));
        STEP(r,
             "from:0 to:1500 play wait:300 volume:50 wait:300 volume:200 wait:300 volume:100 end",
             Stopped, 1500, 1500);
        r.run("play");
        for (const int volume : {100, 50, 200}) {
            STEP(r, QString("volume:%1 wait:100 reset wait:200").arg(volume), Playing, -1);
            QCOMPARE_LT(qAbs(r.meter.peak() - 0.003 * volume), 0.01);
        }
        STEP(r, "close open reset from:0 to:300 play end", Stopped, 300, 300);
        QCOMPARE_LT(qAbs(r.meter.peak() - 0.6), 0.01);
    }

    // The length of MPEG audio without a VBR header (-1: with one, or no
    // MPEG audio), by counting its frames. No cut of it is longer, and each
    // is read without overrunning (a sanitizer watches the heap copy). An
    // hour's recording is walked in pieces: its pages are handed back as the
    // count goes on instead of all staying in memory at once.
    void mpegAudioFrameCount()
    {
        const auto frames = [](quint32 header, int size, int count) {
            QByteArray frame(size, '\0');
            qToBigEndian(header, frame.data());
            return frame.repeated(count);
        };
        const auto with = [](QByteArray bytes, int at, const QByteArray& text) {
            return bytes.replace(at, text.size(), text);
        };
        // MPEG-1 layer III at 44.1 kHz: 128 kbit/s with and without padding, 320 kbit/s.
        const QByteArray mp3 = frames(0xFFFB9000, 417, 10) + frames(0xFFFB9200, 418, 10) +
                               frames(0xFFFBE000, 1044, 10);
        const std::pair<QByteArray, qint64> cases[] = {
            {mp3, 784},                                  // 30 x 1152 samples
            {frames(0xFFF38000, 208, 20), 522},          // MPEG-2 layer III
            {frames(0xFFE34800, 288, 20), 1440},         // MPEG-2.5 layer III
            {frames(0xFFFDA400, 576, 20), 480},          // MPEG-1 layer II
            {with(mp3, 5 * 417, QByteArray(4, 0)), 758}, // a damaged frame
            // An ID3v2 tag holding what looks like another stream; an ID3v1 tag.
            {QByteArray("ID3\3\0\0\0\0\6\x40", 10) + frames(0xFFF38000, 208, 4) + mp3 + "TAG" +
                 QByteArray(125, 'x'),
             784},
            {with(mp3, 36, "Info"), -1},
            {with(frames(0xFFFB90C0, 417, 9), 21, "Xing"), -1}, // mono
            {QByteArray("RIFF\0\0\0\0WAVE", 12) + mp3, -1},
            {QByteArray(5000, '\xFF'), -1}, // no bitrates
        };
        for (const auto& [bytes, lengthMs] : cases)
            for (qsizetype size = bytes.size(); size >= 0; size -= 7) {
                const QByteArray cut = bytes.left(size);
                const auto ms = mpegAudioLengthMs(reinterpret_cast<const uchar*>(cut.data()), size);
                QCOMPARE(ms, size < bytes.size() ? qMin(ms, lengthMs) : lengthMs);
            }

        const QString path = dir_.filePath("long.mp3");
        QVERIFY(TestFiles::write(path, frames(0xFFFB9000, 417, 2400).repeated(40)));
        const auto peakKb = [] {
            return std::atoll(strstr(TestFiles::read("/proc/self/status").data(), "VmHWM:") + 6);
        };
        QVERIFY(TestFiles::write("/proc/self/clear_refs", "5")); // the peak counts from here
        const qint64 before = peakKb();
        QCOMPARE(mpegAudioLengthMs(path), (40 * 2400 * 1152 * 1000LL + 22050) / 44100);
        QVERIFY2(peakKb() - before < 8 * 1024, qPrintable(QString::number(peakKb() - before)));
    }
};

QTEST_GUILESS_MAIN(TestGStreamer)
#include "tst_gstreamer.moc"

// True lengths of mp3 and mp2 files without a VBR header, by counting frames.

#include "TestMedia.h"
#include "media/MpegAudioScan.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

class TestMpegAudioScan : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;

    // Encodes 3 s of changing noise; `extra` are ffmpeg output options.
    QString encode(const QString& name, const QStringList& extra)
    {
        const QString path = dir_.filePath(name);
        const QStringList input{"-f", "lavfi", "-i",
                                "anoisesrc=d=3:a=0.3,volume='if(lt(t,1.5),0.05,1)':eval=frame"};
        return TestMedia::ffmpeg(input + extra + QStringList{path}) ? path : QString();
    }

    static QByteArray read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static qint64 scan(const QByteArray& bytes)
    {
        return mpegAudioLengthMs(reinterpret_cast<const uchar*>(bytes.constData()), bytes.size());
    }

    // A figure of this process from /proc/self/status, in kB.
    static qint64 statusKb(const char* name)
    {
        QFile status("/proc/self/status");
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith(QByteArray(name) + ':'))
                return line.mid(qsizetype(std::strlen(name)) + 1)
                    .trimmed()
                    .split(' ')
                    .value(0)
                    .toLongLong();
        return -1;
    }

private slots:
    // An hour's recording is walked in pieces: its pages are handed back as
    // the count goes on instead of all staying in memory at once.
    void longFileIsWalkedInPieces()
    {
        const QString piece =
            encode("piece.mp3", {"-c:a", "libmp3lame", "-q:a", "3", "-write_xing", "0"});
        QVERIFY(!piece.isEmpty());
        const QByteArray frames = read(piece);
        const QString path = dir_.filePath("long.mp3");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        qint64 copies = 0;
        for (; file.size() < 40'000'000; ++copies)
            file.write(frames);
        file.close();

        // The peak counts from here on.
        QFile clearRefs("/proc/self/clear_refs");
        QVERIFY(clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1);
        clearRefs.close();
        const qint64 before = statusKb("VmHWM");
        QVERIFY(mpegAudioLengthMs(path) > copies * 2900);
        const qint64 grownKb = statusKb("VmHWM") - before;
        QVERIFY2(grownKb < 8 * 1024, qPrintable(QString("grew by %1 kB").arg(grownKb)));
        QFile::remove(path);
    }

    // Every MPEG version and layer the frame table knows, against ffmpeg's
    // own count of decoded samples.
    void lengthMatchesDecodedSound_data()
    {
        QTest::addColumn<QStringList>("options");
        const QStringList vbr{"-c:a", "libmp3lame", "-q:a", "3", "-write_xing", "0"};
        QTest::newRow("mpeg-1 layer III vbr") << vbr + QStringList{"-ar", "44100"};
        QTest::newRow("mpeg-2 layer III vbr") << vbr + QStringList{"-ar", "22050"};
        QTest::newRow("mpeg-2.5 layer III vbr") << vbr + QStringList{"-ar", "8000"};
        QTest::newRow("mpeg-1 layer III cbr mono")
            << QStringList{"-c:a", "libmp3lame", "-b:a", "64k", "-ac", "1", "-write_xing", "0"};
        QTest::newRow("mpeg-1 layer II") << QStringList{"-c:a", "mp2", "-ar", "48000", "-f", "mp2"};
    }

    void lengthMatchesDecodedSound()
    {
        QFETCH(QStringList, options);
        const QString path = encode(QString("%1.mp3").arg(QTest::currentDataTag()), options);
        QVERIFY(!path.isEmpty());
        const qint64 decoded = TestMedia::decodedLengthMs(path);
        QVERIFY(decoded > 2900);
        const qint64 length = mpegAudioLengthMs(path);
        QVERIFY2(qAbs(length - decoded) <= 1,
                 qPrintable(QString("%1 vs %2").arg(length).arg(decoded)));
    }

    // Tags before and after the sound do not count; damage in the middle
    // costs only the damaged frames; a VBR header leaves the length to
    // GStreamer.
    void tagsDamageAndHeaders()
    {
        const QStringList vbr{"-c:a", "libmp3lame", "-q:a", "3", "-write_xing", "0"};
        const QString plain = encode("plain.mp3", vbr);
        const QString tagged =
            encode("tagged.mp3", vbr + QStringList{"-metadata", "title=Interview", "-id3v2_version",
                                                   "3", "-write_id3v1", "1"});
        const QString withHeader = encode("header.mp3", {"-c:a", "libmp3lame", "-q:a", "3"});
        QVERIFY(!plain.isEmpty() && !tagged.isEmpty() && !withHeader.isEmpty());

        const qint64 length = mpegAudioLengthMs(plain);
        QVERIFY(length > 2900);
        QVERIFY(read(tagged).startsWith("ID3"));
        QCOMPARE(mpegAudioLengthMs(tagged), length);

        QByteArray damaged = read(plain);
        damaged.replace(damaged.size() / 2, 700, QByteArray(700, '\0'));
        const qint64 damagedLength = scan(damaged);
        QVERIFY2(damagedLength < length && damagedLength > length - 150,
                 qPrintable(QString("%1 of %2").arg(damagedLength).arg(length)));

        QCOMPARE(mpegAudioLengthMs(withHeader), -1);
        QCOMPARE(mpegAudioLengthMs(dir_.filePath("missing.mp3")), -1);
    }

    // Files that are not MPEG audio, and every cut of a real one, are read
    // without overrunning the data.
    void otherAndBrokenData()
    {
        const QString wav = TestMedia::generate(dir_.path(), TestMedia::Kind::Wav, 1);
        QCOMPARE(mpegAudioLengthMs(wav), -1);
        QCOMPARE(scan(QByteArray("Dear diary, today I recorded nothing.").repeated(100)), -1);
        QCOMPARE(scan(QByteArray()), -1);
        QCOMPARE(scan(QByteArray(5000, '\xFF')), -1);

        const QByteArray mp3 = read(encode(
            "cut.mp3", {"-c:a", "libmp3lame", "-b:a", "32k", "-write_xing", "0", "-t", "0.5"}));
        QVERIFY(mp3.size() > 1000);
        qint64 previous = -1;
        for (qsizetype size = 0; size <= mp3.size(); size += 7) {
            // A heap copy of exactly `size` bytes, so a sanitizer sees any overrun.
            const QByteArray cut(mp3.constData(), size);
            const qint64 length = scan(cut);
            QVERIFY(length >= -1);
            if (length >= 0) {
                QVERIFY(length >= previous);
                previous = length;
            }
        }
        QVERIFY(previous > 400);
    }
};

QTEST_GUILESS_MAIN(TestMpegAudioScan)
#include "tst_mpegaudioscan.moc"

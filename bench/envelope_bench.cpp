// Envelope figures on an hour-long mp3: the whole envelope against a plain
// decode of the same file by GStreamer, how soon the stretch around the
// position is there, the memory it takes, and reading it back from the
// cache. Prints one line per figure and, at the end, the rows of the summary
// table; run by `make bench`.
//
// usage: envelope_bench [MEDIA_DIR]   (the generated recording is kept there)

#include "BenchRow.h"

#include "media/Envelope.h"
#include "media/EnvelopeScanner.h"
#include "media/GstMediaControl.h"
#include "storage/EnvelopeCache.h"
#include "tools/SoundMeter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <sys/resource.h>

namespace {

constexpr int Runs = 3;

// The media benchmark's hour of speech-like material, 128 kbit/s CBR: noise
// whose loudness changes every few seconds.
QString makeRecording(const QString& dir)
{
    const QString path = QDir(dir).filePath("hour-cbr.mp3");
    if (QFileInfo(path).size() > 0)
        return path;
    std::printf("# generating hour-cbr.mp3 (once)\n");
    std::fflush(stdout);
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
                            "anoisesrc=d=3600:a=0.3,volume='0.2+0.8*abs(sin(t/3))':eval=frame",
                            "-c:a", "libmp3lame", "-b:a", "128k", path});
    if (!ffmpeg.waitForFinished(-1) || ffmpeg.exitCode() != 0)
        return {};
    return path;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Peak resident memory of this process so far, in bytes.
qint64 peakRss()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine())
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    return 0;
}

double processorMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// gst-launch-1.0 filesrc location=PATH ! DECODER ! fakesink sync=false
double plainDecodeMs(const QString& path, const QString& decoder)
{
    QElapsedTimer clock;
    clock.start();
    QProcess launch;
    launch.start("gst-launch-1.0", QStringList{"-q", "filesrc", "location=" + path, "!"} +
                                       decoder.split(' ') +
                                       QStringList{"!", "fakesink", "sync=false"});
    if (!launch.waitForFinished(-1) || launch.exitCode() != 0)
        return -1;
    return clock.nsecsElapsed() / 1e6;
}

struct Scan
{
    double wholeMs = 0;
    double firstLevelsMs = 0;
    double processorMs = 0;
    Envelope envelope;
};

Scan scan(const QString& path, qint32 lengthMs)
{
    Scan result{0, 0, 0, Envelope(lengthMs)};
    EnvelopeScanner scanner;
    QEventLoop loop;
    QElapsedTimer clock;
    QObject::connect(&scanner, &EnvelopeScanner::levelsFound,
                     [&](qsizetype first, const QList<quint16>& levels) {
                         if (result.envelope.knownCount() == 0)
                             result.firstLevelsMs = clock.nsecsElapsed() / 1e6;
                         result.envelope.setLevels(first, levels.data(), levels.size());
                     });
    QObject::connect(&scanner, &EnvelopeScanner::finished, &loop, &QEventLoop::quit);
    QObject::connect(&scanner, &EnvelopeScanner::failed, [&](const QString& note) {
        std::fprintf(stderr, "envelope_bench: %s\n", qPrintable(note));
        loop.quit();
    });
    const double processorBefore = processorMs();
    clock.start();
    // Around the middle, as for a project opened where it was left.
    scanner.start(path, lengthMs, lengthMs / 2);
    loop.exec();
    result.wholeMs = clock.nsecsElapsed() / 1e6;
    result.processorMs = processorMs() - processorBefore;
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QDir().mkpath(dir);
    // A cache folder of its own, not the user's.
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));

    const QString path = makeRecording(dir);
    qint32 lengthMs = 0;
    {
        SoundMeter meter;
        GstMediaControl device([&meter] { return meter.createSink(); });
        device.setFileName(path);
        device.setCommand("open");
        lengthMs = device.Length();
    }
    if (path.isEmpty() || lengthMs <= 0) {
        std::fprintf(stderr, "envelope_bench: no hour-long mp3 to scan\n");
        return 1;
    }

    std::vector<double> decodes, mpg123Decodes, wholes, firsts, processor;
    // Over the first scan, the envelope included; GStreamer and the mp3
    // decoder are loaded already, by the device.
    const qint64 rssBefore = peakRss();
    qint64 rssGrowth = 0;
    Envelope envelope;
    for (int run = 0; run < Runs; ++run) {
        decodes.push_back(plainDecodeMs(path, "decodebin"));
        mpg123Decodes.push_back(plainDecodeMs(path, "mpegaudioparse ! mpg123audiodec"));
        Scan found = scan(path, lengthMs);
        wholes.push_back(found.wholeMs);
        firsts.push_back(found.firstLevelsMs);
        processor.push_back(found.processorMs);
        std::printf("run %d: plain decode %.0f ms (mpg123 %.0f ms), envelope %.0f ms (first levels "
                    "after %.0f ms, processor %.0f ms), %s\n",
                    run + 1, decodes.back(), mpg123Decodes.back(), found.wholeMs,
                    found.firstLevelsMs, found.processorMs,
                    found.envelope.isComplete() ? "complete" : "INCOMPLETE");
        std::fflush(stdout);
        if (run == 0) {
            rssGrowth = peakRss() - rssBefore;
            envelope = std::move(found.envelope);
        }
    }
    const qint64 envelopeBytes = envelope.bucketCount() * qint64(sizeof(quint16));

    QElapsedTimer clock;
    clock.start();
    const std::optional<QString> unwritten = writeCachedEnvelope(path, envelope);
    const double writeMs = clock.nsecsElapsed() / 1e6;
    std::vector<double> reads;
    bool readBack = !unwritten;
    for (int run = 0; run < 9 && readBack; ++run) {
        clock.restart();
        const std::optional<Envelope> cached = readCachedEnvelope(path, lengthMs);
        reads.push_back(clock.nsecsElapsed() / 1e6);
        readBack = cached && cached->buckets() == envelope.buckets();
    }
    std::printf("cache: written in %.1f ms%s, read in %.2f ms (median of 9)%s\n", writeMs,
                unwritten ? qPrintable(" FAILED: " + *unwritten) : "", median(reads),
                readBack ? "" : ", NOT READ BACK");

    const double whole = median(wholes);
    const auto against = [&](const QString& figure, double decode, const QString& decoder) {
        const double over = decode > 0 ? 100 * (whole / decode - 1) : 0;
        printRow(
            figure, "< plain decode + 20 %",
            QString("%1 (%2%3 %)").arg(duration(whole), over >= 0 ? "+" : "").arg(over, 0, 'f', 0),
            rowVerdict(decode > 0 && whole <= decode * 1.2),
            QString("median of %1; plain decode %2 (gst-launch-1.0 filesrc ! %3 ! fakesink "
                    "sync=false, its start included); processor %4")
                .arg(Runs)
                .arg(duration(decode), decoder, duration(median(processor))));
    };
    against("Envelope of a 60-min mp3 CBR, whole", median(decodes), "decodebin");
    against("Envelope of a 60-min mp3 CBR, whole, against mpg123", median(mpg123Decodes),
            "mpegaudioparse ! mpg123audiodec");
    printRow("Envelope, first levels around the position", "", duration(median(firsts)), "",
             "60-min mp3 CBR, around its middle; median of 3");
    printRow("Envelope memory, 60-min", "< 8 MB",
             QString("%1 MB peak growth").arg(rssGrowth / 1048576.0, 0, 'f', 1),
             rowVerdict(rssGrowth < 8 << 20),
             QString("peak resident memory over the first scan, the envelope (%1 MB) included")
                 .arg(envelopeBytes / 1048576.0, 0, 'f', 2));
    printRow(
        "Envelope cache read, 60-min", "< 10 ms", duration(median(reads), 1),
        rowVerdict(readBack && median(reads) < 10),
        QString("median of 9, file in the page cache; written in %1").arg(duration(writeMs, 1)));
    return readBack ? 0 : 1;
}

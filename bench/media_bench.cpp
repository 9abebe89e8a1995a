// Media device figures on hour-long recordings (mp3 CBR, mp3 VBR without a
// header, WAV): how fast a file opens, how fast "pause" silences playback,
// how fast a replay starts, and how exactly a stretch stops. Prints one line
// per figure and, at the end, the rows of the summary table; run by
// `make bench`.
//
// usage: media_bench [MEDIA_DIR]   (the generated recordings are kept there)

#include "BenchRow.h"

#include "media/GstMediaControl.h"
#include "tools/SoundMeter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int HourSeconds = 3600;

struct Recording
{
    const char* name;
    QStringList encoder;
};

// An hour of speech-like material: noise whose loudness changes every few
// seconds, so that VBR encoders really vary their bitrate.
QString makeRecording(const QString& dir, const Recording& recording)
{
    const QString path = QDir(dir).filePath(recording.name);
    if (QFileInfo(path).size() > 0)
        return path;
    std::printf("# generating %s (once)\n", recording.name);
    std::fflush(stdout);
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", QStringList{"-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
                                       QString("anoisesrc=d=%1:a=0.3,volume='0.2+0.8*abs(sin(t/3))'"
                                               ":eval=frame")
                                           .arg(HourSeconds)} +
                               recording.encoder + QStringList{path});
    if (!ffmpeg.waitForFinished(-1) || ffmpeg.exitCode() != 0)
        return {};
    return path;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double maximum(const std::vector<double>& values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

void waitWhilePlaying(const MediaControl& device)
{
    QElapsedTimer clock;
    clock.start();
    while (device.mode() == DeviceMode::Playing && clock.elapsed() < 20000)
        QTest::qWait(1);
}

struct OpenFigures
{
    double medianMs = 0;
    double maxMs = 0;
};

struct PlayFigures
{
    double pauseCallMedian = 0;
    double pauseCallMax = 0;
    double soundAfterPauseMax = 0;
    double replayStartMedian = 0;
    double replayStartMax = 0;
    double stopErrorMax = 0;
    double soundErrorMax = 0;
};

OpenFigures benchOpen(const QString& label, const QString& path)
{
    std::vector<double> times;
    qint32 length = 0;
    for (int run = 0; run < 5; ++run) {
        SoundMeter meter;
        GstMediaControl device([&meter] { return meter.createSink(); });
        device.setFileName(path);
        QElapsedTimer clock;
        clock.start();
        device.setCommand("close");
        device.setCommand("open");
        times.push_back(clock.nsecsElapsed() / 1e6);
        length = device.Length();
    }
    std::printf("open_ms %-16s median=%.1f max=%.1f length_ms=%d\n", qPrintable(label),
                median(times), maximum(times), length);
    return {median(times), maximum(times)};
}

PlayFigures benchPlayback(const QString& label, const QString& path)
{
    SoundMeter meter;
    GstMediaControl device([&meter] { return meter.createSink(); });
    device.setFileName(path);
    device.setCommand("open");
    const qint32 length = device.Length();

    std::vector<double> pauseCall, pauseSilence, replayStart, stopError, soundError;
    for (int i = 0; i < 8; ++i) {
        const qint32 from = qint32(qint64(length - 5000) * (2 * i + 1) / 16);
        const qint32 to = from + 1500;

        // A stretch: how soon its sound starts, where it stops, what was heard.
        meter.reset();
        const qint64 start = SoundMeter::nowNs();
        device.setFrom(from);
        device.setTo(to);
        device.setCommand("play");
        waitWhilePlaying(device);
        replayStart.push_back((meter.firstBufferAtNs() - start) / 1e6);
        stopError.push_back(std::abs(device.Position() - to));
        soundError.push_back(std::abs(meter.heardUs() / 1000.0 - (to - from)));

        // Pause in the middle of playing: how long the command takes and how
        // long sound still arrives afterwards.
        device.setCommand("pause"); // paused at the stretch end
        device.setCommand("pause"); // plays on
        QTest::qWait(400);
        const qint64 before = SoundMeter::nowNs();
        device.setCommand("pause");
        const qint64 after = SoundMeter::nowNs();
        QTest::qWait(100);
        pauseCall.push_back((after - before) / 1e6);
        pauseSilence.push_back(std::max<qint64>(0, meter.lastBufferAtNs() - before) / 1e6);
    }
    std::printf("pause_ms %-15s call_median=%.2f call_max=%.2f sound_after_median=%.2f "
                "sound_after_max=%.2f\n",
                qPrintable(label), median(pauseCall), maximum(pauseCall), median(pauseSilence),
                maximum(pauseSilence));
    std::printf("replay_start_ms %-8s median=%.1f max=%.1f\n", qPrintable(label),
                median(replayStart), maximum(replayStart));
    std::printf("stop_error_ms %-10s reported_max=%.0f sound_max=%.2f\n", qPrintable(label),
                maximum(stopError), maximum(soundError));
    return {median(pauseCall),    maximum(pauseCall), maximum(pauseSilence), median(replayStart),
            maximum(replayStart), maximum(stopError), maximum(soundError)};
}

// "CBR 0.30, VBR 0.31, WAV 0.28 ms"
template <typename Figure>
QString perFormat(const std::vector<PlayFigures>& figures, Figure figure, int decimals)
{
    static const char* const Labels[] = {"CBR", "VBR", "WAV"};
    QStringList parts;
    for (std::size_t i = 0; i < figures.size(); ++i)
        parts << QString("%1 %2").arg(Labels[i]).arg(figure(figures[i]), 0, 'f', decimals);
    return parts.join(", ") + " ms";
}

template <typename Figure> double worst(const std::vector<PlayFigures>& figures, Figure figure)
{
    double result = 0;
    for (const PlayFigures& f : figures)
        result = std::max(result, figure(f));
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QDir().mkpath(dir);

    const QString cbr =
        makeRecording(dir, {"hour-cbr.mp3", {"-c:a", "libmp3lame", "-b:a", "128k"}});
    const QString vbr = makeRecording(
        dir, {"hour-vbr-no-header.mp3", {"-c:a", "libmp3lame", "-q:a", "4", "-write_xing", "0"}});
    const QString wav = makeRecording(dir, {"hour.wav", {"-c:a", "pcm_s16le"}});
    if (cbr.isEmpty() || vbr.isEmpty() || wav.isEmpty()) {
        std::fprintf(stderr, "media_bench: ffmpeg could not generate the recordings\n");
        return 1;
    }

    // The first open also starts GStreamer; it is reported on its own.
    double firstOpenMs = 0;
    {
        GstMediaControl device;
        device.setFileName(cbr);
        QElapsedTimer clock;
        clock.start();
        device.setCommand("open");
        firstOpenMs = clock.nsecsElapsed() / 1e6;
        std::printf("first_open_ms %.1f length_ms=%d (default sound output, includes GStreamer "
                    "start-up)\n",
                    firstOpenMs, device.Length());
    }
    const OpenFigures openCbr = benchOpen("mp3-cbr-60min", cbr);
    const OpenFigures openVbr = benchOpen("mp3-vbr-60min", vbr);
    const OpenFigures openWav = benchOpen("wav-60min", wav);
    const std::vector<PlayFigures> play{benchPlayback("mp3-cbr-60min", cbr),
                                        benchPlayback("mp3-vbr-60min", vbr),
                                        benchPlayback("wav-60min", wav)};

    const QString opened = "until the length is known and the device is ready; median of 5 "
                           "(max %1 ms)";
    printRow("Media open, 60-min mp3 CBR 128 kbit/s", "< 150 ms",
             QString("%1 ms").arg(openCbr.medianMs, 0, 'f', 1), rowVerdict(openCbr.medianMs < 150),
             opened.arg(openCbr.maxMs, 0, 'f', 1));
    printRow("Media open, 60-min mp3 VBR without a header", "< 400 ms",
             QString("%1 ms").arg(openVbr.medianMs, 0, 'f', 1), rowVerdict(openVbr.medianMs < 400),
             opened.arg(openVbr.maxMs, 0, 'f', 1) + "; true length from counting every frame");
    printRow("Media open, 60-min WAV 16-bit mono 48 kHz", "",
             QString("%1 ms").arg(openWav.medianMs, 0, 'f', 1), "",
             opened.arg(openWav.maxMs, 0, 'f', 1) +
                 QString("; %1 MB file").arg(QFileInfo(wav).size() / 1e6, 0, 'f', 0));
    printRow("First media open of a run", "", QString("%1 ms").arg(firstOpenMs, 0, 'f', 0), "",
             "mp3 CBR, GStreamer start-up included");
    const QString recordings = "8 stretches across the hour, each format";
    const auto pauseCall = [](const PlayFigures& f) {
        return f.pauseCallMedian;
    };
    printRow(
        "Pause command, time it takes", "< 10 ms", perFormat(play, pauseCall, 2),
        rowVerdict(worst(play, pauseCall) < 10),
        QString("median of 8 (max %1 ms); ")
                .arg(worst(play, [](const PlayFigures& f) { return f.pauseCallMax; }), 0, 'f', 2) +
            recordings);
    printRow("Sound still arriving after pause", "",
             perFormat(
                 play, [](const PlayFigures& f) { return f.soundAfterPauseMax; }, 1),
             "", "most of 8; " + recordings);
    printRow("Replay start: play with From until the first sound", "",
             perFormat(
                 play, [](const PlayFigures& f) { return f.replayStartMedian; }, 0),
             "",
             QString("median of 8 (max %1 ms); ")
                     .arg(worst(play, [](const PlayFigures& f) { return f.replayStartMax; }), 0,
                          'f', 0) +
                 recordings);
    const auto stopError = [](const PlayFigures& f) {
        return f.stopErrorMax;
    };
    printRow("Stop position error at a section end", "0 ms", perFormat(play, stopError, 0),
             rowVerdict(worst(play, stopError) == 0),
             "position reported, most of 8; " + recordings);
    const auto soundError = [](const PlayFigures& f) {
        return f.soundErrorMax;
    };
    printRow("Sound of a 1.5 s stretch, error", "< 5 ms", perFormat(play, soundError, 2),
             rowVerdict(worst(play, soundError) < 5), "most of 8; " + recordings);
    return 0;
}

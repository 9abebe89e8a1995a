// Media device figures on hour-long recordings: how fast a file opens, how
// fast "pause" silences playback, how fast a replay starts, and how exactly
// a stretch stops. Prints one line per figure; run by `make bench`.
//
// usage: media_bench [MEDIA_DIR]   (the generated recordings are kept there)

#include "media/GstMediaControl.h"
#include "media/SoundMeter.h"

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
    while (device.Mode() == MediaControl::Playing && clock.elapsed() < 20000)
        QTest::qWait(1);
}

void benchOpen(const QString& label, const QString& path)
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
}

void benchPlayback(const QString& label, const QString& path)
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
    if (cbr.isEmpty() || vbr.isEmpty()) {
        std::fprintf(stderr, "media_bench: ffmpeg could not generate the recordings\n");
        return 1;
    }

    // The first open also starts GStreamer; it is reported on its own.
    {
        GstMediaControl device;
        device.setFileName(cbr);
        QElapsedTimer clock;
        clock.start();
        device.setCommand("open");
        std::printf("first_open_ms %.1f length_ms=%d (default sound output, includes GStreamer "
                    "start-up)\n",
                    clock.nsecsElapsed() / 1e6, device.Length());
    }
    benchOpen("mp3-cbr-60min", cbr);
    benchOpen("mp3-vbr-60min", vbr);
    benchPlayback("mp3-cbr-60min", cbr);
    benchPlayback("mp3-vbr-60min", vbr);
    return 0;
}

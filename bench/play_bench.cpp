// The real program playing an hour-long recording, driven on a private X
// server as a person would drive it: Ctrl+N, the recording's path typed into
// the file dialog, Return, F11. Measures the memory the program holds (its
// peak, VmHWM, and what it holds while playing, VmRSS) and the processor
// time it takes while playing (utime + stime of all its threads over
// SECONDS), and, for comparison, the memory and processor time of the idle
// program after start-up. The machine has no sound card: the program's
// sound output falls back to a silent one that keeps real time, which the
// rate at which the program reads the recording confirms. Playing is measured
// once the waveform strip's envelope is whole, as the program's log says.
//
// usage: play_bench WORK_DIR SECONDS LABEL=RECORDING[,KEY*N]...
//        (KEY*N: a key pressed N times once playing, such as F9*5 for 0.5x)
//        (run by `make bench` through scripts/run-benchmarks; WORK_DIR keeps
//        the private home folder and the program's output,
//        kelvane-output.log)

#include "ProgramUnderTest.h"
#include "XServer.h"

#include <QCoreApplication>

// Xlib's macros (Status, None...) after every Qt header.
#include "ProgramDriver.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace xbench;

namespace {

constexpr double TargetRssMb = 80;
constexpr double TargetCpuPercent = 3;
constexpr double RecordingSeconds = 3600;

struct Run
{
    std::string label;
    std::string path;
    bool ok = false;
    std::string failure;
    double idleRssMb = 0;
    double idleCpuPercent = 0;
    double peakRssMb = 0;
    double playingRssMb = 0; // the most seen while playing
    double anonymousMb = 0;  // of that at the end of playing: the program's own
    double fileMb = 0;       // and libraries and files
    std::string decoder;
    double cpuPercent = 0;
    double xServerCpuPercent = 0;
    double readKbPerSecond = 0;
    double pausedReadKbPerSecond = 0;
    double recordingKbPerSecond = 0;
    std::string ended;
};

double cpuPercent(const ProcessUse& from, const ProcessUse& to, double ms)
{
    return (to.cpuSeconds - from.cpuSeconds) * 100 / (ms / 1000);
}

Run playOnce(const ProgramDriver& session, const std::string& label, const std::string& path,
             int seconds, const std::string& key, int keyPresses)
{
    Run run;
    run.label = label;
    run.path = path;
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error || size == 0) {
        run.failure = "no recording at " + path;
        return run;
    }
    run.recordingKbPerSecond = double(size) / 1024 / RecordingSeconds;
    const Window mainWindow = session.start(KELVANE_BINARY, &run.failure);
    if (!mainWindow)
        return run;
    const pid_t pid = pid_t(session.program.pid());

    // Idle after start-up.
    sleepMs(2000);
    const ProcessUse idleFrom = processUse(pid);
    const double idleBegan = nowMs();
    sleepMs(5000);
    const ProcessUse idleTo = processUse(pid);
    run.idleCpuPercent = cpuPercent(idleFrom, idleTo, nowMs() - idleBegan);
    run.idleRssMb = mb(idleTo.rssKb);

    // New Transcription Project: the file dialog, the path typed, Return.
    if (!session.chooseRecording(mainWindow, path, &run.failure))
        return run;

    // F11: the recording opens and plays.
    const long long logFrom = fileSize(session.log);
    session.key("F11");
    const double deadline = nowMs() + 15000;
    while (!holdsOpen(pid, path) && nowMs() < deadline)
        sleepMs(50);
    if (!holdsOpen(pid, path)) {
        run.failure = "F11 did not open the recording";
        run.ended = session.close(mainWindow);
        return run;
    }
    for (int press = 0; press < keyPresses; ++press)
        session.key(key);
    // The waveform strip's envelope is found first (or read from the cache).
    if (waitForLogLine(session.log, logFrom, "envelope of", 120000).empty()) {
        run.failure = "the envelope was not found";
        run.ended = session.close(mainWindow);
        return run;
    }
    sleepMs(3000); // settled into playing

    const ProcessUse from = processUse(pid);
    const ProcessUse serverFrom = processUse(pid_t(session.x.pid()));
    const double began = nowMs();
    long mostRss = from.rssKb;
    for (int second = 0; second < seconds; ++second) {
        sleepMs(began + 1000.0 * (second + 1) - nowMs());
        mostRss = std::max(mostRss, processUse(pid).rssKb);
    }
    const ProcessUse to = processUse(pid);
    const ProcessUse serverTo = processUse(pid_t(session.x.pid()));
    const double took = nowMs() - began;
    run.cpuPercent = cpuPercent(from, to, took);
    run.xServerCpuPercent = cpuPercent(serverFrom, serverTo, took);
    run.readKbPerSecond = double(to.readBytes - from.readBytes) / 1024 / (took / 1000);
    run.playingRssMb = mb(mostRss);
    run.anonymousMb = mb(to.anonymousKb);
    run.fileMb = mb(to.fileKb);
    // The plugin that decodes the sound, when it is one of those that can.
    for (const char* plugin : {"libgstlibav.so", "libgstmpg123.so", "libgstlame.so"}) {
        if (hasMapped(pid, plugin))
            run.decoder += (run.decoder.empty() ? "" : " ") + std::string(plugin);
    }

    // F11 again pauses: the reading must stop, or it was not playing at
    // the pace of the sound.
    session.key("F11");
    sleepMs(1500);
    const ProcessUse pausedFrom = processUse(pid);
    const double pauseBegan = nowMs();
    sleepMs(3000);
    const ProcessUse pausedTo = processUse(pid);
    run.pausedReadKbPerSecond =
        double(pausedTo.readBytes - pausedFrom.readBytes) / 1024 / ((nowMs() - pauseBegan) / 1000);
    run.peakRssMb = mb(pausedTo.peakRssKb);

    run.ended = session.close(mainWindow);
    run.ok = true;
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: play_bench WORK_DIR SECONDS LABEL=RECORDING...\n");
        return 2;
    }
    QCoreApplication application(argc, argv);
    const QString work = QString::fromLocal8Bit(argv[1]);
    const int seconds = std::max(1, std::atoi(argv[2]));

    XServer x;
    Display* display = x.start() ? watchTopLevels(x.display().toStdString()) : nullptr;
    if (!display) {
        std::fprintf(stderr, "play_bench: %s\n", qPrintable(x.error()));
        return 1;
    }
    // A home in everyday use: GStreamer's plugin registry is the home's own.
    ProgramUnderTest program(x, work + "/home", work + "/runtime");
    program.environment().remove("GST_REGISTRY");
    program.process().setProcessChannelMode(QProcess::MergedChannels);
    program.process().setStandardOutputFile(work + "/kelvane-output.log", QIODevice::Append);
    program.environment().insert("QT_LOGGING_RULES", "kelvane.media.info=true");
    const ProgramDriver session{x, display, program, (work + "/kelvane-output.log").toStdString()};

    std::vector<Run> runs;
    for (int i = 3; i < argc; ++i) {
        const std::string argument = argv[i];
        const std::size_t equals = argument.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string label = argument.substr(0, equals);
        std::string recording = argument.substr(equals + 1);
        std::string key;
        int keyPresses = 0;
        if (const std::size_t comma = recording.rfind(','); comma != std::string::npos) {
            const std::string keys = recording.substr(comma + 1);
            recording.resize(comma);
            const std::size_t times = keys.find('*');
            key = keys.substr(0, times);
            keyPresses = times == std::string::npos ? 1 : std::atoi(keys.c_str() + times + 1);
        }
        const std::string path = std::filesystem::absolute(recording).string();
        const Run run = playOnce(session, label, path, seconds, key, keyPresses);
        if (!run.ok) {
            std::printf("play %s: not measured: %s (ended: %s)\n", label.c_str(),
                        run.failure.c_str(), run.ended.c_str());
        } else {
            std::printf("play %s: idle_rss_mb=%.1f idle_cpu_percent=%.2f peak_rss_mb=%.1f "
                        "playing_rss_mb=%.1f (anonymous %.1f, files %.1f) decoder_plugins=%s "
                        "cpu_percent=%.2f x_server_cpu_percent=%.2f "
                        "read_kb_s=%.1f (recording %.1f) paused_read_kb_s=%.2f ended=%s\n",
                        label.c_str(), run.idleRssMb, run.idleCpuPercent, run.peakRssMb,
                        run.playingRssMb, run.anonymousMb, run.fileMb,
                        run.decoder.empty() ? "none" : run.decoder.c_str(), run.cpuPercent,
                        run.xServerCpuPercent, run.readKbPerSecond, run.recordingKbPerSecond,
                        run.pausedReadKbPerSecond, run.ended.c_str());
        }
        std::fflush(stdout);
        runs.push_back(run);
        sleepMs(500);
    }

    std::vector<double> idleRss;
    std::vector<double> idleCpu;
    for (const Run& run : runs) {
        const std::string figure = "Peak memory (VmHWM), " + run.label + " playing";
        if (!run.ok) {
            printRow(figure, "< 80 MB", "not measured", "missed", run.failure);
            continue;
        }
        idleRss.push_back(run.idleRssMb);
        idleCpu.push_back(run.idleCpuPercent);
        printRow(
            figure, "< 80 MB", format("%.1f MB", run.peakRssMb),
            verdict(run.peakRssMb < TargetRssMb),
            format("the real program under Xvfb, opened by Ctrl+N and F11; while playing "
                   "%.1f MB: %.1f MB its own, %.1f MB libraries and files%s",
                   run.playingRssMb, run.anonymousMb, run.fileMb,
                   run.decoder == "libgstlibav.so" ? " (GStreamer's libav decoder loaded)" : ""));
        printRow("CPU while playing, " + run.label, "< 3 % of one core",
                 format("%.2f %%", run.cpuPercent), verdict(run.cpuPercent < TargetCpuPercent),
                 format("over %d s of playing; silent sound output keeping real time (read "
                        "%.1f kB/s, the recording averages %.1f kB/s; %.1f kB/s paused); X "
                        "server %.2f %%",
                        seconds, run.readKbPerSecond, run.recordingKbPerSecond,
                        run.pausedReadKbPerSecond, run.xServerCpuPercent));
    }
    if (!idleRss.empty()) {
        printRow("Memory (VmRSS) of the idle program after start-up", "",
                 format("%.1f MB", median(idleRss)), "",
                 format("empty workspace, 2 s after the window was drawn; %.2f %% CPU idle",
                        median(idleCpu)));
    }
    return 0;
}

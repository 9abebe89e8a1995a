// The waveform strip of the real program on an hour-long recording, driven
// on a private X server as a person would drive it (Ctrl+N, the recording's
// path typed into the file dialog, Return, F11): how long after F11 the
// whole envelope is known, against a plain decode of the same file by
// gst-launch-1.0 in the same run; how much memory the program holds for it;
// its processor time while playing once the envelope is whole; and how long
// after F11 a second start of the program shows the envelope from its cache.
// The program says when the envelope is whole in its log
// ("kelvane.media.info"), which the bench reads.
//
// usage: waveform_bench WORK_DIR RECORDING [PLAY_SECONDS]
//        (run by `make bench` through scripts/run-benchmarks; WORK_DIR keeps
//        the private home folder and the program's output, waveform.log)

#include "ProgramUnderTest.h"
#include "XServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

// Xlib's macros (Status, None...) after every Qt header.
#include "ProgramDriver.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace xbench;

namespace {

constexpr double TargetOverDecode = 1.2;
constexpr double TargetMb = 8;
constexpr double TargetCpuPercent = 3;

// The wall time of a plain decode of `path`, as the reference.
double plainDecodeMs(const std::string& path)
{
    const double began = nowMs();
    QProcess decode;
    decode.start("gst-launch-1.0", {"-q", "filesrc", "location=" + QString::fromStdString(path),
                                    "!", "decodebin", "!", "fakesink", "sync=false"});
    if (!decode.waitForFinished(600000) || decode.exitCode() != 0)
        return -1;
    return nowMs() - began;
}

// The number after `key` in `line` ("whole in 8123 ms").
double numberAfter(const std::string& line, const std::string& key)
{
    const std::size_t at = line.find(key);
    return at == std::string::npos ? -1 : std::atof(line.c_str() + at + key.size());
}

struct Opened
{
    bool ok = false;
    std::string failure;
    double keyToWholeMs = 0; // F11 to the log's line, on the bench's clock
    double ownMs = -1;       // as the program measured it
    double envelopeBytes = 0;
    double rssBeforeMb = 0;
    double rssAfterMb = 0;
    double cpuPercent = 0;
    double hiddenCpuPercent = 0; // the same, the strip hidden from the View menu
};

struct Session : ProgramDriver
{
    // Starts the program, opens `path` with Ctrl+N and F11 and waits for the
    // envelope to be whole (`how`: "scanned" or "from the cache"); then plays
    // on for `playSeconds` and measures the processor time.
    Opened open(const std::string& path, const std::string& how, int playSeconds) const
    {
        Opened run;
        const Window mainWindow = start(KELVANE_BINARY, &run.failure);
        if (!mainWindow)
            return run;
        const pid_t pid = pid_t(program.pid());
        sleepMs(1500);
        if (!chooseRecording(mainWindow, path, &run.failure))
            return run;
        sleepMs(500);
        run.rssBeforeMb = mb(processUse(pid).rssKb);
        const long long logFrom = fileSize(log);
        const double pressed = nowMs();
        key("F11");
        const std::string line = waitForLogLine(log, logFrom, "envelope of", 600000);
        run.keyToWholeMs = nowMs() - pressed;
        if (line.find(how) == std::string::npos) {
            run.failure = line.empty() ? "no envelope" : "the envelope came otherwise: " + line;
            close(mainWindow);
            return run;
        }
        run.ownMs = numberAfter(line, "whole in ");
        run.envelopeBytes = numberAfter(line, ", " + how + ", ");
        run.rssAfterMb = mb(processUse(pid).rssKb);
        // Playing on with the strip following, the envelope whole; then the
        // same with the strip hidden (View, its first item).
        run.cpuPercent = cpuWhile(pid, playSeconds);
        key("alt+v");
        sleepMs(300);
        key("Return");
        sleepMs(500);
        run.hiddenCpuPercent = cpuWhile(pid, playSeconds);
        close(mainWindow);
        run.ok = true;
        return run;
    }

    // The program's processor time over `seconds`, in percent of one core.
    static double cpuWhile(pid_t pid, int seconds)
    {
        const ProcessUse from = processUse(pid);
        const double began = nowMs();
        sleepMs(seconds * 1000.0);
        return (processUse(pid).cpuSeconds - from.cpuSeconds) * 100 / ((nowMs() - began) / 1000);
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: waveform_bench WORK_DIR RECORDING [PLAY_SECONDS]\n");
        return 2;
    }
    QCoreApplication application(argc, argv);
    const QString work = QString::fromLocal8Bit(argv[1]);
    const std::string recording = std::filesystem::absolute(argv[2]).string();
    const int playSeconds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 15;

    std::vector<double> decodes;
    for (int run = 0; run < 3; ++run)
        decodes.push_back(plainDecodeMs(recording));
    const double decodeMs = median(decodes);
    std::printf("plain decode (gst-launch-1.0 filesrc ! decodebin ! fakesink sync=false): "
                "%.0f ms (median of 3: %.0f, %.0f, %.0f)\n",
                decodeMs, decodes[0], decodes[1], decodes[2]);

    XServer x;
    Display* display = x.start() ? watchTopLevels(x.display().toStdString()) : nullptr;
    if (!display || decodeMs < 0) {
        std::fprintf(stderr, "waveform_bench: %s\n",
                     display ? "gst-launch-1.0 could not decode the recording"
                             : qPrintable(x.error()));
        return 1;
    }
    const QString home = work + "/waveform-home";
    QDir(home + "/.cache/Kelvane/envelopes").removeRecursively();
    ProgramUnderTest program(x, home, work + "/runtime");
    program.environment().insert("QT_LOGGING_RULES", "kelvane.media.info=true");
    program.process().setProcessChannelMode(QProcess::MergedChannels);
    const std::string log = (work + "/waveform.log").toStdString();
    program.process().setStandardOutputFile(QString::fromStdString(log), QIODevice::Append);
    const Session session{{x, display, program, log}};

    const Opened scanned = session.open(recording, "scanned", playSeconds);
    const Opened cached = session.open(recording, "from the cache", 2);
    for (const auto& [name, run] : {std::pair{"first open", &scanned}, {"reopen", &cached}}) {
        if (!run->ok)
            std::printf("%s: not measured: %s\n", name, run->failure.c_str());
        else
            std::printf("%s: F11 to whole %.0f ms (the program's own %.0f ms), envelope %.0f "
                        "bytes, VmRSS %.1f -> %.1f MB, CPU while playing %.2f %% (strip hidden "
                        "%.2f %%)\n",
                        name, run->keyToWholeMs, run->ownMs, run->envelopeBytes, run->rssBeforeMb,
                        run->rssAfterMb, run->cpuPercent, run->hiddenCpuPercent);
    }
    const std::string hour = "60-min mp3 CBR, the real program under Xvfb";
    if (scanned.ok) {
        printRow("Waveform: whole envelope after F11", "plain decode + 20 %",
                 format("%.0f ms (plain decode %.0f ms, %+.0f %%)", scanned.keyToWholeMs, decodeMs,
                        (scanned.keyToWholeMs / decodeMs - 1) * 100),
                 verdict(scanned.keyToWholeMs <= decodeMs * TargetOverDecode),
                 hour + "; the decode by gst-launch-1.0 in the same run, median of 3");
        printRow("Waveform: memory the envelope holds", "<= 8 MB",
                 format("%.1f MB (VmRSS %+.1f MB while it was found)",
                        scanned.envelopeBytes / 1048576, scanned.rssAfterMb - scanned.rssBeforeMb),
                 verdict(scanned.envelopeBytes / 1048576 <= TargetMb), hour);
        printRow("Waveform: CPU while playing, envelope whole", "< 3 % of one core",
                 format("%.2f %%", scanned.cpuPercent),
                 verdict(scanned.cpuPercent < TargetCpuPercent),
                 format("%s; over %d s, the strip following the play line; %.2f %% with the "
                        "strip hidden",
                        hour.c_str(), playSeconds, scanned.hiddenCpuPercent));
    } else {
        printRow("Waveform: whole envelope after F11", "plain decode + 20 %", "not measured",
                 "missed", scanned.failure);
    }
    if (cached.ok)
        printRow("Waveform: reopened, envelope from the cache after F11", "",
                 format("%.0f ms (the program's own %.0f ms)", cached.keyToWholeMs, cached.ownMs),
                 "", hour + "; the program started again");
    else
        printRow("Waveform: reopened, envelope from the cache after F11", "", "not measured", "",
                 cached.failure);
    return scanned.ok && cached.ok ? 0 : 1;
}

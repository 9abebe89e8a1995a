// Start-up of the real program: from its start (exec) until its main window
// is mapped on a private X server, and until that window shows its first
// picture. The program is started RUNS times one after the other, each time
// ended through its close box (it asks nothing with an empty workspace). The
// first start of a run is reported on its own: it finds less of the program
// and its libraries in memory than the others.
//
// usage: startup_bench WORK_DIR [RUNS]
//        (run by `make bench` through scripts/run-benchmarks; WORK_DIR keeps
//        the private home folder and the program's output,
//        kelvane-output.log)

#include "ProgramUnderTest.h"
#include "XServer.h"

#include <QCoreApplication>

// Xlib's macros (Status, None...) after every Qt header.
#include "XBench.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace xbench;

namespace {

constexpr double TargetMs = 300;

struct Start
{
    double mappedMs = -1;
    double paintedMs = -1;
    double closedMs = -1; // from the close request until the process ended
    std::string ended;
};

Start startOnce(Display* display, ProgramUnderTest& program)
{
    XSync(display, True); // what happened before this start is not its business
    Start start;
    const double began = nowMs();
    if (!program.start(KELVANE_BINARY))
        return start;
    const Mapped window = waitForMap(display, "Kelvane", 20000);
    if (!window.window) {
        start.ended = program.end({}, 0).toStdString();
        return start;
    }
    start.mappedMs = window.atMs - began;
    const double painted = waitForFirstPaint(display, window.window, 10000);
    if (painted > 0)
        start.paintedMs = painted - began;

    sleepMs(300);
    const double closing = nowMs();
    start.ended = program.end(QString::number(window.window)).toStdString();
    if (start.ended == "closed")
        start.closedMs = nowMs() - closing;
    return start;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: startup_bench WORK_DIR [RUNS]\n");
        return 2;
    }
    QCoreApplication application(argc, argv);
    const QString work = QString::fromLocal8Bit(argv[1]);
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 11;

    XServer x;
    Display* display = x.start() ? watchTopLevels(x.display().toStdString()) : nullptr;
    if (!display) {
        std::fprintf(stderr, "startup_bench: %s\n", qPrintable(x.error()));
        return 1;
    }
    // A home in everyday use: GStreamer's plugin registry is the home's own.
    ProgramUnderTest program(x, work + "/home", work + "/runtime");
    program.environment().remove("GST_REGISTRY");
    program.process().setProcessChannelMode(QProcess::MergedChannels);
    program.process().setStandardOutputFile(work + "/kelvane-output.log", QIODevice::Append);

    std::vector<Start> starts;
    for (int run = 0; run <= runs; ++run) {
        const Start start = startOnce(display, program);
        std::printf("start %2d: mapped_ms=%.1f painted_ms=%.1f ended=%s close_to_exit_ms=%.1f\n",
                    run, start.mappedMs, start.paintedMs, start.ended.c_str(), start.closedMs);
        std::fflush(stdout);
        starts.push_back(start);
        sleepMs(500);
    }

    std::vector<double> mapped;
    std::vector<double> painted;
    std::vector<double> closed;
    int unclean = 0;
    for (std::size_t i = 1; i < starts.size(); ++i) {
        if (starts[i].mappedMs >= 0)
            mapped.push_back(starts[i].mappedMs);
        if (starts[i].paintedMs >= 0)
            painted.push_back(starts[i].paintedMs);
        if (starts[i].closedMs >= 0)
            closed.push_back(starts[i].closedMs);
        unclean += starts[i].ended != "closed";
    }
    std::printf("mapped_ms median=%.1f min=%.1f max=%.1f (of %zu)\n", median(mapped),
                minimum(mapped), maximum(mapped), mapped.size());
    std::printf("painted_ms median=%.1f min=%.1f max=%.1f (of %zu)\n", median(painted),
                minimum(painted), maximum(painted), painted.size());
    std::printf("close_to_exit_ms median=%.1f max=%.1f; starts not ended by their close box: %d\n",
                median(closed), maximum(closed), unclean);

    const std::string where = "Xvfb 1280x800x24, no window manager, private home";
    if (mapped.empty()) {
        printRow("Start-up until the main window is mapped", "< 300 ms", "no window", "missed",
                 where);
        return 0;
    }
    printRow("Start-up until the main window is mapped", "< 300 ms",
             format("%.0f ms", median(mapped)), verdict(median(mapped) < TargetMs),
             format("exec to MapNotify; median of %zu starts (%.0f - %.0f ms); %s", mapped.size(),
                    minimum(mapped), maximum(mapped), where.c_str()));
    printRow("Start-up until the main window is drawn", "", format("%.0f ms", median(painted)), "",
             format("exec to first picture in the window; median of %zu starts (%.0f - %.0f ms)",
                    painted.size(), minimum(painted), maximum(painted)));
    printRow("Start-up, first start of the run", "",
             format("%.0f ms mapped, %.0f ms drawn", starts[0].mappedMs, starts[0].paintedMs), "",
             "the program's files mostly in the page cache already");
    return 0;
}

// How soon a foot pedal's press is the window's key: from the kernel's event
// record written to the moment the window has pressed F11 for it (the device
// told to play, pause or continue), through the pedal reader, the real
// window and the real media device. The first press opens the recording;
// the presses after it pause, continue and commit sections. Prints the
// figures and the summary table's rows; run by `make bench`.
//
// usage: pedal_bench [MEDIA_DIR] [PRESSES]   (the recording is kept there)

#include "BenchRow.h"
#include "InputFolders.h"
#include "TestMedia.h"

#include "dialogs/MessageBoxPrompts.h"
#include "media/GstMediaControl.h"
#include "pedal/FootPedals.h"
#include "workspace/FormMain.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <linux/input.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int PressIntervalMs = 150;

// Writes one press and release and returns the milliseconds until the
// window has acted on it; -1 if it did not within a second.
double pressMs(FootPedals& pedals, int fd)
{
    QElapsedTimer clock;
    QEventLoop loop;
    double ms = -1;
    // Connected after the window's own handler, so it runs once the key is pressed.
    const auto done = QObject::connect(&pedals, &FootPedals::commandGiven, &loop, [&] {
        ms = clock.nsecsElapsed() / 1e6;
        loop.quit();
    });
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    clock.start();
    if (InputFolders::send(fd, {{BTN_1, 1}, {BTN_1, 0}}))
        loop.exec();
    QObject::disconnect(done);
    return ms;
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[std::min(values.size() - 1, size_t(p * values.size()))];
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString mediaDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    const int presses = argc > 2 ? std::max(2, atoi(argv[2])) : 200;
    const QString recording =
        TestMedia::generate(mediaDir, TestMedia::Kind::Wav, presses * PressIntervalMs / 1000 + 30);
    if (recording.isEmpty()) {
        std::fprintf(stderr, "pedal_bench: no recording could be made\n");
        return 1;
    }

    GstMediaControl device;
    MessageBoxPrompts prompts;
    FormMain window(device, prompts);
    InputFolders folders;
    const int pedal = folders.plug(0, 0x05f3, 0x00ff, QStringLiteral("VEC USB Footpedal"));
    window.pedals().watch(folders.devFolder(), folders.sysFolder());
    window.setMediaFile(recording);

    std::vector<double> later;
    const double first = pressMs(window.pedals(), pedal);
    for (int i = 1; i < presses; ++i) {
        QEventLoop wait;
        QTimer::singleShot(PressIntervalMs, &wait, &QEventLoop::quit);
        wait.exec();
        later.push_back(pressMs(window.pedals(), pedal));
    }
    const bool allActed =
        first >= 0 && std::none_of(later.begin(), later.end(), [](double ms) { return ms < 0; });
    const double median = percentile(later, 0.5), p99 = percentile(later, 0.99);
    const double worst = later.empty() ? -1 : *std::max_element(later.begin(), later.end());
    std::printf("first press (opens the recording): %.2f ms\n", first);
    std::printf("%zu presses after it: median %.3f ms, 99th percentile %.3f ms, worst %.3f ms%s\n",
                later.size(), median, p99, worst, allActed ? "" : " (some press was lost)");
    const QString conditions =
        QStringLiteral("pedal to F11 done, %1 presses 150 ms apart, wav").arg(presses);
    printRow("foot pedal press, first (opens the recording)", "", duration(first, 1), "",
             conditions);
    printRow("foot pedal press, later (pause, continue), 99th percentile", "10 ms",
             duration(p99, 2), rowVerdict(allActed && p99 <= 10), conditions);
    ::close(pedal);
    return allActed ? 0 : 1;
}

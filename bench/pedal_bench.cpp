// How soon a foot pedal's press is the window's key: from the kernel's event
// record written to the program reading it, and to the window having pressed
// F11 for it (the device told to play, pause or continue), through the pedal
// reader, the real window and the real media device playing through a
// private sound server. The first press opens the recording; the presses
// after it pause, continue and commit sections. Prints the figures and the
// summary table's rows; run by `make bench`.
//
// usage: pedal_bench [MEDIA_DIR] [PRESSES]   (the recording is kept there)

#include "BenchRow.h"
#include "InputFolders.h"
#include "TestMedia.h"

#include "dialogs/MessageBoxPrompts.h"
#include "media/GstMediaControl.h"
#include "pedal/FootPedals.h"
#include "tools/SoundServer.h"
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

struct Press
{
    double readMs = -1; // the program has read the record
    double doneMs = -1; // the window has pressed the key
};

// Writes one press and release and times them; -1 for what did not happen
// within a second.
Press press(FootPedals& pedals, int fd)
{
    QElapsedTimer clock;
    QEventLoop loop;
    Press timed;
    const auto read = QObject::connect(&pedals, &FootPedals::keyChanged, &loop, [&] {
        if (timed.readMs < 0)
            timed.readMs = clock.nsecsElapsed() / 1e6;
    });
    // Connected after the window's own handler, so it runs once the key is pressed.
    const auto done = QObject::connect(&pedals, &FootPedals::commandGiven, &loop, [&] {
        timed.doneMs = clock.nsecsElapsed() / 1e6;
        loop.quit();
    });
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    clock.start();
    if (InputFolders::send(fd, {{BTN_1, 1}, {BTN_1, 0}}))
        loop.exec();
    QObject::disconnect(read);
    QObject::disconnect(done);
    return timed;
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

    SoundServer server;
    if (QString why; !server.start(&why)) {
        std::fprintf(stderr, "pedal_bench: no sound server: %s\n", qPrintable(why));
        return 1;
    }
    server.useForThisProcess();
    GstMediaControl device;
    MessageBoxPrompts prompts;
    FormMain window(device, prompts);
    InputFolders folders;
    const int pedal = folders.plug(0, 0x05f3, 0x00ff, QStringLiteral("VEC USB Footpedal"));
    window.pedals().watch(folders.devFolder(), folders.sysFolder());
    window.setMediaFile(recording);

    const Press first = press(window.pedals(), pedal);
    std::vector<double> read, done;
    for (int i = 1; i < presses; ++i) {
        QEventLoop wait;
        QTimer::singleShot(PressIntervalMs, &wait, &QEventLoop::quit);
        wait.exec();
        const Press timed = press(window.pedals(), pedal);
        read.push_back(timed.readMs);
        done.push_back(timed.doneMs);
    }
    const bool allActed = first.doneMs >= 0 && percentile(done, 0) >= 0;
    std::printf("first press (opens the recording): read after %.3f ms, key done after %.2f ms\n",
                first.readMs, first.doneMs);
    std::printf("%zu presses after it: read after median %.3f ms, 99th percentile %.3f ms; "
                "key done after median %.2f ms, 99th percentile %.2f ms, worst %.2f ms%s\n",
                read.size(), percentile(read, 0.5), percentile(read, 0.99), percentile(done, 0.5),
                percentile(done, 0.99), percentile(done, 1),
                allActed ? "" : " (some press was lost)");
    const QString conditions =
        QStringLiteral("%1 presses 150 ms apart, wav, private PulseAudio").arg(presses);
    printRow("foot pedal press read, 99th percentile", "1 ms", duration(percentile(read, 0.99), 3),
             rowVerdict(allActed && percentile(read, 0.99) <= 1), conditions);
    printRow("foot pedal press to F11 done, 99th percentile", "",
             duration(percentile(done, 0.99), 1), "", conditions + ", pause or continue");
    printRow("foot pedal press to F11 done, first", "", duration(first.doneMs, 1), "",
             "opens the recording");
    ::close(pedal);
    return allActed ? 0 : 1;
}

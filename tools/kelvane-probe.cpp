// kelvane-probe FILE [FROM TO]
//
// Opens FILE the way Kelvane does, with a silent output, and prints its
// length in ms. With FROM and TO (ms) it also plays that stretch and prints
// where the device stopped, its mode, how much sound reached the output and
// how long it took. A file that cannot be opened prints length=0.

#include "media/GstMediaControl.h"
#include "tools/SoundMeter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: kelvane-probe FILE [FROM TO]\n");
    return 2;
}

// Runs the event loop until the device leaves the playing mode or the
// deadline passes.
void waitWhilePlaying(const MediaControl& device, int deadlineMs)
{
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (device.mode() != DeviceMode::Playing || clock.elapsed() > deadlineMs)
            loop.quit();
    });
    poll.start(1);
    loop.exec();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2 && args.size() != 4)
        return usage();

    qint32 from = 0;
    qint32 to = 0;
    if (args.size() == 4) {
        bool fromOk = false;
        bool toOk = false;
        from = args[2].toInt(&fromOk);
        to = args[3].toInt(&toOk);
        if (!fromOk || !toOk || from < 0 || to < 0)
            return usage();
    }

    SoundMeter meter;
    GstMediaControl device([&meter] { return meter.createSink(); });
    device.setTimeFormat(MediaControl::MillisecondsFormat);
    device.setFileName(args[1]);
    device.setCommand(QStringLiteral("close"));
    device.setCommand(QStringLiteral("open"));
    std::printf("length=%d\n", device.Length());

    if (args.size() == 4 && device.Length() > 0) {
        meter.reset();
        QElapsedTimer wall;
        wall.start();
        device.setFrom(from);
        device.setTo(to);
        device.setCommand(QStringLiteral("play"));
        waitWhilePlaying(device, int(std::clamp<qint64>(qint64(to) - from, 0, 3600000) + 10000));
        std::printf("stopped_at=%d mode=%d heard_ms=%lld wall_ms=%lld\n", device.Position(),
                    device.Mode(), (meter.heardUs() + 500) / 1000, wall.elapsed());
    }
    device.setCommand(QStringLiteral("close"));
    return 0;
}

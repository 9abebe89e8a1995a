// What a listener hears through a real sound server (a private PulseAudio
// with a null sink, recorded from its monitor): how long after the key the
// first play after opening and every later play sound, on an idle sink and on
// a busy one, at three speeds, and where each heard stretch starts and ends
// against the section it was meant to play. Prints one line per play and, at
// the end, the rows of the summary table; run by `make bench`.
//
// usage: heard_bench [MEDIA_DIR]

#include "BenchRow.h"
#include "TestMedia.h"

#include "media/GstMediaControl.h"
#include "tools/SinkMonitor.h"
#include "tools/SoundMeter.h"
#include "tools/SoundServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

struct Play
{
    qint64 keyNs;
    qint32 from;
    qint32 to;
};

void play(GstMediaControl& device, QList<Play>& plays, qint32 from, qint32 to)
{
    device.setFrom(from);
    device.setTo(to);
    plays.append({SoundMeter::nowNs(), from, to});
    device.command(DeviceCommand::Play);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    SoundServer server;
    QString why;
    if (!server.start(&why)) {
        std::printf("no sound server: %s\n", qPrintable(why));
        return 1;
    }
    server.useForThisProcess();
    QTemporaryDir dir;
    const bool busy = qEnvironmentVariableIsSet("BUSY");
    server.keepBusy(busy);
    SinkMonitor monitor(server, 20);
    if (!monitor.start()) {
        std::printf("cannot record the sink\n");
        return 1;
    }
    const auto kind =
        qEnvironmentVariableIsSet("M4A") ? TestMedia::Kind::M4a : TestMedia::Kind::Wav;
    const QString path = TestMedia::generate(dir.path(), kind, 20, TestMedia::Signal::TimedNoise);
    GstMediaControl device;
    device.setFileName(path);
    device.setSpeed(qEnvironmentVariableIntValue("SPEED") ? qEnvironmentVariableIntValue("SPEED") : 1000);
    device.command(DeviceCommand::Open);
    std::printf("open: length %d\n", device.Length());
    QList<Play> plays;
    QTest::qWait(1500);
    play(device, plays, 0, 20000);
    QTest::qWait(3000);
    device.command(DeviceCommand::Pause);
    const qint32 p1 = device.Position();
    QTest::qWait(2000);
    play(device, plays, p1, 20000);
    QTest::qWait(3000);
    device.command(DeviceCommand::Pause);
    const qint32 p2 = device.Position();
    QTest::qWait(500);
    play(device, plays, 0, p1);
    QTest::qWait(p1 + 500);
    play(device, plays, p1, p2);
    QTest::qWait(p2 - p1 + 500);
    play(device, plays, p2, 20000);
    QTest::qWait(1000);
    device.command(DeviceCommand::Pause);
    const qint32 p3 = device.Position();
    QTest::qWait(2000);
    plays.append({SoundMeter::nowNs(), p3, 20000});
    device.command(DeviceCommand::Pause);
    QTest::qWait(1000);
    device.command(DeviceCommand::Pause);
    std::printf("resumed at %d, paused at %d\n", p3, device.Position());
    QTest::qWait(500);
    std::printf("sections: 0-%d, %d-%d\n", p1, p1, p2);
    for (const Play& p : plays)
        std::printf("key at %7.1f ms: play %d-%d\n", (p.keyNs - plays[0].keyNs) / 1e6, p.from,
                    p.to);
    const auto spans = monitor.spans();
    for (const auto& span : spans) {
        qint64 key = 0;
        Play which{};
        for (const Play& p : plays)
            if (p.keyNs <= span.startNs)
                which = p, key = p.keyNs;
        std::printf(
            "at %7.1f: heard %7.1f..%7.1f ms (play %d-%d): after key %6.1f ms, start off %+6.1f, "
            "end off %+6.1f, lasted %.1f ms, peak %.2f\n",
            (span.startNs - plays[0].keyNs) / 1e6, span.firstMs, span.lastMs, which.from, which.to,
            (span.startNs - key) / 1e6, span.firstMs - which.from, span.lastMs - which.to,
            (span.endNs - span.startNs) / 1e6, span.peak);
    }
    return 0;
}

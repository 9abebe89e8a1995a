#pragma once

#include "FakeMediaControl.h"
#include "media/GstMediaControl.h"
#include "tools/SinkMonitor.h"
#include "tools/SoundMeter.h"

#include <QTest>

#include <functional>
#include <memory>

// A media device with a clock and an ear: the fake and its own clock, the
// GStreamer device playing in real time into a sink that measures what it
// hears (`wrap` may put something else in its place), or the GStreamer device
// playing through its ordinary output into a sound server, heard there.
struct MediaRig
{
    explicit MediaRig(const SoundServer& server)
        : monitor(std::make_unique<SinkMonitor>(server, 0)),
          gst(std::make_unique<GstMediaControl>())
    {
        monitor->start();
    }
    explicit MediaRig(bool real, std::function<GstElement*(GstElement*)> wrap = std::identity())
    {
        if (real)
            gst = std::make_unique<GstMediaControl>(
                [this, wrap] { return wrap(meter.createSink()); });
    }
    MediaControl& d() { return gst ? *gst : static_cast<MediaControl&>(fake); }
    qint64 heardMs() const
    {
        if (!monitor)
            return gst ? (meter.heardUs() + 500) / 1000 : fake.playedMs();
        if (gst->mode() != DeviceMode::Playing)
            QTest::qWait(30); // what has been played reaches the monitor
        qint64 ns = 0;
        for (const SinkMonitor::Span& span : monitor->spans())
            ns += span.endNs - span.startNs;
        return (ns + 500000) / 1000000;
    }
    void waitWhilePlaying() // 30 s at most
    {
        for (int ms = 0; ms < 30000 && d().mode() == DeviceMode::Playing; ms += 10)
            run("wait:10");
    }
    bool open(const QString& path)
    {
        d().setFileName(path);
        run("close open");
        return d().Length() > 0;
    }
    // Steps apart by blanks: a command (close, open, play, pause); from:MS,
    // to:MS, jump:MS, speed:N, volume:N; wait:MS lets time pass, end waits
    // while the device plays, reset forgets what was heard.
    void run(const QString& steps)
    {
        for (const QString& step : steps.split(' ', Qt::SkipEmptyParts)) {
            const QString name = step.section(':', 0, 0);
            const int value = step.section(':', 1).toInt();
            name == "from"     ? d().setFrom(value)
            : name == "to"     ? d().setTo(value)
            : name == "jump"   ? d().jumpTo(value)
            : name == "speed"  ? d().setSpeed(value)
            : name == "volume" ? d().setVolume(value)
            : name == "wait"   ? (gst ? QTest::qWait(value) : fake.advance(value))
            : name == "end"    ? waitWhilePlaying()
            : name == "reset"  ? (monitor ? monitor->clear()
                                  : gst   ? meter.reset()
                                          : fake.resetPlayed())
                               : d().setCommand(name);
        }
    }
    // After `steps`, how the device differs from being in `mode` at
    // `position` (unless negative; within `tolerance` while it plays) with
    // `heard` ms heard (unless negative; within `tolerance`); "" if it does not.
    QString after(const QString& steps, DeviceMode mode, qint32 position, qint64 heard = -1,
                  qint64 tolerance = 5)
    {
        run(steps);
        const qint64 off = position < 0 ? 0 : qAbs(d().Position() - position);
        if (d().mode() == mode && off <= (mode == DeviceMode::Playing ? tolerance : 0) &&
            (heard < 0 || qAbs(heardMs() - heard) <= tolerance))
            return {};
        return QString::asprintf("mode %d at %d ms, heard %lld ms; expected %d at %d, heard %lld",
                                 d().Mode(), d().Position(), heardMs(),
                                 MediaControl::modeNumber(mode), position, heard);
    }

    FakeMediaControl fake;
    SoundMeter meter; // outlives the sinks of the device below
    std::unique_ptr<SinkMonitor> monitor;
    std::unique_ptr<GstMediaControl> gst;
};

// Runs the steps and checks where they leave the device (see after()).
#define STEP(rig, steps, ...)                                                                      \
    QVERIFY2((rig).after(steps, __VA_ARGS__).isEmpty(), qPrintable((rig).after("", __VA_ARGS__)))

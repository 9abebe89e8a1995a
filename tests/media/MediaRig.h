#pragma once

#include "FakeMediaControl.h"
#include "media/GstMediaControl.h"
#include "tools/SoundMeter.h"

#include <QTest>

#include <functional>
#include <memory>

// A media device with a clock and an ear: the fake and its own clock, or the
// GStreamer device playing in real time into a sink that measures what it
// hears (`wrap` may add to that sink; without it, the desktop's output plays).
struct MediaRig
{
    using Wrap = std::function<GstElement*(GstElement*)>;
    explicit MediaRig(bool real, const Wrap& wrap = std::identity())
    {
        if (real)
            gst = wrap ? std::make_unique<GstMediaControl>(
                             [this, wrap] { return wrap(meter.createSink()); })
                       : std::make_unique<GstMediaControl>();
    }
    MediaControl& d() { return gst ? *gst : static_cast<MediaControl&>(fake); }
    void elapse(int ms) { gst ? QTest::qWait(ms) : fake.advance(ms); }
    bool waitFor(const std::function<bool()>& done) // 30 s at most
    {
        for (int ms = 0; ms < 30000 && !done(); ms += 10)
            elapse(10);
        return done();
    }
    qint64 heardMs() const { return gst ? (meter.heardUs() + 500) / 1000 : fake.playedMs(); }
    bool open(const QString& path)
    {
        d().setFileName(path);
        run("close open");
        return d().Length() > 0;
    }
    // Steps apart by blanks: a command (close, open, play, pause); from:MS,
    // to:MS, jump:MS, speed:N; wait:MS lets time pass, end waits while the
    // device plays, reset forgets what was heard.
    void run(const QString& steps)
    {
        for (const QString& step : steps.split(' ', Qt::SkipEmptyParts)) {
            const QString name = step.section(':', 0, 0);
            const int value = step.section(':', 1).toInt();
            name == "from"    ? d().setFrom(value)
            : name == "to"    ? d().setTo(value)
            : name == "jump"  ? d().jumpTo(value)
            : name == "speed" ? d().setSpeed(value)
            : name == "wait"  ? elapse(value)
            : name == "end"   ? void(waitFor([this] { return d().mode() != DeviceMode::Playing; }))
            : name == "reset" ? (gst ? meter.reset() : fake.resetPlayed())
                              : d().setCommand(name);
        }
    }
    // After `steps`, how the device differs from being in `mode` at
    // `position` (unless negative) with `heard` ms heard (unless negative,
    // within `tolerance`); "" if it does not.
    QString after(const QString& steps, DeviceMode mode, qint32 position, qint64 heard = -1,
                  qint64 tolerance = 5)
    {
        run(steps);
        if (d().mode() == mode && (position < 0 || d().Position() == position) &&
            (heard < 0 || qAbs(heardMs() - heard) <= tolerance))
            return {};
        return QString::asprintf("mode %d at %d ms, heard %lld ms; expected %d at %d, heard %lld",
                                 d().Mode(), d().Position(), heardMs(),
                                 MediaControl::modeNumber(mode), position, heard);
    }

    FakeMediaControl fake;
    SoundMeter meter; // outlives the sinks of the device below
    std::unique_ptr<GstMediaControl> gst;
};

// Runs the steps and checks where they leave the device (see after()).
#define STEP(rig, steps, ...)                                                                      \
    QVERIFY2((rig).after(steps, __VA_ARGS__).isEmpty(), qPrintable((rig).after("", __VA_ARGS__)))

#define VERIFY_NEAR(actual, expected, tolerance)                                                   \
    QVERIFY2(qAbs((actual) - (expected)) <= (tolerance),                                           \
             qPrintable(QString("%1, expected %2").arg(actual).arg(expected)))

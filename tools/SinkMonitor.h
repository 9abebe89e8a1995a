#pragma once

#include "tools/SoundServer.h"

#include <QList>
#include <QtGlobal>

#include <limits>
#include <mutex>
#include <vector>

typedef struct _GstElement GstElement;

// Records what a SoundServer's sink plays, with the steady-clock time at
// which each sample was heard, and reads back, from media made of
// TimedNoise, which moment of the media each heard sound was.
class SinkMonitor
{
public:
    // A stretch of sound between two silences of at least 5 ms.
    struct Span
    {
        qint64 startNs = 0; // steady-clock times of its first and last sample
        qint64 endNs = 0;
        double firstMs = 0; // media times of its first and last sample
        double lastMs = 0;
        double peak = 0; // its loudest sample, 0 to 1
    };

    // `mediaSeconds`: how much of the TimedNoise the media played holds.
    SinkMonitor(const SoundServer& server, int mediaSeconds);
    ~SinkMonitor();

    // Records from now on; false when the sink's monitor cannot be opened.
    bool start();
    void stop();
    // Forgets what was recorded so far.
    void clear();

    // The stretches heard between two steady-clock times, the last one
    // possibly still going on.
    QList<Span> spans(qint64 fromNs = 0, qint64 toNs = std::numeric_limits<qint64>::max()) const;
    // The steady-clock time of the first sound heard from `fromNs` on, or -1
    // while there is none: a quick look, which reads no media times.
    qint64 firstSoundNs(qint64 fromNs) const;

private:
    static void onHandoff(GstElement*, struct _GstBuffer* buffer, struct _GstPad*, void* self);
    qint64 timeOf(qint64 sample) const;
    double mediaMsAt(qint64 first, qint64 count) const;

    const SoundServer& server_;
    const std::vector<float> noise_;
    GstElement* pipeline_ = nullptr;
    mutable std::mutex mutex_;
    std::vector<qint16> samples_;
    qint64 firstSampleNs_ = std::numeric_limits<qint64>::max();
};

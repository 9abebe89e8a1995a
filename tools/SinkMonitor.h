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
    // How much of the sink's sound the recording missed since it started or
    // was cleared: the source drops what no longer fits in its buffer when
    // this process is held up. Silence stands in for it, so that every later
    // sample keeps its time.
    qint64 lostNs() const;

private:
    static void onHandoff(GstElement*, struct _GstBuffer* buffer, struct _GstPad*, void* self);
    void noteArrival(qint64 arrivedNs, qint64 firstOfBuffer);
    qint64 timeOf(qint64 sample) const;
    qint64 sampleAt(qint64 ns) const;
    double mediaMsAt(const qint16* heard, qint64 count) const;

    const SoundServer& server_;
    const std::vector<float> noise_;
    GstElement* pipeline_ = nullptr;
    mutable std::mutex mutex_;
    std::vector<qint16> samples_;
    qint64 firstSampleNs_ = std::numeric_limits<qint64>::max();
    qint64 firstPtsNs_ = 0; // the source's time stamp of the first sample
    qint64 lostSamples_ = 0;
    qint64 lateSince_ = -1;  // the first sample of the buffers arriving late
    qint64 lateFromNs_ = 0;  // since when they arrive late
    qint64 lateFirstNs_ = 0; // the earliest time of sample 0 they tell
};

#pragma once

#include <QtGlobal>

#include <atomic>
#include <cstddef>

typedef struct _GstElement GstElement;

// A silent audio output that keeps time like a sound card and measures the
// sound that reaches it, cut to the stretch being played as a real audio
// sink cuts it. Used where there is nobody to listen: tests, the probe tool,
// benchmarks. The meter must outlive the sinks it creates.
class SoundMeter
{
public:
    // A new sink element (floating reference) wired to this meter.
    GstElement* createSink();

    // Sound rendered since the last reset, in microseconds.
    qint64 heardUs() const { return heardNs_.load() / 1000; }
    // Steady-clock times (ns) of the first and last buffer rendered since
    // the last reset; 0 when none.
    qint64 firstBufferAtNs() const { return firstAtNs_.load(); }
    qint64 lastBufferAtNs() const { return lastAtNs_.load(); }
    static qint64 nowNs();
    void reset();

    // The loudest sample heard since the last reset, 0 to 1, and how many
    // samples reached at least `level`. Measured on 16-bit sound only.
    void countSamplesFrom(double level) { countFrom_ = int(level * 32768); }
    double peak() const { return peak_.load() / 32768.0; }
    qint64 samplesCounted() const { return counted_.load(); }

private:
    void measure(struct _GstBuffer* buffer, struct _GstPad* pad, quint64 fromNs, quint64 toNs);
    static void onHandoff(GstElement* sink, struct _GstBuffer* buffer, struct _GstPad* pad,
                          void* self);

    std::atomic<qint64> heardNs_{0};
    std::atomic<qint64> firstAtNs_{0};
    std::atomic<qint64> lastAtNs_{0};
    std::atomic<int> countFrom_{32768};
    std::atomic<int> peak_{0};
    std::atomic<qint64> counted_{0};
};

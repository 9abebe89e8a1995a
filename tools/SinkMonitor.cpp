#include "tools/SinkMonitor.h"

#include "media/GstSupport.h"
#include "tools/SoundMeter.h"
#include "tools/TimedNoise.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace {

constexpr qint64 Rate = TimedNoise::SampleRate;
constexpr int Loud = 655;                 // 2 % of full scale: anything quieter is silence
constexpr qint64 GapSamples = Rate / 200; // 5 ms of silence ends a stretch
constexpr qint64 Window = Rate / 100;     // 10 ms read at a time
constexpr qint64 Lanes = 8;

qint64 samplesToNs(qint64 samples)
{
    return samples * 1000000000 / Rate;
}

} // namespace

SinkMonitor::SinkMonitor(const SoundServer& server, int mediaSeconds)
    : server_(server), noise_(TimedNoise::samples(qint64(mediaSeconds) * Rate))
{
}

SinkMonitor::~SinkMonitor()
{
    stop();
}

bool SinkMonitor::start()
{
    stop();
    if (!ensureGstreamer())
        return false;
    const QString description =
        QStringLiteral("pulsesrc name=source buffer-time=40000 latency-time=2000 ! "
                       "audio/x-raw,format=S16LE,channels=1,rate=%1 ! "
                       "fakesink name=sink sync=false signal-handoffs=true")
            .arg(Rate);
    pipeline_ = gst_parse_launch(description.toUtf8().constData(), nullptr);
    if (!pipeline_)
        return false;
    GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline_), "source");
    g_object_set(source, "server", server_.address().mid(5).toUtf8().constData(), "device",
                 (QByteArray(SoundServer::SinkName) + ".monitor").constData(), nullptr);
    gst_object_unref(source);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline_), "sink");
    g_signal_connect(sink, "handoff", G_CALLBACK(&SinkMonitor::onHandoff), this);
    gst_object_unref(sink);
    clear();
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE ||
        gst_element_get_state(pipeline_, nullptr, nullptr, 5 * GST_SECOND) ==
            GST_STATE_CHANGE_FAILURE) {
        stop();
        return false;
    }
    return true;
}

void SinkMonitor::stop()
{
    if (!pipeline_)
        return;
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(pipeline_);
    pipeline_ = nullptr;
}

void SinkMonitor::clear()
{
    const std::lock_guard lock(mutex_);
    samples_.clear();
    firstSampleNs_ = std::numeric_limits<qint64>::max();
}

// Each buffer arrives a little after its last sample was played, never
// before: the earliest arrival for its place in the recording fixes when
// the recording's first sample was heard.
void SinkMonitor::onHandoff(GstElement*, GstBuffer* buffer, GstPad*, void* self)
{
    const qint64 arrivedNs = SoundMeter::nowNs();
    auto* monitor = static_cast<SinkMonitor*>(self);
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
        return;
    const auto* data = reinterpret_cast<const qint16*>(map.data);
    const std::lock_guard lock(monitor->mutex_);
    monitor->samples_.insert(monitor->samples_.end(), data, data + map.size / sizeof(qint16));
    monitor->firstSampleNs_ = std::min(monitor->firstSampleNs_,
                                       arrivedNs - samplesToNs(qint64(monitor->samples_.size())));
    gst_buffer_unmap(buffer, &map);
}

qint64 SinkMonitor::timeOf(qint64 sample) const
{
    return firstSampleNs_ + samplesToNs(sample);
}

// The media time of the first of `count` recorded samples: where in the
// noise they match best.
double SinkMonitor::mediaMsAt(qint64 first, qint64 count) const
{
    std::vector<float> heard(static_cast<std::size_t>(count));
    for (qint64 i = 0; i < count; ++i)
        heard[std::size_t(i)] = samples_[std::size_t(first + i)] / 32768.0f;
    const auto places = qint64(noise_.size()) - count;
    const qint64 blocked = count / Lanes * Lanes;
    float best = 0;
    qint64 bestAt = -1;
    for (qint64 at = 0; at < places; ++at) {
        const float* noise = noise_.data() + at;
        // Sums in separate lanes, which the compiler turns into vector
        // instructions: a search through the whole noise is several times faster.
        std::array<float, Lanes> lanes{};
        for (qint64 i = 0; i < blocked; i += Lanes)
            for (qint64 lane = 0; lane < Lanes; ++lane)
                lanes[std::size_t(lane)] += heard[std::size_t(i + lane)] * noise[i + lane];
        float match = 0;
        for (qint64 i = blocked; i < count; ++i)
            match += heard[std::size_t(i)] * noise[i];
        for (const float sum : lanes)
            match += sum;
        if (match > best) {
            best = match;
            bestAt = at;
        }
    }
    return bestAt < 0 ? -1 : double(bestAt) * 1000 / Rate;
}

qint64 SinkMonitor::firstSoundNs(qint64 fromNs) const
{
    const std::lock_guard lock(mutex_);
    if (samples_.empty())
        return -1;
    const auto size = qint64(samples_.size());
    // Starts a little before the sample heard at `fromNs`, in microseconds
    // so as not to overflow.
    const qint64 afterUs = std::max<qint64>(0, fromNs - firstSampleNs_) / 1000;
    for (qint64 i = std::min(size, afterUs * Rate / 1000000); i < size; ++i)
        if (std::abs(int(samples_[std::size_t(i)])) >= Loud && timeOf(i) >= fromNs)
            return timeOf(i);
    return -1;
}

QList<SinkMonitor::Span> SinkMonitor::spans(qint64 fromNs, qint64 toNs) const
{
    const std::lock_guard lock(mutex_);
    QList<Span> found;
    const auto size = qint64(samples_.size());
    qint64 start = -1;
    qint64 lastLoud = -1;
    int peak = 0;
    const auto close = [&] {
        Span span{timeOf(start), timeOf(lastLoud), 0, 0, peak / 32768.0};
        const qint64 count = std::min(Window, lastLoud + 1 - start);
        span.firstMs = mediaMsAt(start, count);
        const double endOfLast = mediaMsAt(lastLoud + 1 - count, count);
        span.lastMs = endOfLast < 0 ? -1 : endOfLast + double(count - 1) * 1000 / Rate;
        found.append(span);
        start = -1;
        peak = 0;
    };
    for (qint64 i = 0; i < size; ++i) {
        const qint64 at = timeOf(i);
        if (at < fromNs || at > toNs)
            continue;
        const int level = std::abs(int(samples_[std::size_t(i)]));
        if (level >= Loud) {
            if (start < 0)
                start = i;
            lastLoud = i;
            peak = std::max(peak, level);
        } else if (start >= 0 && i - lastLoud >= GapSamples) {
            close();
        }
    }
    if (start >= 0)
        close();
    return found;
}

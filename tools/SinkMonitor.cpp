#include "tools/SinkMonitor.h"

#include "media/GstSupport.h"
#include "tools/SoundMeter.h"
#include "tools/TimedNoise.h"

#include <QDeadlineTimer>
#include <QThread>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace {

constexpr qint64 Rate = TimedNoise::SampleRate;
constexpr int Loud = 655;                 // 2 % of full scale: anything quieter is silence
constexpr qint64 GapSamples = Rate / 200; // 5 ms of silence ends a stretch
constexpr qint64 Window = Rate / 50;      // 20 ms read at a time
constexpr qint64 Lanes = 8;
// Buffers arriving this much later than the recording's course, for this
// long, mean that sound was lost.
constexpr qint64 LateNs = 30'000'000;
constexpr qint64 LateForNs = 300'000'000;

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
        QStringLiteral("pulsesrc name=source buffer-time=1000000 latency-time=2000 ! "
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
    // The server first hands over what it holds already, in a burst; what
    // was heard from then on arrives as it is played.
    for (QDeadlineTimer deadline(5000); !deadline.hasExpired(); QThread::msleep(10)) {
        const std::lock_guard lock(mutex_);
        if (qint64(samples_.size()) >= Rate / 4)
            break;
    }
    clear();
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
    lostSamples_ = 0;
    lateSince_ = -1;
}

qint64 SinkMonitor::lostNs() const
{
    const std::lock_guard lock(mutex_);
    return samplesToNs(lostSamples_);
}

void SinkMonitor::onHandoff(GstElement*, GstBuffer* buffer, GstPad*, void* self)
{
    const qint64 arrivedNs = SoundMeter::nowNs();
    auto* monitor = static_cast<SinkMonitor*>(self);
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
        return;
    const auto* data = reinterpret_cast<const qint16*>(map.data);
    const std::lock_guard lock(monitor->mutex_);
    auto& samples = monitor->samples_;
    // The source's time stamps count every sample, those it dropped too
    // when this process was held up for longer than the source's buffer:
    // silence takes the place of what was lost.
    if (GST_BUFFER_PTS_IS_VALID(buffer)) {
        const auto pts = qint64(GST_BUFFER_PTS(buffer));
        if (samples.empty())
            monitor->firstPtsNs_ = pts;
        const qint64 due = ((pts - monitor->firstPtsNs_) * Rate + 500000000) / 1000000000;
        if (due > qint64(samples.size()) + 1) {
            monitor->lostSamples_ += due - qint64(samples.size());
            samples.resize(std::size_t(due), 0);
        }
    }
    const auto first = qint64(samples.size());
    samples.insert(samples.end(), data, data + map.size / sizeof(qint16));
    monitor->noteArrival(arrivedNs, first);
    gst_buffer_unmap(buffer, &map);
}

// Each buffer arrives a little after its last sample was played, never
// before: the earliest arrival for its place in the recording fixes when
// the recording's first sample was heard. Buffers that keep arriving later
// than that mean the sound server dropped what this process did not take in
// time (it was held up), unseen by the source: silence takes its place where
// the late buffers began.
void SinkMonitor::noteArrival(qint64 arrivedNs, qint64 firstOfBuffer)
{
    const qint64 firstNs = arrivedNs - samplesToNs(qint64(samples_.size()));
    if (firstNs - LateNs <= firstSampleNs_) {
        firstSampleNs_ = std::min(firstSampleNs_, firstNs);
        lateSince_ = -1;
        return;
    }
    if (lateSince_ < 0) {
        lateSince_ = firstOfBuffer;
        lateFromNs_ = arrivedNs;
        lateFirstNs_ = firstNs;
        return;
    }
    lateFirstNs_ = std::min(lateFirstNs_, firstNs);
    if (arrivedNs - lateFromNs_ < LateForNs)
        return;
    const qint64 missing = (lateFirstNs_ - firstSampleNs_) * Rate / 1000000000;
    samples_.insert(samples_.begin() + lateSince_, std::size_t(missing), qint16(0));
    lostSamples_ += missing;
    lateSince_ = -1;
}

qint64 SinkMonitor::timeOf(qint64 sample) const
{
    return firstSampleNs_ + samplesToNs(sample);
}

// The first sample heard at or after `ns`, or the number of samples.
qint64 SinkMonitor::sampleAt(qint64 ns) const
{
    const auto size = qint64(samples_.size());
    if (ns <= firstSampleNs_)
        return 0;
    if (ns - firstSampleNs_ > samplesToNs(size))
        return size;
    return std::min(size, ((ns - firstSampleNs_) * Rate + 999999999) / 1000000000);
}

// The media time of the first of `count` recorded samples: where in the
// noise they match best.
double SinkMonitor::mediaMsAt(const qint16* samples, qint64 count) const
{
    std::vector<float> heard(static_cast<std::size_t>(count));
    for (qint64 i = 0; i < count; ++i)
        heard[std::size_t(i)] = samples[i] / 32768.0f;
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
    for (qint64 i = sampleAt(fromNs); i < size; ++i)
        if (std::abs(int(samples_[std::size_t(i)])) >= Loud)
            return timeOf(i);
    return -1;
}

QList<SinkMonitor::Span> SinkMonitor::spans(qint64 fromNs, qint64 toNs) const
{
    // A copy of the samples asked for: the recording goes on while they are
    // read.
    std::vector<qint16> samples;
    qint64 firstNs = 0;
    {
        const std::lock_guard lock(mutex_);
        if (samples_.empty())
            return {};
        const qint64 begin = sampleAt(fromNs);
        const qint64 end = toNs == std::numeric_limits<qint64>::max() ? qint64(samples_.size())
                                                                      : sampleAt(toNs + 1);
        if (end <= begin)
            return {};
        samples.assign(samples_.begin() + begin, samples_.begin() + end);
        firstNs = timeOf(begin);
    }
    QList<Span> found;
    const auto size = qint64(samples.size());
    const auto timeAt = [firstNs](qint64 i) {
        return firstNs + samplesToNs(i);
    };
    qint64 start = -1;
    qint64 lastLoud = -1;
    int peak = 0;
    const auto close = [&] {
        Span span{timeAt(start), timeAt(lastLoud), 0, 0, peak / 32768.0};
        // Read a window in from each edge, where a lossy coder's first and
        // last frames no longer smear the sound, and count back to the edge.
        const qint64 length = lastLoud + 1 - start;
        const qint64 count = std::min(Window, length);
        const qint64 inset = length >= 3 * Window ? Window : 0;
        const double first = mediaMsAt(samples.data() + start + inset, count);
        span.firstMs = first < 0 ? -1 : first - double(inset) * 1000 / Rate;
        const double last = mediaMsAt(samples.data() + lastLoud + 1 - count - inset, count);
        span.lastMs = last < 0 ? -1 : last + double(count - 1 + inset) * 1000 / Rate;
        found.append(span);
        start = -1;
        peak = 0;
    };
    for (qint64 i = 0; i < size; ++i) {
        const int level = std::abs(int(samples[std::size_t(i)]));
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

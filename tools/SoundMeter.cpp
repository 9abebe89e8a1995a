#include "tools/SoundMeter.h"

#include "media/GstSupport.h"

#include <gst/audio/audio.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

GstElement* SoundMeter::createSink()
{
    if (!ensureGstreamer())
        return nullptr;
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    if (!sink)
        return nullptr;
    g_object_set(sink, "sync", TRUE, "signal-handoffs", TRUE, nullptr);
    g_signal_connect(sink, "handoff", G_CALLBACK(&SoundMeter::onHandoff), this);
    return sink;
}

void SoundMeter::reset()
{
    heardNs_ = 0;
    firstAtNs_ = 0;
    lastAtNs_ = 0;
    peak_ = 0;
    counted_ = 0;
}

qint64 SoundMeter::nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SoundMeter::measure(GstBuffer* buffer, GstPad* pad, quint64 fromNs, quint64 toNs)
{
    GstAudioInfo format;
    GstCaps* caps = gst_pad_get_current_caps(pad);
    const bool known = caps && gst_audio_info_from_caps(&format, caps);
    if (caps)
        gst_caps_unref(caps);
    if (!known || GST_AUDIO_INFO_FORMAT(&format) != GST_AUDIO_FORMAT_S16)
        return;
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
        return;
    const auto* samples = reinterpret_cast<const qint16*>(map.data);
    const guint64 rate = guint64(GST_AUDIO_INFO_RATE(&format));
    const guint64 channels = guint64(GST_AUDIO_INFO_CHANNELS(&format));
    const std::size_t from = gst_util_uint64_scale(fromNs, rate, GST_SECOND) * channels;
    const std::size_t to = std::min<std::size_t>(
        gst_util_uint64_scale(toNs, rate, GST_SECOND) * channels, map.size / sizeof(qint16));
    int peak = peak_.load();
    qint64 counted = 0;
    for (std::size_t i = from; i < to; ++i) {
        const int level = std::abs(int(samples[i]));
        peak = std::max(peak, level);
        counted += level >= countFrom_.load() ? 1 : 0;
    }
    gst_buffer_unmap(buffer, &map);
    peak_ = peak;
    counted_ += counted;
}

void SoundMeter::onHandoff(GstElement*, GstBuffer* buffer, GstPad* pad, void* self)
{
    auto* meter = static_cast<SoundMeter*>(self);
    const GstClockTime start = GST_BUFFER_PTS(buffer);
    const GstClockTime duration = GST_BUFFER_DURATION(buffer);
    if (!GST_CLOCK_TIME_IS_VALID(start) || !GST_CLOCK_TIME_IS_VALID(duration))
        return;

    // Count only what lies inside the segment, as an audio sink would play.
    guint64 clippedStart = start;
    guint64 clippedStop = start + duration;
    if (GstEvent* event = gst_pad_get_sticky_event(pad, GST_EVENT_SEGMENT, 0)) {
        const GstSegment* segment = nullptr;
        gst_event_parse_segment(event, &segment);
        const bool inside = gst_segment_clip(segment, GST_FORMAT_TIME, start, start + duration,
                                             &clippedStart, &clippedStop);
        gst_event_unref(event);
        if (!inside)
            return;
    }
    meter->heardNs_ += qint64(clippedStop - clippedStart);
    meter->measure(buffer, pad, clippedStart - start, clippedStop - start);
    const qint64 now = nowNs();
    qint64 none = 0;
    meter->firstAtNs_.compare_exchange_strong(none, now);
    meter->lastAtNs_ = now;
}

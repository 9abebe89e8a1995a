#include "media/SoundMeter.h"

#include "media/GstSupport.h"

#include <chrono>

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
}

qint64 SoundMeter::nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
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
    const qint64 now = nowNs();
    qint64 none = 0;
    meter->firstAtNs_.compare_exchange_strong(none, now);
    meter->lastAtNs_ = now;
}

#include "media/SoundMeter.h"

#include "media/GstSupport.h"

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
    buffers_ = 0;
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
    ++meter->buffers_;
}

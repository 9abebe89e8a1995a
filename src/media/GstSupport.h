#pragma once

#include <QtGlobal>

#include <gst/gst.h>

#include <memory>

// Owning handles for GStreamer objects, so that every reference taken is
// dropped on every path out of a function.
struct GstObjectUnref
{
    void operator()(gpointer object) const
    {
        if (object)
            gst_object_unref(object);
    }
};
template <typename T> using GstObjectPtr = std::unique_ptr<T, GstObjectUnref>;

struct GstMiniObjectUnref
{
    void operator()(gpointer object) const
    {
        if (object)
            gst_mini_object_unref(GST_MINI_OBJECT_CAST(object));
    }
};
using GstMessagePtr = std::unique_ptr<GstMessage, GstMiniObjectUnref>;
using GstEventPtr = std::unique_ptr<GstEvent, GstMiniObjectUnref>;

// Initialises GStreamer on first use; later calls are free. Start-up stays
// fast because nothing touches GStreamer until the first media is opened.
bool ensureGstreamer();

// True when `element` is, or holds, the sink of a sound device or server
// rather than a silent stand-in.
bool feedsAudioDevice(GstElement* element);

// Nanoseconds to milliseconds, rounded to the nearest (never truncated).
constexpr qint64 nsToMs(gint64 ns)
{
    return (ns + GST_MSECOND / 2) / GST_MSECOND;
}
constexpr gint64 msToNs(qint64 ms)
{
    return ms * GST_MSECOND;
}

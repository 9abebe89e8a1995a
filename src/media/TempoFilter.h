#pragma once

#include <gst/gst.h>

// The playbin's audio filter: plays a stretch faster or slower with its pitch
// kept, and plays its sound to the very end. A time stretcher works in
// chunks and keeps the last partial chunk of a stretch to itself; this filter
// flushes that chunk out with silence, which it then leaves unheard.
//
// Returns a new element (floating reference), or null when GStreamer has no
// time stretcher; speeds then change the pitch too.
GstElement* createTempoFilter();

// The end, in stream time, of the stretch the next seek asks for (which asks
// for a little more, see TempoFilterStopSlack); GST_CLOCK_TIME_NONE to play
// to the end.
void setTempoFilterStop(GstElement* filter, GstClockTime stop);
constexpr GstClockTime TempoFilterStopSlack = 100 * GST_MSECOND;

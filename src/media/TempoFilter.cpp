#include "media/TempoFilter.h"

#include "media/GstSupport.h"

#include <gst/audio/audio.h>

#include <atomic>
#include <cmath>

namespace {

// Shorter chunks than the stretcher's default (30 ms): the last chunk of a
// fast stretch plays at normal speed, and a shorter one keeps a stretch's
// length true to its speed. 20 ms still spans several periods of a voice.
constexpr guint StrideMs = 20;
constexpr guint SearchMs = 14;
constexpr double Overlap = 0.2;

// What the filter knows of the stretch passing through it. Touched only by
// the two probes, which the pad's stream lock keeps one at a time.
struct Stretch
{
    GstAudioInfo format; // of the sound going in, which is also the sound coming out
    GstSegment segment;  // as the stretch was asked for, its stop included
    bool stretched = false;
    bool primed = false;       // the stretcher's window holds nothing of an earlier stretch
    bool discarding = false;   // what comes out now is not to be heard
    bool draining = false;     // what comes out now ends in silence
    guint64 leadingFrames = 0; // silence the stretch may start with, not to be heard
    GstClockTime end = GST_CLOCK_TIME_NONE; // end of the last sound let in
    bool tailOut = false;                   // the drained end has come out, up to its silence
    // Where the next stretch is to end, set by the player before its seek;
    // the seek itself asks for a little more.
    std::atomic<GstClockTime> requestedStop{GST_CLOCK_TIME_NONE};
};

bool isStretched(const GstSegment& segment)
{
    return segment.format == GST_FORMAT_TIME && std::abs(segment.rate - 1.0) > 1e-9;
}

// Enough silence to fill the stretcher's whole window after one step at
// this speed: whatever the window held comes out ahead of it.
void pushSilence(const Stretch& stretch, GstPad* pad, GstClockTime at)
{
    const gsize frameBytes = GST_AUDIO_INFO_BPF(&stretch.format);
    const int rate = GST_AUDIO_INFO_RATE(&stretch.format);
    if (frameBytes == 0 || rate == 0)
        return;
    const double windowMs = SearchMs + StrideMs * (1 + Overlap + std::abs(stretch.segment.rate));
    const gsize frames = gsize(std::ceil(windowMs * rate / 1000)) + 1;
    GstBuffer* silence = gst_buffer_new_allocate(nullptr, frames * frameBytes, nullptr);
    if (!silence)
        return;
    gst_buffer_memset(silence, 0, 0, frames * frameBytes);
    GST_BUFFER_PTS(silence) = at;
    GST_BUFFER_DURATION(silence) = gst_util_uint64_scale(frames, GST_SECOND, rate);
    gst_pad_chain(pad, silence);
}

// The stretcher keeps its window across a flushing seek: without this, the
// first sound of a stretch would be the last of the one before. Silence
// replaces it unheard, and the silence then ahead of the new sound is not
// let out either.
void prime(Stretch& stretch, GstPad* pad, GstClockTime at)
{
    stretch.primed = true;
    stretch.discarding = true;
    pushSilence(stretch, pad, at);
    stretch.discarding = false;
    const double windowMs = SearchMs + StrideMs * (1 + Overlap);
    stretch.leadingFrames = guint64((windowMs / std::abs(stretch.segment.rate) + 2 * StrideMs) *
                                    GST_AUDIO_INFO_RATE(&stretch.format) / 1000);
}

// At the end of a stretch, silence pushes the stretcher's last chunk out.
void drain(Stretch& stretch, GstPad* pad)
{
    if (!stretch.stretched || !GST_CLOCK_TIME_IS_VALID(stretch.end))
        return;
    stretch.draining = true;
    stretch.tailOut = false;
    pushSilence(stretch, pad, stretch.end);
    stretch.draining = false;
}

// A stretch's end is cut here, on the way in, instead of by the output's
// segment: the stretcher's output is not sample-true to its input, so a cut
// by time there would drop sound or let sound from past the end through.
GstPadProbeReturn clipSound(Stretch& stretch, GstPad* pad, GstPadProbeInfo* info)
{
    if (stretch.draining || stretch.discarding)
        return GST_PAD_PROBE_OK;
    if (GST_AUDIO_INFO_BPF(&stretch.format) == 0)
        return GST_PAD_PROBE_OK;
    GstBuffer* buffer = gst_audio_buffer_clip(GST_PAD_PROBE_INFO_BUFFER(info), &stretch.segment,
                                              GST_AUDIO_INFO_RATE(&stretch.format),
                                              GST_AUDIO_INFO_BPF(&stretch.format));
    info->data = buffer;
    if (!buffer)
        return GST_PAD_PROBE_HANDLED; // all of it lies outside; the clip took it
    if (!stretch.stretched)
        return GST_PAD_PROBE_OK;
    if (!stretch.primed)
        prime(stretch, pad, GST_BUFFER_PTS(buffer));
    if (GST_BUFFER_PTS_IS_VALID(buffer) && GST_BUFFER_DURATION_IS_VALID(buffer))
        stretch.end = GST_BUFFER_PTS(buffer) + GST_BUFFER_DURATION(buffer);
    return GST_PAD_PROBE_OK;
}

// The stretch ends where the player asked, sample-true; the stream upstream
// runs a little past it, as decoders drop a last frame that reaches past a
// stop (AAC ends up to a frame, 21 ms, early otherwise). The stretcher sees
// the stretch without its stop, so that its output runs until its input has
// all come out.
void openSegment(Stretch& stretch, GstPadProbeInfo* info)
{
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    gst_event_copy_segment(event, &stretch.segment);
    // The player's stop is a stream time; the segment's, like the buffers'
    // times, may run ahead of it (an MP4's edit list skips AAC's priming).
    if (const GstClockTime stop = gst_segment_position_from_stream_time(
            &stretch.segment, GST_FORMAT_TIME, stretch.requestedStop);
        GST_CLOCK_TIME_IS_VALID(stop) && GST_CLOCK_TIME_IS_VALID(stretch.segment.stop))
        stretch.segment.stop = std::min(stop, stretch.segment.stop);
    stretch.stretched = isStretched(stretch.segment);
    stretch.primed = false;
    stretch.leadingFrames = 0;
    stretch.end = GST_CLOCK_TIME_NONE;
    if (!stretch.stretched || stretch.segment.stop == GST_CLOCK_TIME_NONE)
        return;
    GstSegment open = stretch.segment;
    open.stop = GST_CLOCK_TIME_NONE;
    GstEvent* replacement = gst_event_new_segment(&open);
    gst_event_set_seqnum(replacement, gst_event_get_seqnum(event));
    gst_event_unref(event);
    info->data = replacement;
}

GstPadProbeReturn watchInput(GstPad* pad, GstPadProbeInfo* info, gpointer data)
{
    Stretch& stretch = *static_cast<Stretch*>(data);
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_BUFFER)
        return clipSound(stretch, pad, info);
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_CAPS: {
        GstCaps* caps = nullptr;
        gst_event_parse_caps(event, &caps);
        if (!gst_audio_info_from_caps(&stretch.format, caps))
            gst_audio_info_init(&stretch.format);
        break;
    }
    case GST_EVENT_SEGMENT:
        openSegment(stretch, info);
        break;
    case GST_EVENT_EOS:
        drain(stretch, pad);
        break;
    default:
        break;
    }
    return GST_PAD_PROBE_OK;
}

// Leading and trailing silence that the filter put in comes out unheard.
GstPadProbeReturn trimSilence(GstPad*, GstPadProbeInfo* info, gpointer data)
{
    Stretch& stretch = *static_cast<Stretch*>(data);
    if (stretch.discarding)
        return GST_PAD_PROBE_DROP;
    if (!stretch.draining && stretch.leadingFrames == 0)
        return GST_PAD_PROBE_OK;
    const gsize frameBytes = GST_AUDIO_INFO_BPF(&stretch.format);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    GstMapInfo map;
    if (frameBytes == 0 || !gst_buffer_map(buffer, &map, GST_MAP_READ))
        return GST_PAD_PROBE_OK;
    const gsize frames = map.size / frameBytes;
    gsize first = 0;
    if (stretch.leadingFrames > 0) {
        const gsize most = gsize(std::min<guint64>(stretch.leadingFrames, frames)) * frameBytes;
        while (first < most && map.data[first] == 0)
            ++first;
        first /= frameBytes;
        stretch.leadingFrames = first * frameBytes < most ? 0 : stretch.leadingFrames - first;
    }
    gsize last = frames;
    if (stretch.draining) {
        gsize sound = map.size;
        while (sound > first * frameBytes && map.data[sound - 1] == 0)
            --sound;
        last = (sound + frameBytes - 1) / frameBytes;
        // Once the end has faded into silence, what the stretcher still
        // finds in its window is the last few ms over again.
        const gsize quiet = gsize(GST_AUDIO_INFO_RATE(&stretch.format)) / 1000 * frameBytes;
        for (gsize at = first * frameBytes, zeros = 0; at < last * frameBytes; ++at) {
            zeros = map.data[at] == 0 ? zeros + 1 : 0;
            if (stretch.tailOut || zeros >= quiet) {
                stretch.tailOut = true;
                last = std::min(last, (at + 1 - zeros) / frameBytes);
                break;
            }
        }
    }
    gst_buffer_unmap(buffer, &map);
    if (last <= first)
        return GST_PAD_PROBE_DROP;
    if (first == 0 && last == frames)
        return GST_PAD_PROBE_OK;
    buffer = gst_buffer_make_writable(buffer);
    gst_buffer_resize(buffer, gssize(first * frameBytes), gssize((last - first) * frameBytes));
    GST_BUFFER_DURATION(buffer) =
        gst_util_uint64_scale(last - first, GST_SECOND, GST_AUDIO_INFO_RATE(&stretch.format));
    info->data = buffer;
    return GST_PAD_PROBE_OK;
}

void watchPad(GstElement* element, const char* name, GstPadProbeType types,
              GstPadProbeCallback callback, Stretch* stretch)
{
    GstObjectPtr<GstPad> pad(gst_element_get_static_pad(element, name));
    gst_pad_add_probe(pad.get(), types, callback, stretch, nullptr);
}

} // namespace

GstElement* createTempoFilter()
{
    if (!ensureGstreamer())
        return nullptr;
    GstElement* bin = gst_bin_new(nullptr);
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* tempo = gst_element_factory_make("scaletempo", nullptr);
    if (!convert || !tempo) {
        for (GstElement* element : {bin, convert, tempo})
            if (element)
                gst_object_unref(gst_object_ref_sink(element));
        return nullptr;
    }
    g_object_set(tempo, "stride", StrideMs, "search", SearchMs, "overlap", Overlap, nullptr);
    gst_bin_add_many(GST_BIN(bin), convert, tempo, nullptr);
    gst_element_link(convert, tempo);
    GstObjectPtr<GstPad> input(gst_element_get_static_pad(convert, "sink"));
    GstObjectPtr<GstPad> output(gst_element_get_static_pad(tempo, "src"));
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", input.get()));
    gst_element_add_pad(bin, gst_ghost_pad_new("src", output.get()));

    // The bin owns what its probes share.
    auto* stretch = new Stretch;
    gst_audio_info_init(&stretch->format);
    gst_segment_init(&stretch->segment, GST_FORMAT_UNDEFINED);
    g_object_set_data_full(G_OBJECT(bin), "kelvane-stretch", stretch,
                           [](gpointer data) { delete static_cast<Stretch*>(data); });
    watchPad(tempo, "sink",
             GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
             watchInput, stretch);
    watchPad(tempo, "src", GST_PAD_PROBE_TYPE_BUFFER, trimSilence, stretch);
    return bin;
}

void setTempoFilterStop(GstElement* filter, GstClockTime stop)
{
    if (auto* stretch =
            static_cast<Stretch*>(g_object_get_data(G_OBJECT(filter), "kelvane-stretch")))
        stretch->requestedStop = stop;
}

#include "media/OutputKeeper.h"

#include "media/GstSupport.h"
#include "media/MediaLog.h"

#include <gst/audio/audio.h>

#include <mutex>

namespace OutputKeeper {

namespace {

// 20 ms of silence at a time into a 60 ms buffer: the sink then renders no
// more than about 40 ms ahead.
constexpr int SamplesPerBuffer = 960;
constexpr gint64 BufferTimeUs = 60000;
constexpr gint64 LatencyTimeUs = 20000;

std::mutex guard;
GstElement* pipeline = nullptr;
GstElement* output = nullptr; // owned by the pipeline

// The output picks its real sink when it opens; asking for a short buffer
// there is what keeps the server's horizon short.
void onChildAdded(GstChildProxy*, GObject* child, gchar*, gpointer)
{
    if (GST_IS_AUDIO_BASE_SINK(child))
        g_object_set(child, "buffer-time", BufferTimeUs, "latency-time", LatencyTimeUs, nullptr);
}

bool failed()
{
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessagePtr error(gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR));
    gst_object_unref(bus);
    return error != nullptr;
}

void stop()
{
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    pipeline = output = nullptr;
}

} // namespace

void keepOpen(bool afresh)
{
    const std::lock_guard lock(guard);
    if (!ensureGstreamer())
        return;
    if (pipeline && !afresh && !failed() && feedsAudioDevice(output))
        return;
    if (pipeline)
        stop();
    GstElement* source = gst_element_factory_make("audiotestsrc", nullptr);
    output = gst_element_factory_make("autoaudiosink", nullptr);
    if (!source || !output) {
        qCWarning(lcMedia) << "no silent stream to keep the sound output open";
        if (source)
            gst_object_unref(gst_object_ref_sink(source));
        if (output)
            gst_object_unref(gst_object_ref_sink(output));
        output = nullptr;
        return;
    }
    g_object_set(source, "wave", 4 /* silence */, "is-live", TRUE, "samplesperbuffer",
                 SamplesPerBuffer, nullptr);
    g_signal_connect(output, "child-added", G_CALLBACK(onChildAdded), nullptr);
    pipeline = gst_pipeline_new("kelvane-output-keeper");
    gst_bin_add_many(GST_BIN(pipeline), source, output, nullptr);
    if (!gst_element_link(source, output) ||
        gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        qCInfo(lcMedia) << "the sound output could not be kept open";
        stop();
    }
}

bool reachesDevice()
{
    const std::lock_guard lock(guard);
    return pipeline && feedsAudioDevice(output);
}

} // namespace OutputKeeper

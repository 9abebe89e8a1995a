#include "media/GstSupport.h"

#include <gst/audio/audio.h>

namespace {

// mpg123 and FFmpeg both decode mp3 at the same rank, and GStreamer may pick
// FFmpeg's, which loads all of FFmpeg's libraries: about 30 MB more memory
// while an mp3 plays, for the same sound.
void preferMpg123()
{
    GstPluginFeature* decoder = gst_registry_lookup_feature(gst_registry_get(), "mpg123audiodec");
    if (!decoder)
        return;
    gst_plugin_feature_set_rank(decoder, GST_RANK_PRIMARY + 1);
    gst_object_unref(decoder);
}

bool initialise()
{
    if (!gst_init_check(nullptr, nullptr, nullptr))
        return false;
    preferMpg123();
    return true;
}

} // namespace

bool ensureGstreamer()
{
    static const bool initialised = initialise();
    return initialised;
}

bool feedsAudioDevice(GstElement* element)
{
    if (GST_IS_AUDIO_BASE_SINK(element))
        return true;
    if (!GST_IS_BIN(element))
        return false;
    GstIterator* it = gst_bin_iterate_recurse(GST_BIN(element));
    GValue found = G_VALUE_INIT;
    const bool any = gst_iterator_find_custom(
        it,
        [](gconstpointer item, gconstpointer) {
            return GST_IS_AUDIO_BASE_SINK(g_value_get_object(static_cast<const GValue*>(item))) ? 0
                                                                                                : 1;
        },
        &found, nullptr);
    if (any)
        g_value_unset(&found);
    gst_iterator_free(it);
    return any;
}

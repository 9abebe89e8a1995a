#include "media/GstSupport.h"

#include "media/MediaLog.h"

#include <gst/audio/audio.h>

#include <QElapsedTimer>
#include <QFile>

#include <cstring>
#include <filesystem>

namespace {

constexpr auto PrerollMessages = GstMessageType(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR |
                                                GST_MESSAGE_WARNING | GST_MESSAGE_EOS);

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

// FFmpeg's WMA decoders put one frame of silence ahead of the sound (2048
// samples at 44.1 and 48 kHz).
qint64 wmaDecoderDelayNs(GstElement* pipeline)
{
    GstObjectPtr<GstElement> decoder = findElement(pipeline, "avdec_wmav2");
    if (!decoder)
        decoder = findElement(pipeline, "avdec_wmav1");
    if (!decoder)
        return 0;
    GstObjectPtr<GstPad> output(gst_element_get_static_pad(decoder.get(), "src"));
    GstCaps* caps = output ? gst_pad_get_current_caps(output.get()) : nullptr;
    GstAudioInfo format;
    const bool known = caps && gst_audio_info_from_caps(&format, caps);
    if (caps)
        gst_caps_unref(caps);
    const int rate = known ? GST_AUDIO_INFO_RATE(&format) : 0;
    if (rate <= 0)
        return 0;
    const int bits = rate <= 16000 ? 9 : rate <= 22050 ? 10 : rate <= 48000 ? 11 : 12;
    return (qint64(1) << bits) * 1000000000 / rate;
}

} // namespace

bool ensureGstreamer()
{
    static const bool initialised = initialise();
    return initialised;
}

bool isRegularFile(const QString& path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(QFile::encodeName(path).toStdString(), error);
}

bool isWaveFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(12);
    return head.startsWith("RIFF") && head.mid(8) == "WAVE";
}

QByteArray fileUri(const QString& path, bool sequential)
{
    gchar* made = gst_filename_to_uri(QFile::encodeName(path).constData(), nullptr);
    if (!made)
        return {};
    QByteArray uri(made);
    g_free(made);
    if (sequential)
        uri.replace(0, 4, "pushfile"); // file:// -> pushfile://, GStreamer's pushing file source
    return uri;
}

void logProblem(GstMessage* message)
{
    GError* error = nullptr;
    gchar* details = nullptr;
    const bool isError = GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR;
    if (isError)
        gst_message_parse_error(message, &error, &details);
    else
        gst_message_parse_warning(message, &error, &details);
    const char* source = GST_MESSAGE_SRC(message) ? GST_MESSAGE_SRC_NAME(message) : "?";
    const QString text = QStringLiteral("%1: %2 (%3)")
                             .arg(QString::fromUtf8(source),
                                  QString::fromUtf8(error ? error->message : "no message"),
                                  QString::fromUtf8(details ? details : "no details"));
    if (isError)
        qCWarning(lcMedia).noquote() << "error:" << text;
    else if (g_error_matches(error, GST_STREAM_ERROR, GST_STREAM_ERROR_CODEC_NOT_FOUND))
        qCDebug(lcMedia).noquote() << "a stream left undecoded:" << text; // see skipDecoding()
    else
        qCInfo(lcMedia).noquote() << "warning:" << text;
    g_clear_error(&error);
    g_free(details);
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

GstObjectPtr<GstElement> findElement(GstElement* bin, const char* factory)
{
    GstObjectPtr<GstElement> found;
    GstIterator* it = gst_bin_iterate_recurse(GST_BIN(bin));
    GValue item = G_VALUE_INIT;
    for (bool more = true; more && !found;) {
        switch (gst_iterator_next(it, &item)) {
        case GST_ITERATOR_OK: {
            auto* element = GST_ELEMENT(g_value_get_object(&item));
            GstElementFactory* f = gst_element_get_factory(element);
            if (f && std::strcmp(GST_OBJECT_NAME(f), factory) == 0)
                found.reset(GST_ELEMENT(gst_object_ref(element)));
            g_value_reset(&item);
            break;
        }
        case GST_ITERATOR_RESYNC: // the bin changed while we looked: start over
            gst_iterator_resync(it);
            break;
        default:
            more = false;
            break;
        }
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return found;
}

MpegAudioGap decoderGap(const QString& path, GstElement* pipeline)
{
    if (const std::optional<MpegAudioGap> gap = mpegAudioGap(path))
        return *gap;
    return {wmaDecoderDelayNs(pipeline), 0};
}

bool waitForPreroll(GstElement* pipeline, GstBus* bus, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0)
            break;
        GstMessagePtr message(gst_bus_timed_pop_filtered(bus, msToNs(left), PrerollMessages));
        if (!message)
            break;
        switch (GST_MESSAGE_TYPE(message.get())) {
        case GST_MESSAGE_ASYNC_DONE:
            if (GST_MESSAGE_SRC(message.get()) == GST_OBJECT_CAST(pipeline))
                return true;
            break;
        case GST_MESSAGE_WARNING:
            logProblem(message.get());
            break;
        case GST_MESSAGE_ERROR:
            logProblem(message.get());
            return false;
        default: // the end of a stream with nothing to play
            qCWarning(lcMedia) << "the stream ended before it could play";
            return false;
        }
    }
    qCWarning(lcMedia) << "nothing was ready to play after" << timeoutMs << "ms";
    return false;
}

namespace {

// decodebin's GstAutoplugSelectResult, which is not in a public header.
constexpr gint AutoplugTry = 0;
constexpr gint AutoplugSkip = 2;

struct SkippedKind
{
    QByteArray kind;
    std::atomic<bool>* found;
};

// decodebin offers each stream's elements one by one: decoders and parsers of
// the kind skipped are refused, and the stream is left undecoded.
gint refuseKind(GstElement*, GstPad*, GstCaps*, GstElementFactory* factory, SkippedKind* skipped)
{
    const char* klass = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS);
    const QByteArray classes = klass ? QByteArray(klass) : QByteArray();
    const bool coder = classes.contains("Decoder") || classes.contains("Parser");
    const bool ofKind =
        classes.contains(skipped->kind) || (skipped->kind == "Video" && classes.contains("Image"));
    if (!coder || !ofKind)
        return AutoplugTry;
    if (skipped->found)
        skipped->found->store(true);
    return AutoplugSkip;
}

void watchDecodebin(GstElement*, GstElement* element, SkippedKind* skipped)
{
    GstElementFactory* factory = gst_element_get_factory(element);
    if (factory && std::strcmp(GST_OBJECT_NAME(factory), "uridecodebin") == 0)
        g_signal_connect(element, "autoplug-select", G_CALLBACK(refuseKind), skipped);
}

} // namespace

void skipDecoding(GstElement* playbin, const char* kind, std::atomic<bool>* found)
{
    auto* skipped = new SkippedKind{kind, found};
    g_signal_connect_data(
        playbin, "element-setup", G_CALLBACK(watchDecodebin), skipped,
        [](gpointer data, GClosure*) { delete static_cast<SkippedKind*>(data); }, GConnectFlags(0));
}

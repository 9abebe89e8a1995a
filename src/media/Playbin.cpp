#include "media/Playbin.h"

#include "media/BusWatch.h"
#include "media/MediaLog.h"
#include "media/TempoFilter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryFile>

namespace {

// How long a renewed stream may stand corked before a play starts on it.
constexpr qint64 FreshForMs = 20;

} // namespace

std::unique_ptr<Playbin> Playbin::open(const QString& path, const SinkFactory& audioSink,
                                       int timeoutMs, Reading reading)
{
    QElapsedTimer clock;
    clock.start();
    bool picture = false;
    auto playbin = openAs(path, audioSink, timeoutMs, reading, Timeline::Sound, &picture);
    // A picture without sound plays in silence, on the picture's timeline.
    if (!playbin && picture)
        playbin = openAs(path, audioSink, int(std::max<qint64>(0, timeoutMs - clock.elapsed())),
                         reading, Timeline::Picture, nullptr);
    return playbin;
}

std::unique_ptr<Playbin> Playbin::openAs(const QString& path, const SinkFactory& audioSink,
                                         int timeoutMs, Reading reading, Timeline timeline,
                                         bool* pictureFound)
{
    if (!ensureGstreamer())
        return {};
    const QByteArray uri = fileUri(path, reading == Reading::Sequential);
    if (uri.isEmpty())
        return {};
    GstElement* element = gst_element_factory_make("playbin", nullptr);
    if (!element)
        return {};
    std::unique_ptr<Playbin> playbin(new Playbin(GST_ELEMENT(gst_object_ref_sink(element))));
    GstElement* pipeline = playbin->pipeline_.get();
    if (timeline == Timeline::Picture) {
        // The picture is decoded, only to be timed by a synchronised sink.
        playbin->hasSound_ = false;
        playbin->pictureFound_ = true;
        GstElement* clock = gst_element_factory_make("fakesink", nullptr);
        if (clock)
            g_object_set(clock, "sync", TRUE, nullptr);
        g_object_set(pipeline, "uri", uri.constData(), "flags", PlayFlag::Video, "video-sink",
                     clock, nullptr);
        return playbin->prepare(path, timeoutMs) ? std::move(playbin) : nullptr;
    }

    GstElement* sound =
        audioSink ? audioSink() : gst_element_factory_make("autoaudiosink", nullptr);
    // An explicit picture sink even though video is off: left to itself,
    // playbin may probe display back ends that crash without a display.
    GstElement* picture = gst_element_factory_make("fakesink", nullptr);
    g_object_set(pipeline, "uri", uri.constData(), "flags", PlayFlag::Audio | PlayFlag::SoftVolume,
                 nullptr);
    if (sound)
        g_object_set(pipeline, "audio-sink", sound, nullptr);
    if (GstElement* tempo = createTempoFilter()) {
        g_object_set(pipeline, "audio-filter", tempo, nullptr);
        playbin->filter_ = tempo;
    }
    if (picture)
        g_object_set(pipeline, "video-sink", picture, nullptr);
    // The picture, if any, is shown by a pipeline of its own.
    skipDecoding(pipeline, "Video", &playbin->pictureFound_);
    const bool prepared = playbin->prepare(path, timeoutMs);
    if (pictureFound)
        *pictureFound = playbin->pictureFound_;
    return prepared ? std::move(playbin) : nullptr;
}

bool Playbin::prepare(const QString& path, int timeoutMs)
{
    GstElement* pipeline = pipeline_.get();
    qCDebug(lcMedia) << "opening" << path;
    if (gst_element_set_state(pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
        // The reason is on the bus.
        while (GstMessagePtr message{gst_bus_pop_filtered(bus_.get(), GST_MESSAGE_ERROR)})
            logProblem(message.get());
        return false;
    }
    if (!waitForPreroll(pipeline, bus_.get(), timeoutMs))
        return false;
    // Times in and out are the file's, not those of the decoded stream.
    const MpegAudioGap gap = decoderGap(path, pipeline);
    leadNs_ = gap.leadNs;
    trailNs_ = gap.trailNs;

    busWatch_ = new BusWatch(
        bus_.get(), [this](GstMessage* message) { handle(message); }, this);
    return true;
}

void Playbin::warmUp()
{
    // A tenth of a second of 16-bit mono silence at 48 kHz.
    constexpr quint32 Samples = 4800;
    QByteArray wav;
    const auto put = [&wav](quint32 value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            wav.append(char((value >> (8 * i)) & 0xFF));
    };
    wav.append("RIFF");
    put(36 + Samples * 2, 4);
    wav.append("WAVEfmt ");
    put(16, 4), put(1, 2), put(1, 2), put(48000, 4), put(96000, 4), put(2, 2), put(16, 2);
    wav.append("data");
    put(Samples * 2, 4);
    wav.append(QByteArray(Samples * 2, '\0'));
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/kelvane-XXXXXX.wav"));
    if (!file.open() || file.write(wav) != wav.size() || !file.flush())
        return;
    open(
        file.fileName(), [] { return gst_element_factory_make("fakesink", nullptr); }, 5000);
}

Playbin::Playbin(GstElement* pipeline) : pipeline_(pipeline), bus_(gst_element_get_bus(pipeline)) {}

Playbin::~Playbin()
{
    delete busWatch_;
    gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
}

void Playbin::release()
{
    gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
}

qint64 Playbin::durationMs() const
{
    gint64 duration = 0;
    if (!gst_element_query_duration(pipeline_.get(), GST_FORMAT_TIME, &duration) || duration < 0)
        return -1;
    return nsToMs(std::max<gint64>(0, duration - leadNs_ - trailNs_));
}

bool Playbin::contains(const char* factory) const
{
    return findElement(pipeline_.get(), factory) != nullptr;
}

void Playbin::seek(qint64 startMs, qint64 stopMs, double rate)
{
    stopMs_ = stopMs;
    rate_ = rate;
    if (!playing_)
        renewOutput();
    seekNs(msToNs(startMs));
}

// The stop is always SET: an unset stop would keep the previous one.
void Playbin::seekNs(gint64 start)
{
    gint64 stop = stopMs_ < 0 ? gint64(GST_CLOCK_TIME_NONE) : msToNs(stopMs_) + leadNs_;
    // Played to the end, the stream stops where the file's sound does,
    // before the encoder's padding.
    if (gint64 length = 0; stopMs_ < 0 && trailNs_ > 0 &&
                           gst_element_query_duration(pipeline_.get(), GST_FORMAT_TIME, &length))
        stop = length - trailNs_;
    // The filter ends the stretch sample-true; the decoders are given more.
    if (filter_) {
        setTempoFilterStop(filter_, stop);
        if (stop >= 0)
            stop += gint64(TempoFilterStopSlack);
    }
    const bool accepted =
        gst_element_seek(pipeline_.get(), rate_, GST_FORMAT_TIME,
                         GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                         GST_SEEK_TYPE_SET, start + leadNs_, GST_SEEK_TYPE_SET, stop);
    if (accepted) {
        // The position query fails until the flush has settled; the target
        // is the honest answer meanwhile.
        seekPending_ = true;
        seekTargetMs_ = nsToMs(start);
    }
}

// A sound server's stream that has stood corked starts late when uncorked:
// PulseAudio first plays as silence the time it stood, while the sink's clock
// stands still. So every play starts on a fresh stream: an output that feeds
// a sound device or server goes back to READY, which closes its stream, and
// prerolls again from the flushing seek that follows. On a local server this
// costs about a millisecond. A stream renewed by a seek while paused (a new
// speed, a jump) is stale again once it has stood for a few milliseconds.
bool Playbin::renewOutput()
{
    if ((renewed_.isValid() && renewed_.elapsed() < FreshForMs) || !outputFeedsDevice())
        return false;
    GstElement* output = nullptr;
    g_object_get(pipeline_.get(), "audio-sink", &output, nullptr);
    const GstObjectPtr<GstElement> owned(output);
    gst_element_set_state(output, GST_STATE_READY);
    gst_element_set_state(output, GST_STATE_PAUSED);
    renewed_.start();
    return true;
}

bool Playbin::outputFeedsDevice() const
{
    GstElement* output = nullptr;
    g_object_get(pipeline_.get(), "audio-sink", &output, nullptr);
    const GstObjectPtr<GstElement> owned(output);
    return output && feedsAudioDevice(output);
}

void Playbin::setPlaying(bool playing)
{
    gst_element_set_state(pipeline_.get(), playing ? GST_STATE_PLAYING : GST_STATE_PAUSED);
    if (playing)
        renewed_.invalidate();
    playing_ = playing;
}

void Playbin::resume(qint64 positionMs)
{
    if (!playing_ && outputFeedsDevice()) {
        // The same stretch goes on, from the very sample where it stopped
        // when the sink can tell it, on a fresh stream.
        gint64 position = 0;
        if (seekPending_ ||
            !gst_element_query_position(pipeline_.get(), GST_FORMAT_TIME, &position) ||
            position < leadNs_)
            position = msToNs(positionMs);
        else
            position -= leadNs_;
        if (renewOutput())
            seekNs(position);
    }
    setPlaying(true);
}

void Playbin::setVolume(double linear)
{
    // With the soft-volume flag, playbin scales the samples itself.
    g_object_set(pipeline_.get(), "volume", linear, nullptr);
}

qint64 Playbin::positionMs() const
{
    if (seekPending_)
        return seekTargetMs_;
    gint64 position = 0;
    if (!gst_element_query_position(pipeline_.get(), GST_FORMAT_TIME, &position) || position < 0)
        return -1;
    return nsToMs(std::max<gint64>(0, position - leadNs_));
}

bool Playbin::waitForEnd(int timeoutMs)
{
    const auto ends = GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR);
    GstMessagePtr message(gst_bus_timed_pop_filtered(bus_.get(), msToNs(timeoutMs), ends));
    if (!message)
        return false;
    handle(message.get());
    return GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS;
}

void Playbin::dispatchPending()
{
    if (busWatch_)
        busWatch_->dispatchPending();
}

void Playbin::handle(GstMessage* message)
{
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ASYNC_DONE:
        if (GST_MESSAGE_SRC(message) == GST_OBJECT_CAST(pipeline_.get()))
            seekPending_ = false;
        break;
    case GST_MESSAGE_EOS:
        // An end reached before the last flushing seek settled belongs to
        // the stretch that seek replaced.
        if (!seekPending_)
            emit endOfStream();
        break;
    case GST_MESSAGE_DURATION_CHANGED:
        emit durationChanged();
        break;
    case GST_MESSAGE_WARNING:
        logProblem(message);
        break;
    case GST_MESSAGE_ERROR:
        logProblem(message);
        // Streaming has stopped; no seek will settle any more.
        seekPending_ = false;
        emit failed(fromSoundOutput(message));
        break;
    default:
        break;
    }
}

// The sound output is the element given as playbin's audio sink, which may
// be a bin: the message may come from any element inside it.
bool Playbin::fromSoundOutput(GstMessage* message) const
{
    GstElement* output = nullptr;
    g_object_get(pipeline_.get(), "audio-sink", &output, nullptr);
    const GstObjectPtr<GstElement> owned(output);
    GstObject* source = GST_MESSAGE_SRC(message);
    return output && source &&
           (source == GST_OBJECT_CAST(output) ||
            gst_object_has_as_ancestor(source, GST_OBJECT_CAST(output)));
}

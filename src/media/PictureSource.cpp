#include "media/PictureSource.h"

#include "media/BusWatch.h"
#include "media/GstSupport.h"
#include "media/MediaLog.h"

#include <gst/video/video.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// Frames decoded ahead of the one shown: enough for a play at twice the
// speed to find its next frame ready, few enough to hold little memory.
constexpr guint FramesAhead = 4;
// A moment this far past the newest frame decoded is caught up with by a
// seek (the moment jumped, or decoding fell behind), at most once in this
// long.
constexpr qint64 FarAheadNs = 1000 * GST_MSECOND;
constexpr qint64 CatchUpEveryMs = 1000;
// A moment this little before the frame shown still shows that frame:
// positions read while a play starts may lag its start by a hair.
constexpr qint64 ToleranceNs = 5 * GST_MSECOND;

// Wraps the picture of `sample` without copying it; the image keeps the
// sample's buffer mapped while it lives.
QImage toImage(GstSample* sample, qint64* streamNs)
{
    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps) ||
        !GST_BUFFER_PTS_IS_VALID(buffer))
        return {};
    auto* frame = new GstVideoFrame;
    if (!gst_video_frame_map(frame, &info, buffer, GST_MAP_READ)) {
        delete frame;
        return {};
    }
    const GstSegment* segment = gst_sample_get_segment(sample);
    const guint64 pts = GST_BUFFER_PTS(buffer);
    *streamNs = qint64(segment ? gst_segment_to_stream_time(segment, GST_FORMAT_TIME, pts) : pts);
    // BGRx in memory is what QImage calls RGB32 on a little-endian machine.
    return QImage(
        static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(frame, 0)),
        GST_VIDEO_FRAME_WIDTH(frame), GST_VIDEO_FRAME_HEIGHT(frame),
        GST_VIDEO_FRAME_PLANE_STRIDE(frame, 0), QImage::Format_RGB32,
        [](void* mapped) {
            gst_video_frame_unmap(static_cast<GstVideoFrame*>(mapped));
            delete static_cast<GstVideoFrame*>(mapped);
        },
        frame);
}

GstCaps* frameCaps(QSize size)
{
    GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx",
                                        "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
    if (!size.isEmpty())
        gst_caps_set_simple(caps, "width", G_TYPE_INT, size.width(), "height", G_TYPE_INT,
                            size.height(), nullptr);
    return caps;
}

} // namespace

std::unique_ptr<PictureSource> PictureSource::open(const QString& path)
{
    if (!ensureGstreamer() || !isRegularFile(path))
        return {};
    const QByteArray uri = fileUri(path, false);
    GError* error = nullptr;
    GstElement* output = gst_parse_bin_from_description(
        "videoconvertscale ! capsfilter name=fit ! appsink name=frames sync=false "
        "drop=false emit-signals=true enable-last-sample=false",
        TRUE, &error);
    if (!output) {
        qCWarning(lcMedia) << "no picture output:" << (error ? error->message : "");
        g_clear_error(&error);
        return {};
    }
    GstElement* element = uri.isEmpty() ? nullptr : gst_element_factory_make("playbin", nullptr);
    if (!element) {
        gst_object_unref(gst_object_ref_sink(output));
        return {};
    }
    std::unique_ptr<PictureSource> source(
        new PictureSource(GST_ELEMENT(gst_object_ref_sink(element))));
    source->sink_ = gst_bin_get_by_name(GST_BIN(output), "frames");
    source->filter_ = gst_bin_get_by_name(GST_BIN(output), "fit");
    // The pipeline holds both; these pointers live as long as it does.
    gst_object_unref(source->sink_);
    gst_object_unref(source->filter_);
    g_object_set(source->sink_, "max-buffers", FramesAhead, nullptr);
    GstCaps* caps = frameCaps({});
    g_object_set(source->filter_, "caps", caps, nullptr);
    gst_caps_unref(caps);

    // The picture alone, converted by the output itself: the sound is left
    // undecoded.
    constexpr guint NativeVideo = 1u << 6;
    g_object_set(element, "uri", uri.constData(), "flags", PlayFlag::Video | NativeVideo,
                 "video-sink", output, "audio-sink", gst_element_factory_make("fakesink", nullptr),
                 nullptr);
    skipDecoding(element, "Audio");
    if (!source->start())
        return {};
    return source;
}

PictureSource::PictureSource(GstElement* pipeline)
    : pipeline_(pipeline), bus_(gst_element_get_bus(pipeline))
{
}

PictureSource::~PictureSource()
{
    delete busWatch_;
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(bus_);
    gst_object_unref(pipeline_);
#ifdef __GLIBC__
    // The decoder's threads kept their frames in heaps of their own: give
    // back what they held, so that a hidden picture holds no memory either.
    malloc_trim(0);
#endif
}

qint64 PictureSource::frameMs() const
{
    return currentNs_ < 0 ? -1 : nsToMs(currentNs_);
}

qint64 PictureSource::nextFrameMs() const
{
    return nextNs_ < 0 ? -1 : nsToMs(nextNs_);
}

bool PictureSource::start()
{
    if (gst_element_set_state(pipeline_, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE)
        return false;
    busWatch_ = new BusWatch(
        bus_, [this](GstMessage* message) { handle(message); }, this);
    g_signal_connect(sink_, "new-sample", G_CALLBACK(&PictureSource::onNewSample), this);
    return true;
}

// The first frame is there: the picture's size is known.
void PictureSource::onPrerolled()
{
    gint streams = 0;
    g_object_get(pipeline_, "n-video", &streams, nullptr);
    GstObjectPtr<GstPad> input(gst_element_get_static_pad(sink_, "sink"));
    GstCaps* caps = input ? gst_pad_get_current_caps(input.get()) : nullptr;
    GstVideoInfo info;
    const bool known = caps && gst_video_info_from_caps(&info, caps);
    if (caps)
        gst_caps_unref(caps);
    if (streams <= 0 || !known) {
        qCWarning(lcMedia) << "no picture to show";
        fail();
        return;
    }
    ready_ = true;
    displaySize_ = QSize(GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info));
    // Unsynchronised, "playing" only decodes ahead until the frames wanted
    // are held; the sound's pipeline says which of them is due.
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    if (const QSize wanted = std::exchange(fitSize_, QSize()); !wanted.isEmpty())
        setFitSize(wanted);
    emit ready();
}

void PictureSource::fail()
{
    if (std::exchange(failed_, true))
        return;
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    emit failed();
}

void PictureSource::setFitSize(QSize size)
{
    // Until the picture's size is known, the size wanted is only kept.
    if (!ready_) {
        fitSize_ = size;
        return;
    }
    QSize fit = size.isEmpty() ? QSize() : displaySize_.scaled(size, Qt::KeepAspectRatio);
    // Planar pictures are converted by whole pairs of pixels.
    if (!fit.isEmpty())
        fit = QSize(std::max(2, fit.width() & ~1), std::max(2, fit.height() & ~1));
    if (fit == fitSize_)
        return;
    fitSize_ = fit;
    GstCaps* caps = frameCaps(fit);
    g_object_set(filter_, "caps", caps, nullptr);
    gst_caps_unref(caps);
    // The frame shown comes again at the new size.
    if (!failed_)
        seek(currentNs_ >= 0 ? currentNs_ : seekNs_);
}

QImage PictureSource::frameAt(qint64 ms)
{
    notified_ = false;
    if (failed_ || !ready_)
        return current_;
    const qint64 ns = msToNs(ms);
    const qint64 heldNs = currentNs_ >= 0 ? currentNs_ : seekNs_;
    if (ns + ToleranceNs < heldNs)
        seek(ns);
    // On through the frames decoded, up to the one at `ns`.
    while ((nextNs_ >= 0 || pullNext()) && nextNs_ <= ns + ToleranceNs) {
        current_ = std::move(next_);
        currentNs_ = nextNs_;
        next_ = QImage();
        nextNs_ = -1;
    }
    const qint64 newestNs = nextNs_ >= 0 ? nextNs_ : std::max(currentNs_, seekNs_);
    if (!ended_ && ns - newestNs > FarAheadNs &&
        (!caughtUp_.isValid() || caughtUp_.hasExpired(CatchUpEveryMs))) {
        caughtUp_.start();
        seek(ns);
    }
    waiting_ = nextNs_ < 0;
    return current_;
}

void PictureSource::seek(qint64 ns)
{
    // Flushing: what was decoded ahead is dropped before this returns.
    gst_element_seek_simple(pipeline_, GST_FORMAT_TIME,
                            GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), ns);
    seekNs_ = ns;
    ended_ = false;
    currentNs_ = -1;
    next_ = QImage();
    nextNs_ = -1;
}

// Takes the next decoded frame, if there is one, without waiting.
bool PictureSource::pullNext()
{
    GstSample* sample = nullptr;
    g_signal_emit_by_name(sink_, "try-pull-sample", GstClockTime(0), &sample);
    if (!sample)
        return false;
    qint64 ns = -1;
    QImage image = toImage(sample, &ns);
    gst_sample_unref(sample);
    if (image.isNull())
        return false;
    next_ = std::move(image);
    nextNs_ = ns;
    return true;
}

bool PictureSource::contains(const char* factory) const
{
    return findElement(pipeline_, factory) != nullptr;
}

// On a streaming thread: a frame is there that frameAt() may be waiting for.
int PictureSource::onNewSample(GstElement*, PictureSource* self)
{
    if (self->waiting_ && !self->notified_.exchange(true))
        QMetaObject::invokeMethod(self, &PictureSource::frameArrived, Qt::QueuedConnection);
    return GST_FLOW_OK;
}

void PictureSource::handle(GstMessage* message)
{
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ASYNC_DONE:
        if (!ready_ && !failed_ && GST_MESSAGE_SRC(message) == GST_OBJECT_CAST(pipeline_))
            onPrerolled();
        break;
    case GST_MESSAGE_EOS:
        ended_ = true;
        break;
    case GST_MESSAGE_WARNING:
        logProblem(message);
        break;
    case GST_MESSAGE_ERROR:
        logProblem(message);
        fail();
        break;
    default:
        break;
    }
}

#include "media/EnvelopeScanner.h"

#include "media/Envelope.h"
#include "media/GstSupport.h"
#include "media/MediaLog.h"
#include "media/MpegAudioScan.h"

#include <gst/audio/audio.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <mutex>
#include <optional>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

// One scan: what it reads, and the way back to its scanner, which cancel()
// cuts. Shared by the scanner, the scan's thread and what it has posted.
class EnvelopeJob : public std::enable_shared_from_this<EnvelopeJob>
{
public:
    QString path;
    qint32 lengthMs = 0;
    qint32 aroundMs = 0;
    std::atomic<bool> cancelled = false;
    std::atomic<bool> done = false;

    // Runs `what` on the scanner's thread, unless by then the scanner has
    // moved on to another scan (or is gone).
    void post(std::function<void(EnvelopeScanner&)> what)
    {
        const std::lock_guard lock(mutex_);
        if (!owner_)
            return;
        QMetaObject::invokeMethod(
            owner_,
            [owner = owner_, self = shared_from_this(), what = std::move(what)] {
                if (owner->job_ == self)
                    what(*owner);
            },
            Qt::QueuedConnection);
    }
    void setOwner(EnvelopeScanner* owner)
    {
        const std::lock_guard lock(mutex_);
        owner_ = owner;
    }
    // The bus the scan waits on, to wake it when cancelled.
    void setBus(GstBus* bus)
    {
        const std::lock_guard lock(mutex_);
        bus_ = bus;
    }
    void cancel()
    {
        const std::lock_guard lock(mutex_);
        owner_ = nullptr;
        cancelled = true;
        if (bus_)
            gst_bus_post(bus_, gst_message_new_application(
                                   nullptr, gst_structure_new_empty("kelvane-cancel")));
    }
    // What the file is on disk: its size (-1 when there is none) and time.
    struct Stamp
    {
        qint64 size = -1;
        QDateTime modified;
        bool operator==(const Stamp&) const = default;
    };
    Stamp stampNow() const
    {
        const QFileInfo file(path);
        return {file.exists() ? file.size() : -1, file.lastModified()};
    }
    Stamp stamp; // when the scan started

private:
    std::mutex mutex_;
    EnvelopeScanner* owner_ = nullptr;
    GstBus* bus_ = nullptr;
};

namespace {

const QString NotReadable = QStringLiteral("The recording could not be read.");
const QString NoSound = QStringLiteral("No sound in this recording.");
const QString ChangedOnDisk = QStringLiteral("The recording changed on disk.");

constexpr gint64 BucketNs = gint64(Envelope::BucketMs) * GST_MSECOND;
constexpr qsizetype ChunkBuckets = EnvelopeScanner::ChunkMs / Envelope::BucketMs;
// While levels come in faster, they go out at most this often, so that a
// strip showing them is not redrawn thousands of times over an hour.
constexpr auto SendEvery = std::chrono::milliseconds(40);
// A pipeline that has passed on no sound for this long is given up.
constexpr qint64 StallMs = 15000;
// The scan's threads give way to the ones that play.
constexpr int ScanNiceness = 10;

// Decoded sound in the decoder's own rate and channels: the converter only
// changes the sample format where it must, and passes 16-bit and float
// sound, which is what most decoders give, through untouched. The samples
// are read in the machine's own byte order.
const char* const SinkDescription =
    Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        ? "audioconvert ! audio/x-raw,format={S16LE,F32LE},layout=interleaved ! fakesink name=out "
          "sync=false"
        : "audioconvert ! audio/x-raw,format={S16BE,F32BE},layout=interleaved ! fakesink name=out "
          "sync=false";

qint64 floorDiv(qint64 n, qint64 d)
{
    return n >= 0 ? n / d : -((-n + d - 1) / d);
}
qint64 ceilDiv(qint64 n, qint64 d)
{
    return n >= 0 ? (n + d - 1) / d : -(-n / d);
}

quint16 peakOf(const gint16* samples, qint64 count)
{
    int high = 0, low = 0;
    for (qint64 i = 0; i < count; ++i) {
        high = std::max(high, int(samples[i]));
        low = std::min(low, int(samples[i]));
    }
    const int peak = std::max(high, -low);
    return quint16(std::min<qint64>(Envelope::FullScale,
                                    (qint64(peak) * Envelope::FullScale + 16384) / 32768));
}

quint16 peakOf(const float* samples, qint64 count)
{
    float high = 0, low = 0;
    for (qint64 i = 0; i < count; ++i) {
        high = std::max(high, samples[i]);
        low = std::min(low, samples[i]);
    }
    return quint16(std::lround(std::min(std::max(high, -low), 1.0f) * Envelope::FullScale));
}

// The levels of one stretch of the recording as they are found, sent on in
// chunks of finished buckets.
struct Pass
{
    qsizetype first = 0; // the buckets [first, end)
    qsizetype end = 0;
    // Times counted in samples from the first, rather than the buffers' own.
    bool countSamples = false;
    bool sending = true; // levels go out as they come
    qint64 samples = 0;
    gint64 nextNs = 0;                        // where the last buffer ended
    qsizetype sent = first;                   // the buckets before it went out
    std::vector<quint16> pending;             // levels of the buckets from `sent` on
    std::chrono::steady_clock::time_point at; // when levels last went out

    static Pass over(qsizetype first, qsizetype end)
    {
        Pass pass;
        pass.first = pass.sent = first;
        pass.end = end;
        return pass;
    }

    void add(qsizetype bucket, quint16 level)
    {
        if (bucket < sent)
            return;
        const size_t index = size_t(bucket - sent);
        // A gap in the stream is silence; so it sounds, too.
        if (index >= pending.size())
            pending.resize(index + 1, 0);
        pending[index] = std::max(pending[index], level);
    }
};

class Scan
{
public:
    explicit Scan(EnvelopeJob& job) : job_(job), bucketCount_(Envelope(job.lengthMs).bucketCount())
    {
    }
    ~Scan() { close(); }
    Scan(const Scan&) = delete;
    Scan& operator=(const Scan&) = delete;

    // The reason the envelope could not be found; nothing when it was, or
    // when the scan was cancelled.
    std::optional<QString> run();

private:
    enum class Outcome
    {
        Done,
        Failed,
        Cancelled,
    };

    static std::optional<QString> noteFor(Outcome outcome);
    Outcome open(bool sequential);
    void close();
    bool hasDuration() const;
    Outcome scanStretch(qint32 fromMs, qint32 toMs);
    Outcome waitFor(GstMessageType wanted);
    static GstPadProbeReturn probe(GstPad*, GstPadProbeInfo* info, gpointer self);
    void take(GstBuffer* buffer);
    void see(GstEvent* event);
    void sendRest(bool whole);
    void send(bool everything);

    EnvelopeJob& job_;
    const qsizetype bucketCount_;
    GstObjectPtr<GstElement> pipeline_;
    GstObjectPtr<GstBus> bus_;
    bool noSound_ = false;
    std::atomic<qint64> buffers_ = 0;

    // Between the worker and the streaming thread.
    std::mutex mutex_;
    GstAudioInfo format_{};
    bool formatKnown_ = false;
    GstSegment segment_{};
    gint64 leadNs_ = 0;
    Pass pass_;
    std::optional<Pass> nextPass_; // takes over at the flush of the next seek
};

std::optional<QString> Scan::noteFor(Outcome outcome)
{
    return outcome == Outcome::Failed ? std::optional(NotReadable) : std::nullopt;
}

std::optional<QString> Scan::run()
{
    if (job_.lengthMs <= 0 || !isRegularFile(job_.path) || !ensureGstreamer())
        return NotReadable;
    Outcome opened = open(false);
    // The device reads a WAV file in order when GStreamer finds no sound in
    // it otherwise.
    if (((opened == Outcome::Failed && !noSound_) || (opened == Outcome::Done && !hasDuration())) &&
        isWaveFile(job_.path))
        opened = open(true);
    if (opened != Outcome::Done)
        return noSound_ ? NoSound : noteFor(opened);

    // The device plays MPEG streams, and streams that tell no length, as a
    // track decoded once, whose timeline counts samples from the first. That
    // count goes on from the samples seen while prerolling.
    if (!(hasDuration() || mpegAudioLengthMs(job_.path) > 0) ||
        findElement(pipeline_.get(), "mpegpsdemux") || findElement(pipeline_.get(), "tsdemux")) {
        {
            const std::lock_guard lock(mutex_);
            pass_.sending = true;
        }
        gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
        const Outcome outcome = waitFor(GST_MESSAGE_EOS);
        if (outcome == Outcome::Done)
            sendRest(true);
        return noteFor(outcome);
    }

    {
        const std::lock_guard lock(mutex_);
        leadNs_ = decoderGap(job_.path, pipeline_.get()).leadNs;
    }
    const qint32 fromMs = std::clamp(job_.aroundMs - EnvelopeScanner::BeforeMs, 0, job_.lengthMs);
    const qint32 toMs = std::clamp(job_.aroundMs + EnvelopeScanner::AfterMs, 0, job_.lengthMs);
    // From the start, the stretch asked for comes first anyway.
    Outcome outcome = fromMs > 0 && fromMs < toMs ? scanStretch(fromMs, toMs) : Outcome::Done;
    if (outcome == Outcome::Done)
        outcome = scanStretch(0, -1);
    return noteFor(outcome);
}

bool Scan::hasDuration() const
{
    gint64 duration = 0;
    return gst_element_query_duration(pipeline_.get(), GST_FORMAT_TIME, &duration) && duration > 0;
}

Scan::Outcome Scan::open(bool sequential)
{
    close();
    const QByteArray uri = fileUri(job_.path, sequential);
    GstElement* playbin = uri.isEmpty() ? nullptr : gst_element_factory_make("playbin", nullptr);
    if (playbin)
        pipeline_.reset(GST_ELEMENT(gst_object_ref_sink(playbin)));
    GstElement* sound = gst_parse_bin_from_description(SinkDescription, TRUE, nullptr);
    const GstObjectPtr<GstElement> ownSound(sound ? GST_ELEMENT(gst_object_ref_sink(sound))
                                                  : nullptr);
    if (!playbin || !sound) {
        qCWarning(lcMedia) << "no pipeline to scan" << job_.path << "with";
        return Outcome::Failed;
    }
    bus_.reset(gst_element_get_bus(playbin));
    const GstObjectPtr<GstElement> out(gst_bin_get_by_name(GST_BIN(sound), "out"));
    const GstObjectPtr<GstPad> pad(gst_element_get_static_pad(out.get(), "sink"));
    gst_pad_add_probe(pad.get(),
                      GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST |
                                      GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM |
                                      GST_PAD_PROBE_TYPE_EVENT_FLUSH),
                      &Scan::probe, this, nullptr);
    // Sound only, decoded as the device decodes it (playbin picks other
    // decoders, which time some files otherwise, for a sink that takes only
    // what they give); an explicit picture sink keeps playbin from probing
    // display back ends.
    g_object_set(playbin, "uri", uri.constData(), "flags", PlayFlag::Audio, "audio-sink", sound,
                 "video-sink", gst_element_factory_make("fakesink", nullptr), nullptr);
    {
        // Until a seek starts a stretch, sound is counted from the start but
        // not sent.
        const std::lock_guard lock(mutex_);
        formatKnown_ = false;
        gst_segment_init(&segment_, GST_FORMAT_TIME);
        pass_ = Pass::over(0, bucketCount_);
        pass_.countSamples = true;
        pass_.sending = false;
        nextPass_.reset();
    }
    job_.setBus(bus_.get());
    if (job_.cancelled)
        return Outcome::Cancelled;

    qCDebug(lcMedia) << "scanning" << uri;
    Outcome outcome = Outcome::Failed;
    if (gst_element_set_state(playbin, GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE)
        outcome = waitFor(GST_MESSAGE_ASYNC_DONE);
    else
        while (GstMessagePtr message{gst_bus_pop_filtered(bus_.get(), GST_MESSAGE_ERROR)})
            logProblem(message.get());
    gint streams = 0, pictures = 0;
    g_object_get(playbin, "n-audio", &streams, "n-video", &pictures, nullptr);
    if (outcome != Outcome::Cancelled && streams == 0) {
        // A video without sound fails, with nothing to link its picture to.
        noSound_ = pictures > 0;
        outcome = Outcome::Failed;
    }
    return outcome;
}

void Scan::close()
{
    job_.setBus(nullptr);
    if (pipeline_)
        gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
    bus_.reset();
    pipeline_.reset();
}

// Scans [fromMs, toMs), or on to the end of the stream when toMs is
// negative, by a flushing, sample-accurate seek, and waits for its end.
Scan::Outcome Scan::scanStretch(qint32 fromMs, qint32 toMs)
{
    const bool whole = toMs < 0;
    gint64 lead = 0;
    {
        const std::lock_guard lock(mutex_);
        nextPass_ =
            Pass::over(Envelope::bucketAt(fromMs),
                       whole ? bucketCount_ : (toMs + Envelope::BucketMs - 1) / Envelope::BucketMs);
        lead = leadNs_;
    }
    const bool sought = gst_element_seek(pipeline_.get(), 1.0, GST_FORMAT_TIME,
                                         GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                         GST_SEEK_TYPE_SET, msToNs(fromMs) + lead,
                                         whole ? GST_SEEK_TYPE_NONE : GST_SEEK_TYPE_SET,
                                         whole ? gint64(GST_CLOCK_TIME_NONE) : msToNs(toMs) + lead);
    if (!sought) {
        qCWarning(lcMedia) << "the scan could not seek to" << fromMs << "ms in" << job_.path;
        return Outcome::Failed;
    }
    gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
    const Outcome outcome = waitFor(GST_MESSAGE_EOS);
    if (outcome == Outcome::Done)
        sendRest(whole);
    return outcome;
}

Scan::Outcome Scan::waitFor(GstMessageType wanted)
{
    const auto types =
        GstMessageType(wanted | GST_MESSAGE_ERROR | GST_MESSAGE_WARNING | GST_MESSAGE_APPLICATION);
    qint64 seen = buffers_;
    QElapsedTimer quiet;
    quiet.start();
    while (!job_.cancelled) {
        GstMessagePtr message(gst_bus_timed_pop_filtered(bus_.get(), 250 * GST_MSECOND, types));
        if (!message) {
            if (buffers_ != seen) {
                seen = buffers_;
                quiet.restart();
            } else if (quiet.elapsed() > StallMs) {
                qCWarning(lcMedia) << "the scan of" << job_.path << "stalled";
                return Outcome::Failed;
            }
            continue;
        }
        switch (GST_MESSAGE_TYPE(message.get())) {
        case GST_MESSAGE_ERROR:
            logProblem(message.get());
            return Outcome::Failed;
        case GST_MESSAGE_WARNING:
            logProblem(message.get());
            break;
        case GST_MESSAGE_ASYNC_DONE:
            if (GST_MESSAGE_SRC(message.get()) == GST_OBJECT_CAST(pipeline_.get()))
                return Outcome::Done;
            break;
        case GST_MESSAGE_EOS:
            return Outcome::Done;
        default: // a wake-up from cancel()
            break;
        }
    }
    return Outcome::Cancelled;
}

GstPadProbeReturn Scan::probe(GstPad*, GstPadProbeInfo* info, gpointer self)
{
    auto* scan = static_cast<Scan*>(self);
    const GstPadProbeType type = GST_PAD_PROBE_INFO_TYPE(info);
    if (type & GST_PAD_PROBE_TYPE_BUFFER) {
        scan->take(GST_PAD_PROBE_INFO_BUFFER(info));
    } else if (type & GST_PAD_PROBE_TYPE_BUFFER_LIST) {
        gst_buffer_list_foreach(
            GST_PAD_PROBE_INFO_BUFFER_LIST(info),
            [](GstBuffer** each, guint, gpointer data) -> gboolean {
                static_cast<Scan*>(data)->take(*each);
                return TRUE;
            },
            scan);
    } else if (type & GST_PAD_PROBE_TYPE_EVENT_BOTH) {
        scan->see(GST_PAD_PROBE_INFO_EVENT(info));
    }
    return GST_PAD_PROBE_OK;
}

// The sound's format, its segment, and the flush that starts a new stretch.
void Scan::see(GstEvent* event)
{
    const std::lock_guard lock(mutex_);
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_CAPS: {
        GstCaps* caps = nullptr;
        gst_event_parse_caps(event, &caps);
        formatKnown_ =
            gst_audio_info_from_caps(&format_, caps) && GST_AUDIO_INFO_RATE(&format_) > 0;
        break;
    }
    case GST_EVENT_SEGMENT:
        gst_event_copy_segment(event, &segment_);
        break;
    case GST_EVENT_FLUSH_STOP:
        if (nextPass_) {
            pass_ = std::move(*nextPass_);
            nextPass_.reset();
        }
        break;
    default:
        break;
    }
}

// Takes the peak of every bucket the buffer's sound touches.
void Scan::take(GstBuffer* buffer)
{
    ++buffers_;
    const std::lock_guard lock(mutex_);
    Pass& pass = pass_;
    GstMapInfo map;
    if (!formatKnown_ || !gst_buffer_map(buffer, &map, GST_MAP_READ))
        return;
    const qint64 rate = GST_AUDIO_INFO_RATE(&format_);
    const qint64 channels = GST_AUDIO_INFO_CHANNELS(&format_);
    const qint64 frames = qint64(map.size) / GST_AUDIO_INFO_BPF(&format_);
    gint64 startNs = pass.nextNs;
    guint64 streamTime = 0;
    if (pass.countSamples) {
        startNs = gint64(gst_util_uint64_scale_int(guint64(pass.samples), GST_SECOND, int(rate)));
    } else if (const int sign =
                   GST_BUFFER_PTS_IS_VALID(buffer)
                       ? gst_segment_to_stream_time_full(&segment_, GST_FORMAT_TIME,
                                                         GST_BUFFER_PTS(buffer), &streamTime)
                       : 0;
               sign != 0) {
        // The device's position is the stream time less what the decoder
        // put before the sound.
        startNs = sign * gint64(streamTime) - leadNs_;
    }
    pass.samples += frames;
    pass.nextNs =
        startNs + gint64(gst_util_uint64_scale_int(guint64(frames), GST_SECOND, int(rate)));

    // The frames of bucket b are those from ceil((b * BucketNs - startNs) * rate / 1 s) on.
    const auto frameAt = [&](qsizetype bucket) {
        return std::clamp<qint64>(ceilDiv((bucket * BucketNs - startNs) * rate, GST_SECOND), 0,
                                  frames);
    };
    const bool isFloat = GST_AUDIO_INFO_IS_FLOAT(&format_);
    for (qsizetype bucket = std::max(floorDiv(startNs, BucketNs), qint64(pass.first));
         bucket < pass.end; ++bucket) {
        const qint64 from = frameAt(bucket), to = frameAt(bucket + 1);
        if (from >= frames)
            break;
        if (to > from)
            pass.add(bucket,
                     isFloat ? peakOf(reinterpret_cast<const float*>(map.data) + from * channels,
                                      (to - from) * channels)
                             : peakOf(reinterpret_cast<const gint16*>(map.data) + from * channels,
                                      (to - from) * channels));
    }
    gst_buffer_unmap(buffer, &map);
    if (pass.sending)
        send(false);
}

// Sends what is left of the stretch once its stream has ended. The whole
// recording sends the buckets past the end of its sound as silence.
void Scan::sendRest(bool whole)
{
    const std::lock_guard lock(mutex_);
    if (whole)
        pass_.pending.resize(size_t(pass_.end - pass_.sent), 0);
    send(true);
}

// Sends the levels gathered: every one, or, once they cover a chunk and
// some time has passed, all but the last, to which the next buffer may add.
void Scan::send(bool everything)
{
    Pass& pass = pass_;
    const auto now = std::chrono::steady_clock::now();
    const qsizetype count = qsizetype(pass.pending.size()) - (everything ? 0 : 1);
    if (count <= 0 || (!everything && (count < ChunkBuckets || now - pass.at < SendEvery)))
        return;
    QList<quint16> levels(pass.pending.begin(), pass.pending.begin() + count);
    job_.post([first = pass.sent, levels = std::move(levels)](EnvelopeScanner& scanner) {
        emit scanner.levelsFound(first, levels);
    });
    pass.pending.erase(pass.pending.begin(), pass.pending.begin() + count);
    pass.sent += count;
    pass.at = now;
}

void scanInThread(const std::shared_ptr<EnvelopeJob>& job)
{
    // The scan gives way to playing: its thread, and the streaming threads
    // its pipeline starts from here, run at a lower priority.
    setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), ScanNiceness);
    std::optional<QString> failure = Scan(*job).run();
    if (!job->cancelled && job->stampNow() != job->stamp)
        failure = ChangedOnDisk;
    if (failure)
        qCInfo(lcMedia).noquote() << "no envelope for" << job->path << "-" << *failure;
    job->post([failure](EnvelopeScanner& scanner) {
        scanner.cancel();
        if (failure)
            emit scanner.failed(*failure);
        else
            emit scanner.finished();
    });
    job->done = true;
}

} // namespace

EnvelopeScanner::EnvelopeScanner(QObject* parent) : QObject(parent) {}

EnvelopeScanner::~EnvelopeScanner()
{
    cancel();
    for (Running& scan : running_) {
        scan.job->cancel();
        scan.thread.join();
    }
}

void EnvelopeScanner::start(const QString& path, qint32 lengthMs, qint32 aroundMs)
{
    cancel();
    std::erase_if(running_, [](Running& scan) {
        if (!scan.job->done)
            return false;
        scan.thread.join(); // at its very end already
        return true;
    });
    auto job = std::make_shared<EnvelopeJob>();
    job->path = path;
    job->lengthMs = lengthMs;
    job->aroundMs = aroundMs;
    job->stamp = job->stampNow();
    job->setOwner(this);
    job_ = job;
    running_.push_back({job, std::thread([job] { scanInThread(job); })});
}

void EnvelopeScanner::cancel()
{
    if (job_)
        job_->cancel();
    job_.reset();
}

#include "media/GstMediaControl.h"

#include "media/DecodedTrack.h"
#include "media/MpegAudioScan.h"
#include "media/Playbin.h"

#include <QElapsedTimer>

#include <QFile>

#include <algorithm>
#include <limits>

namespace {

bool isWaveFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(12);
    return head.startsWith("RIFF") && head.mid(8) == "WAVE";
}

} // namespace

GstMediaControl::GstMediaControl(QObject* parent) : GstMediaControl(SinkFactory{}, parent) {}

GstMediaControl::GstMediaControl(SinkFactory audioSink, QObject* parent)
    : MediaControl(parent), audioSink_(std::move(audioSink))
{
    statusTimer_.setInterval(StatusIntervalMs);
    connect(&statusTimer_, &QTimer::timeout, this, &MediaControl::StatusUpdate);
    statusTimer_.start();
}

GstMediaControl::~GstMediaControl() = default;

void GstMediaControl::setFrom(qint32 ms)
{
    from_ = ms;
    fromSet_ = true;
}

void GstMediaControl::setTo(qint32 ms)
{
    to_ = ms;
    toSet_ = true;
}

void GstMediaControl::setCommand(const QString& command)
{
    // Act on the device as it is now, not as it was at the last bus wake-up.
    if (playbin_)
        playbin_->dispatchPending();

    if (command == QLatin1String("open"))
        open();
    else if (command == QLatin1String("close"))
        close();
    else if (command == QLatin1String("play"))
        play();
    else if (command == QLatin1String("pause"))
        pause();

    if (switchPending_ && mode_ != Playing)
        switchToDecodedTrack();
}

qint32 GstMediaControl::Position() const
{
    switch (mode_) {
    case NotOpen:
        return 0;
    case Stopped:
        return stoppedAt_;
    default:
        if (endReached_)
            return playEnd_;
        if (const qint64 position = playbin_->positionMs(); position >= 0)
            lastPosition_ = clamp(position);
        return lastPosition_;
    }
}

void GstMediaControl::open()
{
    close();
    QElapsedTimer clock;
    clock.start();
    const auto left = [&clock] {
        return int(std::max<qint64>(0, OpenTimeoutMs - clock.elapsed()));
    };

    auto playbin = Playbin::open(fileName_, audioSink_, OpenTimeoutMs);
    // GStreamer 1.22's WAV reader finds no sound in a file whose sound chunk
    // has an odd size and ends in its pad byte (8-bit mono with an odd number
    // of samples) when it reads at random; fed in order, it reads it well.
    if ((!playbin || playbin->durationMs() <= 0) && isWaveFile(fileName_))
        playbin = Playbin::open(fileName_, audioSink_, left(), Playbin::Reading::Sequential);
    if (!playbin)
        return;
    if (playbin->contains("mpegpsdemux")) {
        track_ = DecodedTrack::start(fileName_, left());
        if (track_ && track_->waitFinished(std::min(left(), decodeWaitMs_))) {
            if (auto exact = Playbin::open(track_->path(), audioSink_, left()))
                playbin = std::move(exact);
        } else if (track_ && track_->isDecoding()) {
            connect(track_.get(), &DecodedTrack::finished, this, &GstMediaControl::onTrackDecoded);
        }
    }

    // GStreamer only estimates the length of an mp3 without a VBR header;
    // counting its frames gives the true one.
    qint64 length = mpegAudioLengthMs(fileName_);
    lengthIsExact_ = length > 0;
    if (!lengthIsExact_)
        length = playbin->durationMs();
    if (length <= 0 || length > std::numeric_limits<qint32>::max()) {
        track_.reset();
        return;
    }
    adopt(std::move(playbin));
    length_ = qint32(length);
    fromSet_ = toSet_ = false;
    stopAt(0);
}

void GstMediaControl::adopt(std::unique_ptr<Playbin> playbin)
{
    playbin_ = std::move(playbin);
    connect(playbin_.get(), &Playbin::endOfStream, this, &GstMediaControl::onEndOfStream);
    connect(playbin_.get(), &Playbin::durationChanged, this, &GstMediaControl::onDurationChanged);
    // A stream that breaks while playing stops where it broke.
    connect(playbin_.get(), &Playbin::failed, this, [this] {
        if (mode_ == Playing || mode_ == Paused)
            stopAt(Position());
    });
}

void GstMediaControl::onTrackDecoded(bool complete)
{
    if (!complete) {
        track_.reset();
        return;
    }
    // Switching in the middle of a play would be heard; wait for a pause.
    switchPending_ = true;
    if (mode_ != Playing)
        switchToDecodedTrack();
}

void GstMediaControl::switchToDecodedTrack()
{
    switchPending_ = false;
    auto exact = Playbin::open(track_->path(), audioSink_, OpenTimeoutMs);
    const qint64 length = exact ? exact->durationMs() : -1;
    if (length <= 0 || length > std::numeric_limits<qint32>::max())
        return; // keep playing the original
    const qint32 position = Position();
    adopt(std::move(exact));
    length_ = qint32(length);
    lengthIsExact_ = true;
    playEnd_ = std::min(playEnd_, length_);
    if (mode_ == Paused) {
        playbin_->seek(clamp(position), playEnd_ >= length_ ? -1 : playEnd_);
        lastPosition_ = clamp(position);
    } else {
        stoppedAt_ = lastPosition_ = clamp(stoppedAt_);
    }
}

void GstMediaControl::close()
{
    playbin_.reset();
    track_.reset();
    switchPending_ = false;
    mode_ = NotOpen;
    length_ = 0;
    fromSet_ = toSet_ = false;
    endReached_ = false;
    stoppedAt_ = lastPosition_ = 0;
}

void GstMediaControl::play()
{
    if (!playbin_)
        return;
    const qint32 start = clamp(fromSet_ ? from_ : Position());
    const qint32 end = clamp(toSet_ ? to_ : length_);
    fromSet_ = toSet_ = false;
    endReached_ = false;

    if (start >= end) {
        // Nothing to play: the play is over where it was asked to end.
        playbin_->setPlaying(false);
        stopAt(end);
        return;
    }
    playEnd_ = end;
    playbin_->seek(start, end >= length_ ? -1 : end);
    playbin_->setPlaying(true);
    mode_ = Playing;
}

void GstMediaControl::pause()
{
    switch (mode_) {
    case Playing:
        playbin_->setPlaying(false);
        mode_ = Paused;
        break;
    case Paused:
        if (endReached_) {
            stopAt(playEnd_);
        } else {
            playbin_->setPlaying(true);
            mode_ = Playing;
        }
        break;
    case Stopped:
        // Paused where it stands; resuming plays on to the end.
        playEnd_ = length_;
        endReached_ = false;
        playbin_->seek(stoppedAt_, -1);
        playbin_->setPlaying(false);
        lastPosition_ = stoppedAt_;
        mode_ = Paused;
        break;
    default:
        break;
    }
}

void GstMediaControl::stopAt(qint32 ms)
{
    mode_ = Stopped;
    stoppedAt_ = lastPosition_ = ms;
    endReached_ = false;
}

void GstMediaControl::onEndOfStream()
{
    // The sink reports the start of its last buffer; the play ended at its
    // requested end, and that is what the caller compares against.
    if (mode_ == Playing)
        stopAt(playEnd_);
    else if (mode_ == Paused)
        endReached_ = true;
}

void GstMediaControl::onDurationChanged()
{
    if (lengthIsExact_ || !playbin_)
        return;
    if (const qint64 length = playbin_->durationMs();
        length > 0 && length <= std::numeric_limits<qint32>::max())
        length_ = qint32(length);
}

qint32 GstMediaControl::clamp(qint64 ms) const
{
    return qint32(std::clamp<qint64>(ms, 0, length_));
}

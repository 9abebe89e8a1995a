#include "media/GstMediaControl.h"

#include "media/DecodedTrack.h"
#include "media/GstSupport.h"
#include "media/MediaLog.h"
#include "media/MpegAudioScan.h"
#include "media/OutputKeeper.h"
#include "media/Playbin.h"

#include <QElapsedTimer>

#include <algorithm>
#include <limits>

namespace {

bool usableLength(qint64 ms)
{
    return ms > 0 && ms <= std::numeric_limits<qint32>::max();
}

} // namespace

GstMediaControl::GstMediaControl(QObject* parent) : GstMediaControl(SinkFactory{}, parent) {}

GstMediaControl::GstMediaControl(SinkFactory audioSink, QObject* parent)
    : MediaControl(parent), audioSink_(std::move(audioSink))
{
    startTimer_.setSingleShot(true);
    startTimer_.setInterval(0);
    connect(&startTimer_, &QTimer::timeout, this, [this] {
        if (mode_ == DeviceMode::Playing && playbin_)
            playbin_->setPlaying(true);
    });
    statusTimer_.setInterval(StatusIntervalMs);
    // The position is kept as it goes, for when the stream fails and can no
    // longer tell it.
    connect(&statusTimer_, &QTimer::timeout, this, [this] { Position(); });
    connect(&statusTimer_, &QTimer::timeout, this, &MediaControl::StatusUpdate);
    statusTimer_.start();
}

GstMediaControl::~GstMediaControl() = default;

void GstMediaControl::prepareSound()
{
    OutputKeeper::keepOpen();
    Playbin::warmUp();
}

void GstMediaControl::command(DeviceCommand command)
{
    // Act on the device as it is now, not as it was at the last bus wake-up.
    if (playbin_)
        playbin_->dispatchPending();

    switch (command) {
    case DeviceCommand::Open:
        open();
        break;
    case DeviceCommand::Close:
        close();
        break;
    case DeviceCommand::Play:
        play();
        break;
    case DeviceCommand::Pause:
        pause();
        break;
    }

    if (switchPending_ && mode_ != DeviceMode::Playing)
        switchToDecodedTrack();
}

qint32 GstMediaControl::Position() const
{
    switch (mode_) {
    case DeviceMode::NotOpen:
        return 0;
    case DeviceMode::Stopped:
        return stoppedAt_;
    default:
        if (endReached_)
            return playEnd();
        if (broken_)
            return lastPosition_;
        // The sink's clock may run a little past the end of a stretch
        // played faster or slower while its last sound comes out.
        if (const qint64 position = playbin_->positionMs(); position >= 0)
            lastPosition_ = std::min(clamp(position), playEnd());
        return lastPosition_;
    }
}

bool GstMediaControl::usesElement(const char* factory) const
{
    return playbin_ && playbin_->contains(factory);
}

void GstMediaControl::open()
{
    close();
    // The time allowed is for the file; GStreamer's own start-up (a plugin
    // scan on the very first run) is not the file's fault.
    if (!isRegularFile(FileName()) || !ensureGstreamer())
        return;
    if (!audioSink_)
        OutputKeeper::keepOpen();
    ChosenReading reading = chooseReading(FileName());
    if (!reading.playbin || !usableLength(reading.lengthMs)) {
        track_.reset();
        return;
    }
    adopt(std::move(reading.playbin), reading.source);
    length_ = qint32(reading.lengthMs);
    lengthIsExact_ = reading.lengthIsExact;
    forgetFromAndTo();
    stopAt(0);
}

// How a file is read, all within OpenTimeoutMs:
//  - as it is, reading where GStreamer likes;
//  - fed in order: GStreamer 1.22's WAV reader finds no sound in a file whose
//    sound chunk has an odd size and ends in its pad byte (8-bit mono with
//    an odd number of samples) when it reads at random;
//  - its length found by counting frames: GStreamer only estimates the
//    length of an mp3 without a VBR header;
//  - its sound decoded once into a track whose timeline is exact: MPEG
//    program and transport streams start their timeline late and end it
//    short, and some streams (raw AAC) tell no length at all. A track that
//    takes longer than decodeWaitMs_ replaces the original once decoded.
GstMediaControl::ChosenReading GstMediaControl::chooseReading(const QString& path)
{
    QElapsedTimer clock;
    clock.start();
    const auto left = [&clock] {
        return int(std::max<qint64>(0, OpenTimeoutMs - clock.elapsed()));
    };

    ChosenReading reading{Playbin::open(path, audioSink_, OpenTimeoutMs), {path}};
    if ((!reading.playbin || reading.playbin->durationMs() <= 0) && isWaveFile(path)) {
        reading.source.sequential = true;
        reading.playbin = Playbin::open(path, audioSink_, left(), Playbin::Reading::Sequential);
    }
    if (!reading.playbin)
        return reading;
    // Told by the file as it is: a decoded track below holds its sound only.
    hasPicture_ = reading.playbin->hasPicture();

    reading.lengthMs = mpegAudioLengthMs(path);
    reading.lengthIsExact = reading.lengthMs > 0;
    if (!reading.lengthIsExact)
        reading.lengthMs = reading.playbin->durationMs();

    const bool lengthUnknown = reading.lengthMs <= 0;
    if (!lengthUnknown && !reading.playbin->contains("mpegpsdemux") &&
        !reading.playbin->contains("tsdemux"))
        return reading;
    track_ = DecodedTrack::start(path, left());
    // Without a length there is nothing to offer meanwhile.
    const int wait = lengthUnknown ? left() : std::min(left(), decodeWaitMs_);
    auto exact = track_ && track_->waitFinished(wait)
                     ? Playbin::open(track_->path(), audioSink_, left())
                     : nullptr;
    if (exact && usableLength(exact->durationMs())) {
        reading.lengthMs = exact->durationMs();
        reading.lengthIsExact = true;
        reading.playbin = std::move(exact);
        reading.source = {track_->path()};
    } else if (track_ && track_->isDecoding()) {
        connect(track_.get(), &DecodedTrack::finished, this, &GstMediaControl::onTrackDecoded);
    } else {
        track_.reset(); // decoding failed: the original is all there is
    }
    return reading;
}

void GstMediaControl::adopt(std::unique_ptr<Playbin> playbin, Source source)
{
    playbin_ = std::move(playbin);
    source_ = std::move(source);
    broken_ = false;
    // Every pipeline plays at the volume chosen: after an open, a recovery
    // and the switch to a decoded track alike. What it prerolled at its
    // old volume is flushed by the seek that starts each play.
    playbin_->setVolume(gain());
    connect(playbin_.get(), &Playbin::endOfStream, this, &GstMediaControl::onEndOfStream);
    connect(playbin_.get(), &Playbin::durationChanged, this, &GstMediaControl::onDurationChanged);
    // A file that cannot be read or decoded on has ended where it broke. A
    // failing sound output says nothing about the file: the play pauses
    // there, to go on once an output is back.
    connect(playbin_.get(), &Playbin::failed, this, [this](bool inSoundOutput) {
        // What else fails after the first error only follows from it.
        if (broken_)
            return;
        const bool underWay = mode_ == DeviceMode::Playing || mode_ == DeviceMode::Paused;
        const qint32 position = Position();
        broken_ = true;
        if (underWay && inSoundOutput) {
            mode_ = DeviceMode::Paused;
            lastPosition_ = position;
        } else if (underWay) {
            endEarlyAt(position);
        }
        if (inSoundOutput)
            setSoundOutput(SoundOutput::Lost);
    });
    // A sink chosen by the caller is what it wants; the default output may
    // have had to fall back to a silent stand-in;
    // a picture without sound has nothing to be heard.
    setSoundOutput(audioSink_ || !playbin_->hasSound() || playbin_->outputFeedsDevice()
                       ? SoundOutput::Heard
                       : SoundOutput::Silent);
}

// Before a play: a fresh stream for one that broke, and another look for a
// sound output while there is none.
bool GstMediaControl::recover()
{
    // A broken stream lets go of its output first: a new one to the same
    // sound server would share its dead connection.
    const bool renew = broken_ || soundOutput() != SoundOutput::Heard;
    if (broken_)
        playbin_->release();
    if (!audioSink_)
        OutputKeeper::keepOpen(renew);
    if (!renew)
        return true;
    auto fresh =
        Playbin::open(source_.path, audioSink_, OpenTimeoutMs,
                      source_.sequential ? Playbin::Reading::Sequential : Playbin::Reading::Random);
    if (!fresh)
        return !broken_; // a silent stream still plays
    adopt(std::move(fresh), source_);
    return true;
}

void GstMediaControl::onTrackDecoded(bool complete)
{
    if (!complete) {
        // We are inside the track's own signal: let it go afterwards.
        track_.release()->deleteLater();
        return;
    }
    // Switching in the middle of a play would be heard; wait for a pause.
    switchPending_ = true;
    if (mode_ != DeviceMode::Playing)
        switchToDecodedTrack();
}

void GstMediaControl::switchToDecodedTrack()
{
    switchPending_ = false;
    auto exact = Playbin::open(track_->path(), audioSink_, OpenTimeoutMs);
    const qint64 length = exact ? exact->durationMs() : -1;
    if (!usableLength(length))
        return; // keep playing the original
    const qint32 position = Position();
    const bool stoppedAtEnd = mode_ == DeviceMode::Stopped && stoppedAt_ >= length_;
    adopt(std::move(exact), {track_->path()});
    length_ = qint32(length);
    lengthIsExact_ = true;
    playEnd_ = std::min(playEnd_, length_);
    if (mode_ == DeviceMode::Paused) {
        playbin_->seek(clamp(position), toEnd_ ? -1 : playEnd_, rate());
        lastPosition_ = clamp(position);
    } else {
        stoppedAt_ = lastPosition_ = stoppedAtEnd ? length_ : clamp(stoppedAt_);
    }
}

void GstMediaControl::close()
{
    playbin_.reset();
    track_.reset();
    switchPending_ = false;
    broken_ = false;
    mode_ = DeviceMode::NotOpen;
    length_ = 0;
    hasPicture_ = false;
    forgetFromAndTo();
    setEndedEarlyAt(std::nullopt);
    endReached_ = false;
    stoppedAt_ = lastPosition_ = 0;
}

void GstMediaControl::play()
{
    if (!playbin_ || !recover())
        return;
    const qint32 start = clamp(takeFrom().value_or(Position()));
    const qint32 end = clamp(takeTo().value_or(length_));
    toEnd_ = end >= length_;
    playEnd_ = end;
    endReached_ = false;

    if (start >= playEnd_) {
        // Nothing to play: the play is over where it was asked to end.
        playbin_->setPlaying(false);
        stopAt(playEnd_);
        return;
    }
    // The sound starts once the caller is done: "play" followed at once by
    // "pause" (how a replay's end is parked) then lets nothing out.
    playbin_->setPlaying(false);
    playbin_->seek(start, toEnd_ ? -1 : playEnd_, rate());
    mode_ = DeviceMode::Playing;
    startTimer_.start();
}

void GstMediaControl::pause()
{
    switch (mode_) {
    case DeviceMode::Playing:
        playbin_->setPlaying(false);
        mode_ = DeviceMode::Paused;
        break;
    case DeviceMode::Paused:
        if (endReached_) {
            stopAt(playEnd());
        } else if (broken_ || soundOutput() != SoundOutput::Heard) {
            // The same play on a fresh stream, from where it paused.
            const qint32 position = lastPosition_;
            if (!recover())
                break;
            playbin_->seek(position, toEnd_ ? -1 : playEnd_, rate());
            lastPosition_ = position;
            playbin_->setPlaying(true);
            mode_ = DeviceMode::Playing;
        } else {
            playbin_->resume(Position());
            mode_ = DeviceMode::Playing;
        }
        break;
    case DeviceMode::Stopped:
        // Paused where it stands; resuming plays on to the end.
        if (!recover())
            break;
        toEnd_ = true;
        endReached_ = false;
        // A play that reached its end leaves the pipeline playing: it must be
        // paused before the seek, or sound from the stop onwards runs out,
        // unsynchronised, until the pause settles.
        playbin_->setPlaying(false);
        playbin_->seek(stoppedAt_, -1, rate());
        lastPosition_ = stoppedAt_;
        mode_ = DeviceMode::Paused;
        break;
    default:
        break;
    }
}

void GstMediaControl::jumpTo(qint32 ms)
{
    if (playbin_)
        playbin_->dispatchPending();
    if (mode_ == DeviceMode::Playing || mode_ == DeviceMode::Paused)
        playOnFrom(std::min(clamp(ms), playEnd()));
}

void GstMediaControl::speedChanged()
{
    if (playbin_)
        playbin_->dispatchPending();
    // A paused play that has reached its end has nothing left to speed up;
    // the next play takes the new speed.
    if (mode_ == DeviceMode::Playing || (mode_ == DeviceMode::Paused && !endReached_))
        playOnFrom(Position());
}

void GstMediaControl::volumeChanged()
{
    if (playbin_)
        playbin_->setVolume(gain());
}

// The play under way goes on from `ms` to the same end, at the current
// speed, in the same mode.
void GstMediaControl::playOnFrom(qint32 ms)
{
    playbin_->seek(ms, toEnd_ ? -1 : playEnd_, rate());
    endReached_ = false;
    lastPosition_ = ms;
}

void GstMediaControl::stopAt(qint32 ms)
{
    mode_ = DeviceMode::Stopped;
    stoppedAt_ = lastPosition_ = ms;
    endReached_ = false;
}

// The media has run out of sound at `ms`, short of the play's end.
void GstMediaControl::endEarlyAt(qint32 ms)
{
    qCWarning(lcMedia) << "the media ended at" << ms << "ms, short of" << playEnd() << "ms";
    stopAt(ms);
    setEndedEarlyAt(ms);
}

void GstMediaControl::onEndOfStream()
{
    if (mode_ != DeviceMode::Playing && mode_ != DeviceMode::Paused)
        return;
    // A stream may end a little before the play's end with nothing missing:
    // the sink may report the start of its last buffer, a sound track may
    // stop short of its video's last picture, and a length taken from a
    // header or the bitrate may be a little off on a long recording. Short
    // by more than a second and more than 2 % of the length, the file holds
    // less than it claims (cut short, or damaged from there on): the play
    // stops where its sound ended. Otherwise it ended at its requested end,
    // and that is what the caller compares against.
    if (const qint32 reached = Position(); playEnd() - reached > std::max(1000, length_ / 50))
        endEarlyAt(reached);
    else if (mode_ == DeviceMode::Playing)
        stopAt(playEnd());
    else
        endReached_ = true;
}

void GstMediaControl::onDurationChanged()
{
    if (lengthIsExact_ || !playbin_)
        return;
    if (const qint64 length = playbin_->durationMs(); usableLength(length))
        length_ = qint32(length);
}

qint32 GstMediaControl::clamp(qint64 ms) const
{
    return qint32(std::clamp<qint64>(ms, 0, length_));
}

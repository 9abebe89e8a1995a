#include "FakeMediaControl.h"

#include <algorithm>

void FakeMediaControl::addMedia(const QString& path, qint32 lengthMs)
{
    media_.insert(path, lengthMs);
}

void FakeMediaControl::setCommand(const QString& command)
{
    commands_ << command;
    if (command == QLatin1String("close")) {
        close();
    } else if (command == QLatin1String("open")) {
        close();
        if (media_.contains(FileName())) {
            length_ = media_.value(FileName());
            mode_ = Stopped;
        }
    } else if (command == QLatin1String("play")) {
        play();
    } else if (command == QLatin1String("pause")) {
        pause();
    }
}

void FakeMediaControl::jumpTo(qint32 ms)
{
    if (mode_ != Playing && mode_ != Paused)
        return;
    position_ = std::clamp(ms, 0, std::min(playEnd_, length_));
    mediaUs_ = 0;
}

void FakeMediaControl::close()
{
    mode_ = NotOpen;
    length_ = position_ = 0;
    mediaUs_ = 0;
    forgetFromAndTo();
}

void FakeMediaControl::play()
{
    if (mode_ == NotOpen)
        return;
    const auto clamp = [this](qint32 ms) {
        return std::clamp(ms, 0, length_);
    };
    const qint32 start = clamp(takeFrom().value_or(position_));
    const qint32 end = clamp(takeTo().value_or(length_));
    if (start >= end) {
        position_ = end;
        mode_ = Stopped;
        return;
    }
    position_ = start;
    mediaUs_ = 0;
    playEnd_ = end;
    mode_ = Playing;
}

void FakeMediaControl::pause()
{
    if (mode_ == Playing) {
        mode_ = Paused;
    } else if (mode_ == Paused) {
        mode_ = position_ >= playEnd_ ? Stopped : Playing;
    } else if (mode_ == Stopped) {
        playEnd_ = length_;
        mode_ = Paused;
    }
}

void FakeMediaControl::advance(qint32 ms)
{
    while (ms > 0) {
        const qint32 step = std::min(ms, StatusIntervalMs - sinceStatus_);
        moveBy(step);
        ms -= step;
        sinceStatus_ += step;
        if (sinceStatus_ == StatusIntervalMs) {
            sinceStatus_ = 0;
            emit StatusUpdate();
        }
    }
}

void FakeMediaControl::moveBy(qint32 ms)
{
    if (mode_ != Playing)
        return;
    // A millisecond of listening plays Speed() microseconds of media.
    const qint64 leftUs = qint64(playEnd_ - position_) * 1000 - mediaUs_;
    const qint64 playedUs = std::min(qint64(ms) * Speed(), leftUs);
    heardUs_ += playedUs * NormalSpeed / Speed();
    mediaUs_ += playedUs;
    position_ += qint32(mediaUs_ / 1000);
    mediaUs_ %= 1000;
    if (position_ == playEnd_)
        mode_ = Stopped;
}

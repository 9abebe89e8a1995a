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

void FakeMediaControl::close()
{
    mode_ = NotOpen;
    length_ = position_ = 0;
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
    const qint32 next = std::min(position_ + ms, playEnd_);
    playedMs_ += next - position_;
    position_ = next;
    if (position_ == playEnd_)
        mode_ = Stopped;
}

#include "FakeMediaControl.h"

#include <algorithm>

void FakeMediaControl::addMedia(const QString& path, qint32 lengthMs)
{
    media_.insert(path, lengthMs);
}

void FakeMediaControl::command(DeviceCommand command)
{
    static const char* const Names[] = {"close", "open", "play", "pause"};
    commands_ << QLatin1String(Names[int(command)]);
    switch (command) {
    case DeviceCommand::Close:
        close();
        break;
    case DeviceCommand::Open:
        close();
        if (media_.contains(FileName())) {
            length_ = media_.value(FileName());
            mode_ = DeviceMode::Stopped;
        }
        break;
    case DeviceCommand::Play:
        play();
        break;
    case DeviceCommand::Pause:
        pause();
        break;
    }
}

void FakeMediaControl::jumpTo(qint32 ms)
{
    if (mode_ != DeviceMode::Playing && mode_ != DeviceMode::Paused)
        return;
    position_ = std::clamp(ms, 0, std::min(playEnd_, length_));
    mediaUs_ = 0;
}

void FakeMediaControl::close()
{
    mode_ = DeviceMode::NotOpen;
    length_ = position_ = 0;
    mediaUs_ = 0;
    forgetFromAndTo();
}

void FakeMediaControl::play()
{
    if (mode_ == DeviceMode::NotOpen)
        return;
    const auto clamp = [this](qint32 ms) {
        return std::clamp(ms, 0, length_);
    };
    const qint32 start = clamp(takeFrom().value_or(position_));
    const qint32 end = clamp(takeTo().value_or(length_));
    if (start >= end) {
        position_ = end;
        mode_ = DeviceMode::Stopped;
        return;
    }
    position_ = start;
    mediaUs_ = 0;
    playEnd_ = end;
    mode_ = DeviceMode::Playing;
}

void FakeMediaControl::pause()
{
    if (mode_ == DeviceMode::Playing) {
        mode_ = DeviceMode::Paused;
    } else if (mode_ == DeviceMode::Paused) {
        mode_ = position_ >= playEnd_ ? DeviceMode::Stopped : DeviceMode::Playing;
    } else if (mode_ == DeviceMode::Stopped) {
        playEnd_ = length_;
        mode_ = DeviceMode::Paused;
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
    if (mode_ != DeviceMode::Playing)
        return;
    // A millisecond of listening plays Speed() microseconds of media.
    const qint64 leftUs = qint64(playEnd_ - position_) * 1000 - mediaUs_;
    const qint64 playedUs = std::min(qint64(ms) * Speed(), leftUs);
    heardUs_ += playedUs * NormalSpeed / Speed();
    mediaUs_ += playedUs;
    position_ += qint32(mediaUs_ / 1000);
    mediaUs_ %= 1000;
    if (position_ == playEnd_)
        mode_ = DeviceMode::Stopped;
}

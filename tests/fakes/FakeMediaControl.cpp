#include "FakeMediaControl.h"

#include <algorithm>

void FakeMediaControl::command(DeviceCommand command)
{
    static const char* const Names[] = {"close", "open", "play", "pause"};
    commands_ << QLatin1String(Names[int(command)]);
    if (command == DeviceCommand::Play) {
        play();
    } else if (command == DeviceCommand::Pause) {
        pause();
    } else { // close; open also closes first, then opens a file it knows
        length_ = soundEnd_ = command == DeviceCommand::Open ? media_.value(FileName()) : 0;
        setEndedEarlyAt(std::nullopt);
        mode_ = length_ > 0 ? DeviceMode::Stopped : DeviceMode::NotOpen;
        position_ = 0;
        mediaUs_ = 0;
        forgetFromAndTo();
    }
}

void FakeMediaControl::jumpTo(qint32 ms)
{
    if (mode_ != DeviceMode::Playing && mode_ != DeviceMode::Paused)
        return;
    position_ = std::clamp(ms, 0, std::min(playEnd_, length_));
    mediaUs_ = 0;
}

void FakeMediaControl::play()
{
    if (mode_ == DeviceMode::NotOpen)
        return;
    setSoundOutput(SoundOutput::Heard);
    const qint32 start = std::clamp(takeFrom().value_or(position_), 0, length_);
    const qint32 end = std::clamp(takeTo().value_or(length_), 0, length_);
    position_ = std::min(start, end);
    mediaUs_ = 0;
    playEnd_ = end;
    mode_ = start < end ? DeviceMode::Playing : DeviceMode::Stopped;
}

void FakeMediaControl::pause()
{
    if (mode_ == DeviceMode::Playing) {
        mode_ = DeviceMode::Paused;
    } else if (mode_ == DeviceMode::Paused) {
        setSoundOutput(SoundOutput::Heard);
        mode_ = position_ >= playEnd_ ? DeviceMode::Stopped : DeviceMode::Playing;
    } else if (mode_ == DeviceMode::Stopped) {
        playEnd_ = length_;
        mode_ = DeviceMode::Paused;
    }
}

void FakeMediaControl::advance(qint32 ms)
{
    // In steps that end at each status update, rather than a millisecond at a time.
    while (ms > 0) {
        const qint32 step = std::min<qint64>(ms, StatusIntervalMs - clockMs_ % StatusIntervalMs);
        moveBy(step);
        ms -= step;
        if ((clockMs_ += step) % StatusIntervalMs == 0)
            emit StatusUpdate();
    }
}

void FakeMediaControl::moveBy(qint32 ms)
{
    if (mode_ != DeviceMode::Playing)
        return;
    // A millisecond of listening plays Speed() microseconds of media.
    const qint32 end = std::min(playEnd_, soundEnd_);
    const qint64 leftUs = std::max<qint64>(0, qint64(end - position_) * 1000 - mediaUs_);
    const qint64 playedUs = std::min(qint64(ms) * Speed(), leftUs);
    heardUs_ += playedUs * NormalSpeed / Speed();
    mediaUs_ += playedUs;
    position_ += qint32(mediaUs_ / 1000);
    mediaUs_ %= 1000;
    if (position_ >= end) {
        mode_ = DeviceMode::Stopped;
        if (end < playEnd_)
            setEndedEarlyAt(position_ = end);
    }
}

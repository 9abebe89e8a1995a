#pragma once

#include "media/MediaControl.h"

#include <QHash>
#include <QSet>
#include <QStringList>

// A media device with a clock that the test moves. It keeps the real device's contract (modes,
// exact stops, the pause toggle, From and To for one play, Length 0 for a file it cannot open),
// so that window tests run a whole transcription cycle in milliseconds, always the same way.
class FakeMediaControl final : public MediaControl
{
    Q_OBJECT

public:
    static constexpr int StatusIntervalMs = 100;
    using MediaControl::MediaControl;

    // A file the fake can open, with its length (above 0). Any other path fails to open.
    void addMedia(const QString& path, qint32 lengthMs) { media_.insert(path, lengthMs); }
    void removeMedia(const QString& path) { media_.remove(path); }   // opening it fails from now on
    void addPicture(const QString& path) { pictures_.insert(path); } // the file has a picture too
    // The open file's sound ends at `ms` from now on, whatever its length says.
    void cutShort(qint32 ms) { soundEnd_ = ms; }
    // The sound output goes silent or is lost (which pauses a play); the
    // next play or resume finds it again.
    void loseSound(SoundOutput output)
    {
        if (output == SoundOutput::Lost && mode_ == DeviceMode::Playing)
            mode_ = DeviceMode::Paused;
        setSoundOutput(output);
    }

    // Moves the clock on by `ms`. A playing device advances, at its speed, and stops exactly
    // at the end of its play; StatusUpdate is emitted every 100 ms of the clock.
    void advance(qint32 ms);

    // Time spent playing since the last reset: what a listener heard.
    qint32 playedMs() const { return qint32((heardUs_ + 500) / 1000); }
    void resetPlayed() { heardUs_ = 0; }

    QStringList commands() const { return commands_; } // every command received, in order

    void command(DeviceCommand command) override;
    DeviceMode mode() const override { return mode_; }
    void jumpTo(qint32 ms) override;
    qint32 Position() const override { return position_; }
    qint32 Length() const override { return length_; }
    bool hasPicture() const override { return length_ > 0 && pictures_.contains(FileName()); }

private:
    void play();
    void pause();
    void moveBy(qint32 ms);

    QHash<QString, qint32> media_;
    QSet<QString> pictures_;
    QStringList commands_;
    DeviceMode mode_ = DeviceMode::NotOpen;
    qint32 length_ = 0, position_ = 0, playEnd_ = 0, soundEnd_ = 0;
    qint64 clockMs_ = 0, heardUs_ = 0;
    qint64 mediaUs_ = 0; // media played beyond position_, under a millisecond
};

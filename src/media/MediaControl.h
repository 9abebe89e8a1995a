#pragma once

#include <QObject>
#include <QString>

#include <algorithm>
#include <optional>
#include <utility>

// What the device is doing.
enum class DeviceMode
{
    NotOpen,
    Stopped,
    Playing,
    Recording,
    Seeking,
    Paused,
    Ready,
};

// Whether what the device plays is heard.
enum class SoundOutput
{
    Heard,  // through a sound server or device
    Silent, // none could be opened: plays go on in real time, unheard
    Lost,   // the output failed while playing, which paused the play there
};

enum class DeviceCommand
{
    Close,
    Open,
    Play,
    Pause,
};

// The media device the workspace plays through. It mirrors a classic
// multimedia control: positions and lengths in milliseconds, commands issued
// one after another without waiting, and a periodic StatusUpdate signal.
// Outcomes are observed through mode() and Position(). The classic control's
// own surface, commands by name and modes by number, sits on top.
//
// Contract every implementation keeps:
//  - "open" on a file that cannot be played leaves Length() 0 and the mode
//    NotOpen; it never hangs.
//  - "play" plays from From (when set since the last play) or else from the
//    current position, up to To (when set since the last play) or else to the
//    end. At the end the device is Stopped with Position() exactly the end.
//  - A play whose sound runs out well before its end (a file cut short or
//    damaged, also while it plays) stops where the sound ended: Stopped,
//    Position() there, and endedEarlyAt() tells that position until the
//    media is opened or closed again. Length() stays what the file claimed.
//  - "pause" toggles: playing -> paused; paused -> resumes the same play with
//    the same end; stopped -> paused where it stands.
//  - "close" is harmless when nothing is open.
//  - When the sound output fails while playing, the play pauses where it was
//    (Paused, Position() there) and soundOutput() is Lost; "pause" resumes it
//    on a fresh output, from there to the same end. When no output can be
//    opened, plays go on in real time, unheard, and soundOutput() is Silent.
//    Every play looks for an output again.
//  - Speed (thousandths of normal, pitch kept) holds for every play until it
//    is changed; a change while playing or paused takes effect at once,
//    keeping the position and the end of the play. Positions and lengths are
//    those of the media at every speed.
//  - Volume (percent of the recorded level, 0 to 200) holds for every play
//    until it is changed; a change while playing is heard at once, with the
//    sound running on: no gap, nothing heard twice, the position unmoved.
//  - StatusUpdate fires periodically in every mode.
class MediaControl : public QObject
{
    Q_OBJECT

public:
    static constexpr int MillisecondsFormat = 0;
    static constexpr int NormalSpeed = 1000;
    static constexpr int MinimumSpeed = 500;
    static constexpr int MaximumSpeed = 2000;
    static constexpr int NormalVolume = 100;
    static constexpr int MaximumVolume = 200;

    using QObject::QObject;
    ~MediaControl() override = default;

    int TimeFormat() const { return timeFormat_; }
    void setTimeFormat(int format) { timeFormat_ = format; }
    QString FileName() const { return fileName_; }
    void setFileName(const QString& path) { fileName_ = path; }
    qint32 From() const { return from_; }
    void setFrom(qint32 ms)
    {
        from_ = ms;
        fromSet_ = true;
    }
    qint32 To() const { return to_; }
    void setTo(qint32 ms)
    {
        to_ = ms;
        toSet_ = true;
    }

    int Speed() const { return speed_; }
    void setSpeed(int thousandths)
    {
        const int speed = std::clamp(thousandths, int(MinimumSpeed), int(MaximumSpeed));
        if (std::exchange(speed_, speed) != speed)
            speedChanged();
    }

    int Volume() const { return volume_; }
    void setVolume(int percent)
    {
        const int volume = std::clamp(percent, 0, int(MaximumVolume));
        if (std::exchange(volume_, volume) != volume)
            volumeChanged();
    }

    virtual void command(DeviceCommand command) = 0;
    virtual DeviceMode mode() const = 0;

    // The classic control's names: "close", "open", "play" or "pause" (any
    // other is ignored), and the modes numbered from 524 (not open) to 530
    // (ready) in the order of DeviceMode.
    void setCommand(const QString& name);
    int Mode() const { return modeNumber(mode()); }
    static constexpr int modeNumber(DeviceMode mode) { return 524 + int(mode); }

    // Moves a playing or paused device to `ms`, keeping its mode and the end
    // of its play. A stopped device stays where it is.
    virtual void jumpTo(qint32 ms) = 0;

    virtual qint32 Position() const = 0;
    virtual qint32 Length() const = 0;
    // True when the open recording has a picture, which is left for others
    // to show.
    virtual bool hasPicture() const { return false; }

    // Where the media ran out of sound before its end, if it has (see above).
    std::optional<qint32> endedEarlyAt() const { return endedEarlyAt_; }

    SoundOutput soundOutput() const { return soundOutput_; }

signals:
    void StatusUpdate();
    void soundOutputChanged(SoundOutput output);

protected:
    // The speed has changed; a play or pause under way follows it.
    virtual void speedChanged() {}
    // The volume has changed; the sound under way follows it.
    virtual void volumeChanged() {}

    // From and To hold for the next play only: a play takes them, and
    // opening or closing forgets them.
    std::optional<qint32> takeFrom() { return take(from_, fromSet_); }
    std::optional<qint32> takeTo() { return take(to_, toSet_); }
    void forgetFromAndTo() { fromSet_ = toSet_ = false; }
    void setEndedEarlyAt(std::optional<qint32> ms) { endedEarlyAt_ = ms; }
    void setSoundOutput(SoundOutput output)
    {
        if (std::exchange(soundOutput_, output) != output)
            emit soundOutputChanged(output);
    }

private:
    static std::optional<qint32> take(qint32 value, bool& set)
    {
        const bool wasSet = std::exchange(set, false);
        return wasSet ? std::optional<qint32>(value) : std::nullopt;
    }

    int timeFormat_ = MillisecondsFormat;
    QString fileName_;
    qint32 from_ = 0;
    qint32 to_ = 0;
    bool fromSet_ = false;
    bool toSet_ = false;
    int speed_ = NormalSpeed;
    int volume_ = NormalVolume;
    std::optional<qint32> endedEarlyAt_;
    SoundOutput soundOutput_ = SoundOutput::Heard;
};

#pragma once

#include <QObject>
#include <QString>

#include <optional>
#include <utility>

// The media device the workspace plays through. It mirrors a classic
// multimedia control: positions and lengths in milliseconds, a numeric mode,
// string commands issued one after another without waiting, and a periodic
// StatusUpdate signal. Outcomes are observed through Mode() and Position().
//
// Contract every implementation keeps:
//  - "open" on a file that cannot be played leaves Length() 0 and the mode
//    NotOpen; it never hangs.
//  - "play" plays from From (when set since the last play) or else from the
//    current position, up to To (when set since the last play) or else to the
//    end. At the end the device is Stopped with Position() exactly the end.
//  - "pause" toggles: playing -> paused; paused -> resumes the same play with
//    the same end; stopped -> paused where it stands.
//  - "close" is harmless when nothing is open.
//  - StatusUpdate fires periodically in every mode.
class MediaControl : public QObject
{
    Q_OBJECT

public:
    enum Mode : int
    {
        NotOpen = 524,
        Stopped = 525,
        Playing = 526,
        Recording = 527,
        Seeking = 528,
        Paused = 529,
        Ready = 530,
    };

    static constexpr int MillisecondsFormat = 0;

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

    // "close", "open", "play" or "pause"; anything else is ignored.
    virtual void setCommand(const QString& command) = 0;

    virtual qint32 Position() const = 0;
    virtual qint32 Length() const = 0;
    virtual int Mode() const = 0;

signals:
    void StatusUpdate();

protected:
    // From and To hold for the next play only: a play takes them, and
    // opening or closing forgets them.
    std::optional<qint32> takeFrom() { return take(from_, fromSet_); }
    std::optional<qint32> takeTo() { return take(to_, toSet_); }
    void forgetFromAndTo() { fromSet_ = toSet_ = false; }

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
};

#pragma once

#include <QObject>
#include <QString>

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

    virtual int TimeFormat() const = 0;
    virtual void setTimeFormat(int format) = 0;

    virtual QString FileName() const = 0;
    virtual void setFileName(const QString& path) = 0;

    // "close", "open", "play" or "pause"; anything else is ignored.
    virtual void setCommand(const QString& command) = 0;

    virtual qint32 From() const = 0;
    virtual void setFrom(qint32 ms) = 0;
    virtual qint32 To() const = 0;
    virtual void setTo(qint32 ms) = 0;

    virtual qint32 Position() const = 0;
    virtual qint32 Length() const = 0;
    virtual int Mode() const = 0;

signals:
    void StatusUpdate();
};

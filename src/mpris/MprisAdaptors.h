#pragma once

#include "media/MediaControl.h"
#include "workspace/FormMain.h"

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QStringList>
#include <QVariantMap>

// The two MPRIS interfaces of MprisService's object, read from the window and
// pressing its keys.

// org.mpris.MediaPlayer2: the program itself.
class MprisRoot final : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(bool CanQuit READ no)
    Q_PROPERTY(bool CanRaise READ yes)
    Q_PROPERTY(bool HasTrackList READ no)
    Q_PROPERTY(QStringList SupportedUriSchemes READ none)
    Q_PROPERTY(QStringList SupportedMimeTypes READ none)

public:
    MprisRoot(QObject* service, FormMain& window) : QDBusAbstractAdaptor(service), window_(window)
    {
    }

    QString identity() const { return QStringLiteral("Kelvane"); }
    QString desktopEntry() const { return QStringLiteral("kelvane"); }
    bool no() const { return false; }
    bool yes() const { return true; }
    QStringList none() const { return {}; }

public slots:
    void Raise();
    // CanQuit is false: quitting asks about unsaved work, which is the window's to do.
    void Quit() {}

private:
    FormMain& window_;
};

// org.mpris.MediaPlayer2.Player: the keys, the recording and the play.
class MprisPlayer final : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(QString LoopStatus READ loopStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(bool Shuffle READ no)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(double MinimumRate READ minimumRate)
    Q_PROPERTY(double MaximumRate READ maximumRate)
    Q_PROPERTY(bool CanGoNext READ no)
    Q_PROPERTY(bool CanGoPrevious READ named)
    Q_PROPERTY(bool CanPlay READ named)
    Q_PROPERTY(bool CanPause READ named)
    Q_PROPERTY(bool CanSeek READ named)
    Q_PROPERTY(bool CanControl READ yes)

public:
    using Key = FormMain::RemoteKey;

    MprisPlayer(QObject* service, FormMain& window)
        : QDBusAbstractAdaptor(service), window_(window), device_(window.MMC())
    {
    }

    QString playbackStatus() const;
    QString loopStatus() const { return QStringLiteral("None"); }
    double rate() const { return device_.Speed() / 1000.0; }
    double minimumRate() const { return MediaControl::MinimumSpeed / 1000.0; }
    double maximumRate() const { return MediaControl::MaximumSpeed / 1000.0; }
    double volume() const { return device_.Volume() / 100.0; }
    qlonglong position() const { return qlonglong(device_.Position()) * 1000; }
    bool no() const { return false; }
    bool yes() const { return true; }
    bool named() const { return !window_.state().mediaFile.isEmpty(); }
    QDBusObjectPath trackId() const;
    QVariantMap metadata() const;
    void setRate(double rate);
    void setVolume(double volume);

public slots:
    void PlayPause() { press(Key::PlayPause); }
    void Play() { press(Key::Play); }
    void Pause() { press(Key::Pause); }
    // A pause keeps the place and the section; nothing else stops.
    void Stop() { press(Key::Pause); }
    void Previous() { press(Key::Replay); }
    void Next() {}
    void OpenUri(const QString&) {}
    void Seek(qlonglong Offset);
    void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position);

signals:
    void Seeked(qlonglong Position);

private:
    // Where a key would do nothing, the call does nothing: no recording is
    // named, or one of the program's dialogs waits for an answer.
    bool accepts() const { return named() && window_.acceptsRemoteKeys(); }
    // The key itself does nothing without a recording or under a dialog.
    void press(Key key) { window_.pressRemoteKey(key); }
    void seekBarTo(qlonglong ms);

    FormMain& window_;
    MediaControl& device_;
};

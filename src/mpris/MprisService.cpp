#include "mpris/MprisService.h"

#include "mpris/MprisAdaptors.h"

#include <QDBusMessage>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace {

Q_LOGGING_CATEGORY(lcMpris, "kelvane.mpris")

// The player's properties whose changes are sent; Position is not, as MPRIS
// says: clients ask for it, and are told of jumps by Seeked.
const QStringList Followed = {
    QStringLiteral("PlaybackStatus"), QStringLiteral("Metadata"),      QStringLiteral("Rate"),
    QStringLiteral("Volume"),         QStringLiteral("CanGoPrevious"), QStringLiteral("CanPlay"),
    QStringLiteral("CanPause"),       QStringLiteral("CanSeek"),
};

} // namespace

void MprisRoot::Raise()
{
    window_.showNormal();
    window_.raise();
    window_.activateWindow();
}

QString MprisPlayer::playbackStatus() const
{
    if (window_.isPlaying())
        return QStringLiteral("Playing");
    if (window_.cycle().status().play == CaptureCycle::PlayCaption::Continue)
        return QStringLiteral("Paused");
    return QStringLiteral("Stopped");
}

QDBusObjectPath MprisPlayer::trackId() const
{
    if (!named())
        return QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
    return QDBusObjectPath(
        QStringLiteral("/org/kelvane/recording/r%1").arg(qHash(window_.state().mediaFile), 0, 16));
}

QVariantMap MprisPlayer::metadata() const
{
    QVariantMap data{{QStringLiteral("mpris:trackid"), QVariant::fromValue(trackId())}};
    if (const QString path = window_.state().mediaFile; !path.isEmpty()) {
        data.insert(QStringLiteral("mpris:length"), qlonglong(device_.Length()) * 1000);
        data.insert(QStringLiteral("xesam:title"), QFileInfo(path).fileName());
        data.insert(QStringLiteral("xesam:url"), QUrl::fromLocalFile(path).toString());
    }
    return data;
}

// Set as the speed keys set it; MPRIS asks that a rate of 0 pause.
void MprisPlayer::setRate(double rate)
{
    if (!window_.acceptsRemoteKeys() || std::isnan(rate))
        return;
    if (rate <= 0)
        press(Key::Pause);
    else
        window_.setSpeed(qRound(std::clamp(rate, minimumRate(), maximumRate()) * 1000));
}

void MprisPlayer::setVolume(double volume)
{
    if (!window_.acceptsRemoteKeys() || std::isnan(volume))
        return;
    window_.setVolume(qRound(std::clamp(volume, 0.0, MediaControl::MaximumVolume / 100.0) * 100));
}

// Back as Jump Back goes, by the offset; forward as the seek bar goes.
void MprisPlayer::Seek(qlonglong Offset)
{
    if (!accepts())
        return;
    const qlonglong ms = Offset / 1000;
    if (ms < 0)
        window_.cycle().jumpBack(qint32(std::min<qlonglong>(-ms, INT32_MAX)));
    else if (ms > 0)
        seekBarTo(device_.Position() + ms);
}

// A position in the recording, through the seek bar; MPRIS asks to ignore
// one for another track or outside this one.
void MprisPlayer::SetPosition(const QDBusObjectPath& TrackId, qlonglong Position)
{
    if (accepts() && TrackId == trackId() && Position >= 0 &&
        Position <= qlonglong(device_.Length()) * 1000)
        seekBarTo(Position / 1000);
}

// The thumb dragged and let go there, the recording's end at most.
void MprisPlayer::seekBarTo(qlonglong ms)
{
    const auto at = qint32(std::min<qlonglong>(ms, device_.Length()));
    window_.SliderTime_TryToSeekTo(at);
    window_.SliderTime_SeekTo(at);
}

MprisService::MprisService(FormMain& window, const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(bus), player_(new MprisPlayer(this, window))
{
    new MprisRoot(this, window);
    if (!bus_.registerObject(ObjectPath, this, QDBusConnection::ExportAdaptors)) {
        qCDebug(lcMpris) << "no media keys: no session bus" << bus_.lastError().message();
        return;
    }
    if (!bus_.registerService(ServiceName)) {
        qCDebug(lcMpris) << "no media keys:" << ServiceName << "is taken";
        bus_.unregisterObject(ObjectPath);
        return;
    }
    registered_ = true;
    for (const QString& name : Followed)
        sent_.insert(name, player_->property(qPrintable(name)));
    connect(&window, &FormMain::playerChanged, this, &MprisService::sendChanges);
    const CaptureCycle* cycle = &window.cycle();
    connect(cycle, &CaptureCycle::statusChanged, this, &MprisService::sendChanges);
    connect(cycle, &CaptureCycle::lengthChanged, this, &MprisService::sendChanges);
    // The cycle moves the thumb wherever the play jumps to.
    connect(cycle, &CaptureCycle::thumbMoved, player_,
            [this](qint32 ms) { emit player_->Seeked(qlonglong(ms) * 1000); });
}

MprisService::~MprisService()
{
    if (!registered_)
        return;
    bus_.unregisterService(ServiceName);
    bus_.unregisterObject(ObjectPath);
}

void MprisService::sendChanges()
{
    QVariantMap changed;
    for (const QString& name : Followed) {
        const QVariant now = player_->property(qPrintable(name));
        if (now != sent_.value(name))
            changed.insert(name, sent_[name] = now);
    }
    if (changed.isEmpty())
        return;
    QDBusMessage signal =
        QDBusMessage::createSignal(ObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << QStringLiteral("org.mpris.MediaPlayer2.Player") << changed << QStringList();
    bus_.send(signal);
}

#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QVariantMap>

class FormMain;
class MprisPlayer;

// The window on the desktop's media controls (MPRIS): media keys, a
// headset's buttons and the desktop's player applets reach it over D-Bus as
// org.mpris.MediaPlayer2.kelvane. A call presses the key it stands for
// (PlayPause is F11, Previous is F12, a seek back is Jump Back, a seek
// forward or a new position is the seek bar), so the cycle's rules hold and
// the text is never touched. The properties follow the window and the cycle,
// and their changes are sent as PropertiesChanged.
class MprisService final : public QObject
{
    Q_OBJECT

public:
    static inline const QString ServiceName = QStringLiteral("org.mpris.MediaPlayer2.kelvane");
    static inline const QString ObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");

    // Without a bus, or with the name held by another program, the service
    // stays off: the program runs on without media keys.
    MprisService(FormMain& window, const QDBusConnection& bus, QObject* parent = nullptr);
    ~MprisService() override;

    bool isRegistered() const { return registered_; }

private:
    void sendChanges();

    QDBusConnection bus_;
    MprisPlayer* player_;
    // The player's properties as last sent, to send only what changed.
    QVariantMap sent_;
    bool registered_ = false;
};

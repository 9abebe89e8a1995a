#include "pedal/FootPedals.h"
#include "pedal/PedalReader.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>

namespace {

// Each look at the devices after a change waits this long, and once more,
// for the system to finish setting up what was plugged in.
constexpr int SettleMs = 400;

} // namespace

FootPedals::FootPedals(QObject* parent) : QObject(parent)
{
    settle_.setSingleShot(true);
    settle_.setInterval(SettleMs);
    connect(&settle_, &QTimer::timeout, this, &FootPedals::rescan);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] {
        rescan();
        settle_.start();
    });
}

FootPedals::~FootPedals() = default;

void FootPedals::watch(const QString& devFolder, const QString& sysFolder)
{
    if (!devFolder_.isEmpty())
        watcher_.removePath(devFolder_);
    qDeleteAll(readers_);
    readers_.clear();
    devFolder_ = devFolder;
    sysFolder_ = sysFolder;
    watcher_.addPath(devFolder_);
    reload();
}

bool FootPedals::isReading(const InputDevice& device) const
{
    const PedalReader* reader = readers_.value(device.node);
    return reader && reader->device() == device;
}

void FootPedals::reload()
{
    mappings_.clear();
    rescan();
}

void FootPedals::preview(const InputDevice& device, const PedalMapping& mapping)
{
    mappings_.insert(device.id(), mapping);
    rescan();
}

void FootPedals::rescan()
{
    devices_ = listKeyDevices(devFolder_, sysFolder_);
    notAllowed_.clear();
    for (const InputDevice& device : std::as_const(devices_))
        if (!mappings_.contains(device.id()))
            mappings_.insert(device.id(), PedalMapping::load(device));
    // Readers of devices gone, replaced or no longer wanted go.
    for (auto it = readers_.begin(); it != readers_.end();) {
        const InputDevice& device = it.value()->device();
        if (!devices_.contains(device) || !mappings_.value(device.id()).use) {
            it.value()->deleteLater();
            it = readers_.erase(it);
        } else {
            ++it;
        }
    }
    for (const InputDevice& device : std::as_const(devices_))
        if (mappings_.value(device.id()).use && !readers_.contains(device.node))
            open(device);
    emit devicesChanged();
}

void FootPedals::open(const InputDevice& device)
{
    const int fd =
        ::open(QFile::encodeName(device.node).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM)
            notAllowed_.append(device);
        return;
    }
    auto* reader = new PedalReader(device, fd, this);
    readers_.insert(device.node, reader);
    connect(reader, &PedalReader::keyChanged, this,
            [this, reader](KeyChange change) { onKeyChanged(*reader, change); });
    // Its node goes too, and the folder's watcher then looks again. A pedal
    // held to play when it went is let go with it: the sound pauses.
    connect(reader, &PedalReader::vanished, this, [this, reader] {
        const QString node = reader->device().node;
        readers_.remove(node);
        reader->deleteLater();
        emit devicesChanged();
        if (holdingToPlay_.remove(node))
            emit commandGiven(Command::Pause);
    });
}

void FootPedals::onKeyChanged(const PedalReader& reader, KeyChange change)
{
    const InputDevice device = reader.device();
    emit keyChanged(device, change);
    if (learning_)
        return;
    const PedalMapping pedals = mappings_.value(device.id());
    switch (pedals.action(change.code)) {
    case PedalAction::JumpBack:
        if (change.pressed)
            emit commandGiven(Command::JumpBack);
        break;
    case PedalAction::Replay:
        if (change.pressed)
            emit commandGiven(Command::Replay);
        break;
    case PedalAction::PlayPause:
        if (pedals.holdToPlay) {
            if (change.pressed)
                holdingToPlay_.insert(device.node);
            else
                holdingToPlay_.remove(device.node);
            emit commandGiven(change.pressed ? Command::Play : Command::Pause);
        } else if (change.pressed)
            emit commandGiven(Command::PlayPause);
        break;
    case PedalAction::None:
        break;
    }
}

QString FootPedals::notAllowedText() const
{
    if (notAllowed_.isEmpty())
        return {};
    QStringList named;
    for (const InputDevice& device : notAllowed_)
        named.append(QStringLiteral("%1 at %2").arg(device.title(), device.node));
    return QStringLiteral("The foot pedal %1 cannot be used: this user may not read it. Kelvane's "
                          "package lets the user at the computer read the pedals it knows; for "
                          "another pedal, a udev rule that tags it \"uaccess\" does the same (see "
                          "the user guide, \"Foot pedal and media keys\"). Then plug the pedal in "
                          "again.")
        .arg(named.join(QStringLiteral(", ")));
}

#include "media/MediaControl.h"

#include <array>
#include <utility>

void MediaControl::setCommand(const QString& name)
{
    static const std::array<std::pair<QStringView, DeviceCommand>, 4> Names{{
        {u"close", DeviceCommand::Close},
        {u"open", DeviceCommand::Open},
        {u"play", DeviceCommand::Play},
        {u"pause", DeviceCommand::Pause},
    }};
    for (const auto& [known, meant] : Names) {
        if (name == known) {
            command(meant);
            return;
        }
    }
}

#include "InputFolders.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <linux/input.h>
#include <sys/stat.h>
#include <unistd.h>

QString InputFolders::node(int n) const
{
    return dev_.filePath(QStringLiteral("event%1").arg(n));
}

int InputFolders::plug(int n, quint16 vendor, quint16 product, const QString& name, mode_t mode)
{
    const QString described = sys_.filePath(QStringLiteral("event%1/device/").arg(n));
    QDir().mkpath(described + "id");
    QDir().mkpath(described + "capabilities");
    const auto write = [&](const QString& file, const QString& text) {
        QFile out(described + file);
        return out.open(QIODevice::WriteOnly) && out.write(text.toUtf8() + '\n') > 0;
    };
    if (!write("name", name) || !write("id/vendor", QString::number(vendor, 16)) ||
        !write("id/product", QString::number(product, 16)) ||
        !write("capabilities/key", "7 0 0 0 0"))
        return -2;
    const QByteArray path = QFile::encodeName(node(n));
    if (mkfifo(path.constData(), mode) != 0)
        return -2;
    return ::open(path.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
}

void InputFolders::unplug(int n, int fd)
{
    QFile::remove(node(n));
    ::close(fd);
}

QByteArray InputFolders::records(std::initializer_list<std::pair<int, int>> changes)
{
    QByteArray bytes;
    for (auto [code, value] : changes) {
        input_event key{};
        key.type = EV_KEY;
        key.code = quint16(code);
        key.value = value;
        input_event report{};
        report.type = EV_SYN;
        report.code = SYN_REPORT;
        for (const input_event& event : {key, report})
            bytes.append(reinterpret_cast<const char*>(&event), sizeof event);
    }
    return bytes;
}

bool InputFolders::send(int fd, std::initializer_list<std::pair<int, int>> changes)
{
    const QByteArray bytes = records(changes);
    return ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
}

#include "project/FileAccess.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// A write can stop short without an error when the disk fills up, and the
// file would then be committed cut off. Writing the rest gives the reason.
std::optional<QString> writeAll(QFileDevice& file, const QByteArray& bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            return file.errorString();
        done += written;
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> readWholeFile(const QString& path, QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return file.errorString();
    return std::nullopt;
}

std::optional<QString> writeWholeFile(const QString& path, const QByteArray& bytes)
{
    const QFileInfo target(path);
    if (target.exists() && !target.isFile() && !target.isDir()) {
        QFile device(path);
        if (!device.open(QIODevice::WriteOnly))
            return device.errorString();
        if (std::optional<QString> failure = writeAll(device, bytes))
            return failure;
        if (!device.flush())
            return device.errorString();
        return std::nullopt;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (std::optional<QString> failure = writeAll(file, bytes)) {
        file.cancelWriting();
        return failure;
    }
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}

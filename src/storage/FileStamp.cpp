#include "storage/FileStamp.h"

#include "storage/FileAccess.h"

#include <QFileInfo>
#include <QLockFile>

FileStamp stampFile(const QString& path, const QByteArray& bytes)
{
    const QFileInfo file(path);
    return {path, file.size(), file.lastModified(), contentHash(bytes)};
}

FileStamp stampFileOnDisk(const QString& path)
{
    QByteArray bytes;
    if (!QFileInfo(path).isFile() || readWholeFile(path, bytes))
        return {path, -1, {}, {}}; // whatever appears there later is someone else's
    return stampFile(path, bytes);
}

bool changedSince(const FileStamp& stamp)
{
    if (stamp.path.isEmpty())
        return false;
    const QFileInfo file(stamp.path);
    if (!file.exists())
        return false;
    if (file.size() == stamp.size && file.lastModified() == stamp.modified)
        return false;
    QByteArray bytes;
    // A file that cannot be read now is no longer known to be ours.
    return readWholeFile(stamp.path, bytes) || contentHash(bytes) != stamp.hash;
}

std::unique_ptr<QLockFile> markFileOpen(const QString& path, QString& holder)
{
    const QFileInfo file(path);
    auto lock = std::make_unique<QLockFile>(file.absolutePath() + QStringLiteral("/.") +
                                            file.fileName() + QStringLiteral(".lock"));
    lock->setStaleLockTime(0);
    holder.clear();
    if (lock->tryLock(0))
        return lock;
    qint64 pid = 0;
    QString host, program;
    if (lock->error() != QLockFile::LockFailedError)
        return nullptr;
    holder = lock->getLockInfo(&pid, &host, &program)
                 ? QStringLiteral("process %1 on the computer %2").arg(pid).arg(host)
                 : QStringLiteral("a program that could not be told");
    return nullptr;
}

#include "storage/FileAccess.h"

#include <QCryptographicHash>
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

// The program's files are regular files. A device or a pipe would swallow
// the bytes, or block the window waiting for the other end.
std::optional<QString> notARegularFile(const QString& path)
{
    const QFileInfo file(path);
    if (file.exists() && !file.isFile())
        return QStringLiteral("This is not a regular file.");
    return std::nullopt;
}

} // namespace

std::optional<QString> readWholeFile(const QString& path, QByteArray& bytes)
{
    return readFileStart(path, -1, bytes);
}

// A size below 0 reads the whole file.
std::optional<QString> readFileStart(const QString& path, qint64 size, QByteArray& bytes)
{
    if (std::optional<QString> refusal = notARegularFile(path))
        return refusal;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    bytes = size < 0 ? file.readAll() : file.read(size);
    if (file.error() != QFileDevice::NoError)
        return file.errorString();
    return std::nullopt;
}

std::optional<QString> writeWholeFile(const QString& path, const QByteArray& bytes)
{
    if (std::optional<QString> refusal = notARegularFile(path))
        return refusal;
    // The new content goes to a file beside the old one, which it replaces
    // only once complete. This needs a folder the user may write in, which
    // is the usual case; where it is not, the save fails and says so rather
    // than rewriting the file in place.
    QSaveFile file(path);
    // Unbuffered, so that every write reaches the disk here and a short one
    // is seen; a buffered one would be cut short silently at the commit.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    if (std::optional<QString> failure = writeAll(file, bytes)) {
        file.cancelWriting();
        return failure;
    }
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}

QByteArray contentHash(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

std::optional<QString> keepBackupCopy(const QString& path, QString& backupPath)
{
    QByteArray bytes;
    if (std::optional<QString> failure = readWholeFile(path, bytes))
        return failure;
    for (int taken = 0;; ++taken) {
        backupPath = path + (taken == 0 ? QString() : u'.' + QString::number(taken)) + ".bak";
        // Only a new file is opened, so an older copy, or any other file or
        // link by that name, stays as it is. The copy is as private as the
        // file from the start.
        QFile copy(backupPath);
        if (!copy.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered,
                       QFile::permissions(path))) {
            const QFileInfo other(backupPath);
            if (other.exists() || other.isSymLink())
                continue;
            return copy.errorString();
        }
        std::optional<QString> failure = writeAll(copy, bytes);
        // A copy cut short by a full disk would be no copy.
        if (failure)
            copy.remove();
        return failure;
    }
}

#include "storage/RecoveryFile.h"

#include "storage/FileAccess.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QStandardPaths>
#include <QUrl>

#include <memory>

namespace {

const QByteArray Header = QByteArrayLiteral("kv recovery file");
const QByteArray LineEnd = QByteArrayLiteral("\r\n");

// The line that starts at `from`, without its end; `from` moves past it.
std::optional<QByteArrayView> takeLine(QByteArrayView bytes, qsizetype& from)
{
    const qsizetype end = bytes.indexOf(LineEnd, from);
    if (end < 0)
        return std::nullopt;
    const QByteArrayView line = bytes.sliced(from, end - from);
    from = end + LineEnd.size();
    return line;
}

QString recoveryFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

// The user's words are nobody else's business: the folder is made, or kept,
// readable by the user only.
std::optional<QString> makePrivateFolder(const QString& folder)
{
    constexpr QFile::Permissions Others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                          QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    if (!QDir().mkpath(folder))
        return QStringLiteral("The folder %1 could not be made.")
            .arg(QDir::toNativeSeparators(folder));
    if ((QFile::permissions(folder) & Others) &&
        !QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return QStringLiteral("The folder %1 could not be made private.")
            .arg(QDir::toNativeSeparators(folder));
    return std::nullopt;
}

} // namespace

QByteArray recoveryFileBytes(const QString& projectFile, const ProjectContent& content)
{
    const QByteArray address =
        projectFile.isEmpty() ? QByteArray() : QUrl::fromLocalFile(projectFile).toEncoded();
    return projectFileBytes(content, QString::fromLatin1(Header + LineEnd + address + LineEnd));
}

std::optional<RecoveredWork> readRecoveryFileBytes(const QByteArray& bytes)
{
    qsizetype from = 0;
    const std::optional<QByteArrayView> header = takeLine(bytes, from);
    if (!header || *header != Header)
        return std::nullopt;
    const std::optional<QByteArrayView> address = takeLine(bytes, from);
    if (!address)
        return std::nullopt;
    RecoveredWork work;
    if (!address->isEmpty()) {
        const QUrl url = QUrl::fromEncoded(address->toByteArray(), QUrl::StrictMode);
        if (!url.isLocalFile())
            return std::nullopt;
        work.projectFile = url.toLocalFile();
    }
    std::optional<ProjectContent> content = readProjectFileBytes(bytes.sliced(from));
    if (!content)
        return std::nullopt;
    work.content = std::move(*content);
    return work;
}

QString recoveryFilePath()
{
    return recoveryFolder() + QStringLiteral("/recovery.kvrec");
}

std::optional<QString> claimRecoveryFile()
{
    // Created on the first claim, when the data folder is known, and held
    // until the program ends.
    static std::unique_ptr<QLockFile> lock;
    if (lock && lock->isLocked())
        return std::nullopt;
    if (std::optional<QString> failure = makePrivateFolder(recoveryFolder()))
        return failure;
    lock = std::make_unique<QLockFile>(recoveryFolder() + QStringLiteral("/recovery.lock"));
    // Never stale by age, only when its program is gone.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0))
        return std::nullopt;
    if (lock->error() == QLockFile::LockFailedError)
        return QStringLiteral("Another Kelvane of yours is running and keeps its own recovery "
                              "copy there.");
    return QStringLiteral("The lock file %1 could not be made.")
        .arg(QDir::toNativeSeparators(lock->fileName()));
}

std::optional<QString> writeRecoveryFile(const QString& projectFile, const ProjectContent& content)
{
    if (std::optional<QString> failure = claimRecoveryFile())
        return failure;
    // The folder may have been opened up meanwhile.
    if (std::optional<QString> failure = makePrivateFolder(recoveryFolder()))
        return failure;
    return writeWholeFile(recoveryFilePath(), recoveryFileBytes(projectFile, content));
}

void removeRecoveryFile()
{
    if (!claimRecoveryFile())
        QFile::remove(recoveryFilePath());
}

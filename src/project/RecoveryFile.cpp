#include "project/RecoveryFile.h"

#include "project/FileAccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

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

} // namespace

QByteArray recoveryFileBytes(const QString& projectFile, const ProjectContent& content)
{
    const QByteArray address =
        projectFile.isEmpty() ? QByteArray() : QUrl::fromLocalFile(projectFile).toEncoded();
    return Header + LineEnd + address + LineEnd + projectFileBytes(content);
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
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/recovery.kvrec");
}

std::optional<QString> writeRecoveryFile(const QString& projectFile, const ProjectContent& content)
{
    const QString path = recoveryFilePath();
    const QString folder = QFileInfo(path).absolutePath();
    // The user's words are nobody else's business.
    if (!QFileInfo::exists(folder) &&
        (!QDir().mkpath(folder) ||
         !QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)))
        return QStringLiteral("The folder %1 could not be made.")
            .arg(QDir::toNativeSeparators(folder));
    return writeWholeFile(path, recoveryFileBytes(projectFile, content));
}

void removeRecoveryFile()
{
    QFile::remove(recoveryFilePath());
}

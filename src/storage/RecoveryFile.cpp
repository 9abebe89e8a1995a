#include "storage/RecoveryFile.h"

#include "storage/FileAccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QUrl>
#include <QUuid>

#include <algorithm>

namespace {

const QByteArray Header = QByteArrayLiteral("kv recovery file");
const QByteArray JournalHeader = QByteArrayLiteral("kv recovery journal");
const QByteArray LineEnd = QByteArrayLiteral("\r\n");
const QString CopySuffix = QStringLiteral(".kvrec");

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

// A copy's journal and lock are named after it.
QString journalOf(const QString& copy)
{
    return copy.chopped(CopySuffix.size()) + QStringLiteral(".journal");
}

QString lockOf(const QString& copy)
{
    return copy.chopped(CopySuffix.size()) + QStringLiteral(".lock");
}

// The journal names its copy by this, on a line of its own.
QByteArray hashOf(const QByteArray& bytes)
{
    return contentHash(bytes).toHex();
}

// This program's own copy: its name, its lock, and the hash of what it holds.
struct OwnCopy
{
    QString path = recoveryFolder() + QStringLiteral("/recovery-") +
                   QUuid::createUuid().toString(QUuid::WithoutBraces) + CopySuffix;
    std::unique_ptr<QLockFile> lock;
    QByteArray hash; // empty while there is no copy
    bool frozen = false;
};

OwnCopy& ownCopy()
{
    static OwnCopy copy;
    return copy;
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

// A lock held for a program's whole run: never stale by age, only when its
// program is gone.
std::unique_ptr<QLockFile> takeLock(const QString& path)
{
    auto lock = std::make_unique<QLockFile>(path);
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return nullptr;
    return lock;
}

} // namespace

QByteArray recoveryFileBytes(const QString& projectFile, const ProjectContent& content)
{
    const QByteArray address =
        projectFile.isEmpty() ? QByteArray() : QUrl::fromLocalFile(projectFile).toEncoded();
    return projectFileBytes(content, QString::fromLatin1(Header + LineEnd + address + LineEnd));
}

namespace {

// Puts the journal's row over the work, when the journal amends `copyBytes`.
void applyJournal(const QByteArray& copyBytes, const QByteArray& journal, ProjectContent& content)
{
    qsizetype from = 0;
    const std::optional<QByteArrayView> header = takeLine(journal, from);
    const std::optional<QByteArrayView> hash = takeLine(journal, from);
    const std::optional<QByteArrayView> rowText = takeLine(journal, from);
    if (!header || *header != JournalHeader || !hash || *hash != hashOf(copyBytes) || !rowText)
        return;
    bool isNumber = false;
    const int row = rowText->toInt(&isNumber);
    const std::optional<ProjectContent> amended = readProjectFileBytes(journal.sliced(from));
    if (isNumber && row >= 0 && size_t(row) < content.rows.size() && amended &&
        !amended->rows.empty())
        content.rows[size_t(row)] = amended->rows.front();
}

} // namespace

std::optional<RecoveredWork> readRecoveryFileBytes(const QByteArray& bytes,
                                                   const QByteArray& journal)
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
    if (!journal.isEmpty())
        applyJournal(bytes, journal, work.content);
    return work;
}

QString recoveryFilePath()
{
    return ownCopy().path;
}

std::optional<QString> claimRecoveryFile()
{
    OwnCopy& own = ownCopy();
    if (own.lock)
        return std::nullopt;
    if (std::optional<QString> failure = makePrivateFolder(recoveryFolder()))
        return failure;
    own.lock = takeLock(lockOf(own.path));
    if (own.lock)
        return std::nullopt;
    return QStringLiteral("The lock file %1 could not be made.")
        .arg(QDir::toNativeSeparators(lockOf(own.path)));
}

std::optional<QString> writeRecoveryFile(const QString& projectFile, const ProjectContent& content)
{
    if (std::optional<QString> failure = claimRecoveryFile())
        return failure;
    // The folder may have been opened up meanwhile.
    if (std::optional<QString> failure = makePrivateFolder(recoveryFolder()))
        return failure;
    OwnCopy& own = ownCopy();
    if (own.frozen)
        return QStringLiteral("Kelvane is ending.");
    const QByteArray bytes = recoveryFileBytes(projectFile, content);
    if (std::optional<QString> failure = writeWholeFile(own.path, bytes))
        return failure;
    // The old journal amends the old copy only, and would be ignored; it goes
    // all the same, so that it cannot be mistaken later.
    own.hash = hashOf(bytes);
    QFile::remove(journalOf(own.path));
    return std::nullopt;
}

std::optional<QString> writeRecoveryJournal(int row, const SectionTableModel::Cells& cells)
{
    const OwnCopy& own = ownCopy();
    if (own.frozen)
        return QStringLiteral("Kelvane is ending.");
    if (own.hash.isEmpty())
        return QStringLiteral("There is no recovery copy to add to.");
    const QByteArray preamble =
        JournalHeader + LineEnd + own.hash + LineEnd + QByteArray::number(row) + LineEnd;
    return writeWholeFile(journalOf(own.path),
                          projectFileBytes({{}, {cells}}, QString::fromLatin1(preamble)));
}

bool hasRecoveryFile()
{
    return !ownCopy().hash.isEmpty();
}

void removeRecoveryFile()
{
    OwnCopy& own = ownCopy();
    if (own.frozen)
        return;
    own.hash.clear();
    QFile::remove(journalOf(own.path));
    QFile::remove(own.path);
}

void freezeRecoveryFile()
{
    ownCopy().frozen = true;
}

namespace {

// The work of a copy, its journal applied; nullopt, with the reason in
// `failure`, when it cannot be read.
std::optional<RecoveredWork> readOrphanedCopy(const QString& path, QString& failure)
{
    QByteArray bytes, journal;
    if (std::optional<QString> reason = readWholeFile(path, bytes)) {
        failure = *reason;
        return std::nullopt;
    }
    // A journal that cannot be read loses the last seconds only.
    if (QFileInfo::exists(journalOf(path)))
        readWholeFile(journalOf(path), journal);
    std::optional<RecoveredWork> work = readRecoveryFileBytes(bytes, journal);
    if (!work)
        failure = QStringLiteral("The file is damaged.");
    return work;
}

} // namespace

std::vector<OrphanedCopy> orphanedRecoveryFiles()
{
    std::vector<OrphanedCopy> copies;
    const QDir folder(recoveryFolder());
    for (const QFileInfo& file :
         folder.entryInfoList({QStringLiteral("*") + CopySuffix}, QDir::Files)) {
        const QString path = file.absoluteFilePath();
        if (path == ownCopy().path)
            continue;
        std::shared_ptr<QLockFile> lock = takeLock(lockOf(path));
        if (!lock)
            continue; // its program still runs
        OrphanedCopy copy{path, file.lastModified(), {}, {}, std::move(lock)};
        const QFileInfo journal(journalOf(path));
        if (journal.exists())
            copy.written = std::max(copy.written, journal.lastModified());
        copy.work = readOrphanedCopy(path, copy.failure);
        copies.push_back(std::move(copy));
    }
    std::sort(copies.begin(), copies.end(),
              [](const OrphanedCopy& a, const OrphanedCopy& b) { return a.written > b.written; });
    return copies;
}

void removeOrphanedCopy(const OrphanedCopy& copy)
{
    QFile::remove(journalOf(copy.path));
    QFile::remove(copy.path);
    if (copy.lock)
        copy.lock->unlock();
}

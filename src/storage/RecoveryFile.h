#pragma once

#include "storage/ProjectFile.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class QLockFile;

// The copy of unsaved work that lets the next start recover it after a
// crash. It holds the line "kv recovery file", the project file the work
// belongs to as a file: address ("" when it has none; an address fits any
// name on one line), and then the workspace byte for byte as its project file
// would hold it.
//
// Every running program keeps its own copy, named after an id of its own and
// guarded by a lock that it holds until it ends: a home folder shared by two
// computers, or two programs started at once, never mix their copies. A copy
// whose lock is free belongs to a program that is gone, and is offered at the
// next start.
//
// Beside the copy, a small journal holds the row the user is typing in, so
// that words typed since the copy was written survive a crash without the
// whole workspace being written for every key. It names the copy it amends by
// a hash of its bytes, and counts only on top of that very copy.
struct RecoveredWork
{
    QString projectFile;
    ProjectContent content;
};

QByteArray recoveryFileBytes(const QString& projectFile, const ProjectContent& content);
// nullopt for bytes that are no recovery file. A journal that amends these
// very bytes puts its row over the copy's.
std::optional<RecoveredWork> readRecoveryFileBytes(const QByteArray& bytes,
                                                   const QByteArray& journal = {});

// This program's copy: in the user's data folder for the program, which only
// the user may read.
QString recoveryFilePath();

// Takes this program's lock, which makes its copy its own. Returns why that
// failed (no data folder, or one that cannot be written).
std::optional<QString> claimRecoveryFile();

// Replaces this program's copy with the work, atomically, and drops the
// journal that amended the copy before. Returns the reason of a failure.
std::optional<QString> writeRecoveryFile(const QString& projectFile, const ProjectContent& content);
// Replaces the journal with the cells of `row`, to be read over the copy last
// written. Returns the reason of a failure, or that there is no copy to amend.
std::optional<QString> writeRecoveryJournal(int row, const SectionTableModel::Cells& cells);
// Whether this program has a copy that a journal can amend: written, and not
// removed since.
bool hasRecoveryFile();
// Removes this program's copy and journal, if there are any.
void removeRecoveryFile();
// Leaves this program's copy as it is from now on, for the next start: the
// program is ending without asking the user, and whatever its last steps do
// must not undo that.
void freezeRecoveryFile();

// A copy left by a program that is gone. Its lock is held while the object
// lives, so that no other program offers it at the same time.
struct OrphanedCopy
{
    QString path;
    QDateTime written;
    std::optional<RecoveredWork> work; // its journal applied; nullopt when unreadable
    QString failure;                   // why it could not be read
    std::shared_ptr<QLockFile> lock;
};

// Every copy in the folder whose program is gone, read, the newest first.
std::vector<OrphanedCopy> orphanedRecoveryFiles();
// Deletes an orphaned copy, its journal and its lock.
void removeOrphanedCopy(const OrphanedCopy& copy);

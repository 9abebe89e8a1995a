#pragma once

#include "storage/ProjectFile.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The copy of unsaved work that lets the next start recover it after a
// crash. It holds the line "kv recovery file", the project file the work
// belongs to as a file: address ("" when it has none; an address fits any
// name on one line), and then the workspace byte for byte as its project file
// would hold it.
struct RecoveredWork
{
    QString projectFile;
    ProjectContent content;
};

QByteArray recoveryFileBytes(const QString& projectFile, const ProjectContent& content);
// nullopt for bytes that are no recovery file.
std::optional<RecoveredWork> readRecoveryFileBytes(const QByteArray& bytes);

// The recovery file's place: "recovery.kvrec" in the user's data folder for
// the program, which only the user may read.
QString recoveryFilePath();

// Where the already-running check cannot hold (a home folder shared by two
// computers, a runtime folder that cannot be written), two programs of one
// user may run at once. The recovery file then belongs to the first, which
// holds its lock until it ends; the other neither writes, offers nor removes
// it. Returns why this program does not hold it.
std::optional<QString> claimRecoveryFile();

// Replaces the recovery file with the work, atomically. Returns the reason
// of a failure.
std::optional<QString> writeRecoveryFile(const QString& projectFile, const ProjectContent& content);
// Removes the recovery file, if there is one and it is this program's.
void removeRecoveryFile();

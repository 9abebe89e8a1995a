#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Whole-file reads and writes for the program's own files. Each returns the
// reason of a failure in words the user can act on, or nothing on success.

// Reads the whole file into `bytes`, and closes it before returning.
std::optional<QString> readWholeFile(const QString& path, QByteArray& bytes);

// Reads the file's first `size` bytes at most into `bytes`.
std::optional<QString> readFileStart(const QString& path, qint64 size, QByteArray& bytes);

// Replaces the file with `bytes`, only once the new content is completely on
// disk, keeping the file's permissions; a failed write leaves it as it was.
// Only regular files are read or written: a device or a pipe is refused.
std::optional<QString> writeWholeFile(const QString& path, const QByteArray& bytes);

// A hash of a file's bytes, to tell two contents apart without keeping them.
QByteArray contentHash(const QByteArray& bytes);

// Keeps a copy of a file about to be rewritten for the first time, such as a
// damaged project: "<path>.bak" or, where that name is taken, "<path>.1.bak",
// "<path>.2.bak"... An existing file is never replaced, and a copy that
// fails leaves nothing behind. `backupPath` receives the copy's path.
std::optional<QString> keepBackupCopy(const QString& path, QString& backupPath);

#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Whole-file reads and writes for the program's own files. Each returns the
// reason of a failure in words the user can act on, or nothing on success.

// Reads the whole file into `bytes`, and closes it before returning.
std::optional<QString> readWholeFile(const QString& path, QByteArray& bytes);

// Replaces the file with `bytes`. A regular file is replaced only once the
// new content is completely on disk, keeping its permissions; a failed write
// leaves it as it was. A device or pipe is written directly, since it cannot
// be replaced.
std::optional<QString> writeWholeFile(const QString& path, const QByteArray& bytes);

#pragma once

#include <QString>

// True when `path` names an ordinary file, directly or through a link. A
// folder, a hidden file or nothing at all counts as no file.
bool FileExists(const QString& path);

// The file-name part of `path`: everything after its last separator; the
// whole path when it has none, "" when it ends in one.
QString FileNameOfPath(const QString& path);

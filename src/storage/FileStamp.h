#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <memory>

class QLockFile;

// What a file held when the program last read or wrote it: enough to tell
// whether someone else has written it since, without reading it every time.
struct FileStamp
{
    QString path; // "" for no stamp
    qint64 size = -1;
    QDateTime modified;
    QByteArray hash;
};

// The stamp of the file at `path`, which holds `bytes` (just read or written).
FileStamp stampFile(const QString& path, const QByteArray& bytes);
// The stamp of the file as it is on disk now.
FileStamp stampFileOnDisk(const QString& path);

// True when the file at the stamp's path holds something else than it did.
// Only a changed size or time makes the file be read and compared; a file that
// was only touched is unchanged, and one that is gone holds nothing to lose.
bool changedSince(const FileStamp& stamp);

// A file open in a program is marked by a hidden lock file beside it, which
// the program holds while it works on it; a lock whose program is gone is
// stale and taken over. Returns the lock, or nullptr with `holder` saying
// which program holds it ("" when no lock could be made there at all, as in a
// folder the user may not write).
std::unique_ptr<QLockFile> markFileOpen(const QString& path, QString& holder);

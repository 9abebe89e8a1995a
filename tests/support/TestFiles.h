#pragma once

#include <QByteArray>
#include <QString>

// Files on disk as the tests see them: raw bytes, no code page involved.
namespace TestFiles {

// The file's bytes, or "<unreadable>" when it cannot be read.
QByteArray read(const QString& path);
bool write(const QString& path, const QByteArray& bytes);

} // namespace TestFiles

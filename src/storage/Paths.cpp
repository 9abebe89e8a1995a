#include "storage/Paths.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

bool FileExists(const QString& path)
{
    const QFileInfo info(path);
    return !path.isEmpty() && info.isFile() && !info.isHidden();
}

QString FileNameOfPath(const QString& path)
{
    // Paths from the toolkit use '/' on every system; the system's own
    // separator may also appear in a path typed by hand.
    return path.mid(std::max(path.lastIndexOf(u'/'), path.lastIndexOf(QDir::separator())) + 1);
}

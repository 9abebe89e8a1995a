#include "project/Paths.h"

#include <QDir>
#include <QFileInfo>

bool FileExists(const QString& path)
{
    const QFileInfo info(path);
    return !path.isEmpty() && info.isFile() && !info.isHidden();
}

QString FileNameOfPath(const QString& path)
{
    return path.mid(path.lastIndexOf(QDir::separator()) + 1);
}

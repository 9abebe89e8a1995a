#include "app/SingleInstance.h"

#include "dialogs/Prompts.h"

#include <QDir>
#include <QStandardPaths>

SingleInstance::SingleInstance(const QString& lockPath) : lock_(lockPath)
{
    // Held for the whole run: never stale by age, only when its process is gone.
    lock_.setStaleLockTime(0);
}

bool SingleInstance::claim(Prompts& prompts)
{
    if (lock_.tryLock(0))
        return true;
    // A lock that cannot even be written (no runtime folder, no permission)
    // says nothing about another program; refusing to start would only
    // lock the user out.
    if (lock_.error() != QLockFile::LockFailedError)
        return true;
    prompts.message(nullptr, productName() + QStringLiteral(" is already running."),
                    Prompts::Buttons::Ok);
    return false;
}

QString SingleInstance::defaultLockPath()
{
    // Both places belong to the user alone.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
        QDir().mkpath(folder);
    }
    return QDir(folder).filePath(QStringLiteral("kelvane.lock"));
}

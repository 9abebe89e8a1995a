#include "dialogs/Prompts.h"

#include "storage/Paths.h"

QString Prompts::chooseFileToWrite(QWidget* owner, const FileDialogRequest& request)
{
    const QString path = chooseFile(owner, request);
    if (path.isEmpty() || !FileExists(path))
        return path;
    if (message(owner, QStringLiteral("Are you sure to overwrite the existed file?"),
                Buttons::OkCancel) != Answer::Ok)
        return {};
    return path;
}

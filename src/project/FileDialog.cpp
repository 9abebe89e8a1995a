#include "project/FileDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>

namespace {

// "Audio File (*.wav *.mp3)". The all-files pattern "*.*" means every file,
// also those whose name has no dot.
QString nameFilter(const FileFilter& filter)
{
    QStringList patterns = filter.patterns.split(u';', Qt::SkipEmptyParts);
    for (QString& pattern : patterns) {
        if (pattern == QLatin1String("*.*"))
            pattern = QStringLiteral("*");
    }
    return filter.description + QStringLiteral(" (") + patterns.join(u' ') + u')';
}

} // namespace

QString ShowFileDialog(QWidget* owner, const FileDialogRequest& request)
{
    QFileDialog dialog(owner, request.title, request.initialFolder);
    const bool open = request.mode == FileDialogMode::Open;
    dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    QStringList filters;
    for (const FileFilter& filter : request.filters)
        filters << nameFilter(filter);
    dialog.setNameFilters(filters);
    if (!filters.isEmpty())
        dialog.selectNameFilter(filters.first());
    dialog.setDefaultSuffix(request.defaultExtension);
    if (!request.initialFileName.isEmpty())
        dialog.selectFile(request.initialFileName);
    dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}

QString documentsFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QDir(documents).exists() ? documents : QDir::homePath();
}

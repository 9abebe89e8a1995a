#include "dialogs/FileDialog.h"

#include "dialogs/Prompts.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QStandardPaths>

namespace {

// The toolkit's dialog. In save mode it refuses a name in a folder that does
// not exist, as in open mode it refuses a file that does not exist, so
// callers only ever receive paths in existing folders.
class FileDialog final : public QFileDialog
{
public:
    using QFileDialog::QFileDialog;

    void accept() override
    {
        const QString chosen = selectedFiles().value(0);
        const QDir folder = QFileInfo(chosen).dir();
        if (acceptMode() == AcceptSave && !chosen.isEmpty() && !folder.exists()) {
            QMessageBox(QMessageBox::NoIcon, productName(),
                        QStringLiteral("The folder %1 does not exist.")
                            .arg(QDir::toNativeSeparators(folder.path())),
                        QMessageBox::Ok, this)
                .exec();
            return;
        }
        QFileDialog::accept();
    }
};

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

// The one extension a filter stands for, as "srt" for "*.srt"; "" when it
// has several or any.
QString singleExtension(const FileFilter& filter)
{
    const QString& patterns = filter.patterns;
    if (!patterns.startsWith(QLatin1String("*.")) || patterns.contains(u';'))
        return {};
    const QString extension = patterns.sliced(2);
    return extension.contains(u'*') || extension.contains(u'?') ? QString() : extension;
}

// The toolkit's save dialog gives a suggested name the chosen type's
// extension; a name typed without one gets it too.
void followChosenType(FileDialog& dialog, const FileDialogRequest& request)
{
    QObject::connect(
        &dialog, &QFileDialog::filterSelected, &dialog, [&dialog, request](const QString& chosen) {
            const qsizetype index = dialog.nameFilters().indexOf(chosen);
            if (index < 0)
                return;
            const QString extension = singleExtension(request.filters[index]);
            dialog.setDefaultSuffix(extension.isEmpty() ? request.defaultExtension : extension);
        });
}

} // namespace

QString ShowFileDialog(QWidget* owner, const FileDialogRequest& request)
{
    FileDialog dialog(owner, request.title, request.initialFolder);
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
    if (!open)
        followChosenType(dialog, request);
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

#pragma once

#include <QList>
#include <QString>

class QWidget;

enum class FileDialogMode
{
    Open = 1, // choose an existing file
    Save = 2, // choose a name to save under
};

// One entry of a dialog's file-type list: its description and its wildcard
// patterns separated by ";", as in "*.wav;*.mp3".
struct FileFilter
{
    QString description;
    QString patterns;
};

// What a caller asks of the file dialog.
struct FileDialogRequest
{
    FileDialogMode mode = FileDialogMode::Open;
    QString title;
    QString initialFileName;
    QList<FileFilter> filters; // the first one is preselected
    QString initialFolder;
    QString defaultExtension; // without the dot; added to a typed name that has none
};

// Shows the open or save dialog modally over `owner` and returns the full
// path chosen, or "" when the user cancelled. Patterns match in any letter
// case, and the save dialog asks before it accepts an existing file. In the
// save dialog, choosing a type that stands for one extension gives the name
// that extension, also a name typed without one.
QString ShowFileDialog(QWidget* owner, const FileDialogRequest& request);

// Where the dialogs open: the user's documents folder, or the home folder
// when there is none.
QString documentsFolder();

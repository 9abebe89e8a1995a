#include "workspace/MessageBoxPrompts.h"

#include <QMessageBox>

Prompts::Answer MessageBoxPrompts::message(QWidget* parent, const QString& text, Buttons buttons)
{
    QMessageBox box(QMessageBox::NoIcon, productName(), text, QMessageBox::NoButton, parent);
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    default:
        // Escape or the close box.
        return safeAnswer(buttons);
    }
}

QString MessageBoxPrompts::chooseFile(QWidget* owner, const FileDialogRequest& request)
{
    return ShowFileDialog(owner, request);
}

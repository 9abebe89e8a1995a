#pragma once

#include "dialogs/Prompts.h"

#include <QList>
#include <QStringList>

#include <functional>

// Answers the program's questions from a script and records what was asked,
// so window tests never block in a modal message box.
class ScriptedPrompts final : public Prompts
{
public:
    struct Asked
    {
        QString text;
        Buttons buttons;
    };

    // The answers to give, in order. When the script runs out, the safe
    // answer of the box is given (Ok, Cancel or No) and counted as unexpected.
    void script(QList<Answer> answers);
    // The paths the file dialogs return, in order; "" stands for Cancel.
    // When they run out, the dialog is cancelled and counted as unexpected.
    void scriptFiles(std::initializer_list<QString> paths);

    // Runs while a question is open, to look at the program at that moment.
    std::function<void(const QString& text)> whileAsking;

    QList<Asked> asked;
    QList<FileDialogRequest> dialogs;
    int unexpected = 0;

    Answer message(QWidget* parent, const QString& text, Buttons buttons) override;
    QString chooseFile(QWidget* owner, const FileDialogRequest& request) override;

private:
    QList<Answer> answers_;
    QStringList files_;
};

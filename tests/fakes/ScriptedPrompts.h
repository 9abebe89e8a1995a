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

    // The answers, and the paths the file dialogs return ("" for Cancel), in order. Past the
    // end, the safe answer (Ok, Cancel or No; Cancel for a dialog) is given, counted unexpected.
    void script(QList<Answer> answers) { answers_ = std::move(answers); }
    void scriptFiles(std::initializer_list<QString> paths) { files_ = paths; }

    // Runs while a question is open, to look at the program at that moment.
    std::function<void(const QString& text)> whileAsking;

    QList<Asked> asked;
    QList<FileDialogRequest> dialogs;
    int unexpected = 0;

    Answer message(QWidget*, const QString& text, Buttons buttons) override
    {
        asked.append({text, buttons});
        return next(answers_, text, safeAnswer(buttons));
    }
    int choose(QWidget*, const QString& text, const QStringList&, int safe) override
    {
        asked.append({text, Buttons::OkCancel});
        return next(choices_, text, safe);
    }
    void scriptChoices(QList<int> choices) { choices_ = std::move(choices); }
    QString chooseFile(QWidget*, const FileDialogRequest& request) override
    {
        dialogs.append(request);
        return next(files_, request.title, QString());
    }

private:
    template <typename T> T next(QList<T>& script, const QString& asking, T unscripted)
    {
        if (whileAsking)
            whileAsking(asking);
        unexpected += script.isEmpty();
        return script.isEmpty() ? unscripted : script.takeFirst();
    }

    QList<Answer> answers_;
    QList<int> choices_;
    QStringList files_;
};

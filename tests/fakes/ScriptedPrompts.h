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
    // A choice among buttons is recorded with its choices, as if its buttons were Ok.
    struct Asked
    {
        QString text;
        Buttons buttons;
        QStringList choices = {};
    };

    // The answers, the choices' indexes and the paths the file dialogs return ("" for Cancel),
    // in order. Past the end, the safe answer (Ok, Cancel or No; the safe choice; Cancel for a
    // dialog) is given, counted unexpected.
    void script(QList<Answer> answers) { answers_ = std::move(answers); }
    void scriptChoices(QList<int> picks) { picks_ = std::move(picks); }
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
    int choose(QWidget*, const QString& text, const QStringList& choices, int safeChoice) override
    {
        asked.append({text, Buttons::Ok, choices});
        return next(picks_, text, safeChoice);
    }
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
    QList<int> picks_;
    QStringList files_;
};

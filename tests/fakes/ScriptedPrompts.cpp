#include "ScriptedPrompts.h"

void ScriptedPrompts::script(QList<Answer> answers)
{
    answers_ = std::move(answers);
}

void ScriptedPrompts::scriptFiles(std::initializer_list<QString> paths)
{
    files_ = paths;
}

Prompts::Answer ScriptedPrompts::message(QWidget*, const QString& text, Buttons buttons)
{
    asked.append({text, buttons});
    if (whileAsking)
        whileAsking(text);
    if (!answers_.isEmpty())
        return answers_.takeFirst();
    ++unexpected;
    return safeAnswer(buttons);
}

QString ScriptedPrompts::chooseFile(QWidget*, const FileDialogRequest& request)
{
    dialogs.append(request);
    if (whileAsking)
        whileAsking(request.title);
    if (!files_.isEmpty())
        return files_.takeFirst();
    ++unexpected;
    return {};
}

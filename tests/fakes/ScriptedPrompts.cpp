#include "ScriptedPrompts.h"

void ScriptedPrompts::script(std::initializer_list<Answer> answers)
{
    answers_ = answers;
}

Prompts::Answer ScriptedPrompts::message(QWidget*, const QString& text, Buttons buttons)
{
    asked.append({text, buttons});
    if (whileAsking)
        whileAsking(text);
    if (!answers_.isEmpty())
        return answers_.takeFirst();
    ++unexpected;
    switch (buttons) {
    case Buttons::Ok:
        return Answer::Ok;
    case Buttons::OkCancel:
        return Answer::Cancel;
    case Buttons::YesNo:
        return Answer::No;
    }
    return Answer::Cancel;
}

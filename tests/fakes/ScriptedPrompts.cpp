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
    return safeAnswer(buttons);
}

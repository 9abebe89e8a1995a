#pragma once

#include <QString>

class QWidget;

// The questions and messages the program puts to the user. Every message box
// is titled with the product name and shows no icon. The program answers them
// with real message boxes; tests answer them from a script.
class Prompts
{
public:
    enum class Buttons
    {
        Ok,
        OkCancel,
        YesNo,
    };
    enum class Answer
    {
        Ok,
        Cancel,
        Yes,
        No,
    };

    virtual ~Prompts() = default;

    // The answer that risks nothing: what Escape or the close box gives.
    static Answer safeAnswer(Buttons buttons)
    {
        switch (buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::YesNo:
            return Answer::No;
        case Buttons::OkCancel:
            break;
        }
        return Answer::Cancel;
    }

    // Shows `text` modally over `parent` and returns the button chosen.
    virtual Answer message(QWidget* parent, const QString& text, Buttons buttons) = 0;
};

inline QString productName()
{
    return QStringLiteral("Kelvane");
}

#pragma once

#include "dialogs/FileDialog.h"

#include <QString>
#include <QStringList>

class QWidget;

// The questions, messages and file dialogs the program puts to the user.
// Every message box is titled with the product name and shows no icon. The
// program shows real message boxes and dialogs; tests answer from a script.
class Prompts
{
public:
    enum class Buttons
    {
        Ok,
        OkCancel,
        YesNo,
        YesNoCancel,
    };
    enum class Answer
    {
        Ok,
        Cancel,
        Yes,
        No,
    };

    virtual ~Prompts() = default;

    // The answer that changes nothing: Ok, Cancel, or No to a Yes/No
    // question. Escape or the close box gives it, except on a Yes/No
    // question, which must be answered; Cancel backs out of a Yes/No/Cancel
    // one.
    static Answer safeAnswer(Buttons buttons)
    {
        switch (buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::YesNo:
            return Answer::No;
        case Buttons::OkCancel:
        case Buttons::YesNoCancel:
            break;
        }
        return Answer::Cancel;
    }

    // Shows `text` modally over `parent` and returns the button chosen. The
    // user may be typing when the box comes up, so no typed key answers it:
    // not a letter, a digit, a sign or Space, nor any key held down or
    // pressed just before it appeared. Alt with a button's underlined letter
    // answers, as do Return on the focused button (at first the safe one; Yes
    // to a Yes/No or Yes/No/Cancel question, as the questions keep work on
    // Yes), Escape where allowed, and the mouse.
    virtual Answer message(QWidget* parent, const QString& text, Buttons buttons) = 0;

    // Asks `text` with a button for each of the `choices`, which carry their
    // own "&" mnemonics, and returns the index of the one chosen. Return at
    // first, Escape and the close box give `safeChoice`, one of them. Keys
    // answer as for message().
    virtual int choose(QWidget* parent, const QString& text, const QStringList& choices,
                       int safeChoice) = 0;

    // Asks for a file to open or a name to save under; "" when cancelled.
    virtual QString chooseFile(QWidget* owner, const FileDialogRequest& request) = 0;

    // Asks for a name to save under and, when that file exists, whether to
    // overwrite it; "" when the user cancelled either.
    QString chooseFileToWrite(QWidget* owner, const FileDialogRequest& request);
};

inline QString productName()
{
    return QStringLiteral("Kelvane");
}

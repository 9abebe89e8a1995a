#pragma once

#include "dialogs/Prompts.h"

// Prompts shown as the toolkit's modal message boxes and file dialogs.
class MessageBoxPrompts final : public Prompts
{
public:
    Answer message(QWidget* parent, const QString& text, Buttons buttons) override;
    int choose(QWidget* parent, const QString& text, const QStringList& choices,
               int safeChoice) override;
    QString chooseFile(QWidget* owner, const FileDialogRequest& request) override;
};

#include "dialogs/MessageBoxPrompts.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

#include <utility>

namespace {

// A question answered Yes or No has no way around the answer: Escape or the
// close box taken as No would, for "save before quit?", throw the work away
// at a slip of the finger.
class MessageBox final : public QMessageBox
{
public:
    MessageBox(const QString& text, bool mustAnswer, QWidget* parent)
        : QMessageBox(QMessageBox::NoIcon, productName(), text, QMessageBox::NoButton, parent,
                      mustAnswer ? QuestionFlags : Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
          mustAnswer_(mustAnswer)
    {
    }

protected:
    // No close box where it would do nothing.
    static constexpr Qt::WindowFlags QuestionFlags = Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint |
                                                     Qt::CustomizeWindowHint | Qt::WindowTitleHint;

    // Keys reach the focused button first, then the box: both are watched.
    void showEvent(QShowEvent* event) override
    {
        shown_.start();
        for (QWidget* child : findChildren<QWidget*>())
            child->installEventFilter(this);
        QMessageBox::showEvent(event);
    }

    bool eventFilter(QObject*, QEvent* event) override { return eaten(event); }
    bool event(QEvent* event) override { return eaten(event) || QMessageBox::event(event); }

    void keyPressEvent(QKeyEvent* event) override
    {
        if (mustAnswer_ && event->key() == Qt::Key_Escape)
            event->accept();
        else
            QMessageBox::keyPressEvent(event);
    }

    void closeEvent(QCloseEvent* event) override
    {
        if (mustAnswer_)
            event->ignore();
        else
            QMessageBox::closeEvent(event);
    }

private:
    // A user typing when the box comes up must not answer it by chance: the
    // box would take a letter for a button's mnemonic ("n" for No) and Space
    // for a click on the focused button. Keys pressed before the box
    // appeared arrive within its first moments; held keys repeat. Keys with
    // Alt, Ctrl or Meta, and keys that type nothing (Return, Escape, Tab),
    // pass. The shortcut a key would trigger is taken as the key, and eaten.
    bool eaten(QEvent* event)
    {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease &&
            event->type() != QEvent::ShortcutOverride)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool typing = (key->modifiers() & ~TypingModifiers) == Qt::NoModifier &&
                            ((key->key() >= Qt::Key_Space && key->key() <= Qt::Key_ydiaeresis) ||
                             (!key->text().isEmpty() && key->text().front().isPrint()));
        if (!typing && !key->isAutoRepeat() && shown_.isValid() &&
            shown_.elapsed() >= TypingGraceMs)
            return false;
        event->accept();
        return true;
    }

    static constexpr qint64 TypingGraceMs = 400;
    // AltGr is the group switch on X11.
    static constexpr Qt::KeyboardModifiers TypingModifiers =
        Qt::ShiftModifier | Qt::KeypadModifier | Qt::GroupSwitchModifier;
    bool mustAnswer_;
    QElapsedTimer shown_;
};

// Every button with a mnemonic, which Qt leaves out of some standard ones,
// and the one Return answers at first.
void setStandardButtons(QMessageBox& box, QMessageBox::StandardButtons buttons,
                        QMessageBox::StandardButton onReturn)
{
    box.setStandardButtons(buttons);
    const std::pair<QMessageBox::StandardButton, const char*> texts[] = {
        {QMessageBox::Ok, "&OK"},
        {QMessageBox::Cancel, "&Cancel"},
        {QMessageBox::Yes, "&Yes"},
        {QMessageBox::No, "&No"}};
    for (const auto& [button, text] : texts)
        if (QAbstractButton* shown = box.button(button))
            shown->setText(QString::fromLatin1(text));
    box.setDefaultButton(onReturn);
}

} // namespace

Prompts::Answer MessageBoxPrompts::message(QWidget* parent, const QString& text, Buttons buttons)
{
    MessageBox box(text, buttons == Buttons::YesNo, parent);
    // Return answers the button that has the focus, at first the default
    // one: Cancel rather than a file overwritten; Yes to the questions, which
    // all keep work on Yes (save, recover).
    switch (buttons) {
    case Buttons::Ok:
        setStandardButtons(box, QMessageBox::Ok, QMessageBox::Ok);
        break;
    case Buttons::OkCancel:
        setStandardButtons(box, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
        break;
    case Buttons::YesNo:
        setStandardButtons(box, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        break;
    case Buttons::YesNoCancel:
        setStandardButtons(box, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                           QMessageBox::Yes);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok:
        return Answer::Ok;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    default:
        // Escape or the close box of a box that has a way out.
        return safeAnswer(buttons);
    }
}

int MessageBoxPrompts::choose(QWidget* parent, const QString& text, const QStringList& choices,
                              int safeChoice)
{
    MessageBox box(text, false, parent);
    QList<QPushButton*> buttons;
    for (const QString& choice : choices)
        buttons.append(box.addButton(choice, QMessageBox::ActionRole));
    box.setDefaultButton(buttons.value(safeChoice));
    box.setEscapeButton(buttons.value(safeChoice));
    box.exec();
    const qsizetype chosen = buttons.indexOf(box.clickedButton());
    return chosen < 0 ? safeChoice : int(chosen);
}

QString MessageBoxPrompts::chooseFile(QWidget* owner, const FileDialogRequest& request)
{
    return ShowFileDialog(owner, request);
}

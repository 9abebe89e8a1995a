#include "dialogs/MessageBoxPrompts.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

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
    bool mustAnswer_;
};

} // namespace

Prompts::Answer MessageBoxPrompts::message(QWidget* parent, const QString& text, Buttons buttons)
{
    MessageBox box(text, buttons == Buttons::YesNo, parent);
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
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
        // Escape or the close box of an OK or OK/Cancel box.
        return safeAnswer(buttons);
    }
}

int MessageBoxPrompts::choose(QWidget* parent, const QString& text, const QStringList& choices,
                              int safeChoice)
{
    MessageBox box(text, false, parent);
    QList<QAbstractButton*> buttons;
    for (const QString& choice : choices)
        buttons << box.addButton(choice, QMessageBox::AcceptRole);
    box.setDefaultButton(qobject_cast<QPushButton*>(buttons.value(safeChoice)));
    box.setEscapeButton(buttons.value(safeChoice));
    box.exec();
    const int chosen = int(buttons.indexOf(box.clickedButton()));
    return chosen < 0 ? safeChoice : chosen;
}

QString MessageBoxPrompts::chooseFile(QWidget* owner, const FileDialogRequest& request)
{
    return ShowFileDialog(owner, request);
}

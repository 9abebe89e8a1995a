#include "TestFiles.h"

#include "dialogs/FileDialog.h"
#include "dialogs/MessageBoxPrompts.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// Acts on the modal dialog of type T that opens next, as a user would.
template <typename T, typename Act> static void whenShown(Act act)
{
    QTimer::singleShot(0, [act] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        act(*dialog);
        if (QTest::currentTestFailed() && dialog->isVisible())
            dialog->reject(); // the test must not wait on it
    });
}

class TestDialogs : public QObject
{
    Q_OBJECT
private slots:
    void fileDialogs()
    {
        QTemporaryDir dir;
        for (const char* name : {"LOUD.SRT", "b.Sub", "README"})
            QVERIFY(TestFiles::write(dir.filePath(name), ""));
        const FileDialogRequest save{
            FileDialogMode::Save, {},   {}, {{{}, "*.srt;*.sub"}, {{}, "*.vtt"}, {{}, "*.*"}},
            dir.path(),           "srt"};
        whenShown<QFileDialog>([&dir](QFileDialog& dialog) {
            // Patterns match in any case, and "*.*" a name without a dot too.
            const QListView* list = dialog.findChild<QListView*>("listView");
            auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
            QTRY_COMPARE_WITH_TIMEOUT(list->model()->rowCount(list->rootIndex()), 2, 60000);
            QTest::keyClick(types, Qt::Key_End);
            QTRY_COMPARE_WITH_TIMEOUT(list->model()->rowCount(list->rootIndex()), 3, 60000);
            // A name in a missing folder is refused; a typed one gets the type's extension.
            QTest::keyClick(types, Qt::Key_Up);
            whenShown<QMessageBox>([&dir](QMessageBox& box) {
                QCOMPARE(box.windowTitle() + ": " + box.text(),
                         "Kelvane: The folder " + dir.filePath("missing") + " does not exist.");
                box.button(QMessageBox::Ok)->click();
            });
            auto* edit = dialog.findChild<QLineEdit*>("fileNameEdit");
            QTest::keyClicks(edit, "missing/notes\r");
            edit->clear();
            QTest::keyClicks(edit, "notes\r");
        });
        QCOMPARE(ShowFileDialog(nullptr, save), dir.filePath("notes.vtt"));
    }

    // Every box is titled with the program's name and shows no icon. Escape gives
    // the safe answer (Cancel backs out of a Yes/No/Cancel question), but a Yes/No
    // question must be answered. Return gives the
    // safe answer, Yes to a question; Alt and a mnemonic its button. A user who
    // is typing answers nothing: not at once, nor with a held key, a letter or Space.
    void messageBoxes()
    {
        using Box = QMessageBox;
        using enum Prompts::Buttons;
        const std::tuple<std::optional<Prompts::Buttons>, QKeyCombination, int> cases[] = {
            {OkCancel, Qt::Key_Escape, int(Prompts::Answer::Cancel)},
            {OkCancel, Qt::Key_Return, int(Prompts::Answer::Cancel)},
            {OkCancel, Qt::ALT | Qt::Key_O, int(Prompts::Answer::Ok)},
            {YesNo, Qt::Key_Return, int(Prompts::Answer::Yes)},
            {YesNo, Qt::ALT | Qt::Key_N, int(Prompts::Answer::No)},
            {YesNoCancel, Qt::Key_Escape, int(Prompts::Answer::Cancel)},
            {YesNoCancel, Qt::Key_Return, int(Prompts::Answer::Yes)},
            {{}, Qt::Key_Escape, 2},
            {{}, Qt::Key_Return, 2},
            {{}, Qt::ALT | Qt::Key_A, 1}};
        for (const auto& [buttons, key, answer] : cases) {
            const bool question = buttons == YesNo;
            const auto shown = !buttons                 ? Box::NoButton
                               : question               ? Box::Yes | Box::No
                               : buttons == YesNoCancel ? Box::Yes | Box::No | Box::Cancel
                                                        : Box::Ok | Box::Cancel;
            whenShown<Box>([question, shown, key = key](Box& box) {
                QCOMPARE(box.windowTitle() + ": " + box.text(), "Kelvane: Saved.");
                QWidget* focus = box.focusWidget();
                QVERIFY(box.icon() == Box::NoIcon && box.standardButtons() == shown && focus);
                QTest::keyClick(focus, Qt::Key_Return);
                QTest::qWait(400);
                QKeyEvent held(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r", true);
                QApplication::sendEvent(focus, &held);
                QTest::keyClicks(focus, "and now ANOTHER b ");
                QTest::qWait(200);
                QVERIFY(box.isVisible());
                if (question) {
                    QTest::keyClick(&box, Qt::Key_Escape);
                    QVERIFY(!box.close() && box.isVisible());
                }
                QTest::keyClick(focus, key.key(), key.keyboardModifiers());
                QTRY_VERIFY(!box.isVisible());
            });
            QCOMPARE(buttons ? int(MessageBoxPrompts().message(nullptr, "Saved.", *buttons))
                             : MessageBoxPrompts().choose(nullptr, "Saved.",
                                                          {"&Overwrite", "Save &as", "&Cancel"}, 2),
                     answer);
        }
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"

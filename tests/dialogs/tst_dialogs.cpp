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

#include <functional>

// Acts on the modal dialog of type T that opens next, as a user would.
template <typename T> static void whenShown(std::function<void(T&)> act)
{
    QTimer::singleShot(0, [act] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        act(*dialog);
        if (QTest::currentTestFailed() && dialog->isVisible())
            dialog->reject(); // the test must not wait on it
    });
}

static void typeName(QFileDialog& dialog, const QString& name) // and press Enter
{
    auto* edit = dialog.findChild<QLineEdit*>("fileNameEdit");
    edit->setText(name);
    QTest::keyClick(edit, Qt::Key_Return);
}

class TestDialogs : public QObject
{
    Q_OBJECT
private slots:
    void fileDialogs();
    void messageBoxes();
};

void TestDialogs::fileDialogs()
{
    QTemporaryDir dir;
    for (const char* name : {"LOUD.WAV", "clip.Wma", "talk.wav", "notes.txt", "old.srt", "README"})
        QVERIFY(TestFiles::write(dir.filePath(name), ""));
    // Patterns match in any case; a typed name gets the default extension.
    whenShown<QFileDialog>([&](QFileDialog& dialog) {
        const QListView* list = dialog.findChild<QListView*>("listView");
        QTRY_COMPARE_WITH_TIMEOUT(list->model()->rowCount(list->rootIndex()), 3, 60000);
        dialog.selectNameFilter(dialog.nameFilters().last()); // "*.*": also "README"
        QTRY_COMPARE_WITH_TIMEOUT(list->model()->rowCount(list->rootIndex()), 6, 60000);
        typeName(dialog, "talk");
    });
    const FileDialogRequest open{FileDialogMode::Open, {},   {}, {{{}, "*.wav;*.wma"}, {{}, "*.*"}},
                                 dir.path(),           "wav"};
    QCOMPARE(ShowFileDialog(nullptr, open), dir.filePath("talk.wav"));
    whenShown<QFileDialog>([](QFileDialog& dialog) { dialog.reject(); });
    QCOMPARE(ShowFileDialog(nullptr, open), QString());
    // The chosen type's extension goes to the suggested and a typed name.
    const FileDialogRequest save{FileDialogMode::Save,           {},         "talk.srt",
                                 {{{}, "*.srt"}, {{}, "*.vtt"}}, dir.path(), "srt"};
    QString shown;
    whenShown<QFileDialog>([&](QFileDialog& dialog) {
        QTest::keyClick(dialog.findChild<QComboBox*>("fileTypeCombo"), Qt::Key_Down);
        shown = dialog.findChild<QLineEdit*>("fileNameEdit")->text();
        typeName(dialog, "notes");
    });
    QCOMPARE(ShowFileDialog(nullptr, save), dir.filePath("notes.vtt"));
    QCOMPARE(shown, "talk.vtt");
    // A missing folder is refused; an existing file is taken after a Yes.
    QString told;
    whenShown<QFileDialog>([&](QFileDialog& dialog) {
        for (const auto answer : {QMessageBox::Ok, QMessageBox::No, QMessageBox::Yes}) {
            whenShown<QMessageBox>([&told, answer](QMessageBox& box) {
                told += box.windowTitle() + ": " + box.text() + "\n";
                box.button(answer)->click();
            });
            typeName(dialog, answer == QMessageBox::Ok ? "missing/notes" : "old");
            QCOMPARE(dialog.isVisible(), answer != QMessageBox::Yes);
        }
    });
    QCOMPARE(ShowFileDialog(nullptr, save), dir.filePath("old.srt"));
    QVERIFY(told.startsWith("Kelvane: The folder " + dir.filePath("missing") + " does not "));
}

void TestDialogs::messageBoxes()
{
    using Buttons = Prompts::Buttons;
    using Box = QMessageBox;
    // Escape gives the safe answer; a Yes/No question must be answered.
    const std::tuple<Buttons, Box::StandardButtons, Box::StandardButton, Prompts::Answer> cases[] =
        {{Buttons::OkCancel, Box::Ok | Box::Cancel, Box::Escape, Prompts::Answer::Cancel},
         {Buttons::OkCancel, Box::Ok | Box::Cancel, Box::Ok, Prompts::Answer::Ok},
         {Buttons::YesNo, Box::Yes | Box::No, Box::Yes, Prompts::Answer::Yes},
         {Buttons::YesNo, Box::Yes | Box::No, Box::No, Prompts::Answer::No}};
    for (const auto& [buttons, shown, press, answer] : cases) {
        whenShown<QMessageBox>([&, buttons = buttons, press = press](QMessageBox& box) {
            QCOMPARE(box.windowTitle() + ": " + box.text(), "Kelvane: Saved.");
            QVERIFY(box.icon() == Box::NoIcon && box.standardButtons() == shown);
            if (buttons == Buttons::YesNo) {
                QTest::keyClick(&box, Qt::Key_Escape);
                QVERIFY(!box.close() && box.isVisible());
            }
            if (press == Box::Escape)
                QTest::keyClick(&box, Qt::Key_Escape);
            else
                box.button(press)->click();
        });
        const Prompts::Answer given = MessageBoxPrompts().message(nullptr, "Saved.", buttons);
        QCOMPARE(given, answer);
    }
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"

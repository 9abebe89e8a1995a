#include "dialogs/FileDialog.h"
#include "storage/Paths.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

void touch(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

// Runs `act` on the file dialog as soon as it is open, from inside its modal
// loop, as a user at the screen would.
void whenOpen(std::function<void(QFileDialog&)> act)
{
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QFileDialog*>(widget);
            if (dialog && dialog->isVisible()) {
                poll->deleteLater();
                poll->stop();
                act(*dialog);
                // A failed check must not leave the test waiting on the dialog.
                if (QTest::currentTestFailed() && dialog->isVisible())
                    dialog->reject();
                return;
            }
        }
    });
    poll->start(10);
}

// Types a name into the dialog's file name box and presses Enter.
void typeName(QFileDialog& dialog, const QString& name)
{
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit);
    edit->setText(name);
    QTest::keyClick(edit, Qt::Key_Return);
}

QStringList listedNames(QFileDialog& dialog)
{
    auto* list = dialog.findChild<QListView*>(QStringLiteral("listView"));
    QStringList names;
    for (int row = 0; list && row < list->model()->rowCount(list->rootIndex()); ++row)
        names << list->model()->index(row, 0, list->rootIndex()).data().toString();
    names.sort();
    return names;
}

FileDialogRequest mediaRequest(const QString& folder)
{
    return {
        FileDialogMode::Open,
        "Please select an Audio/Video file.",
        "",
        {{"Audio File", "*.wav;*.mp3;*.wma"}, {"Video File", "*.wmv;*.avi;*.mpeg"}, {"*.*", "*.*"}},
        folder,
        "wav"};
}

FileDialogRequest projectSaveRequest(const QString& folder)
{
    return {FileDialogMode::Save,     "Save Project", "transcription.kvprj",
            {{"*.kvprj", "*.kvprj"}}, folder,         "kvprj"};
}

} // namespace

class TestFileDialogs : public QObject
{
    Q_OBJECT

private slots:
    void pathHelpers();
    void openDialogFiltersInAnyCaseAndReturnsThePath();
    void saveDialogAddsTheExtensionAndAsksBeforeOverwriting();
    void saveDialogNameFollowsTheChosenType();
    void cancelAndLongPaths();
};

void TestFileDialogs::pathHelpers()
{
    QCOMPARE(FileNameOfPath("/home/ann/media/interview.wav"), QString("interview.wav"));
    QCOMPARE(FileNameOfPath("interview.wav"), QString("interview.wav"));
    QCOMPARE(FileNameOfPath("/home/ann/media/"), QString());
    QCOMPARE(FileNameOfPath(""), QString());
    QCOMPARE(FileNameOfPath("C:\\media\\interview.wav"), QString("C:\\media\\interview.wav"));

    QTemporaryDir dir;
    const QString file = dir.filePath("notes.kvprj");
    touch(file);
    touch(dir.filePath(".hidden.kvprj"));
    QVERIFY(QFile::link(file, dir.filePath("link.kvprj")));
    QVERIFY(QFile::link(dir.filePath("gone.kvprj"), dir.filePath("dangling.kvprj")));
    QVERIFY(FileExists(file));
    QVERIFY(FileExists(dir.filePath("link.kvprj")));
    QVERIFY(!FileExists(dir.filePath("dangling.kvprj")));
    QVERIFY(!FileExists(dir.filePath(".hidden.kvprj")));
    QVERIFY(!FileExists(dir.path()));
    QVERIFY(!FileExists(dir.filePath("missing.kvprj")));
    QVERIFY(!FileExists(""));

    QVERIFY(QDir(documentsFolder()).exists());
}

void TestFileDialogs::openDialogFiltersInAnyCaseAndReturnsThePath()
{
    QTemporaryDir dir;
    for (const char* name : {"LOUD.WAV", "quiet.mp3", "clip.Wma", "notes.txt", "film.avi"})
        touch(dir.filePath(name));
    QVERIFY(QDir(dir.path()).mkdir("sub"));
    QWidget owner;
    owner.show();

    QStringList audioNames, allNames;
    whenOpen([&](QFileDialog& dialog) {
        QCOMPARE(dialog.windowTitle(), QString("Please select an Audio/Video file."));
        QCOMPARE(dialog.parentWidget(), &owner);
        QVERIFY(dialog.isModal());
        QCOMPARE(dialog.acceptMode(), QFileDialog::AcceptOpen);
        QCOMPARE(dialog.fileMode(), QFileDialog::ExistingFile);
        QCOMPARE(QDir(dialog.directory()), QDir(dir.path()));
        QCOMPARE(dialog.nameFilters(), QStringList({"Audio File (*.wav *.mp3 *.wma)",
                                                    "Video File (*.wmv *.avi *.mpeg)", "*.* (*)"}));
        QCOMPARE(dialog.selectedNameFilter(), dialog.nameFilters().first());
        QCOMPARE(dialog.defaultSuffix(), QString("wav"));
        const QStringList audio = {"LOUD.WAV", "clip.Wma", "quiet.mp3", "sub"};
        QTRY_COMPARE(listedNames(dialog), audio);
        audioNames = listedNames(dialog);
        dialog.selectNameFilter(dialog.nameFilters().last());
        QTRY_COMPARE(listedNames(dialog).size(), 6);
        allNames = listedNames(dialog);
        typeName(dialog, "LOUD.WAV");
    });
    const QString chosen = ShowFileDialog(&owner, mediaRequest(dir.path()));
    QCOMPARE(audioNames, QStringList({"LOUD.WAV", "clip.Wma", "quiet.mp3", "sub"}));
    QVERIFY(allNames.contains("notes.txt"));
    QCOMPARE(chosen, dir.filePath("LOUD.WAV"));

    // A typed name without extension gets the default one.
    touch(dir.filePath("talk.wav"));
    whenOpen([](QFileDialog& dialog) { typeName(dialog, "talk"); });
    QCOMPARE(ShowFileDialog(&owner, mediaRequest(dir.path())), dir.filePath("talk.wav"));
}

void TestFileDialogs::saveDialogAddsTheExtensionAndAsksBeforeOverwriting()
{
    QTemporaryDir dir;
    QWidget owner;
    owner.show();

    QString initialName;
    whenOpen([&](QFileDialog& dialog) {
        QCOMPARE(dialog.windowTitle(), QString("Save Project"));
        QCOMPARE(dialog.acceptMode(), QFileDialog::AcceptSave);
        initialName = dialog.findChild<QLineEdit*>("fileNameEdit")->text();
        typeName(dialog, "notes");
    });
    QCOMPARE(ShowFileDialog(&owner, projectSaveRequest(dir.path())), dir.filePath("notes.kvprj"));
    QCOMPARE(initialName, QString("transcription.kvprj"));

    // An existing file is accepted only after the dialog's own question.
    touch(dir.filePath("old.kvprj"));
    int questions = 0;
    whenOpen([&](QFileDialog& dialog) {
        for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
            QTimer::singleShot(50, [&, answer] {
                auto* box = dialog.findChild<QMessageBox*>();
                QVERIFY(box && box->isVisible());
                ++questions;
                box->button(answer)->click();
            });
            typeName(dialog, "old");
            QCOMPARE(dialog.isVisible(), answer == QMessageBox::No);
        }
    });
    QCOMPARE(ShowFileDialog(&owner, projectSaveRequest(dir.path())), dir.filePath("old.kvprj"));
    QCOMPARE(questions, 2);

    // A folder that does not exist is refused with a message; the dialog
    // stays open for another name.
    QString refusal;
    whenOpen([&](QFileDialog& dialog) {
        QTimer::singleShot(50, [&] {
            auto* box = dialog.findChild<QMessageBox*>();
            QVERIFY(box && box->isVisible());
            refusal = box->windowTitle() + ": " + box->text();
            box->accept();
        });
        typeName(dialog, "missing/notes");
        QVERIFY(dialog.isVisible());
        typeName(dialog, "notes2");
    });
    QCOMPARE(ShowFileDialog(&owner, projectSaveRequest(dir.path())), dir.filePath("notes2.kvprj"));
    QCOMPARE(refusal, "Kelvane: The folder " + dir.filePath("missing") + " does not exist.");
}

void TestFileDialogs::saveDialogNameFollowsTheChosenType()
{
    QTemporaryDir dir;
    QWidget owner;
    owner.show();
    const FileDialogRequest subtitles{
        FileDialogMode::Save, "Export Subtitles",
        "talk.srt",           {{"SubRip", "*.srt"}, {"WebVTT", "*.vtt"}},
        dir.path(),           "srt"};

    // Choosing WebVTT turns the suggested name into a .vtt one, and a name
    // typed without an extension gets .vtt; back to SubRip, .srt again.
    for (const auto& [type, extension] : {std::pair{1, "vtt"}, std::pair{0, "srt"}}) {
        QString shown;
        whenOpen([&, type = type](QFileDialog& dialog) {
            auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
            QVERIFY(types);
            QCOMPARE(types->itemText(1), QString("WebVTT (*.vtt)"));
            // As the box does when the user picks an entry.
            for (const int index : {1, type}) {
                types->setCurrentIndex(index);
                emit types->activated(index);
                emit types->textActivated(types->itemText(index));
            }
            shown = dialog.findChild<QLineEdit*>("fileNameEdit")->text();
            typeName(dialog, "notes");
        });
        QCOMPARE(ShowFileDialog(&owner, subtitles), dir.filePath("notes." + QString(extension)));
        QCOMPARE(shown, "talk." + QString(extension));
    }
}

void TestFileDialogs::cancelAndLongPaths()
{
    QTemporaryDir dir;
    QWidget owner;
    owner.show();
    for (const FileDialogRequest& request :
         {mediaRequest(dir.path()), projectSaveRequest(dir.path())}) {
        whenOpen([](QFileDialog& dialog) { dialog.reject(); });
        QCOMPARE(ShowFileDialog(&owner, request), QString());
    }

    // Paths longer than 254 characters come back whole.
    QString folder = dir.path();
    while (folder.size() < 300)
        folder += "/a-rather-long-folder-name-for-a-deep-archive";
    QVERIFY(QDir().mkpath(folder));
    touch(folder + "/interview.wav");
    whenOpen([](QFileDialog& dialog) { typeName(dialog, "interview.wav"); });
    const QString chosen = ShowFileDialog(&owner, mediaRequest(folder));
    QCOMPARE(chosen, folder + "/interview.wav");
    QVERIFY(chosen.size() > 300);
}

QTEST_MAIN(TestFileDialogs)
#include "tst_filedialogs.moc"

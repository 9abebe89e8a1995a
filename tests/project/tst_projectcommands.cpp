#include "TestFiles.h"
#include "TestWindow.h"
#include "Unprivileged.h"

#include "controls/AquaButton.h"
#include "dialogs/FileDialog.h"
#include "project/ProjectCommands.h"
#include "storage/RecoveryFile.h"
#include "workspace/SectionGrid.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

const QString Media = "/recordings/interview.wav";
constexpr qint32 MediaLength = 60000;
const QString Product = "Kelvane";
const QString SaveQuestion = "Do you want to save the current project?";
const QString QuitQuestion = "Do you want to save the project before quit?";
const QString OverwriteQuestion = "Are you sure to overwrite the existed file?";

// A new transcription with two committed sections (the first typed over two
// lines) and a third one capturing: the workspace has unsaved changes and no
// project file.
void transcribe(TestWindow& t)
{
    t.device.addMedia(Media, MediaLength);
    t.prompts.scriptFiles({Media});
    t.w.menuOpen_Click();
    t.w.menuPlay_Click();
    const QList<std::pair<qint32, QString>> sections = {{4000, "first\nsecond"},
                                                        {9500, "Zażółć – €5"}};
    for (const auto& [end, text] : sections) {
        t.device.advance(end - t.device.Position());
        t.w.menuPlay_Click();
        t.c.txtScript->setPlainText(text);
        t.w.menuPlay_Click();
    }
    t.device.advance(500);
}

const QString RecoveryQuestion =
    "Kelvane did not close normally. Do you want to recover the unsaved transcription?";

const QByteArray TranscribedFile =
    "kv project file\r\n/recordings/interview.wav\r\n"
    "0<|S|>4000<|S|>00:00:00<|S|>00:00:04<|S|>first second\r\n"
    "4000<|S|>9500<|S|>00:00:04<|S|>00:00:09<|S|>Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87 "
    "\xE2\x80\x93 \xE2\x82\xAC"
    "5\r\n"
    "9500<|S|>10000<|S|>00:00:09<|S|>00:00:10<|S|>\r\n";

// Answers the Save As dialog with `path`.
void saveAs(TestWindow& t, const QString& path)
{
    t.prompts.scriptFiles({path});
    t.w.menuSaveAs_Click();
}

} // namespace

class TestProjectCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void savesWriteTheWorkspace();
    void autoSaverRewritesProjectsWithAFile();
    void failedSavesKeepTheWork();
    void autoSaveReportsAFailureOnce();
    void readOnlyProjectFile();
    void saveQuestionsStopWhenTheSaveFails();
    void quitWithAFailedSaveKeepsTheWindow();
    void openProjectContinuesWhereItEnded();
    void openProjectRejectsWhatItCannotLoad();
    void recoveryCopyKeepsUnsavedWork();
    void startUpOffersTheRecoveryCopy();

private:
    QTemporaryDir data;
};

// A data folder made afresh for every run, as a new user's would be.
void TestProjectCommands::initTestCase()
{
    QVERIFY(data.isValid());
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
}

void TestProjectCommands::savesWriteTheWorkspace()
{
    QTemporaryDir folder;
    const QString path = folder.filePath("talk.kvprj");
    TestWindow t;
    auto& [device, prompts, w, c] = t;
    transcribe(t);
    QCOMPARE(w.windowTitle(), QString("Kelvane *"));

    // Save without a project file asks for one, and writes there.
    prompts.scriptFiles({path});
    w.menuSave_Click();
    QCOMPARE(prompts.dialogs.size(), 2);
    const FileDialogRequest& request = prompts.dialogs.last();
    QCOMPARE(request.mode, FileDialogMode::Save);
    QCOMPARE(request.title, QString("Save Project"));
    QCOMPARE(request.initialFileName, QString("transcription.kvprj"));
    QCOMPARE(request.filters.size(), 1);
    QCOMPARE(request.filters[0].description, QString("*.kvprj"));
    QCOMPARE(request.filters[0].patterns, QString("*.kvprj"));
    QCOMPARE(request.defaultExtension, QString("kvprj"));
    QCOMPARE(TestFiles::read(path), TranscribedFile);
    QCOMPARE(w.state().projectFile, path);
    QVERIFY(!w.state().isDirty);
    QCOMPARE(w.windowTitle(), Product + ' ' + path);

    // A change shows the star; Save then writes at once, also when nothing
    // has changed since. Ctrl+S typed in the text box leaves no star behind.
    c.txtScript->setPlainText("third");
    QCOMPARE(w.windowTitle(), Product + " *" + path);
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(c.txtScript, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(prompts.dialogs.size(), 2);
    QVERIFY(TestFiles::read(path).endsWith("<|S|>third\r\n"));
    QCOMPARE(w.windowTitle(), Product + ' ' + path);
    QVERIFY(QFile::remove(path));
    w.menuSave_Click();
    QVERIFY(TestFiles::read(path).endsWith("<|S|>third\r\n"));

    // Save As onto an existing file asks first; Cancel writes nothing.
    const QString other = folder.filePath("other.kvprj");
    QVERIFY(TestFiles::write(other, "keep me"));
    c.txtScript->setPlainText("fourth");
    prompts.script({Prompts::Answer::Cancel});
    saveAs(t, other);
    QCOMPARE(prompts.asked.last().text, OverwriteQuestion);
    QCOMPARE(prompts.asked.last().buttons, Prompts::Buttons::OkCancel);
    QCOMPARE(TestFiles::read(other), QByteArray("keep me"));
    QCOMPARE(w.state().projectFile, path);
    QCOMPARE(w.windowTitle(), Product + " *" + path);
    // A cancelled dialog changes nothing either.
    saveAs(t, "");
    QCOMPARE(w.state().projectFile, path);
    QVERIFY(w.state().isDirty);
    // OK moves the project to the new file.
    prompts.script({Prompts::Answer::Ok});
    saveAs(t, other);
    QVERIFY(TestFiles::read(other).endsWith("<|S|>fourth\r\n"));
    QCOMPARE(w.state().projectFile, other);
    QCOMPARE(w.windowTitle(), Product + ' ' + other);
    QCOMPARE(QFileInfo(prompts.dialogs.last().initialFolder), QFileInfo(folder.path()));
    QCOMPARE(prompts.unexpected, 0);
}

void TestProjectCommands::autoSaverRewritesProjectsWithAFile()
{
    QTemporaryDir folder;
    const QString path = folder.filePath("talk.kvprj");
    TestWindow t;
    auto& [device, prompts, w, c] = t;
    QCOMPARE(c.TimerAutoSaver->interval(), 30000);
    QVERIFY(c.TimerAutoSaver->isActive());

    // Without a project file the tick leaves the work alone.
    transcribe(t);
    w.TimerAutoSaver_Timer();
    QVERIFY(w.state().isDirty);
    QCOMPARE(w.windowTitle(), QString("Kelvane *"));

    saveAs(t, path);
    c.txtScript->setPlainText("typed later");
    QCOMPARE(w.windowTitle(), Product + " *" + path);
    // The timer's tick, whatever the device is doing.
    device.advance(1000);
    QVERIFY(QMetaObject::invokeMethod(c.TimerAutoSaver, "timeout"));
    QVERIFY(!w.state().isDirty);
    QCOMPARE(w.windowTitle(), Product + ' ' + path);
    QVERIFY(TestFiles::read(path).endsWith("<|S|>typed later\r\n"));
    // An unchanged project is rewritten all the same.
    QVERIFY(QFile::remove(path));
    w.TimerAutoSaver_Timer();
    QVERIFY(TestFiles::read(path).endsWith("<|S|>typed later\r\n"));
    QVERIFY(prompts.asked.isEmpty());
}

void TestProjectCommands::failedSavesKeepTheWork()
{
    QTemporaryDir folder;
    TestWindow t;
    auto& [device, prompts, w, c] = t;
    transcribe(t);

    // Save As into a folder that is not there: the user is told where and
    // why, and the project has no file still, also for an auto-save tick
    // while the message is open (the folder is back by then).
    const QString nowhere = folder.filePath("gone/talk.kvprj");
    prompts.script({Prompts::Answer::Ok});
    prompts.whileAsking = [&](const QString& text) {
        if (!text.contains("could not be saved"))
            return; // the Save As dialog
        QDir().mkpath(folder.filePath("gone"));
        w.TimerAutoSaver_Timer();
    };
    saveAs(t, nowhere);
    prompts.whileAsking = nullptr;
    QCOMPARE(prompts.asked.size(), 1);
    QVERIFY(prompts.asked[0].text.contains(nowhere));
    QVERIFY(prompts.asked[0].text.contains("No such file or directory"));
    QCOMPARE(prompts.asked[0].buttons, Prompts::Buttons::Ok);
    QVERIFY(!QFileInfo::exists(nowhere));
    QCOMPARE(w.state().projectFile, QString());
    QVERIFY(w.state().isDirty);
    QCOMPARE(w.windowTitle(), QString("Kelvane *"));

    // A device is not a project file.
    const QString path = folder.filePath("talk.kvprj");
    saveAs(t, path);
    c.txtScript->setPlainText("more");
    prompts.script({Prompts::Answer::Ok});
    saveAs(t, "/dev/full");
    QCOMPARE(prompts.asked.size(), 2);
    QVERIFY(prompts.asked[1].text.contains("/dev/full"));
    QVERIFY(prompts.asked[1].text.contains("not a regular file"));
    QCOMPARE(w.state().projectFile, path);
    QCOMPARE(w.windowTitle(), Product + " *" + path);

    // A disk that fills up halfway (a file size limit stands in for it): the
    // project file keeps its old content, the work stays unsaved.
    {
        const TestFiles::DiskFull full(100);
        QVERIFY(full.active());
        prompts.script({Prompts::Answer::Ok});
        w.menuSave_Click();
    }
    QCOMPARE(prompts.asked.size(), 3);
    QVERIFY(prompts.asked[2].text.contains(path));
    QVERIFY(prompts.asked[2].text.contains("too large"));
    QCOMPARE(TestFiles::read(path), TranscribedFile);
    QVERIFY(w.state().isDirty);
    QCOMPARE(w.windowTitle(), Product + " *" + path);

    // Save to a project whose folder has gone; an auto-save tick while the
    // message is open does not report the same failure again.
    QVERIFY(QDir(folder.path()).removeRecursively());
    prompts.script({Prompts::Answer::Ok, Prompts::Answer::Ok});
    bool ticked = false;
    prompts.whileAsking = [&](const QString&) {
        if (!std::exchange(ticked, true))
            w.TimerAutoSaver_Timer();
    };
    w.menuSave_Click();
    prompts.whileAsking = nullptr;
    QCOMPARE(prompts.asked.size(), 4);
    QVERIFY(prompts.asked[3].text.contains(path));
    QVERIFY(w.state().isDirty);
    QCOMPARE(w.windowTitle(), Product + " *" + path);
    QCOMPARE(rowCells(*c.oGrid, 3).last(), QString("more"));
    QCOMPARE(prompts.unexpected, 0);
}

void TestProjectCommands::autoSaveReportsAFailureOnce()
{
    QTemporaryDir folder;
    const QString projects = folder.filePath("projects");
    QVERIFY(QDir().mkpath(projects));
    const QString path = projects + "/talk.kvprj";
    TestWindow t;
    auto& [device, prompts, w, c] = t;
    transcribe(t);
    saveAs(t, path);

    QVERIFY(QDir(projects).removeRecursively());
    c.txtScript->setPlainText("while the folder is gone");
    prompts.script({Prompts::Answer::Ok});
    for (int tick = 0; tick < 3; ++tick)
        w.TimerAutoSaver_Timer();
    QCOMPARE(prompts.asked.size(), 1);
    QVERIFY(prompts.asked[0].text.contains(path));
    QVERIFY(w.state().isDirty);
    QCOMPARE(w.windowTitle(), Product + " *" + path);

    // Once a save succeeds, the next failure is reported again.
    QVERIFY(QDir().mkpath(projects));
    w.TimerAutoSaver_Timer();
    QVERIFY(!w.state().isDirty);
    QVERIFY(TestFiles::read(path).endsWith("<|S|>while the folder is gone\r\n"));
    QCOMPARE(prompts.asked.size(), 1);
    QVERIFY(QDir(projects).removeRecursively());
    prompts.script({Prompts::Answer::Ok});
    w.TimerAutoSaver_Timer();
    w.TimerAutoSaver_Timer();
    QCOMPARE(prompts.asked.size(), 2);
    QCOMPARE(prompts.unexpected, 0);
}

void TestProjectCommands::readOnlyProjectFile()
{
    if (Unprivileged::runningAsRoot()) {
        QVERIFY(Unprivileged::rerun("readOnlyProjectFile"));
        return;
    }
    QTemporaryDir folder;
    const QString path = folder.filePath("talk.kvprj");
    TestWindow t;
    auto& [device, prompts, w, c] = t;
    transcribe(t);
    saveAs(t, path);
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadUser));
    c.txtScript->setPlainText("not stored");
    prompts.script({Prompts::Answer::Ok});
    w.menuSave_Click();
    QCOMPARE(prompts.asked.size(), 1);
    QVERIFY(prompts.asked[0].text.contains(path));
    QVERIFY(prompts.asked[0].text.contains("not writable"));
    QCOMPARE(TestFiles::read(path), TranscribedFile);
    QVERIFY(w.state().isDirty);
    QCOMPARE(w.windowTitle(), Product + " *" + path);
}

void TestProjectCommands::saveQuestionsStopWhenTheSaveFails()
{
    QTemporaryDir folder;
    struct Case
    {
        const char* name;
        void (FormMain::*command)();
        QList<Prompts::Answer> answers;
        QString saveAsPath; // "" cancels the Save As dialog
        bool goesOn;
    };
    const QString existing = folder.filePath("existing.kvprj");
    QVERIFY(TestFiles::write(existing, "keep me"));
    const QList<Case> cases = {
        {"new, save cancelled", &FormMain::menuOpen_Click, {Prompts::Answer::Yes}, "", false},
        {"open, save cancelled", &FormMain::menuLoad_Click, {Prompts::Answer::Yes}, "", false},
        {"new, overwrite declined",
         &FormMain::menuOpen_Click,
         {Prompts::Answer::Yes, Prompts::Answer::Cancel},
         existing,
         false},
        {"open, write failed",
         &FormMain::menuLoad_Click,
         {Prompts::Answer::Yes, Prompts::Answer::Ok},
         folder.filePath("gone/x.kvprj"),
         false},
        {"new, saved",
         &FormMain::menuOpen_Click,
         {Prompts::Answer::Yes},
         folder.filePath("saved.kvprj"),
         true},
        {"open, no", &FormMain::menuLoad_Click, {Prompts::Answer::No}, QString(), true},
    };
    for (const Case& test : cases) {
        TestWindow t;
        auto& [device, prompts, w, c] = t;
        transcribe(t);
        prompts.dialogs.clear();
        prompts.script(test.answers);
        // The Save As dialog if Yes asks for it, then the command's own
        // dialog, cancelled.
        if (test.answers.first() == Prompts::Answer::Yes)
            prompts.scriptFiles({test.saveAsPath, ""});
        else
            prompts.scriptFiles({""});
        (w.*test.command)();

        QCOMPARE(prompts.asked[0].text, SaveQuestion);
        if (test.goesOn) {
            QVERIFY2(c.oGrid->rows() == 2, test.name);
            QCOMPARE(rowCells(*c.oGrid, 1), QStringList({"", "", "", "", ""}));
            QVERIFY2(!w.state().isDirty, test.name);
        } else {
            // The command stopped before emptying the workspace.
            QVERIFY2(c.oGrid->rows() == 4, test.name);
            QCOMPARE(rowCells(*c.oGrid, 1).last(), QString("first second"));
            QCOMPARE(w.state().mediaFile, Media);
            QVERIFY2(w.state().isDirty, test.name);
            QCOMPARE(w.windowTitle(), QString("Kelvane *"));
            QCOMPARE(prompts.dialogs.size(), 1); // the Save As dialog only
            QCOMPARE(TestFiles::read(existing), QByteArray("keep me"));
        }
        QVERIFY2(prompts.unexpected == 0, test.name);
    }
}

void TestProjectCommands::quitWithAFailedSaveKeepsTheWindow()
{
    TestWindow t;
    auto& [device, prompts, w, c] = t;
    w.show();
    transcribe(t);
    // Paused with a text typed for the capture section.
    w.menuPlay_Click();
    w.Timer1_Timer();
    c.txtScript->setPlainText("typed before closing");

    // Yes, then the Save As dialog cancelled: the window stays. The closed
    // device's status updates meanwhile leave the capture section's end.
    prompts.script({Prompts::Answer::Yes});
    prompts.scriptFiles({""});
    prompts.whileAsking = [&](const QString&) {
        device.advance(1000);
        w.MMC_StatusUpdate();
    };
    QVERIFY(!w.close());
    prompts.whileAsking = nullptr;
    QCOMPARE(rowCells(*c.oGrid, 3),
             QStringList({"9500", "10000", "00:00:09", "00:00:10", "typed before closing"}));
    QVERIFY(w.isVisible());
    QCOMPARE(prompts.asked.last().text, QuitQuestion);
    QCOMPARE(device.mode(), DeviceMode::NotOpen);
    QCOMPARE(c.cmdPlay->Caption(), QString("Play (F11)"));
    QCOMPARE(c.oGrid->rows(), 4);
    QCOMPARE(c.txtScript->toPlainText(), QString("typed before closing"));

    // A media file that has gone meanwhile: Play tells the user and keeps
    // the work.
    device.removeMedia(Media);
    prompts.script({Prompts::Answer::Ok});
    w.menuPlay_Click();
    QCOMPARE(prompts.asked.last().text,
             QString("Sorry. The application doesn't support this type of media."));
    QCOMPARE(c.oGrid->rows(), 4);
    QCOMPARE(c.txtScript->toPlainText(), QString("typed before closing"));
    QVERIFY(w.state().isDirty);
    QCOMPARE(w.windowTitle(), QString("Kelvane *"));

    // Back in its place, Play opens the media again and replays the last
    // section, from where the work goes on.
    device.addMedia(Media, MediaLength);
    w.menuPlay_Click();
    QCOMPARE(device.mode(), DeviceMode::Playing);
    QCOMPARE(device.From(), 9500);
    QCOMPARE(c.oGrid->row(), 3);
    QCOMPARE(c.txtScript->toPlainText(), QString("typed before closing"));
    device.advance(2000);
    w.Timer1_Timer();
    QCOMPARE(device.mode(), DeviceMode::Paused);
    QCOMPARE(c.cmdPlay->Caption(), QString("Continue (F11)"));
    w.menuPlay_Click(); // Continue commits the section and captures on
    QCOMPARE(c.oGrid->rows(), 5);
    QCOMPARE(rowCells(*c.oGrid, 3).last(), QString("typed before closing"));
    QCOMPARE(device.mode(), DeviceMode::Playing);

    // No closes without saving.
    prompts.script({Prompts::Answer::No});
    QVERIFY(w.close());
    QVERIFY(!w.isVisible());
    QCOMPARE(prompts.unexpected, 0);
}

void TestProjectCommands::openProjectContinuesWhereItEnded()
{
    QTemporaryDir folder;
    const QString path = folder.filePath("talk.kvprj");
    QVERIFY(TestFiles::write(path, TranscribedFile));
    TestWindow t;
    auto& [device, prompts, w, c] = t;
    w.show();
    device.addMedia(Media, MediaLength);
    prompts.scriptFiles({path});
    w.menuLoad_Click();

    const FileDialogRequest& request = prompts.dialogs.last();
    QCOMPARE(request.mode, FileDialogMode::Open);
    QCOMPARE(request.title, QString("Open Project"));
    QCOMPARE(request.initialFileName, QString());
    QCOMPARE(request.filters.size(), 1);
    QCOMPARE(request.filters[0].patterns, QString("*.kvprj"));
    QCOMPARE(request.defaultExtension, QString("kvprj"));

    SectionGrid& grid = *c.oGrid;
    QCOMPARE(grid.rows(), 4);
    QCOMPARE(rowCells(grid, 1), QStringList({"0", "4000", "00:00:00", "00:00:04", "first second"}));
    QCOMPARE(rowCells(grid, 2).last(), QString("Zażółć – €5"));
    // Loaded rows are striped like captured ones.
    const QColor white(255, 255, 255);
    for (int column = 0; column < grid.cols(); ++column) {
        QCOMPARE(grid.table().cellBackground(1, column), white);
        QVERIFY(grid.table().cellBackground(0, column) != white);
        QVERIFY(grid.table().cellBackground(2, column) != white);
    }
    QCOMPARE(c.lblMediaFile->text(), QString("interview.wav"));

    // The media opened and the last section is replaying: the work goes on
    // where it ended. The project counts as changed, the caption shows no
    // star.
    QCOMPARE(device.commands().mid(1, 3), QStringList({"close", "open", "play"}));
    QCOMPARE(device.mode(), DeviceMode::Playing);
    QCOMPARE(device.From(), 9500);
    QCOMPARE(grid.row(), 3);
    QVERIFY(c.cmdPlay->isHidden());
    QVERIFY(w.state().isDirty);
    QCOMPARE(w.windowTitle(), Product + ' ' + path);

    // The next auto-save writes the same file back.
    w.TimerAutoSaver_Timer();
    QVERIFY(!w.state().isDirty);
    QCOMPARE(TestFiles::read(path), TranscribedFile);

    // Opening it again asks first when changes are unsaved; a cancelled
    // dialog leaves an empty workspace.
    c.txtScript->setPlainText("changed");
    prompts.script({Prompts::Answer::No});
    prompts.scriptFiles({""});
    w.menuLoad_Click();
    QCOMPARE(prompts.asked.last().text, SaveQuestion);
    QCOMPARE(grid.rows(), 2);
    QCOMPARE(w.windowTitle(), Product);
    QCOMPARE(w.state().projectFile, QString());

    // A project without media loads, plays nothing, and shows the text of
    // its last section, where typing goes on.
    const QString noMedia = folder.filePath("notes.kvprj");
    QVERIFY(
        TestFiles::write(noMedia, "kv project file\r\n\r\n<|S|><|S|><|S|><|S|>notes so far\r\n"));
    prompts.scriptFiles({noMedia});
    w.menuLoad_Click();
    QCOMPARE(w.windowTitle(), Product + ' ' + noMedia);
    QVERIFY(!w.state().isDirty);
    QCOMPARE(c.txtScript->toPlainText(), QString("notes so far"));
    QTest::keyClicks(c.txtScript, " and more");
    QCOMPARE(grid.text(1, 4), QString("notes so far and more"));
    QCOMPARE(prompts.unexpected, 0);
}

void TestProjectCommands::openProjectRejectsWhatItCannotLoad()
{
    QTemporaryDir folder;
    TestWindow t;
    auto& [device, prompts, w, c] = t;

    // Not a project file: an empty workspace, no message, the caption
    // ending in a blank.
    const QString text = folder.filePath("notes.txt");
    QVERIFY(TestFiles::write(text, "KV project file\r\n\r\n<|S|><|S|><|S|><|S|>\r\n"));
    prompts.scriptFiles({text});
    w.menuLoad_Click();
    QCOMPARE(w.windowTitle(), Product + ' ');
    QVERIFY(prompts.asked.isEmpty());
    QCOMPARE(c.oGrid->rows(), 2);

    // A file that cannot be read: the reason is shown.
    prompts.scriptFiles({folder.filePath("vanished.kvprj")});
    prompts.script({Prompts::Answer::Ok});
    w.menuLoad_Click();
    QCOMPARE(prompts.asked.size(), 1);
    QVERIFY(prompts.asked[0].text.contains(folder.filePath("vanished.kvprj")));
    QVERIFY(prompts.asked[0].text.contains("No such file or directory"));
    QCOMPARE(w.windowTitle(), Product + ' ');

    // A media file that will not play: the user is told and the workspace
    // is emptied; the project file is never written meanwhile, not even by
    // an auto-save tick while the message is open.
    const QString path = folder.filePath("lost-media.kvprj");
    const QByteArray unusual = "kv project file\n/recordings/lost.wav\n"
                               "0<|S|>5<|S|>00:00:00<|S|>00:00:05<|S|>kept as it is\n";
    QVERIFY(TestFiles::write(path, unusual));
    prompts.scriptFiles({path});
    prompts.script({Prompts::Answer::Ok});
    prompts.whileAsking = [&](const QString&) {
        w.TimerAutoSaver_Timer();
    };
    w.menuLoad_Click();
    QCOMPARE(prompts.asked.last().text,
             QString("Sorry. The application doesn't support this type of media."));
    QCOMPARE(TestFiles::read(path), unusual);
    QCOMPARE(w.state().projectFile, QString());
    QCOMPARE(c.oGrid->rows(), 2);
    QCOMPARE(w.windowTitle(), Product + ' ');
    w.TimerAutoSaver_Timer();
    QCOMPARE(TestFiles::read(path), unusual);

    // A media file whose name holds a line break could not be stored.
    prompts.whileAsking = nullptr;
    prompts.scriptFiles({"/recordings/two\nlines.wav"});
    prompts.script({Prompts::Answer::Ok});
    w.menuOpen_Click();
    QVERIFY(prompts.asked.last().text.contains("line break"));
    QCOMPARE(w.state().mediaFile, QString());
    QCOMPARE(c.lblMediaFile->text(), QString());
    QCOMPARE(prompts.unexpected, 0);
}

void TestProjectCommands::recoveryCopyKeepsUnsavedWork()
{
    QTemporaryDir folder;
    const QString recovery = recoveryFilePath();
    removeRecoveryFile();
    TestWindow t;
    auto& [device, prompts, w, c] = t;

    // A copy that cannot be written is told once, not at every Continue.
    QVERIFY(QDir().mkpath(recovery));
    prompts.script({Prompts::Answer::Ok});
    transcribe(t);
    QCOMPARE(prompts.asked.size(), 1);
    QVERIFY(prompts.asked[0].text.startsWith(
        "Kelvane could not keep a recovery copy of the unsaved work in\n" + recovery));
    QVERIFY(prompts.asked[0].text.contains("not a regular file"));

    // Once it can, the auto-saver's tick writes the whole workspace, where
    // nobody else may read it.
    QVERIFY(QDir(recovery).removeRecursively());
    w.TimerAutoSaver_Timer();
    QCOMPARE(TestFiles::read(recovery), "kv recovery file\r\n\r\n" + TranscribedFile);
    QCOMPARE(QFileInfo(QFileInfo(recovery).path()).permissions() & 0x0077, QFile::Permissions());

    // A pause writes nothing, nor does typing; Continue keeps the section.
    QVERIFY(TestFiles::write(recovery, "stale"));
    w.menuPlay_Click();
    c.txtScript->setPlainText("third");
    QCOMPARE(TestFiles::read(recovery), QByteArray("stale"));
    w.menuPlay_Click();
    QVERIFY(TestFiles::read(recovery).contains("<|S|>third\r\n"));
    QCOMPARE(prompts.asked.size(), 1);

    // A save removes it, and an auto-save that succeeds leaves none.
    const QString path = folder.filePath("talk.kvprj");
    saveAs(t, path);
    QVERIFY(!QFileInfo::exists(recovery));
    c.txtScript->setPlainText("fourth");
    w.TimerAutoSaver_Timer();
    QVERIFY(!QFileInfo::exists(recovery));

    // A project whose file cannot be written goes to the copy, with the
    // project's path.
    const QString gone = folder.filePath("gone/talk.kvprj");
    QVERIFY(QDir().mkpath(folder.filePath("gone")));
    saveAs(t, gone);
    QVERIFY(QDir(folder.filePath("gone")).removeRecursively());
    c.txtScript->setPlainText("fifth");
    prompts.script({Prompts::Answer::Ok});
    w.TimerAutoSaver_Timer();
    QVERIFY(prompts.asked.last().text.contains("could not be saved"));
    std::optional<RecoveredWork> work = readRecoveryFileBytes(TestFiles::read(recovery));
    QVERIFY(work);
    QCOMPARE(work->projectFile, gone);
    QCOMPARE(work->content.rows.back().back(), QString("fifth"));

    // A quit whose save does not happen keeps it; letting the work go
    // removes it.
    w.show();
    prompts.script({Prompts::Answer::Yes, Prompts::Answer::Ok});
    QVERIFY(!w.close());
    QVERIFY(QFileInfo::exists(recovery));
    prompts.script({Prompts::Answer::No});
    QVERIFY(w.close());
    QVERIFY(!QFileInfo::exists(recovery));

    // So does No to saving before a new transcription.
    prompts.script({Prompts::Answer::No});
    transcribe(t);
    QVERIFY(QFileInfo::exists(recovery));
    prompts.script({Prompts::Answer::No});
    prompts.scriptFiles({""});
    w.menuOpen_Click();
    QVERIFY(!QFileInfo::exists(recovery));
    QCOMPARE(prompts.unexpected, 0);
}

void TestProjectCommands::startUpOffersTheRecoveryCopy()
{
    QTemporaryDir folder;
    const QString recovery = recoveryFilePath();
    const QString path = folder.filePath("talk.kvprj");
    const ProjectContent content = *readProjectFileBytes(TranscribedFile);
    removeRecoveryFile();

    // Nothing to recover: nothing is asked.
    {
        TestWindow t;
        QVERIFY(!t.w.project().offerRecovery());
        QVERIFY(t.prompts.asked.isEmpty());
    }

    // Yes loads the work as Open Project would, with the path of the project
    // it belongs to, still unsaved. The copy stays until a save.
    QVERIFY(writeRecoveryFile(path, content) == std::nullopt);
    {
        TestWindow t;
        auto& [device, prompts, w, c] = t;
        device.addMedia(Media, MediaLength);
        prompts.script({Prompts::Answer::Yes});
        QVERIFY(w.project().offerRecovery());
        QCOMPARE(prompts.asked.size(), 1);
        QCOMPARE(prompts.asked[0].text, RecoveryQuestion);
        QCOMPARE(prompts.asked[0].buttons, Prompts::Buttons::YesNo);
        QCOMPARE(rowCells(*c.oGrid, 2).last(), QString("Zażółć – €5"));
        QCOMPARE(c.oGrid->rows(), 4);
        QCOMPARE(device.mode(), DeviceMode::Playing);
        QCOMPARE(device.From(), 9500);
        QCOMPARE(w.state().projectFile, path);
        QVERIFY(w.state().isDirty);
        QCOMPARE(w.windowTitle(), Product + " *" + path);
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(QFileInfo::exists(recovery));
        w.TimerAutoSaver_Timer();
        QCOMPARE(TestFiles::read(path), TranscribedFile);
        QVERIFY(!QFileInfo::exists(recovery));
    }

    // Work that had no project file comes back without one. A project named
    // on the command line then asks to save it first; No lets it go.
    QVERIFY(writeRecoveryFile("", content) == std::nullopt);
    {
        TestWindow t;
        auto& [device, prompts, w, c] = t;
        device.addMedia(Media, MediaLength);
        prompts.script({Prompts::Answer::Yes, Prompts::Answer::No});
        QVERIFY(w.project().offerRecovery());
        QCOMPARE(w.windowTitle(), QString("Kelvane *"));
        QCOMPARE(c.oGrid->rows(), 4);
        w.project().openFile(path);
        QCOMPARE(prompts.asked.last().text, SaveQuestion);
        QCOMPARE(w.windowTitle(), Product + ' ' + path);
        QVERIFY(!QFileInfo::exists(recovery));
        QCOMPARE(prompts.unexpected, 0);
    }

    // Recovered work whose media has gone stays, for the user to save.
    QVERIFY(writeRecoveryFile(path, content) == std::nullopt);
    {
        TestWindow t;
        auto& [device, prompts, w, c] = t;
        prompts.script({Prompts::Answer::Yes, Prompts::Answer::Ok});
        QVERIFY(w.project().offerRecovery());
        QCOMPARE(prompts.asked.last().text,
                 QString("Sorry. The application doesn't support this type of media."));
        QCOMPARE(c.oGrid->rows(), 4);
        QCOMPARE(w.windowTitle(), Product + " *" + path);
        QFile::remove(path);
        w.TimerAutoSaver_Timer();
        QCOMPARE(TestFiles::read(path), TranscribedFile);
    }

    // No deletes the copy.
    QVERIFY(writeRecoveryFile("", content) == std::nullopt);
    {
        TestWindow t;
        t.prompts.script({Prompts::Answer::No});
        QVERIFY(!t.w.project().offerRecovery());
        QVERIFY(!QFileInfo::exists(recovery));
        QCOMPARE(t.c.oGrid->rows(), 2);
        QCOMPARE(t.w.windowTitle(), Product);
    }

    // A damaged copy is set aside, not lost, and the user is told where.
    QVERIFY(TestFiles::write(recovery, "kv recovery file\r\n"));
    {
        TestWindow t;
        t.prompts.script({Prompts::Answer::Yes, Prompts::Answer::Ok});
        QVERIFY(!t.w.project().offerRecovery());
        const QStringList kept = QDir(QFileInfo(recovery).path())
                                     .entryList({"recovery.kvrec.unreadable-*"}, QDir::Files);
        QCOMPARE(kept.size(), 1);
        QVERIFY(t.prompts.asked.last().text.contains(kept[0]));
        QVERIFY(t.prompts.asked.last().text.contains("damaged"));
        QCOMPARE(TestFiles::read(QFileInfo(recovery).dir().filePath(kept[0])),
                 QByteArray("kv recovery file\r\n"));
        QVERIFY(!QFileInfo::exists(recovery));
        QCOMPARE(t.c.oGrid->rows(), 2);
        QCOMPARE(t.prompts.unexpected, 0);
    }
}

QTEST_MAIN(TestProjectCommands)
#include "tst_projectcommands.moc"

#include "ScriptedPrompts.h"
#include "TestFiles.h"

#include "model/WorkspaceState.h"
#include "project/ProjectCommands.h"
#include "project/ProjectWindow.h"
#include "storage/RecoveryFile.h"

#include <QDir>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

using Answer = Prompts::Answer;
using Problem = ProjectWindow::Problem;

// The window as the commands see it; like the real one, it has its commands.
struct Window final : ProjectWindow
{
    SectionTableModel& table() override { return rows; }
    WorkspaceState& state() override { return work; }
    void resetWorkspace() override
    {
        work = {{}, {}, false, work.loadingProject};
        rows.loadRows({{}});
    }
    void setMediaFile(const QString& path) override { work.mediaFile = path; }
    void showProjectCaption() override { caption = work.projectFile; }
    void markUnsaved() override { work.isDirty = true; }
    void setScriptText(const QString& text) override { scriptText = text; }
    // The media opens; a tick of the auto-saver may come meanwhile.
    void continueWork() override { ++continued, commands.autoSave(); }
    void showProblem(Problem problem, const QString& text) override { problems[problem] = text; }
    void clearProblem(Problem problem) override { problems.remove(problem); }
    void type(const QString& text) // unsaved work: one section holding `text`
    {
        rows.loadRows({{"0", "4", "00:00:00", "00:00:00", text}});
        work.mediaFile = "/m";
        work.isDirty = true;
    }
    QString told(int message) const { return prompts.asked.value(message).text; }
    QString caption, scriptText;
    QMap<Problem, QString> problems;
    int continued = 0;
    ScriptedPrompts prompts;
    ProjectCommands commands{*this, prompts, nullptr};
    SectionTableModel rows;
    WorkspaceState work;
};

class TestProjectCommands : public QObject
{
    Q_OBJECT
    QTemporaryDir data;

private slots:
    // A data folder made afresh for every run, as a new user's would be.
    void initTestCase() { qputenv("XDG_DATA_HOME", QFile::encodeName(data.path())); }
    void saving();
    void questionsBeforeNewOpenAndQuit();
    void openingAndRecovery();
};

void TestProjectCommands::saving()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a"), other = dir.filePath("b"), gone = dir.filePath("c/d");
    const auto holds = [](const QString& file, const QByteArray& text) { // as type() left it
        return TestFiles::read(file) ==
               "kv project file\r\n/m\r\n0<|S|>4<|S|>00:00:00<|S|>00:00:00<|S|>" + text + "\r\n";
    };
    Window w;
    w.type("first");
    // Save asks for a file while there is none; Save As asks before
    // overwriting (Cancel), and a failed one keeps the former file.
    QVERIFY(TestFiles::write(other, "keep me"));
    w.prompts.scriptFiles({path, other, gone, other});
    w.prompts.script({Answer::Cancel, Answer::Ok, Answer::Ok, Answer::Ok, Answer::Ok});
    QVERIFY(w.commands.save() && !w.state().isDirty && holds(path, "first"));
    QVERIFY(!w.commands.saveAs() && !w.commands.saveAs() && w.state().projectFile == path);
    QVERIFY(w.told(1).contains(gone + "\n\nNo such file or directory"));
    QVERIFY(w.commands.saveAs() && w.state().projectFile == other && holds(other, "first"));
    // A failed save is told; the auto-saver's failures show in the window
    // until a save succeeds, and meanwhile the recovery copy keeps the work.
    QVERIFY(QDir(dir.path()).removeRecursively());
    w.type("second");
    w.prompts.whileAsking = std::bind(&ProjectCommands::autoSave, &w.commands);
    QVERIFY(!w.commands.save());
    const auto copy = readRecoveryFileBytes(TestFiles::read(recoveryFilePath()));
    QVERIFY(w.prompts.asked.size() == 4 && copy && copy->projectFile == other);
    QVERIFY(w.problems.value(Problem::AutoSave).contains("Kelvane keeps trying"));
    QVERIFY(QDir().mkpath(dir.path()));
    w.commands.autoSave();
    QVERIFY(holds(other, "second") && w.problems.isEmpty());
    // Someone else writes the file: the auto-saver leaves it alone and says
    // so; Save asks (Cancel, then Keep Both: beside it, under a new name).
    QVERIFY(TestFiles::write(other, "theirs"));
    w.type("mine");
    w.commands.autoSave();
    QVERIFY(TestFiles::read(other) == "theirs" && w.problems.contains(Problem::ChangedOnDisk));
    w.prompts.scriptChoices({3, 2});
    QVERIFY(!w.commands.save() && w.commands.save() && holds(other + " (2)", "mine"));
    QVERIFY(TestFiles::read(other) == "theirs" && w.state().projectFile == other + " (2)");
    QVERIFY(w.problems.isEmpty() && QDir(dir.path()).removeRecursively());
    w.type("third");
    w.commands.autoSave();
    QVERIFY(w.prompts.asked.size() == 6 && w.problems.contains(Problem::AutoSave));
    QCOMPARE(w.prompts.unexpected, 0);
}

// Unsaved work is offered to be saved first; what goes on lets its copy go,
// and Cancel backs out of the command.
void TestProjectCommands::questionsBeforeNewOpenAndQuit()
{
    const QString other = QCoreApplication::applicationFilePath();
    const std::tuple<QList<Answer>, QString, bool> cases[] = {
        {{Answer::Yes}, "", false},                            // the Save As dialog cancelled
        {{Answer::Yes, Answer::Ok}, data.filePath("x"), true}, // Ok overwrites it later
        {{Answer::No}, "", true},
        {{Answer::Cancel}, "", false}}; // backs out: no dialog at all
    // Each command runs, then tells whether it went on.
    const std::function<bool(Window&)> commands[] = {
        [](Window& w) { return w.commands.offerToSaveBeforeQuit(); },
        [&](Window& w) { return w.commands.openFile(other), w.state().mediaFile.isEmpty(); },
        [](Window& w) { return w.commands.newTranscription(), w.state().mediaFile.isEmpty(); },
        [](Window& w) { return w.commands.open(), w.state().mediaFile.isEmpty(); },
    };
    for (int command = 0; command < 4; ++command) {
        for (const auto& [answers, saveAs, goesOn] : cases) {
            Window w;
            w.type("first");
            w.commands.keepRecoveryCopy();
            w.prompts.script(answers);
            w.prompts.scriptFiles({saveAs, ""}); // then the command's own dialog
            const bool wentOn = commands[command](w);
            const QByteArray name = QByteArray::number(command) + saveAs.toUtf8();
            QVERIFY2(w.told(0).startsWith("Do you want to save the ") && wentOn == goesOn, name);
            QVERIFY2(QFile::exists(recoveryFilePath()) != goesOn && !w.prompts.unexpected, name);
            QVERIFY2(w.prompts.asked[0].buttons == Prompts::Buttons::YesNoCancel, name);
            if (answers[0] == Answer::Cancel)
                QVERIFY2(w.prompts.dialogs.isEmpty() && w.table().cell(0, 4) == "first", name);
        }
    }
}

// Open fills the workspace and the work goes on; the auto-save while the
// media opens writes nothing, so line ends another editor left stay.
void TestProjectCommands::openingAndRecovery()
{
    const QString path = data.filePath("a"), copy = recoveryFilePath();
    const QByteArray file =
        "kv project file\n/m\n0<|S|>4<|S|>00:00:00<|S|>00:00:00<|S|>1\n<|S|><|S|><|S|><|S|>2";
    QVERIFY(TestFiles::write(path, file));
    Window w;
    w.prompts.scriptFiles({path, "/two\nlines", "/two\rlines"});
    w.prompts.script({Answer::Ok, Answer::Ok});
    w.commands.open();
    QVERIFY(w.state().projectFile == path && w.caption == path && w.state().mediaFile == "/m");
    QVERIFY(w.table().rowCount() == 2 && w.table().cell(0, 4) == "1" && w.scriptText == "2");
    QVERIFY(w.continued == 1 && !w.state().loadingProject && TestFiles::read(path) == file);
    // A media path with a line break would not fit on its line of the file.
    for (int media = 0; media < 2; ++media)
        w.commands.newTranscription();
    QVERIFY(w.state().mediaFile.isEmpty() && w.told(1).contains("line break"));
    // A copy a dead program left is offered at start-up, its journal's row
    // over it. No deletes it; a damaged one is set aside, not lost, and the
    // user is told where.
    const QDir folder = QFileInfo(copy).dir();
    const QString dead = folder.filePath("dead.kvrec"), damaged = folder.filePath("recovery.kvrec");
    w.type("kept");
    w.commands.keepRecoveryCopy();
    w.rows.setCell(0, 4, "typed since");
    w.commands.keepTyping(0);
    QVERIFY(QFile::rename(copy, dead) &&
            QFile::rename(copy.chopped(6) + ".journal", folder.filePath("dead.journal")));
    w.prompts.script({Answer::Yes, Answer::No, Answer::Yes, Answer::Ok});
    QVERIFY(w.commands.offerRecovery() && w.table().cell(0, 4) == "typed since");
    QVERIFY2(w.told(2).contains("Project: a new project"), qPrintable(w.told(2)));
    QVERIFY(!QFile::exists(dead) && readRecoveryFileBytes(TestFiles::read(copy)));
    for (int offer = 0; offer < 2; ++offer) {
        QVERIFY(TestFiles::write(damaged, "kv recovery file\r\n"));
        QVERIFY(!w.commands.offerRecovery() && !QFile::exists(damaged) && w.continued == 2);
    }
    const QStringList aside = folder.entryList({"recovery.kvrec.unreadable-*"}, QDir::Files);
    QVERIFY(aside.size() == 1 && w.told(5).contains(aside[0]) && !w.prompts.unexpected);
    QCOMPARE(TestFiles::read(folder.filePath(aside.value(0))), "kv recovery file\r\n");
    // A damaged line keeps its words; the file as it was is kept beside it
    // first, and no auto-save writes over it while the user reads why.
    const QByteArray broken = "kv project file\n/m\n2000<|S|>5000<|S|>00:00:02<|S|>00:00:05 Good";
    QVERIFY(TestFiles::write(path, broken));
    w.prompts.whileAsking = std::bind(&ProjectCommands::autoSave, &w.commands);
    w.prompts.script({Answer::No, Answer::Ok});
    w.commands.openFile(path);
    QVERIFY(TestFiles::read(path) == broken && TestFiles::read(path + ".bak") == broken);
    QVERIFY(w.table().cell(0, 4) == "2000 5000 00:00:02 00:00:05 Good" && w.rows.rowCount() == 2);
    QVERIFY(w.told(7).contains("kept as") && !w.prompts.unexpected);
}

QTEST_GUILESS_MAIN(TestProjectCommands)
#include "tst_projectcommands.moc"

#include "ScriptedPrompts.h"
#include "TestFiles.h"

#include "model/WorkspaceState.h"
#include "project/ProjectCommands.h"
#include "project/ProjectWindow.h"
#include "storage/RecoveryFile.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using Answer = Prompts::Answer;

// The window as the commands see it; like the real one, it has its commands.
struct Window final : ProjectWindow
{
    SectionTableModel& table() override { return rows; }
    WorkspaceState& state() override { return work; }
    void resetWorkspace() override
    {
        work = {{}, {}, false, false, work.recoveryFailureReported, work.loadingProject};
        rows.loadRows({{}});
    }
    void setMediaFile(const QString& path) override { work.mediaFile = path; }
    void showProjectCaption() override { caption = work.projectFile; }
    void markUnsaved() override { work.isDirty = true; }
    void setScriptText(const QString& text) override { scriptText = text; }
    // The media opens; a tick of the auto-saver may come meanwhile.
    void continueWork() override { ++continued, commands.autoSave(); }
    void type(const QString& text) // unsaved work: one section holding `text`
    {
        rows.loadRows({{"0", "4", "0", "4", text}});
        work.mediaFile = "/m";
        work.isDirty = true;
    }
    QString told(int message) const { return prompts.asked.value(message).text; }
    QString caption, scriptText;
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
               "kv project file\r\n/m\r\n0<|S|>4<|S|>0<|S|>4<|S|>" + text + "\r\n";
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
    // A failed save is told once, also to the auto-saver while it is told,
    // until a save succeeds; meanwhile the recovery copy keeps the work.
    QVERIFY(QDir(dir.path()).removeRecursively());
    w.type("second");
    w.prompts.whileAsking = std::bind(&ProjectCommands::autoSave, &w.commands);
    QVERIFY(!w.commands.save());
    const auto copy = readRecoveryFileBytes(TestFiles::read(recoveryFilePath()));
    QVERIFY(w.prompts.asked.size() == 4 && copy && copy->projectFile == other);
    QVERIFY(QDir().mkpath(dir.path()));
    w.commands.autoSave();
    QVERIFY(holds(other, "second") && QDir(dir.path()).removeRecursively());
    w.type("third");
    w.commands.autoSave();
    QVERIFY(w.prompts.asked.size() == 5 && w.told(4).contains("Kelvane keeps trying"));
    QCOMPARE(w.prompts.unexpected, 0);
}

// Unsaved work is offered to be saved first; what goes on lets its copy go.
void TestProjectCommands::questionsBeforeNewOpenAndQuit()
{
    const QString other = QCoreApplication::applicationFilePath();
    const std::tuple<QList<Answer>, QString, bool> cases[] = {
        {{Answer::Yes}, "", false},                            // the Save As dialog cancelled
        {{Answer::Yes, Answer::Ok}, data.filePath("x"), true}, // Ok overwrites it later
        {{Answer::No}, "", true}};
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
    // A copy a crash left is offered at start-up. No deletes it; a damaged
    // one is set aside, not lost, and the user is told where.
    const QDir folder = QFileInfo(copy).dir();
    w.prompts.script({Answer::No, Answer::Yes, Answer::Ok});
    for (int offer = 0; offer < 2; ++offer) {
        QVERIFY(QDir().mkpath(folder.path()) && TestFiles::write(copy, "kv recovery file\r\n"));
        QVERIFY(!w.commands.offerRecovery() && !QFile::exists(copy) && w.continued == 1);
    }
    const QStringList aside = folder.entryList({"recovery.kvrec.unreadable-*"}, QDir::Files);
    QVERIFY(aside.size() == 1 && w.told(4).contains(aside[0]) && !w.prompts.unexpected);
    QCOMPARE(TestFiles::read(folder.filePath(aside.value(0))), "kv recovery file\r\n");
}

QTEST_GUILESS_MAIN(TestProjectCommands)
#include "tst_projectcommands.moc"

#include "ScriptedPrompts.h"
#include "TestFiles.h"

#include "model/WorkspaceState.h"
#include "project/ProjectCommands.h"
#include "project/ProjectWindow.h"
#include "storage/RecoveryFile.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using Answer = Prompts::Answer;

// Whether the file at `path` holds the project whose one section holds `text`.
static bool holds(const QString& path, const QByteArray& text)
{
    return TestFiles::read(path) ==
           "kv project file\r\n/m\r\n0<|S|>4<|S|>0<|S|>4<|S|>" + text + "\r\n";
}

// The window as the commands see it; like the real one, it has its commands.
class Window final : public ProjectWindow
{
public:
    Window() { rows.loadRows({{}}); }
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
    void continueWork() override
    {
        continued << work.loadingProject;
        if (whileContinuing)
            whileContinuing();
    }
    void type(const QString& text) // unsaved work: one section holding `text`
    {
        rows.loadRows({{"0", "4", "0", "4", text}});
        work.mediaFile = "/m";
        work.isDirty = true;
    }
    QString told(int message) const { return prompts.asked.value(message).text; }
    bool emptied() const { return rows.cell(0, 4).isEmpty(); }
    QString caption, scriptText;
    QList<bool> continued;                 // loadingProject at each continueWork()
    std::function<void()> whileContinuing; // while the media opens
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
    void openingAndNew();
    void recovery();
};

void TestProjectCommands::saving()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a"), other = dir.filePath("b"), gone = dir.filePath("c/d");
    Window w;
    w.type("first");
    // Save asks for a file while there is none, then writes at once.
    w.prompts.scriptFiles({path, other, gone, other});
    QVERIFY(w.commands.save() && !w.state().isDirty && w.caption == path);
    w.type("second");
    QVERIFY(w.commands.save() && w.prompts.dialogs.size() == 1 && holds(path, "second"));
    // Save As asks before overwriting; a failed one keeps the former file.
    QVERIFY(TestFiles::write(other, "keep me"));
    w.prompts.script({Answer::Cancel, Answer::Ok, Answer::Ok, Answer::Ok, Answer::Ok});
    QVERIFY(!w.commands.saveAs() && !w.commands.saveAs() && w.state().projectFile == path);
    QCOMPARE(w.told(0), "Are you sure to overwrite the existed file?");
    QVERIFY(w.told(1).contains(gone + "\n\nNo such file or directory"));
    QVERIFY(w.commands.saveAs() && w.state().projectFile == other && holds(other, "second"));
    // A failed save is told once, until a save succeeds; the copy keeps it.
    QVERIFY(QDir(dir.path()).removeRecursively());
    w.type("third");
    w.prompts.whileAsking = std::bind(&ProjectCommands::autoSave, &w.commands);
    QVERIFY(!w.commands.save());
    w.commands.autoSave();
    const auto copy = readRecoveryFileBytes(TestFiles::read(recoveryFilePath()));
    QVERIFY(w.prompts.asked.size() == 4 && copy && copy->projectFile == other);
    QVERIFY(QDir().mkpath(dir.path()));
    w.commands.autoSave();
    QVERIFY(holds(other, "third") && QDir(dir.path()).removeRecursively());
    w.type("fourth");
    w.commands.autoSave();
    QVERIFY(w.prompts.asked.size() == 5 && w.told(4).contains("Kelvane keeps trying"));
    QCOMPARE(w.prompts.unexpected, 0);
}

// Unsaved work is offered to be saved first; what goes on lets its copy go.
void TestProjectCommands::questionsBeforeNewOpenAndQuit()
{
    QTemporaryDir dir;
    const QString saved = dir.filePath("saved"), other = QCoreApplication::applicationFilePath();
    const std::tuple<QList<Answer>, QString, bool> cases[] = {
        {{Answer::Yes}, "", false}, // the Save As dialog cancelled
        {{Answer::Yes, Answer::Ok}, dir.filePath("gone/x"), false},
        {{Answer::Yes, Answer::Ok}, saved, true}, // Ok overwrites it after the first
        {{Answer::No}, "", true}};
    // Each command runs, then tells whether it went on.
    const std::function<bool(Window&)> commands[] = {
        [](Window& w) { return w.commands.offerToSaveBeforeQuit(); },
        [&](Window& w) { return w.commands.openFile(other), w.emptied(); },
        [](Window& w) { return w.commands.newTranscription(), w.emptied(); },
        [](Window& w) { return w.commands.open(), w.emptied(); },
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

void TestProjectCommands::openingAndNew()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a");
    // Line ends another editor may leave, which a save would change.
    const QByteArray file = "kv project file\n/m\n0<|S|>4<|S|>0<|S|>4<|S|>1\n<|S|><|S|><|S|><|S|>2";
    QVERIFY(TestFiles::write(path, file));
    Window w;
    w.prompts.scriptFiles({path, "/m", "/two\nlines", "/two\rlines"});
    w.prompts.script({Answer::Ok, Answer::Ok});
    // Filled, the work goes on; an auto-save while the media opens writes nothing.
    w.whileContinuing = std::bind(&ProjectCommands::autoSave, &w.commands);
    w.commands.open();
    QVERIFY(w.state().projectFile == path && w.caption == path && w.state().mediaFile == "/m");
    QVERIFY(w.table().rowCount() == 2 && w.table().cell(0, 4) == "1" && w.scriptText == "2");
    QVERIFY(w.continued == QList<bool>{true} && !w.state().loadingProject);
    QCOMPARE(TestFiles::read(path), file);
    // A media path with a line break would not fit on its line of the file.
    for (const char* media : {"/m", "", ""}) {
        w.commands.newTranscription();
        QCOMPARE(w.state().mediaFile, media);
    }
    QVERIFY(w.prompts.asked.size() == 2 && w.told(1).contains("line break"));
    QVERIFY(w.continued.size() == 1 && !w.prompts.unexpected);
}

void TestProjectCommands::recovery()
{
    const QString copy = recoveryFilePath();
    removeRecoveryFile();
    Window failing, yes, no, damaged;
    QVERIFY(!failing.commands.offerRecovery() && failing.prompts.asked.isEmpty()); // none
    // A copy that cannot be written is told once.
    QVERIFY(QDir().mkpath(copy));
    failing.type("first");
    failing.prompts.script({Answer::Ok});
    failing.commands.keepRecoveryCopy();
    failing.commands.autoSave();
    QVERIFY(failing.prompts.asked.size() == 1 && failing.told(0).contains(copy));
    QVERIFY(QDir(copy).removeRecursively());
    // At start-up, Yes loads the work as Open does, still unsaved; No deletes it.
    QVERIFY(!writeRecoveryFile("/a", {"/m", {{"0", "4", "0", "4", "first"}}}));
    yes.prompts.script({Answer::Yes});
    QVERIFY(yes.commands.offerRecovery());
    QVERIFY(yes.state().projectFile == "/a" && yes.table().cell(0, 4) == "first");
    QVERIFY(yes.continued == QList<bool>{true} && yes.state().isDirty && QFile::exists(copy));
    no.prompts.script({Answer::No});
    QVERIFY(!no.commands.offerRecovery() && !QFile::exists(copy) && no.continued.isEmpty());
    // A damaged copy is set aside, not lost, and the user is told where.
    QVERIFY(TestFiles::write(copy, "kv recovery file\r\n"));
    damaged.prompts.script({Answer::Yes, Answer::Ok});
    QVERIFY(!damaged.commands.offerRecovery() && !QFile::exists(copy));
    const QDir folder = QFileInfo(copy).dir();
    const QStringList aside = folder.entryList({"recovery.kvrec.unreadable-*"}, QDir::Files);
    QVERIFY(aside.size() == 1 && damaged.told(1).contains(aside[0]));
    QVERIFY(damaged.told(1).contains("damaged") && damaged.continued.isEmpty());
    QCOMPARE(TestFiles::read(folder.filePath(aside.value(0))), "kv recovery file\r\n");
}

QTEST_GUILESS_MAIN(TestProjectCommands)
#include "tst_projectcommands.moc"

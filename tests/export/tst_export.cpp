#include "TestFiles.h"
#include "TestWindow.h"
#include "Unprivileged.h"

#include "controls/AquaButton.h"
#include "export/ExportText.h"
#include "export/FormExport.h"
#include "model/SectionTableModel.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

const QString OverwriteQuestion = "Are you sure to overwrite the existed file?";

// Three sections: one typed, one that ended up with no text, and the open
// capture section holding a text that Windows-1252 cannot write.
void fillSections(SectionTableModel& table)
{
    const QList<SectionTableModel::Cells> rows = {
        {"0", "4000", "00:00:00", "00:00:04", "Good morning, everyone."},
        {"4000", "9500", "00:00:04", "00:00:09", ""},
        {"9500", "3723500", "00:00:09", "01:02:03", "Zażółć  gęślą"},
    };
    table.resize(int(rows.size()));
    for (int row = 0; row < rows.size(); ++row)
        for (int column = 0; column < SectionTableModel::ColumnCount; ++column)
            table.setCell(row, column, rows[row][column]);
}

QString shown(const FormExport& window)
{
    return window.controls().txtText->toPlainText();
}

void click(QCheckBox* box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

} // namespace

class TestExport : public QObject
{
    Q_OBJECT

private slots:
    void textsForEveryOption();
    void windowBuildsCopiesAndRebuilds();
    void savesTheTextAsShown();
    void failedSavesKeepTheText();
    void failedSavesAsNobody();
    void opensModalOverTheMainWindow();
    void subtitlesFromTheMainWindow();
};

// Each row gives its time texts, its text and a blank, and a line break,
// as the options ask; empty cells and the capture section are no exception.
void TestExport::textsForEveryOption()
{
    SectionTableModel fresh;
    fresh.resize(1);
    QCOMPARE(exportText(fresh, {true, true}), QString(" -   \r\n"));
    QCOMPARE(exportText(fresh, {false, false}), QString(" "));

    SectionTableModel table;
    fillSections(table);
    QCOMPARE(exportText(table, {true, true}),
             QString("00:00:00 - 00:00:04 Good morning, everyone. \r\n"
                     "00:00:04 - 00:00:09  \r\n"
                     "00:00:09 - 01:02:03 Zażółć  gęślą \r\n"));
    QCOMPARE(exportText(table, {true, false}),
             QString("00:00:00 - 00:00:04 Good morning, everyone. 00:00:04 - 00:00:09  "
                     "00:00:09 - 01:02:03 Zażółć  gęślą "));
    QCOMPARE(exportText(table, {false, true}),
             QString("Good morning, everyone. \r\n \r\nZażółć  gęślą \r\n"));
    QCOMPARE(exportText(table, {false, false}), QString("Good morning, everyone.  Zażółć  gęślą "));
}

void TestExport::windowBuildsCopiesAndRebuilds()
{
    SectionTableModel table;
    fillSections(table);
    ScriptedPrompts prompts;
    FormExport window(table, prompts, QDir::tempPath());
    window.show();
    const FormExport::Controls& c = window.controls();

    // Both options on at every opening; the caret at the end of the text.
    QVERIFY(c.chkTimeLine->isChecked());
    QVERIFY(c.chkLineBreak->isChecked());
    QCOMPARE(window.windowTitle(), QString("Export Transcription Text"));
    QCOMPARE(shown(window), QString("00:00:00 - 00:00:04 Good morning, everyone. \n"
                                    "00:00:04 - 00:00:09  \n"
                                    "00:00:09 - 01:02:03 Zażółć  gęślą \n"));
    QVERIFY(c.txtText->textCursor().atEnd());

    // The user's edits go to the clipboard; line breaks as the platform's.
    c.txtText->setFocus();
    QTest::keyClick(c.txtText, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClicks(c.txtText, "Interview. ");
    QApplication::clipboard()->setText("old clipboard");
    QTest::mouseClick(c.cmdCopy, Qt::LeftButton);
    QCOMPARE(QApplication::clipboard()->text(),
             QString("Interview. 00:00:00 - 00:00:04 Good morning, everyone. \n"
                     "00:00:04 - 00:00:09  \n"
                     "00:00:09 - 01:02:03 Zażółć  gęślą \n"));

    // Escape does not throw the edits away.
    QTest::keyClick(c.txtText, Qt::Key_Escape);
    QVERIFY(window.isVisible());
    QVERIFY(shown(window).startsWith("Interview. "));

    // A click on either box rebuilds the text from the table, edits lost.
    click(c.chkLineBreak);
    QVERIFY(!c.chkLineBreak->isChecked());
    QCOMPARE(shown(window), exportText(table, {true, false}));
    click(c.chkTimeLine);
    QCOMPARE(shown(window), QString("Good morning, everyone.  Zażółć  gęślą "));
    QVERIFY(c.txtText->textCursor().atEnd());
    click(c.chkLineBreak);
    QCOMPARE(shown(window), QString("Good morning, everyone. \n \nZażółć  gęślą \n"));

    // A non-breaking space in a cell reaches the clipboard as it is.
    table.setCell(0, 4, QString("100") + QChar::Nbsp + "km");
    click(c.chkTimeLine);
    QTest::mouseClick(c.cmdCopy, Qt::LeftButton);
    QVERIFY(QApplication::clipboard()->text().contains(QString("100") + QChar::Nbsp + "km"));
    QCOMPARE(prompts.asked.size(), 0);

    // The text box follows the window's size and never gets smaller than
    // the minimum lets it.
    window.resize(400, 300);
    QCOMPARE(window.size(), QSize(592, 504));
    QCOMPARE(c.txtText->geometry(), QRect(11, 35, 576, 466));
    window.resize(800, 700);
    QCOMPARE(c.txtText->geometry(), QRect(11, 35, 784, 662));
    QCOMPARE(c.cmdSave->geometry().topLeft(), QPoint(422, 8));
}

void TestExport::savesTheTextAsShown()
{
    QTemporaryDir folder;
    SectionTableModel table;
    fillSections(table);
    ScriptedPrompts prompts;
    FormExport window(table, prompts, folder.path());
    const FormExport::Controls& c = window.controls();
    const QString path = folder.filePath("transcript.txt");

    // What the dialog is asked for; the text in UTF-8, since Windows-1252
    // lacks some of its letters, and one more CR LF at the end.
    prompts.scriptFiles({path});
    QTest::mouseClick(c.cmdSave, Qt::LeftButton);
    QCOMPARE(prompts.dialogs.size(), 1);
    const FileDialogRequest& request = prompts.dialogs[0];
    QCOMPARE(request.mode, FileDialogMode::Save);
    QCOMPARE(request.title, QString("Save"));
    QCOMPARE(request.initialFileName, QString("transcript.txt"));
    QCOMPARE(request.filters.size(), 1);
    QCOMPARE(request.filters[0].description, QString("*.txt"));
    QCOMPARE(request.filters[0].patterns, QString("*.txt"));
    QCOMPARE(request.initialFolder, folder.path());
    QCOMPARE(request.defaultExtension, QString("txt"));
    QCOMPARE(TestFiles::read(path), (exportText(table, {true, true}) + "\r\n").toUtf8());
    QCOMPARE(prompts.asked.size(), 0);

    // An edited Windows-1252 text over the existing file: asked, then
    // written in that code page.
    c.txtText->setPlainText("Café – “quoted”\nsecond line");
    prompts.scriptFiles({path});
    prompts.script({Prompts::Answer::Ok});
    QTest::mouseClick(c.cmdSave, Qt::LeftButton);
    QCOMPARE(prompts.asked.size(), 1);
    QCOMPARE(prompts.asked[0].text, OverwriteQuestion);
    QCOMPARE(prompts.asked[0].buttons, Prompts::Buttons::OkCancel);
    QCOMPARE(TestFiles::read(path), QByteArray("Caf\xE9 \x96 \x93quoted\x94\r\nsecond line\r\n"));

    // Cancel at the question leaves the file as it was.
    c.txtText->setPlainText("never written");
    prompts.scriptFiles({path});
    prompts.script({Prompts::Answer::Cancel});
    QTest::mouseClick(c.cmdSave, Qt::LeftButton);
    QCOMPARE(TestFiles::read(path), QByteArray("Caf\xE9 \x96 \x93quoted\x94\r\nsecond line\r\n"));

    // A cancelled dialog does nothing; an emptied text box gives a file of
    // one CR LF.
    prompts.scriptFiles({""});
    QTest::mouseClick(c.cmdSave, Qt::LeftButton);
    c.txtText->clear();
    const QString empty = folder.filePath("empty.txt");
    prompts.scriptFiles({empty});
    QTest::mouseClick(c.cmdSave, Qt::LeftButton);
    QCOMPARE(TestFiles::read(empty), QByteArray("\r\n"));
    QCOMPARE(prompts.asked.size(), 2);
    QCOMPARE(prompts.unexpected, 0);
}

// A save that fails says where and why, changes nothing on disk and keeps
// the window with its text.
void TestExport::failedSavesKeepTheText()
{
    QTemporaryDir folder;
    SectionTableModel table;
    fillSections(table);
    ScriptedPrompts prompts;
    FormExport window(table, prompts, folder.path());
    window.show();
    const FormExport::Controls& c = window.controls();
    c.txtText->setPlainText("edited, and kept");
    const QString path = folder.filePath("transcript.txt");
    QVERIFY(TestFiles::write(path, "old"));

    struct Case
    {
        QString path;
        QString reason;
    };
    const QList<Case> cases = {
        {"/dev/full", "not a regular file"},
        {path, "too large"}, // a disk that fills up halfway
        {folder.filePath("gone/transcript.txt"), "No such file"},
    };
    for (const Case& failing : cases) {
        prompts.asked.clear();
        prompts.scriptFiles({failing.path});
        prompts.script({Prompts::Answer::Ok, Prompts::Answer::Ok});
        {
            const TestFiles::DiskFull full(2);
            QVERIFY(full.active());
            QTest::mouseClick(c.cmdSave, Qt::LeftButton);
        }
        QCOMPARE(prompts.asked.size(), failing.path == path ? 2 : 1);
        const QString message = prompts.asked.last().text;
        QVERIFY2(message.contains(failing.path) && message.contains(failing.reason),
                 qPrintable(message));
    }
    QCOMPARE(TestFiles::read(path), QByteArray("old"));
    QVERIFY(window.isVisible());
    QCOMPARE(shown(window), QString("edited, and kept"));
    QCOMPARE(prompts.unexpected, 0);
}

void TestExport::failedSavesAsNobody()
{
    if (Unprivileged::runningAsRoot()) {
        QVERIFY(Unprivileged::rerun("failedSavesAsNobody"));
        return;
    }
    QTemporaryDir folder;
    QVERIFY(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner));
    const auto writable = qScopeGuard([&] {
        QFile::setPermissions(folder.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });
    SectionTableModel table;
    fillSections(table);
    ScriptedPrompts prompts;
    FormExport window(table, prompts, folder.path());
    prompts.scriptFiles({folder.filePath("transcript.txt")});
    prompts.script({Prompts::Answer::Ok});
    QTest::mouseClick(window.controls().cmdSave, Qt::LeftButton);
    QCOMPARE(prompts.asked.size(), 1);
    QVERIFY2(prompts.asked[0].text.contains("transcript.txt"), qPrintable(prompts.asked[0].text));
    QVERIFY(!QFile::exists(folder.filePath("transcript.txt")));
}

// Ctrl+E shows the export window modally, centred over the main window, and
// its save dialog opens in the project's folder.
void TestExport::opensModalOverTheMainWindow()
{
    QTemporaryDir folder;
    TestWindow t;
    auto& [device, prompts, w, c] = t;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    c.txtScript->setFocus();
    c.txtScript->setPlainText("typed before the export");
    w.state().projectFile = folder.filePath("talk.kvprj");

    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* window = qobject_cast<FormExport*>(QApplication::activeModalWidget());
        QVERIFY(window);
        seen = true;
        const auto closing = qScopeGuard([window] { window->close(); });
        QVERIFY(window->isModal());
        QCOMPARE(window->parentWidget(), &w);
        // The test screen is lower than the two windows: only across is the
        // export window free to be centred.
        QVERIFY(qAbs(window->geometry().center().x() - w.geometry().center().x()) < 2);
        QCOMPARE(window->controls().txtText->toPlainText(),
                 QString(" -  typed before the export \n"));
        prompts.scriptFiles({""});
        QTest::mouseClick(window->controls().cmdSave, Qt::LeftButton);
    });
    QTest::keyClick(c.txtScript, Qt::Key_E, Qt::ControlModifier);
    QVERIFY(seen);
    QCOMPARE(prompts.dialogs.size(), 1);
    QCOMPARE(prompts.dialogs[0].initialFolder, folder.path());
    QVERIFY(!QApplication::activeModalWidget());
}

// Ctrl+Shift+E writes the sections as subtitles, in the format the name's
// extension says.
void TestExport::subtitlesFromTheMainWindow()
{
    QTemporaryDir folder;
    TestWindow t;
    auto& [device, prompts, w, c] = t;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    c.txtScript->setFocus();
    const auto pressKeys = [&] {
        QTest::keyClick(c.txtScript, Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
    };

    // Nothing to export yet: the user is told, and no dialog opens.
    prompts.script({Prompts::Answer::Ok});
    pressKeys();
    QVERIFY(prompts.asked.last().text.startsWith("There are no subtitles to export"));
    QVERIFY(prompts.dialogs.isEmpty());

    // The text box shows the current section's text, as always.
    fillSections(c.oGrid->table());
    c.oGrid->setRow(c.oGrid->rows() - 1);
    w.setScriptText(c.oGrid->text(c.oGrid->rows() - 1, 4));
    w.state().mediaFile = "/recordings/harbour talk.wav";
    w.state().projectFile = folder.filePath("talk.kvprj");
    const QString srt = folder.filePath("harbour.srt");
    prompts.scriptFiles({srt});
    pressKeys();
    QCOMPARE(prompts.dialogs.size(), 1);
    const FileDialogRequest& request = prompts.dialogs[0];
    QCOMPARE(request.mode, FileDialogMode::Save);
    QCOMPARE(request.title, QString("Export Subtitles"));
    QCOMPARE(request.initialFileName, QString("harbour talk.srt"));
    QCOMPARE(request.initialFolder, folder.path());
    QCOMPARE(request.filters.size(), 2);
    QCOMPARE(request.filters[0].description + request.filters[0].patterns, "SubRip*.srt");
    QCOMPARE(request.filters[1].description + request.filters[1].patterns, "WebVTT*.vtt");
    QCOMPARE(request.defaultExtension, QString("srt"));
    QCOMPARE(TestFiles::read(srt),
             QByteArray("1\r\n00:00:00,000 --> 00:00:04,000\r\nGood morning, everyone.\r\n\r\n"
                        "2\r\n00:00:09,500 --> 01:02:03,500\r\n"
                        "Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87  g\xC4\x99\xC5\x9Bl\xC4\x85\r\n\r\n"));

    // An existing file is replaced only after the overwrite question.
    const QString vtt = folder.filePath("harbour.VTT");
    QVERIFY(TestFiles::write(vtt, "keep me"));
    prompts.script({Prompts::Answer::Cancel, Prompts::Answer::Ok});
    prompts.scriptFiles({vtt, vtt});
    pressKeys();
    QCOMPARE(prompts.asked.last().text, OverwriteQuestion);
    QCOMPARE(TestFiles::read(vtt), QByteArray("keep me"));
    pressKeys();
    QVERIFY(TestFiles::read(vtt).startsWith("WEBVTT\r\n\r\n00:00:00.000 --> 00:00:04.000\r\n"));

    // A failed write says where and why.
    prompts.script({Prompts::Answer::Ok});
    prompts.scriptFiles({"/dev/full"});
    pressKeys();
    QVERIFY(prompts.asked.last().text.startsWith("The subtitles could not be saved to\n/dev/full"));
    QVERIFY(prompts.asked.last().text.contains("not a regular file"));
    QCOMPARE(prompts.unexpected, 0);
}

QTEST_MAIN(TestExport)
#include "tst_export.moc"

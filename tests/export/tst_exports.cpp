#include "ScriptedPrompts.h"
#include "TestFiles.h"

#include "controls/AquaButton.h"
#include "export/ExportSubtitles.h"
#include "export/ExportText.h"
#include "export/FormExport.h"
#include "export/SubtitleText.h"
#include "model/SectionTableModel.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Polish = QString::fromUtf8("Zażółć  gęślą");

// One typed section, one without text, and the open capture section with a
// text that Windows-1252 cannot write.
const std::vector<SectionTableModel::Cells> Sections = {
    {"0", "4000", "00:00:00", "00:00:04", "Good morning, everyone."},
    {"4000", "9500", "00:00:04", "00:00:09", ""},
    {"9500", "3723500", "00:00:09", "01:02:03", Polish}};

} // namespace

class TestExports : public QObject
{
    Q_OBJECT

private slots:
    // A transcript row gives its time texts, its text and a blank, and a line
    // break, as the options ask; empty cells and the capture section too.
    void transcriptAndSubtitleTexts()
    {
        SectionTableModel table;
        table.loadRows(Sections);
        QCOMPARE(exportText(table, {true, true}), "00:00:00 - 00:00:04 Good morning, everyone. \r\n"
                                                  "00:00:04 - 00:00:09  \r\n"
                                                  "00:00:09 - 01:02:03 " +
                                                      Polish + " \r\n");
        QCOMPARE(exportText(table, {false, false}), "Good morning, everyone.  " + Polish + " ");
        QCOMPARE(exportText(table, {false, true}),
                 "Good morning, everyone. \r\n \r\n" + Polish + " \r\n");
        // Sections without text or length, or with raw cells that are no plain
        // numbers, give no cue; the text is trimmed, UTF-8, escaped for WebVTT and
        // kept from reading as a tag in SubRip; hours take the digits they need.
        table.loadRows({{"1", "2500", "", "", "  Good morning, caf\u00e9.  "},
                        {"2500", "4000", "", "", " \t "},
                        {"5000", "5000", "", "", "no length"},
                        {"7000", "6000", "", "", "backwards"},
                        {"-5", "100", "", "", "negative"},
                        {" 5", "100", "", "", "blank"},
                        {"5", "99999999999999999999", "", "", "too large"},
                        {"61001", "3599999", "", "", "<i>Laughs</i> & 5 < 6 --> 3"},
                        {"3599999999", "3600000000", "", "", "< b>x <note"}});
        QCOMPARE(
            subtitleBytes(table, SubtitleFormat::SubRip),
            QByteArray("1\r\n00:00:00,001 --> 00:00:02,500\r\nGood morning, caf\xC3\xA9.\r\n\r\n"
                       "2\r\n00:01:01,001 --> 00:59:59,999\r\n"
                       "<\xE2\x81\xA0i>Laughs<\xE2\x81\xA0/i> & 5 < 6 --> 3\r\n\r\n"
                       "3\r\n999:59:59,999 --> 1000:00:00,000\r\n<\xE2\x81\xA0 b>x <note\r\n\r\n"));
        QCOMPARE(subtitleBytes(table, SubtitleFormat::WebVtt),
                 QByteArray("WEBVTT\r\n\r\n"
                            "00:00:00.001 --> 00:00:02.500\r\nGood morning, caf\xC3\xA9.\r\n\r\n"
                            "00:01:01.001 --> 00:59:59.999\r\n"
                            "&lt;i&gt;Laughs&lt;/i&gt; &amp; 5 &lt; 6 --&gt; 3\r\n\r\n"
                            "999:59:59.999 --> 1000:00:00.000\r\n&lt; b&gt;x &lt;note\r\n\r\n"));
        table.loadRows({{"0", "1000", "", "", ""}});
        QCOMPARE(subtitleBytes(table, SubtitleFormat::SubRip), QByteArray());
    }

    // Export Subtitles suggests the media's name and writes the format the
    // name's extension says; nothing to export and a failed write are told.
    void exportSubtitlesAndExportWindow()
    {
        QTemporaryDir folder;
        ScriptedPrompts prompts;
        SectionTableModel table;
        table.resize(1);
        const auto exportTo = [&](const QString& path) {
            prompts.scriptFiles({path});
            prompts.script({Prompts::Answer::Ok});
            exportSubtitles(nullptr, table, prompts, folder.path(), "/recordings/harbour talk.wav");
        };
        exportTo("");
        QVERIFY(prompts.asked.value(0).text.startsWith("There are no subtitles to export"));
        QVERIFY(prompts.dialogs.isEmpty());
        table.loadRows(Sections);
        const QString vtt = folder.filePath("harbour.VTT");
        exportTo(vtt);
        QCOMPARE(prompts.dialogs.last().initialFileName, QString("harbour talk.srt"));
        QCOMPARE(prompts.dialogs.last().initialFolder, folder.path());
        QVERIFY(TestFiles::read(vtt).startsWith("WEBVTT\r\n\r\n00:00:00.000 --> 00:00:04.000\r\n"));
        exportTo(folder.filePath("gone/harbour.srt"));
        QVERIFY(prompts.asked.last().text.startsWith("The subtitles could not be saved to\n" +
                                                     folder.filePath("gone/harbour.srt")));
        // The export window opens on the transcript, with the cursor at its end.
        FormExport window(table, prompts, folder.path());
        window.show();
        const FormExport::Controls& c = window.controls();
        QCOMPARE(c.txtText->toPlainText(), exportText(table, {true, true}).replace("\r\n", "\n"));
        QVERIFY(c.txtText->textCursor().atEnd());
        // The user's edits go to the clipboard; Escape does not throw them away;
        // a click on either box asks before it rebuilds the text from the table:
        // Cancel leaves the box, Yes keeps the edits, No rebuilds, and Undo
        // brings the edits back.
        QTest::keyClick(c.txtText, Qt::Key_Home, Qt::ControlModifier);
        QTest::keyClicks(c.txtText, "Interview. ");
        QTest::mouseClick(c.cmdCopy, Qt::LeftButton);
        const QString edited = qApp->clipboard()->text();
        QVERIFY(edited.startsWith("Interview. 00:00:00 - 00:00:04 Good"));
        QTest::keyClick(c.txtText, Qt::Key_Escape);
        QVERIFY(window.isVisible());
        // The box's state after the click, or "asked wrong" for another question.
        const auto clickBox = [&](QCheckBox* box, Prompts::Answer answer) {
            prompts.script({answer});
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, 6));
            return prompts.asked.last().buttons != Prompts::Buttons::YesNoCancel ? "asked wrong"
                   : box->isChecked()                                            ? "on"
                                                                                 : "off";
        };
        QCOMPARE(clickBox(c.chkLineBreak, Prompts::Answer::Cancel), "on");
        QCOMPARE(clickBox(c.chkTimeLine, Prompts::Answer::Yes), "off");
        QCOMPARE(c.txtText->toPlainText(), edited);
        QCOMPARE(clickBox(c.chkTimeLine, Prompts::Answer::Yes), "on");
        QCOMPARE(clickBox(c.chkTimeLine, Prompts::Answer::No), "off");
        QCOMPARE(c.txtText->toPlainText(), "Good morning, everyone. \n \n" + Polish + " \n");
        QTest::keyClick(c.txtText, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(c.txtText->toPlainText(), edited);
        QTest::keyClick(c.txtText, Qt::Key_Y, Qt::ControlModifier);
        QTest::mouseClick(c.chkTimeLine, Qt::LeftButton, {}, QPoint(6, 6)); // unedited: no question
        QTest::mouseClick(c.chkTimeLine, Qt::LeftButton, {}, QPoint(6, 6));
        QCOMPARE(c.txtText->toPlainText(), "Good morning, everyone. \n \n" + Polish + " \n");
        // Saved as shown plus a CR LF: UTF-8 where Windows-1252 lacks a letter, else
        // Windows-1252; over an existing file only when the question is answered Ok.
        const QString path = folder.filePath("transcript.txt");
        prompts.scriptFiles({path});
        QTest::mouseClick(c.cmdSave, Qt::LeftButton);
        QCOMPARE(prompts.dialogs.last().initialFileName, QString("transcript.txt"));
        QCOMPARE(prompts.dialogs.last().initialFolder, folder.path());
        QCOMPARE(TestFiles::read(path),
                 ("Good morning, everyone. \r\n \r\n" + Polish + " \r\n\r\n").toUtf8());
        const QByteArray latin("Caf\xE9 \x96 \x93quoted\x94\r\nsecond line\r\n");
        for (const Prompts::Answer answer : {Prompts::Answer::Ok, Prompts::Answer::Cancel}) {
            c.txtText->setPlainText(answer == Prompts::Answer::Ok ? "Café – “quoted”\nsecond line"
                                                                  : "never written");
            prompts.scriptFiles({path});
            prompts.script({answer});
            QTest::mouseClick(c.cmdSave, Qt::LeftButton);
            QCOMPARE(prompts.asked.last().text,
                     QString("Are you sure to overwrite the existed file?"));
            QCOMPARE(TestFiles::read(path), latin);
        }
        // A failed save says where and why, and changes nothing.
        c.txtText->setPlainText("edited, and kept");
        const QList<std::pair<QString, QString>> failures = {
            {path, "too large"}, // a disk that fills up halfway
            {folder.filePath("gone/transcript.txt"), "No such file"}};
        for (const auto& [failing, reason] : failures) {
            prompts.scriptFiles({failing});
            prompts.script({Prompts::Answer::Ok, Prompts::Answer::Ok});
            const TestFiles::DiskFull full(2);
            QTest::mouseClick(c.cmdSave, Qt::LeftButton);
            const QString told = prompts.asked.last().text;
            QVERIFY2(told.contains(failing) && told.contains(reason), qPrintable(told));
        }
        QCOMPARE(TestFiles::read(path), latin);
        QCOMPARE(c.txtText->toPlainText(), QString("edited, and kept"));
        // Edited text is not closed away unasked: Cancel stays, Yes saves first (here the
        // dialog is cancelled, so the window stays), No closes.
        QTest::keyClicks(c.txtText, "!");
        const qsizetype asked = prompts.asked.size();
        prompts.script({Prompts::Answer::Cancel, Prompts::Answer::Yes, Prompts::Answer::No});
        prompts.scriptFiles({""});
        QVERIFY(!window.close() && !window.close() && window.close() && !window.isVisible());
        QCOMPARE(prompts.asked.size(), asked + 3);
        QCOMPARE(prompts.unexpected, 0);
    }
};

QTEST_MAIN(TestExports)
#include "tst_exports.moc"

#include "TestWindow.h"

#include "controls/AquaButton.h"
#include "controls/PlaySlider.h"
#include "dialogs/FileDialog.h"
#include "model/FormatTime.h"
#include "workspace/SectionGrid.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

namespace {

const QString Media = "/recordings/interview.wav";
constexpr qint32 MediaLength = 60000;
const QString Paused = "Paused... \nPlease type the text for this section.";

// The window's time as the event loop would run it: the device's clock with
// its status updates every 100 ms and the status tick every 500 ms.
struct Clock
{
    TestWindow& t;
    qint64 now = 0;

    void run(qint32 ms)
    {
        for (qint32 step = 0; step < ms; step += 100) {
            t.device.advance(100);
            now += 100;
            if (now % 500 == 0)
                t.w.Timer1_Timer();
        }
    }
};

// A new transcription of the test recording, as File > New gives it.
void newTranscription(TestWindow& t)
{
    t.device.addMedia(Media, MediaLength);
    t.prompts.scriptFiles({Media});
    t.w.menuOpen_Click();
}

// Fills the table as a loaded project would: each section's bounds and text.
struct Section
{
    qint32 start;
    qint32 end;
    QString text;
};
void loadTable(TestWindow& t, const QList<Section>& sections)
{
    SectionGrid& grid = *t.c.oGrid;
    grid.setRows(int(sections.size()) + 1);
    for (int i = 0; i < sections.size(); ++i) {
        const Section& s = sections[i];
        grid.setText(i + 1, 0, QString::number(s.start));
        grid.setText(i + 1, 1, QString::number(s.end));
        grid.setText(i + 1, 2, FormatTime(s.start));
        grid.setText(i + 1, 3, FormatTime(s.end));
        grid.setText(i + 1, 4, s.text);
    }
    grid.setRow(grid.rows() - 1);
    t.w.state().mediaFile = Media;
    t.device.addMedia(Media, MediaLength);
}

// Captures sections ending at `ends` (paused and continued) and leaves the
// next one capturing.
void captureSections(TestWindow& t, Clock& clock, const QList<qint32>& ends)
{
    newTranscription(t);
    t.w.menuPlay_Click();
    for (qint32 end : ends) {
        clock.run(end - t.device.Position());
        t.w.menuPlay_Click();
        t.w.menuPlay_Click();
    }
}

void clickRow(SectionGrid& grid, int row)
{
    const QRect cell = grid.visualRect(grid.table().index(row - 1, 2));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell.center());
}

} // namespace

class TestCapture : public QObject
{
    Q_OBJECT

private slots:
    void roadOfOneSection();
    void newTranscriptionProject();
    void playPressesFollowTheStateTable();
    void loadedProjectContinuesWithItsLastSection();
    void replayEndsPausedAtTheSectionEnd();
    void autoRewindReplaysUntilContinue();
    void seeksFindTheSectionHoldingThePosition();
    void rowClicksWhileCapturing();
    void damagedBoundsAreNotReplayed();
    void textEntryKeepsEveryEdit();
    void speedAndJumpBackKeepTheSections();
};

void TestCapture::roadOfOneSection()
{
    TestWindow t;
    auto& [device, prompts, w, c] = t;
    Clock clock{t};
    newTranscription(t);

    // F11: open and play; the first section starts where playing starts.
    w.menuPlay_Click();
    QCOMPARE(device.commands().mid(1), QStringList({"close", "open", "play"}));
    QCOMPARE(c.SliderTime->Max(), MediaLength);
    QCOMPARE(c.lblEnd->text(), QString("00:01:00"));
    QCOMPARE(rowCells(*c.oGrid, 1), QStringList({"0", "0", "00:00:00", "00:00:00", ""}));
    QCOMPARE(c.oGrid->rows(), 2);
    QCOMPARE(w.windowTitle(), QString("Kelvane *"));
    QVERIFY(w.state().isDirty && (w.cycle().phase() != CaptureCycle::Phase::Idle) &&
            !(!w.cycle().captureIsOpen()));

    // Playing: the section's end follows the position.
    clock.run(2400);
    QCOMPARE(c.lblMode->text(), QString("Playing..."));
    QCOMPARE(c.cmdPlay->Caption(), QString("Pause (F11)"));
    QVERIFY(!c.cmdPlay->isHidden() && c.cmdRewind->isHidden());
    QCOMPARE(c.lblCurrent->text(), QString("00:00:02"));
    QCOMPARE(c.SliderTime->Value(), 2400);
    QCOMPARE(c.SliderTime->SectionEnd(), 2400);
    QCOMPARE(c.lblSectionEnd->text(), QString("2400"));
    QCOMPARE(c.lblSectionEndView->text(), QString("00:00:02"));
    QCOMPARE(c.oGrid->text(1, 1), QString("2400"));

    // F11 between two status updates: the section still ends at the pause.
    device.advance(50);
    w.menuPlay_Click();
    QCOMPARE(device.mode(), DeviceMode::Paused);
    QCOMPARE(c.lblSectionEnd->text(), QString("2450"));
    QCOMPARE(c.oGrid->text(1, 3), QString("00:00:02"));
    clock.run(500);
    QCOMPARE(c.lblMode->text(), Paused);
    QCOMPARE(c.cmdPlay->Caption(), QString("Continue (F11)"));
    QVERIFY(!c.cmdRewind->isHidden());

    // Typing goes into the row as one line, a line break of Shift+Enter
    // too; a non-breaking space stays one.
    const QString nbsp(QChar::Nbsp);
    QTest::keyClicks(c.txtScript, "Hello");
    QTest::keyClick(c.txtScript, Qt::Key_Return);
    QTest::keyClicks(c.txtScript, "world");
    QTest::keyClick(c.txtScript, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(c.txtScript, "5" + nbsp + "km");
    QCOMPARE(c.oGrid->text(1, 4), "Hello world 5" + nbsp + "km");
    // A paste goes in as the plain text it carries, never as formatting
    // whose tables and images would leave marker characters in the row.
    const QString plain = " a b 1 2 end";
    auto* pasted = new QMimeData;
    pasted->setData("text/markdown", "|a|b|\n|-|-|\n|1|2|\n\n![x](y.png) **end**");
    pasted->setText(plain);
    QApplication::clipboard()->setMimeData(pasted);
    QTest::keyClick(c.txtScript, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(c.oGrid->text(1, 4), "Hello world 5" + nbsp + "km a b 1 2 end");
    for (int key = 0; key < plain.size(); ++key)
        QTest::keyClick(c.txtScript, Qt::Key_Backspace);

    // F11: Continue commits the section and opens the next where it ended.
    w.menuPlay_Click();
    QCOMPARE(c.oGrid->rows(), 3);
    QCOMPARE(rowCells(*c.oGrid, 1),
             QStringList({"0", "2450", "00:00:00", "00:00:02", "Hello world 5" + nbsp + "km"}));
    QCOMPARE(rowCells(*c.oGrid, 2), QStringList({"2450", "2450", "00:00:02", "00:00:02", ""}));
    QCOMPARE(c.oGrid->row(), 2);
    QCOMPARE(c.oGrid->colSel(), 4);
    for (int column = 0; column < 5; ++column) {
        QCOMPARE(c.oGrid->table().cellBackground(1, column), QColor(Qt::white));
        QVERIFY(!c.oGrid->table().cellBackground(0, column).isValid());
    }
    QVERIFY(c.txtScript->toPlainText().isEmpty());
    QCOMPARE(c.lblSectionStart->text(), QString("2450"));
    QCOMPARE(c.SliderTime->SectionStart(), 2450);
    QCOMPARE(c.SliderTime->SectionEnd(), 2451);
    QCOMPARE(device.mode(), DeviceMode::Playing);
    QVERIFY(!(!w.cycle().captureIsOpen()));

    clock.run(1000);
    QCOMPARE(c.oGrid->text(2, 1), QString("3400")); // the last status update came 50 ms earlier
    QCOMPARE(c.oGrid->text(1, 1), QString("2450"));
}

void TestCapture::newTranscriptionProject()
{
    TestWindow t;
    auto& [device, prompts, w, c] = t;
    newTranscription(t);
    QCOMPARE(prompts.dialogs.size(), 1);
    const FileDialogRequest& asked = prompts.dialogs[0];
    QCOMPARE(asked.mode, FileDialogMode::Open);
    QCOMPARE(asked.title, QString("Please select an Audio/Video file."));
    QVERIFY(asked.initialFileName.isEmpty());
    QCOMPARE(asked.filters.size(), 3);
    QCOMPARE(asked.filters[0].description, QString("Audio File"));
    QCOMPARE(asked.filters[0].patterns, QString("*.wav;*.mp3;*.wma"));
    QCOMPARE(asked.filters[1].description, QString("Video File"));
    QCOMPARE(asked.filters[1].patterns, QString("*.wmv;*.avi;*.mpeg"));
    QCOMPARE(asked.filters[2].patterns, QString("*.*"));
    QCOMPARE(asked.defaultExtension, QString("wav"));
    QCOMPARE(asked.initialFolder, documentsFolder());
    QCOMPARE(w.state().mediaFile, Media);
    QCOMPARE(c.lblMediaFile->text(), QString("interview.wav"));
    QVERIFY(prompts.asked.isEmpty()); // nothing unsaved, nothing asked

    // With unsaved work the user is asked first; a cancelled dialog leaves
    // an empty workspace without media.
    w.menuPlay_Click();
    QVERIFY(w.state().isDirty);
    c.chkAutoRewind->setChecked(true);
    w.menuPlay_Click();
    w.Timer1_Timer();
    QVERIFY(c.TimerAutoRewind->isActive());
    prompts.script({Prompts::Answer::No});
    prompts.scriptFiles({""});
    w.menuOpen_Click();
    QCOMPARE(prompts.asked.size(), 1);
    QCOMPARE(prompts.asked[0].text, QString("Do you want to save the current project?"));
    QCOMPARE(prompts.asked[0].buttons, Prompts::Buttons::YesNo);
    QVERIFY(w.state().mediaFile.isEmpty() && !(w.cycle().phase() != CaptureCycle::Phase::Idle) &&
            !w.state().isDirty);
    QVERIFY(c.lblMediaFile->text().isEmpty());
    QCOMPARE(device.mode(), DeviceMode::NotOpen);
    QCOMPARE(w.windowTitle(), QString("Kelvane"));
    QVERIFY(!c.TimerAutoRewind->isActive()); // no replay of the old workspace
    QCOMPARE(prompts.unexpected, 0);
}

void TestCapture::playPressesFollowTheStateTable()
{
    {
        // No media chosen: Play does nothing at all.
        TestWindow t;
        t.w.menuPlay_Click();
        QVERIFY(t.device.commands().isEmpty());
        QVERIFY(!t.w.state().isDirty);
        QCOMPARE(t.w.windowTitle(), QString("Kelvane"));
    }
    {
        // Media the device cannot open: the message, then an empty workspace.
        TestWindow t;
        auto& [device, prompts, w, c] = t;
        prompts.scriptFiles({"/recordings/broken.wav"});
        w.menuOpen_Click();
        prompts.script({Prompts::Answer::Ok});
        w.menuPlay_Click();
        QCOMPARE(prompts.asked.size(), 1);
        QCOMPARE(prompts.asked[0].text,
                 QString("Sorry. The application doesn't support this type of media."));
        QCOMPARE(prompts.asked[0].buttons, Prompts::Buttons::Ok);
        QCOMPARE(w.windowTitle(), QString("Kelvane"));
        QVERIFY(!w.state().isDirty && !(w.cycle().phase() != CaptureCycle::Phase::Idle) &&
                w.state().mediaFile.isEmpty());
        QCOMPARE(rowCells(*c.oGrid, 1), QStringList({"", "", "", "", ""}));
    }
    {
        // Capturing -> closed -> capturing: each press on the last row flips;
        // a press while an earlier row is current only pauses and resumes.
        TestWindow t;
        auto& [device, prompts, w, c] = t;
        Clock clock{t};
        captureSections(t, clock, {3000});
        clock.run(1000);
        c.oGrid->setRow(1);
        w.oGrid_Click();
        clock.run(3500); // the replay of row 1 ends, paused at 3000
        QCOMPARE(device.mode(), DeviceMode::Paused);
        QCOMPARE(device.Position(), 3000);
        const QStringList last = rowCells(*c.oGrid, 2);
        for (int press = 0; press < 2; ++press) {
            w.menuPlay_Click();
            QCOMPARE(device.mode(), press == 0 ? DeviceMode::Playing : DeviceMode::Paused);
            clock.run(500);
        }
        QCOMPARE(c.oGrid->rows(), 3);
        QCOMPARE(rowCells(*c.oGrid, 2), last);
        QCOMPARE(c.oGrid->row(), 1);
        QVERIFY(!(!w.cycle().captureIsOpen()));
    }
}

void TestCapture::loadedProjectContinuesWithItsLastSection()
{
    TestWindow t;
    auto& [device, prompts, w, c] = t;
    Clock clock{t};
    loadTable(t, {{0, 4000, "one"}, {4000, 9500, "two"}, {9500, 15000, "three"}});
    w.state().projectFile = "/notes/interview.kvprj";
    clock.run(1000); // nothing opened yet: the loaded end stays as read
    QCOMPARE(c.oGrid->text(3, 1), QString("15000"));

    w.menuPlay_Click();
    QCOMPARE(device.commands(), QStringList({"close", "open", "play", "pause", "play"}));
    QCOMPARE(device.From(), 9500);
    QCOMPARE(device.To(), 15000);
    QCOMPARE(c.txtScript->toPlainText(), QString("three"));
    QVERIFY((w.cycle().phase() != CaptureCycle::Phase::Idle) && (!w.cycle().captureIsOpen()) &&
            (w.cycle().phase() == CaptureCycle::Phase::Replaying));
    QCOMPARE(w.cycle().seekStart(), -1);
    QCOMPARE(w.windowTitle(), QString("Kelvane */notes/interview.kvprj"));

    clock.run(6000);
    QCOMPARE(device.mode(), DeviceMode::Paused);
    QCOMPARE(device.Position(), 15000);
    QCOMPARE(c.cmdPlay->Caption(), QString("Continue (F11)"));

    // Continue commits the same section again and opens the next one.
    w.menuPlay_Click();
    QCOMPARE(c.oGrid->rows(), 5);
    QCOMPARE(rowCells(*c.oGrid, 3),
             QStringList({"9500", "15000", "00:00:09", "00:00:15", "three"}));
    QCOMPARE(c.oGrid->text(4, 0), QString("15000"));
    QCOMPARE(device.mode(), DeviceMode::Playing);

    // A project saved before anything was captured starts its first section.
    TestWindow unstarted;
    Clock unstartedClock{unstarted};
    loadTable(unstarted, {{0, 0, ""}});
    unstarted.c.oGrid->setText(1, 0, "");
    unstarted.c.oGrid->setText(1, 1, "");
    unstarted.w.state().projectFile = "/notes/interview.kvprj";
    unstarted.w.menuPlay_Click();
    unstartedClock.run(5000);
    unstarted.w.menuPlay_Click();
    unstarted.w.menuPlay_Click();
    QCOMPARE(unstarted.c.oGrid->text(1, 0), QString("0"));
    QCOMPARE(unstarted.c.oGrid->text(1, 1), QString("5000"));
    QCOMPARE(unstarted.c.oGrid->text(2, 0), QString("5000"));

    // A recording shorter than the loaded sections: the replay of the last
    // one ends at the end of the media and the user can go on.
    TestWindow shorter;
    Clock shorterClock{shorter};
    loadTable(shorter, {{50000, 60500, "past the end"}});
    shorter.w.state().projectFile = "/notes/interview.kvprj";
    shorter.w.menuPlay_Click();
    shorterClock.run(11000);
    QVERIFY(!(shorter.w.cycle().phase() == CaptureCycle::Phase::Replaying));
    QCOMPARE(shorter.device.mode(), DeviceMode::Paused);
    QVERIFY(!shorter.c.cmdPlay->isHidden());
}

void TestCapture::replayEndsPausedAtTheSectionEnd()
{
    TestWindow t;
    auto& [device, prompts, w, c] = t;
    Clock clock{t};
    captureSections(t, clock, {});
    QVERIFY(c.cmdRewind->isHidden()); // at once, not at the next status tick
    w.menuRewind_Click();             // F12 does nothing while capturing
    clock.run(1500);
    QCOMPARE(device.mode(), DeviceMode::Playing);
    QVERIFY(!(w.cycle().phase() == CaptureCycle::Phase::Replaying));

    w.menuPlay_Click();
    clock.run(500);
    w.menuRewind_Click();
    QCOMPARE(device.From(), 0);
    QCOMPARE(device.To(), 1500);
    QVERIFY(c.cmdPlay->isHidden() && (w.cycle().phase() == CaptureCycle::Phase::Replaying));
    const QStringList sent = device.commands();
    w.menuPlay_Click(); // F11 does nothing during a replay
    QCOMPARE(device.commands(), sent);
    clock.run(500);
    QCOMPARE(c.lblMode->text(), QString("Rewinding..."));
    QVERIFY(!c.cmdRewind->isHidden());
    QCOMPARE(c.oGrid->text(1, 1), QString("1500")); // a replay does not move the end

    // Rewind again restarts from the section's start.
    w.menuRewind_Click();
    QCOMPARE(device.Position(), 0);
    device.advance(1500);
    QCOMPARE(device.mode(), DeviceMode::Stopped);
    w.Timer1_Timer();
    QCOMPARE(c.lblMode->text(), QString("Stopped..."));
    QCOMPARE(c.cmdPlay->Caption(), QString("Continue (F11)"));
    QVERIFY(!c.cmdPlay->isHidden() && !c.cmdRewind->isHidden());
    QCOMPARE(device.commands().mid(device.commands().size() - 2), QStringList({"play", "pause"}));
    QCOMPARE(device.To(), MediaLength);
    QCOMPARE(device.mode(), DeviceMode::Paused);
    QCOMPARE(device.Position(), 1500);
    QVERIFY(!(w.cycle().phase() == CaptureCycle::Phase::Replaying));
    w.Timer1_Timer();
    QCOMPARE(c.lblMode->text(), Paused);

    // Continue commits the section and plays on to the end of the media,
    // where the device is parked paused and the section ends at the length.
    w.menuPlay_Click();
    QCOMPARE(c.oGrid->text(1, 1), QString("1500"));
    QVERIFY(c.cmdRewind->isHidden());
    w.menuRewind_Click();
    QVERIFY(!(w.cycle().phase() == CaptureCycle::Phase::Replaying));
    clock.run(MediaLength);
    QCOMPARE(device.mode(), DeviceMode::Paused);
    QCOMPARE(c.oGrid->text(2, 1), QString::number(MediaLength));
    QCOMPARE(c.cmdPlay->Caption(), QString("Continue (F11)"));
}

void TestCapture::autoRewindReplaysUntilContinue()
{
    // Real timers: the device's clock moves in real time, as a person hears it.
    TestWindow t;
    auto& [device, prompts, w, c] = t;
    QTimer deviceClock;
    QObject::connect(&deviceClock, &QTimer::timeout, &device, [&] { device.advance(100); });
    newTranscription(t);
    c.chkAutoRewind->setChecked(true);
    w.menuPlay_Click();
    deviceClock.start(100);
    QTest::qWait(800);
    w.menuPlay_Click();
    const qint32 end = device.Position();

    // Every pause is followed by a replay within about a second, over and
    // over, although the status tick re-arms the timer at every tick.
    for (int replay = 0; replay < 3; ++replay) {
        QElapsedTimer waited;
        waited.start();
        QTRY_VERIFY_WITH_TIMEOUT((w.cycle().phase() == CaptureCycle::Phase::Replaying), 5000);
        QVERIFY2(waited.elapsed() < 2000, qPrintable(QString::number(waited.elapsed())));
        QCOMPARE(device.From(), 0);
        QCOMPARE(device.To(), end);
        QTRY_VERIFY_WITH_TIMEOUT(!(w.cycle().phase() == CaptureCycle::Phase::Replaying), 5000);
    }

    // Continue while the next replay is armed ends the loop at once: the
    // next section plays and nothing is replayed.
    QTRY_VERIFY(c.TimerAutoRewind->isActive() && c.TimerAutoRewind->interval() == 500);
    w.menuPlay_Click();
    QVERIFY(!c.TimerAutoRewind->isActive());
    QCOMPARE(c.oGrid->rows(), 3);
    QTest::qWait(1500);
    QVERIFY(!(w.cycle().phase() == CaptureCycle::Phase::Replaying));
    QCOMPARE(device.mode(), DeviceMode::Playing);
    QVERIFY(!c.TimerAutoRewind->isActive());
}

void TestCapture::seeksFindTheSectionHoldingThePosition()
{
    TestWindow t;
    auto& [device, prompts, w, c] = t;
    Clock clock{t};
    captureSections(t, clock, {4000, 9500});
    clock.run(5500);
    w.menuPlay_Click(); // the capture section 9,500-15,000 is closed

    struct Seek
    {
        qint32 position;
        int row;
        qint32 from;
        qint32 to;
    };
    for (const Seek& seek : {Seek{3999, 1, 3999, 4000}, Seek{4000, 2, 4000, 9500},
                             Seek{15000, 3, 9500, 15000}, Seek{40000, 3, 9500, 15000}}) {
        w.SliderTime_TryToSeekTo(seek.position); // what a drag of the thumb sends
        QVERIFY(!c.lblSeekTime->isHidden());
        QCOMPARE(c.lblSeekTime->text(), FormatTime(seek.position));
        w.SliderTime_SeekTo(seek.position);
        QVERIFY(c.lblSeekTime->isHidden());
        QCOMPARE(c.lblCurrent->text(), FormatTime(seek.position));
        QCOMPARE(c.oGrid->row(), seek.row);
        QCOMPARE(device.From(), seek.from);
        QCOMPARE(device.To(), seek.to);
        QCOMPARE(c.SliderTime->Value(), seek.from);
        QCOMPARE(w.cycle().seekStart(), -1);
        clock.run(6000);
        QCOMPARE(device.Position(), seek.to);
    }

    // The replay after a seek starts at the section's start again.
    w.SliderTime_SeekTo(6000);
    clock.run(4000);
    w.menuRewind_Click();
    QCOMPARE(device.From(), 4000);

    // Before any media the seek only moves the previewed time.
    TestWindow fresh;
    fresh.c.lblSeekTime->setText("00:00:07");
    fresh.w.SliderTime_TryToSeekTo(12000);
    QVERIFY(fresh.c.lblSeekTime->isHidden());
    fresh.w.SliderTime_SeekTo(12000);
    QCOMPARE(fresh.c.lblCurrent->text(), QString("00:00:07"));
    QVERIFY(fresh.device.commands().isEmpty());
}

void TestCapture::rowClicksWhileCapturing()
{
    TestWindow t;
    auto& [device, prompts, w, c] = t;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    Clock clock{t};

    // The empty row of a fresh workspace: nothing happens.
    clickRow(*c.oGrid, 1);
    QVERIFY(device.commands().isEmpty() && !w.state().isDirty);

    captureSections(t, clock, {});
    QTest::keyClicks(c.txtScript, "first");
    clock.run(3000);
    // A click on the capture section while it plays closes it, then replays it.
    clickRow(*c.oGrid, 1);
    QVERIFY((!w.cycle().captureIsOpen()) && (w.cycle().phase() == CaptureCycle::Phase::Replaying));
    QCOMPARE(device.From(), 0);
    QCOMPARE(device.To(), 3000);
    QVERIFY(c.txtScript->hasFocus()); // the caret stays where the user types

    clock.run(3500);
    w.menuPlay_Click(); // commit "first" and capture on
    clock.run(2000);
    QTest::keyClicks(c.txtScript, "second");

    // A click on an earlier row leaves the capture section as it was.
    clickRow(*c.oGrid, 1);
    QCOMPARE(c.lblSectionStart->text(), QString("0"));
    QCOMPARE(c.lblSectionEnd->text(), QString("3000"));
    QCOMPARE(c.lblSectionEndView->text(), QString("00:00:03"));
    QCOMPARE(c.SliderTime->SectionStart(), 0);
    QCOMPARE(c.SliderTime->SectionEnd(), 3000);
    QCOMPARE(c.txtScript->toPlainText(), QString("first"));
    QCOMPARE(device.From(), 0);
    QCOMPARE(device.To(), 3000);
    QVERIFY(!(!w.cycle().captureIsOpen()));
    clock.run(1000);
    const QStringList second = {"3000", "5000", "00:00:03", "00:00:05", "second"};
    QCOMPARE(rowCells(*c.oGrid, 2), second);

    // Listening on from row 1 over the capture section's sound, then back to
    // the capture section with a status update between press and release:
    // the section keeps the end it had when the user left it.
    clock.run(2500);
    w.menuPlay_Click();
    clock.run(2000);
    const QRect last = c.oGrid->visualRect(c.oGrid->table().index(1, 2));
    QTest::mousePress(c.oGrid->viewport(), Qt::LeftButton, {}, last.center());
    device.advance(100);
    QTest::mouseRelease(c.oGrid->viewport(), Qt::LeftButton, {}, last.center());
    QCOMPARE(rowCells(*c.oGrid, 2), second);
    QCOMPARE(device.From(), 3000);
    QCOMPARE(device.To(), 5000);
    QVERIFY((!w.cycle().captureIsOpen()));
    clock.run(2500);
    w.menuPlay_Click();
    QCOMPARE(rowCells(*c.oGrid, 2), second);
    QCOMPARE(c.oGrid->text(3, 0), QString("5000"));

    // A press on the capture section dragged over row 1 and back is a click
    // on the capture section: it closes where it was released.
    clock.run(1000);
    const QRect third = c.oGrid->visualRect(c.oGrid->table().index(2, 2));
    const QRect first = c.oGrid->visualRect(c.oGrid->table().index(0, 2));
    QTest::mousePress(c.oGrid->viewport(), Qt::LeftButton, {}, third.center());
    QTest::mouseMove(c.oGrid->viewport(), first.center());
    device.advance(500);
    QTest::mouseMove(c.oGrid->viewport(), third.center());
    QTest::mouseRelease(c.oGrid->viewport(), Qt::LeftButton, {}, third.center());
    QCOMPARE(device.From(), 5000);
    QCOMPARE(device.To(), 6500);
}

void TestCapture::damagedBoundsAreNotReplayed()
{
    TestWindow t;
    auto& [device, prompts, w, c] = t;
    Clock clock{t};
    loadTable(t, {{0, 4000, "one"}, {4000, 9500, "two"}, {9500, 15000, "three"}});
    c.oGrid->setText(1, 0, "abc");
    c.oGrid->setText(2, 1, "");
    w.state().projectFile = "/notes/damaged.kvprj";
    w.menuPlay_Click();
    clock.run(6000);
    const QStringList sent = device.commands();

    for (int row : {1, 2}) {
        c.oGrid->setRow(row);
        w.oGrid_Click();
    }
    w.SliderTime_SeekTo(2000); // row 1 holds it, but cannot be replayed
    QCOMPARE(device.commands(), sent);
    QCOMPARE(w.cycle().seekStart(), -1);
    w.menuRewind_Click(); // the current section is still the last one
    QCOMPARE(device.commands().size(), sent.size() + 1);
    QCOMPARE(device.Position(), 9500);

    // Row 2's end is unknown, so a position after 4,000 goes to row 3.
    w.SliderTime_SeekTo(5000);
    QCOMPARE(c.oGrid->row(), 3);
    QCOMPARE(device.From(), 5000);
    QCOMPARE(device.To(), 15000);
}

void TestCapture::textEntryKeepsEveryEdit()
{
    TestWindow t;
    auto& [device, prompts, w, c] = t;
    Clock clock{t};

    // The release of a key pressed elsewhere (the Enter that closed a
    // dialog) is no typing.
    QTest::keyRelease(c.txtScript, Qt::Key_Return);
    QVERIFY(!w.state().isDirty);
    QCOMPARE(w.windowTitle(), QString("Kelvane"));

    // Any key typed in the box marks the project changed, an arrow key too.
    QTest::keyClick(c.txtScript, Qt::Key_Left);
    QVERIFY(w.state().isDirty);
    QCOMPARE(w.windowTitle(), QString("Kelvane *"));

    prompts.script({Prompts::Answer::No}); // New asks about the change
    captureSections(t, clock, {2000});
    clock.run(1000);
    w.menuPlay_Click();
    QTest::keyClicks(c.txtScript, "two");
    QTest::keyClick(c.txtScript, Qt::Key_Return);
    QTest::keyClicks(c.txtScript, "lines");
    QCOMPARE(c.oGrid->text(2, 4), QString("two lines"));

    // A paste with the mouse alone reaches the table at once.
    QGuiApplication::clipboard()->setText(" and\r\na paste");
    c.txtScript->moveCursor(QTextCursor::End);
    c.txtScript->paste();
    QCOMPARE(c.oGrid->text(2, 4), QString("two lines and a paste"));

    // Showing a row's text is not an edit.
    w.state().isDirty = false;
    c.oGrid->setRow(2);
    w.oGrid_Click();
    QCOMPARE(c.txtScript->toPlainText(), QString("two lines and a paste"));
    QVERIFY(!w.state().isDirty);
}

QTEST_MAIN(TestCapture)
#include "tst_capture.moc"

// The speed holds for capture, replay and seek, and the labels and the table
// keep media times. A jump back never moves a section's start.
void TestCapture::speedAndJumpBackKeepTheSections()
{
    TestWindow t;
    auto& [device, prompts, w, c] = t;
    Clock clock{t};
    QCOMPARE(c.lblSpeed->text(), QString("Speed 1.0x"));
    for (int press = 0; press < 7; ++press)
        w.menuSlower_Click();
    QCOMPARE(c.lblSpeed->text(), QString("Speed 0.5x"));
    QCOMPARE(device.Speed(), 500);

    // Capture at half speed: two seconds of listening are one of media.
    captureSections(t, clock, {});
    w.menuJumpBack_Click(); // at the very start: stays at 0
    QCOMPARE(device.Position(), 0);
    clock.run(4000);
    QCOMPARE(device.Position(), 2000);
    QCOMPARE(c.lblCurrent->text(), FormatTime(2000));
    w.menuPlay_Click();
    w.menuPlay_Click();
    QCOMPARE(rowCells(*c.oGrid, 1).mid(0, 2), QStringList({"0", "2000"}));

    // Jumps back during capture: never before the section's start.
    clock.run(10000);
    QCOMPARE(device.Position(), 7000);
    w.menuJumpBack_Click();
    QCOMPARE(device.Position(), 4000);
    QCOMPARE(device.mode(), DeviceMode::Playing);
    QCOMPARE(c.oGrid->text(2, 1), QString("4000"));
    w.menuJumpBack_Click();
    QCOMPARE(device.Position(), 2000);
    QCOMPARE(c.lblSectionStart->text(), QString("2000"));
    QCOMPARE(rowCells(*c.oGrid, 2).mid(0, 2), QStringList({"2000", "2000"}));
    QCOMPARE(rowCells(*c.oGrid, 1).mid(0, 2), QStringList({"0", "2000"}));
    clock.run(2000);
    w.menuPlay_Click(); // closes the section at 3000
    QCOMPARE(c.oGrid->text(2, 1), QString("3000"));
    // Closed, the section keeps its end: the words typed now are its words.
    w.menuJumpBack_Click();
    QCOMPARE(device.Position(), 3000);
    QCOMPARE(c.oGrid->text(2, 1), QString("3000"));

    // The replay keeps the speed: its second of media lasts two.
    clock.run(500);
    w.menuRewind_Click();
    clock.run(1900);
    QCOMPARE(device.mode(), DeviceMode::Playing);
    clock.run(200);
    QCOMPARE(device.mode(), DeviceMode::Paused);
    QCOMPARE(device.Position(), 3000);

    // Faster up to 2.0x; a seek into the first section plays it at that speed.
    for (int press = 0; press < 20; ++press)
        w.menuFaster_Click();
    QCOMPARE(c.lblSpeed->text(), QString("Speed 2.0x"));
    w.SliderTime_SeekTo(1000);
    QCOMPARE(device.Position(), 1000);
    clock.run(400);
    QCOMPARE(device.Position(), 1800);
    // Back three seconds from 1800 is 0; the replay goes on to its end.
    w.menuJumpBack_Click();
    QCOMPARE(device.Position(), 0);
    QCOMPARE(device.mode(), DeviceMode::Playing);
    clock.run(1100);
    QCOMPARE(device.Position(), 2000);
    QCOMPARE(rowCells(*c.oGrid, 1).mid(0, 2), QStringList({"0", "2000"}));

    w.menuNormalSpeed_Click();
    QCOMPARE(c.lblSpeed->text(), QString("Speed 1.0x"));
    QCOMPARE(device.Speed(), 1000);
}

#include "TestWindow.h"
#include "UrlRecorder.h"

#include "controls/AquaButton.h"
#include "controls/PlaySlider.h"
#include "controls/ProblemBar.h"
#include "controls/Twips.h"
#include "storage/RecoveryFile.h"
#include "workspace/MainLayout.h"
#include "workspace/SectionGrid.h"
#include "workspace/VideoWindow.h"
#include "workspace/WaveformStrip.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

// What only the window can show: the widgets of the cycle, keys from the text box, the
// mouse on the table and the seek bar, the layout, and the order of things at the close.

namespace {

const QString Media = "/recordings/interview.wav";

struct Window : TestWindow
{
    Window()
    {
        device.addMedia(Media, 60000);
        prompts.scriptFiles({Media});
        w.menuOpen_Click();
        w.show();
    }

    // The mode, the buttons ("-" when hidden), the times, the section's
    // bounds raw and as times, the seek bar's highlight and thumb.
    QStringList shown() const
    {
        const PlaySlider& bar = *c.SliderTime;
        return {c.lblMode->text(),
                c.cmdPlay->isHidden() ? "-" : c.cmdPlay->Caption(),
                c.cmdRewind->isHidden() ? "-" : c.cmdRewind->Caption(),
                c.lblCurrent->text() + " / " + c.lblEnd->text(),
                c.lblSectionStart->text() + ".." + c.lblSectionEnd->text(),
                c.lblSectionStartView->text() + ".." + c.lblSectionEndView->text(),
                QString::asprintf("%d..%d at %d of %d", bar.SectionStart(), bar.SectionEnd(),
                                  bar.Value(), bar.Max())};
    }
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void showsTheCycle();
    void keysFromTheTextBox();
    void tableAndSeekBarByMouse();
    void layoutFollowsTheWindow();
    void closingStopsTheSoundFirst();
    void soundLostWhileCapturing();
    void movedRecording();
    void videoWindow();
};

void TestMainWindow::showsTheCycle()
{
    Window t;
    auto& [device, prompts, w, c] = static_cast<TestWindow&>(t);
    QCOMPARE(device.TimeFormat(), MediaControl::MillisecondsFormat);
    QCOMPARE(c.lblMediaFile->text(), QString("interview.wav"));
    w.cmdPlay_Click();
    QCOMPARE(w.windowTitle(), QString("Kelvane *"));
    device.advance(2500);
    w.Timer1_Timer();
    QCOMPARE(t.shown(), QStringList({"Playing...", "Pause (F11)", "-", "00:00:02 / 00:01:00",
                                     "0..2500", "00:00:00..00:00:02", "0..2500 at 2500 of 60000"}));
    w.cmdPlay_Click();
    w.Timer1_Timer();
    QCOMPARE(t.shown().mid(0, 3), QStringList({"Paused... \nPlease type the text for this section.",
                                               "Continue (F11)", "Rewind (F12)"}));
    QTest::keyClicks(c.txtScript, "first");
    w.cmdPlay_Click();
    QVERIFY(c.txtScript->toPlainText().isEmpty());
    QCOMPARE(QList<int>({c.oGrid->row(), c.oGrid->colSel()}), QList<int>({2, 4}));
    QCOMPARE(t.shown().mid(4),
             QStringList({"2500..2500", "00:00:02..00:00:02", "2500..2501 at 2500 of 60000"}));
    // A replay hides Play, and F11 with it.
    device.advance(1000);
    w.cmdPlay_Click();
    w.Timer1_Timer();
    w.menuRewind_Click();
    const QStringList sent = device.commands();
    w.menuPlay_Click();
    QCOMPARE(device.commands(), sent);
    w.Timer1_Timer();
    QCOMPARE(t.shown().mid(0, 3), QStringList({"Rewinding...", "-", "Rewind (F12)"}));
    // A recording that ends early says so in the bar, until the workspace is reset.
    device.cutShort(3000);
    device.advance(1000);
    w.Timer1_Timer();
    QVERIFY(c.problemBar->text().startsWith("The recording ends early, at 00:00:03"));
    // A row's text comes back into the text box, and showing it is no edit.
    c.chkAutoRewind->setChecked(true);
    w.state().isDirty = false;
    c.oGrid->setRow(1);
    w.oGrid_Click();
    QCOMPARE(c.txtScript->toPlainText(), QString("first"));
    QVERIFY(!w.state().isDirty && w.cycle().autoRewind());
    // A reset empties the window.
    w.ResetWorkspace();
    QCOMPARE(t.shown(), QStringList({"", "Play (F11)", "Rewind (F12)", "00:00:00 / 00:00:00",
                                     "0..0", "00:00:00..00:00:00", "0..1 at 0 of 1000"}));
    QVERIFY(c.lblMediaFile->text().isEmpty() && !c.chkAutoRewind->isChecked() &&
            c.oGrid->rows() == 2 && w.windowTitle() == "Kelvane" && c.problemBar->isHidden());
    // Media that cannot be opened: the message, then an empty workspace or the unsaved work kept.
    for (const bool dirty : {false, true}) {
        prompts.scriptFiles({QCoreApplication::applicationFilePath()});
        w.menuOpen_Click();
        w.state().isDirty = dirty;
        c.oGrid->setText(1, 4, "typed without media");
        prompts.script({Prompts::Answer::Ok});
        w.cmdPlay_Click();
        QCOMPARE(prompts.asked.last().text,
                 QString("Sorry. The application doesn't support this type of media."));
        QCOMPARE(w.state().mediaFile.isEmpty() || c.oGrid->text(1, 4).isEmpty(), !dirty);
        QCOMPARE(w.cycle().phase(), CaptureCycle::Phase::Idle);
    }
    QCOMPARE(prompts.unexpected, 0);
}

void TestMainWindow::keysFromTheTextBox()
{
    TestWindow t;
    auto& [device, prompts, w, c] = t;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTRY_VERIFY(c.txtScript->hasFocus());
    // The release of a key pressed elsewhere (the Enter that closed a
    // dialog) is no typing; any key typed in the box is, an arrow too.
    QTest::keyRelease(c.txtScript, Qt::Key_Return);
    QVERIFY(!w.state().isDirty);
    QTest::keyClick(c.txtScript, Qt::Key_Left);
    QCOMPARE(w.windowTitle(), QString("Kelvane *"));
    // The text goes into the current row as one line, Shift+Enter's line break too; a
    // non-breaking space stays one; a paste goes in as its plain text, never as formatting.
    const QString nbsp(QChar::Nbsp);
    QTest::keyClicks(c.txtScript, "Hello");
    QTest::keyClick(c.txtScript, Qt::Key_Return);
    QTest::keyClicks(c.txtScript, "world");
    QTest::keyClick(c.txtScript, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(c.txtScript, "5" + nbsp + "km\t"); // Tab is typed, the caret stays
    // A problem met in the background shows below the panels, and takes no key.
    w.showProblem(ProjectWindow::Problem::AutoSave, "not saved");
    QVERIFY(c.problemBar->isVisible() && c.txtScript->hasFocus());
    auto* pasted = new QMimeData;
    pasted->setData("text/markdown", "|a|b|\n|-|-|\n|1|2|\n\n![x](y.png) **end**");
    pasted->setText(" a b end");
    QApplication::clipboard()->setMimeData(pasted);
    QTest::keyClick(c.txtScript, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(c.oGrid->text(1, 4), "Hello world 5" + nbsp + "km\t a b end");
    // Every shortcut acts from the text box, none types into it; Export opens over the window.
    const UrlRecorder browser;
    bool modalOverWindow = false;
    prompts.script({Prompts::Answer::No, Prompts::Answer::No, Prompts::Answer::Ok});
    prompts.scriptFiles({Media, "", ""});
    device.addMedia(Media, 60000);
    for (QAction* action :
         {c.menuOpen, c.menuPlay, c.menuSlower, c.menuFaster, c.menuNormalSpeed, c.menuLouder,
          c.menuQuieter, c.menuJumpBack, c.menuPlay, c.menuRewind, c.menuSave, c.menuLoad,
          c.menuExport, c.menuExportSubtitles, c.menuHelpDoc, c.menuZoomOut, c.menuZoomOut}) {
        QSignalSpy triggered(action, &QAction::triggered);
        if (action == c.menuExport)
            QTimer::singleShot(0, [&] {
                modalOverWindow = QApplication::activeModalWidget()->parentWidget() == &w;
                QApplication::activeModalWidget()->close();
            });
        QTest::keySequence(c.txtScript, action->shortcut());
        QCOMPARE(triggered.count(), 1);
        QTRY_VERIFY2(c.txtScript->hasFocus(), qPrintable(action->text()));
    }
    QCOMPARE(device.commands().mid(0, 4), QStringList({"close", "close", "open", "play"}));
    QCOMPARE(c.lblSpeed->text(), QString("Speed 1.0x"));
    // Zoom: out twice, then in with Ctrl and "+" or "=" (the key "+" is on, unshifted).
    QCOMPARE(c.waveform->spanMs(), 60000);
    QTest::keyClick(c.txtScript, Qt::Key_Equal, Qt::ControlModifier);
    QCOMPARE(c.waveform->spanMs(), 30000);
    // F7 and F6 make the sound louder and quieter by a tenth, from silence to twice the recording.
    const auto volumeAfter = [&](Qt::Key key, int presses) {
        for (int press = 0; press < presses; ++press)
            QTest::keyClick(c.txtScript, key);
        return c.lblVolume->text() + " / " + QString::number(device.Volume());
    };
    QCOMPARE(volumeAfter(Qt::Key_F6, 3), QString("Volume 70% / 70"));
    QCOMPARE(volumeAfter(Qt::Key_F7, 14), QString("Volume 200% / 200"));
    QCOMPARE(volumeAfter(Qt::Key_F6, 21), QString("Volume 0% / 0"));
    QVERIFY(browser.opened.size() == 1 && modalOverWindow); // the user guide, the export window
    QVERIFY(c.txtScript->toPlainText().isEmpty() && !prompts.unexpected);
    // The keys reach the menus from the other controls too.
    QSignalSpy play(c.menuPlay, &QAction::triggered);
    QTest::keyClick(c.oGrid, Qt::Key_F11);
    QCOMPARE(play.count(), 1);
}

void TestMainWindow::tableAndSeekBarByMouse()
{
    Window t;
    auto& [device, prompts, w, c] = static_cast<TestWindow&>(t);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    for (int press = 0; press < 5; ++press) {
        w.cmdPlay_Click();
        device.advance(2000);
    }
    // A left click on a row replays it, the caret kept in the text box and the times in view; a
    // drag picks the row of the release; other buttons, and a click below the rows, nothing.
    SectionGrid& grid = *c.oGrid;
    const auto cell = [&grid](int row, int column) {
        return grid.visualRect(grid.model()->index(row - 1, column)).center();
    };
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell(1, 4));
    QCOMPARE(device.To(), 2000);
    QVERIFY(c.txtScript->hasFocus() && grid.horizontalScrollBar()->value() == 0);
    QTest::mousePress(grid.viewport(), Qt::LeftButton, {}, cell(1, 2));
    QTest::mouseMove(grid.viewport(), cell(2, 2));
    QTest::mouseRelease(grid.viewport(), Qt::LeftButton, {}, cell(2, 2));
    QCOMPARE(w.cycle().currentRow(), 1);
    QTest::mouseClick(grid.viewport(), Qt::RightButton, {}, cell(1, 2));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, {10, grid.viewport()->height() - 5});
    QVERIFY(grid.row() == 2 && grid.selectionModel()->isRowSelected(1, {}));
    // The seek bar: the time under the dragged thumb, then its section replayed from there.
    w.SliderTime_TryToSeekTo(3000);
    QCOMPARE(c.lblSeekTime->isHidden() ? "hidden" : c.lblSeekTime->text(), QString("00:00:03"));
    w.SliderTime_SeekTo(3000);
    QVERIFY(c.lblSeekTime->isHidden());
    QCOMPARE(c.lblCurrent->text(), QString("00:00:03"));
    QCOMPARE(QList<qint32>({device.From(), c.SliderTime->Value()}), QList<qint32>({3000, 3000}));
}

// Smaller than the minimum, the window snaps back to it; larger, the table
// widens and the text box grows down, as the design's rule says.
void TestMainWindow::layoutFollowsTheWindow()
{
    const MainLayout::Sizes s = MainLayout::sizesFor(12000, 8000);
    QCOMPARE(QList<int>({s.frame1Height, s.frame3Height, s.scriptHeight, s.frame2Height,
                         s.frame2Width, s.gridWidth, s.gridHeight}),
             QList<int>({7065, 3010, 2120, 7050, 6315, 5830, 6475}));
    QCOMPARE(MainLayout::sizesFor(12000, 8000 + MainLayout::StripBand, true).strip,
             QRect(120, 7260, 11580, 1290));
    TestWindow t;
    t.w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&t.w));
    // The volume beside the speed, clear of it and wide enough for its longest text.
    const QLabel& volume = *t.c.lblVolume;
    QVERIFY(volume.fontMetrics().horizontalAdvance("Volume 200%") <= volume.width() &&
            !volume.geometry().intersects(t.c.lblSpeed->geometry()));
    // The waveform strip under the panels takes the full width and its band of the
    // height; hidden, the panels take the band back.
    for (const QSize size : {QSize(200, 100), QSize(1400, 900), QSize(1400, 900)}) {
        const bool stripShown = t.c.menuWaveform->isChecked();
        const int minimumHeight =
            MainLayout::MinimumOuterHeight + (stripShown ? MainLayout::StripBand : 0);
        t.w.resize(size);
        const auto outer = [&t] {
            const QSize client = t.w.centralWidget()->size();
            return QSize(int(pixelsToTwips(client.width())) + MainLayout::NonClientWidth,
                         int(pixelsToTwips(client.height())) + MainLayout::NonClientHeight);
        };
        QTRY_VERIFY(outer().width() >= MainLayout::MinimumOuterWidth);
        QVERIFY(size.width() > 200 || outer().width() == MainLayout::MinimumOuterWidth);
        QVERIFY(outer().height() >= minimumHeight &&
                (size.height() > 100 || outer().height() < minimumHeight + 15));
        const MainLayout::Sizes now =
            MainLayout::sizesFor(outer().width(), outer().height(), stripShown);
        QCOMPARE(t.c.txtScript->height(), twipsToPixels(now.scriptHeight));
        QCOMPARE(t.c.oGrid->size(),
                 QSize(twipsToPixels(now.gridWidth), twipsToPixels(now.gridHeight)));
        QCOMPARE(t.c.waveform->isVisible(), stripShown);
        if (stripShown) {
            const QRect strip = t.c.waveform->geometry();
            QVERIFY(strip.top() > t.c.Frame1->geometry().bottom() &&
                    strip.top() > t.c.Frame2->geometry().bottom());
            QVERIFY(strip.left() == t.c.Frame1->x() &&
                    strip.right() == t.c.Frame2->geometry().right());
        }
        if (size.width() == 1400)
            t.c.menuWaveform->trigger();
    }
    // Minimized, the panels do not follow a client area shrunk to nothing.
    const QRect before = t.c.oGrid->geometry();
    t.w.showMinimized();
    QTRY_VERIFY(t.w.isMinimized());
    t.w.centralWidget()->resize(10, 10);
    QCOMPARE(t.c.oGrid->geometry(), before);
}

// The sound stops before the quit question; Yes saves, No lets the work go, and no recovery copy
// is left. Cancel, or a save asked for that does not happen, keeps the window and the work.
void TestMainWindow::closingStopsTheSoundFirst()
{
    QTemporaryDir folder;
    const QString saved = folder.filePath("quit.kvprj");
    for (const Prompts::Answer answer : {Prompts::Answer::No, Prompts::Answer::Yes,
                                         Prompts::Answer::Yes, Prompts::Answer::Cancel}) {
        Window t;
        t.w.cmdPlay_Click();
        t.w.project().keepRecoveryCopy();
        QVERIFY(QFile::exists(recoveryFilePath()));
        DeviceMode modeWhileAsking = DeviceMode::Playing;
        t.prompts.whileAsking = [&](const QString&) {
            modeWhileAsking = t.device.mode();
        };
        t.prompts.script({answer});
        const bool cancelled = QFile::exists(saved) || answer == Prompts::Answer::Cancel;
        t.prompts.scriptFiles({cancelled ? QString() : saved});
        QCOMPARE(t.w.close(), !cancelled);
        QCOMPARE(t.prompts.asked.value(0).text,
                 QString("Do you want to save the project before quit?"));
        QCOMPARE(modeWhileAsking, DeviceMode::NotOpen);
        QCOMPARE(QFile::exists(saved), answer != Prompts::Answer::No);
        QCOMPARE(QFile::exists(recoveryFilePath()), cancelled);
        QCOMPARE(t.w.isVisible() && t.w.state().isDirty, cancelled);
    }
    // Nothing unsaved: nothing is asked, and a copy kept before goes too.
    Window t;
    t.w.cmdPlay_Click();
    t.w.project().keepRecoveryCopy();
    t.w.state().isDirty = false;
    QVERIFY(t.w.close() && t.prompts.asked.isEmpty() && !QFile::exists(recoveryFilePath()));
}

// A project whose recording is not at its path keeps its rows: the user may look for the
// recording, in the project's folder, and the work goes on with it, unsaved; or leave it,
// and the next Play asks again. A recording that is there but does not play keeps the rows
// too. Names are shown as they are written, markup and Qt's own marks alike.
void TestMainWindow::movedRecording()
{
    QTemporaryDir dir;
    const QString project = dir.filePath("p[*].kvprj"), moved = dir.filePath("<b>moved.wav");
    const auto write = [](const QString& path, const QByteArray& bytes) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    const auto projectOn = [&](const QString& media) {
        return write(project, "kv project file\n" + media.toUtf8() +
                                  "\n0<|S|>4000<|S|>00:00:00<|S|>00:00:04<|S|>hello\n<|S|><|S|><|"
                                  "S|><|S|>");
    };
    QVERIFY(projectOn(dir.filePath("gone.wav")) && write(moved, "RIFF"));
    Window t;
    auto& [device, prompts, w, c] = static_cast<TestWindow&>(t);
    device.addMedia(moved, 60000);
    prompts.scriptChoices({1, 0});
    prompts.scriptFiles({moved});
    w.project().openFile(project);
    QVERIFY(prompts.asked.value(0).text.contains("was not found at\n" + dir.filePath("gone.wav")));
    QVERIFY(c.oGrid->rows() == 3 && c.oGrid->text(1, 4) == "hello" && !w.state().isDirty);
    QCOMPARE(w.windowHandle()->title(), "Kelvane " + project);
    w.cmdPlay_Click();
    QCOMPARE(prompts.dialogs.last().initialFolder, dir.path());
    QVERIFY(device.mode() == DeviceMode::Playing && w.state().mediaFile == moved);
    QCOMPARE(w.windowHandle()->title(), "Kelvane *" + project);
    QCOMPARE(c.lblMediaFile->text(), QString("<b>moved.wav"));
    QCOMPARE(c.lblMediaFile->textFormat(), Qt::PlainText);
    // Found while opening: unsaved from the start.
    QVERIFY(projectOn(dir.filePath("gone.wav")) && w.state().isDirty);
    prompts.script({Prompts::Answer::No});
    prompts.scriptChoices({0});
    prompts.scriptFiles({moved});
    w.project().openFile(project);
    QVERIFY(w.state().mediaFile == moved && w.windowTitle().startsWith("Kelvane *"));
    // There, but not playable: today's message, and the rows stay.
    QVERIFY(projectOn(project));
    prompts.script({Prompts::Answer::No, Prompts::Answer::Ok});
    w.project().openFile(project);
    QCOMPARE(prompts.asked.last().text,
             QString("Sorry. The application doesn't support this type of media."));
    QVERIFY(c.oGrid->rows() == 3 && c.oGrid->text(1, 4) == "hello" && !prompts.unexpected);
}

QTEST_MAIN(TestMainWindow)
#include "tst_window.moc"

// A lost output closes the capture section where the sound stopped and says so in the bar;
// Continue commits the section and plays on, and the bar clears. No output
// at all is told the same way.
void TestMainWindow::soundLostWhileCapturing()
{
    Window t;
    auto& [device, prompts, w, c] = static_cast<TestWindow&>(t);
    w.cmdPlay_Click();
    device.advance(1500);
    device.loseSound(SoundOutput::Lost);
    device.advance(500);
    w.Timer1_Timer();
    QCOMPARE(t.shown().mid(0, 2),
             QStringList({"Paused... \nPlease type the text for this section.", "Continue (F11)"}));
    QVERIFY(c.problemBar->text().contains("Playing paused at 00:00:01"));
    QTest::keyClicks(c.txtScript, "words");
    w.menuPlay_Click();
    QCOMPARE(device.mode(), DeviceMode::Playing);
    QCOMPARE(c.oGrid->text(1, 4), QString("words"));
    QCOMPARE(t.shown().mid(4, 1), QStringList({"1500..1500"}));
    QVERIFY(c.problemBar->isHidden());
    device.loseSound(SoundOutput::Silent);
    QVERIFY(c.problemBar->text().startsWith("No sound output"));
}

// The video window opens by itself for the first recording with a picture
// only, follows View > Video and its key from the text box, and never takes
// the keyboard.
void TestMainWindow::videoWindow()
{
    Window t;
    auto& [device, prompts, w, c] = static_cast<TestWindow&>(t);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.cmdPlay_Click();
    QVERIFY(c.video->isHidden()); // sound only
    const QString video = "/recordings/lecture.mp4";
    device.addMedia(video, 30000);
    device.addPicture(video);
    for (int opened = 0; opened < 2; ++opened) {
        prompts.script({Prompts::Answer::No});
        prompts.scriptFiles({video});
        w.menuOpen_Click();
        w.cmdPlay_Click();
        QCOMPARE(c.video->isVisible(), opened == 0);
        QCOMPARE(c.menuVideo->isChecked(), opened == 0);
        QTRY_VERIFY(c.txtScript->hasFocus() && QApplication::activeWindow() == &w);
        QTest::keyClicks(c.txtScript, "so");
        QTest::keySequence(c.txtScript, c.menuVideo->shortcut());
        QCOMPARE(c.video->isVisible(), opened != 0);
        QTRY_VERIFY(c.txtScript->hasFocus() && QApplication::activeWindow() == &w);
    }
    QCOMPARE(c.txtScript->toPlainText(), QString("so"));
    QCOMPARE(c.video->windowTitle(), QString("Kelvane - Video"));
    c.video->close(); // its close box
    QVERIFY(!c.menuVideo->isChecked() && !prompts.unexpected);
}

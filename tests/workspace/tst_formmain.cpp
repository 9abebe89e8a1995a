#include "TestWindow.h"
#include "UrlRecorder.h"

#include "controls/AquaButton.h"
#include "controls/PlaySlider.h"
#include "controls/Twips.h"
#include "dialogs/MessageBoxPrompts.h"
#include "workspace/FormMain.h"
#include "workspace/MainLayout.h"
#include "workspace/SectionGrid.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

QRect designPixels(int left, int top, int width, int height)
{
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

// The outer size in twips that the window's layout works from.
QSize outerTwips(const FormMain& window)
{
    const QSize client = window.centralWidget()->size();
    return {int(pixelsToTwips(client.width())) + MainLayout::NonClientWidth,
            int(pixelsToTwips(client.height())) + MainLayout::NonClientHeight};
}

} // namespace

class TestFormMain : public QObject
{
    Q_OBJECT

private slots:
    void startsWithTheDesignState();
    void controlsSitAtTheirDesignPlaces();
    void resetEmptiesTheWorkspace();
    void captionForms();
    void menusAndTheirKeysFromTheTextBox();
    void layoutFollowsTheWindowAboveTheMinimum();
    void minimizeAndRestoreKeepTheLayout();
    void quitClosesTheMediaThenAsksWhenUnsaved();
    void messageBoxesAreTitledAndPlain();
};

void TestFormMain::startsWithTheDesignState()
{
    FakeMediaControl device;
    device.setTimeFormat(7);
    ScriptedPrompts prompts;
    FormMain w(device, prompts);
    const FormMain::Controls& c = w.controls();

    QCOMPARE(device.TimeFormat(), MediaControl::MillisecondsFormat);
    QCOMPARE(w.windowTitle(), QString("Kelvane"));
    QCOMPARE(w.state().mediaFile, QString());
    QCOMPARE(w.state().projectFile, QString());
    QCOMPARE(w.cycle().seekStart(), -1);
    QVERIFY(!w.state().isDirty && !(w.cycle().phase() != CaptureCycle::Phase::Idle) &&
            !(!w.cycle().captureIsOpen()) &&
            !(w.cycle().phase() == CaptureCycle::Phase::Replaying));
    QVERIFY(device.commands().isEmpty()); // nothing is opened or closed at start

    QCOMPARE(c.oGrid->rows(), 2);
    for (int column = 0; column < 5; ++column)
        QVERIFY(c.oGrid->text(1, column).isEmpty());
    QCOMPARE(c.lblMediaFile->text(), QString("Audio/Video File "));
    QVERIFY(c.lblMode->text().isEmpty());
    for (QLabel* time : {c.lblStart, c.lblCurrent, c.lblSeekTime, c.lblEnd, c.lblSectionStartView,
                         c.lblSectionEndView})
        QCOMPARE(time->text(), QString("00:00:00"));
    QCOMPARE(c.lblSectionStart->text(), QString("00:00"));
    QCOMPARE(c.lblSectionEnd->text(), QString("00:00"));
    QCOMPARE(c.Label1->text(), QString("Section Start:"));
    QCOMPARE(c.Label2->text(), QString("Section End:"));
    QCOMPARE(c.cmdPlay->Caption(), QString("Play (F11)"));
    QCOMPARE(c.cmdRewind->Caption(), QString("Rewind (F12)"));
    QCOMPARE(c.chkAutoRewind->text(), QString("Auto Rewind When Pause"));
    QVERIFY(!c.chkAutoRewind->isChecked());
    QCOMPARE(c.Frame3->title(), QString("Transcript"));
    QCOMPARE(c.Frame2->title(), QString("Transcript"));
    QVERIFY(c.Frame1->title().isEmpty());
    QVERIFY(c.txtScript->toPlainText().isEmpty());
    QCOMPARE(c.SliderTime->Min(), 0);
    QCOMPARE(c.SliderTime->Max(), 0);
    QCOMPARE(c.SliderTime->Value(), 0);
    QCOMPARE(c.SliderTime->SectionStart(), 0);
    QCOMPARE(c.SliderTime->SectionEnd(), 0);

    QCOMPARE(c.Timer1->interval(), 500);
    QVERIFY(c.Timer1->isActive());
    QCOMPARE(c.TimerAutoRewind->interval(), 3000);
    QVERIFY(!c.TimerAutoRewind->isActive());
    QCOMPARE(c.TimerAutoSaver->interval(), 30000);
    QVERIFY(c.TimerAutoSaver->isActive());

    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(c.lblSectionStart->isHidden() && c.lblSectionEnd->isHidden());
    QVERIFY(c.lblSeekTime->isHidden());
    QVERIFY(c.cmdPlay->isVisible() && c.cmdRewind->isVisible());
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTRY_VERIFY(c.txtScript->hasFocus());
}

void TestFormMain::controlsSitAtTheirDesignPlaces()
{
    TestWindow t;
    auto& [device, prompts, w, c] = t;

    // Places and widths never change; heights of the panels follow the window.
    QCOMPARE(c.Frame1->pos(), designPixels(120, 135, 0, 0).topLeft());
    QCOMPARE(c.Frame1->width(), twipsToPixels(4950));
    QCOMPARE(c.lblMediaFile->geometry(), designPixels(180, 255, 4545, 315));
    QCOMPARE(c.lblMode->geometry(), designPixels(165, 645, 4560, 660));
    QCOMPARE(c.SliderTime->geometry(), designPixels(195, 1500, 4515, 455));
    QCOMPARE(c.lblStart->geometry(), designPixels(195, 2100, 720, 225));
    QCOMPARE(c.lblCurrent->geometry(), designPixels(1755, 2100, 1365, 225));
    QCOMPARE(c.lblSeekTime->geometry(), c.lblCurrent->geometry());
    QCOMPARE(c.lblEnd->geometry(), designPixels(3615, 2100, 1095, 225));
    QCOMPARE(c.chkAutoRewind->geometry(), designPixels(1215, 3450, 2985, 300));
    QCOMPARE(c.Frame3->pos(), designPixels(90, 3855, 0, 0).topLeft());
    QCOMPARE(c.Frame3->width(), twipsToPixels(4755));
    QCOMPARE(c.Label1->geometry(), designPixels(195, 300, 1080, 225));
    QCOMPARE(c.lblSectionStartView->geometry(), designPixels(1320, 270, 780, 285));
    QCOMPARE(c.Label2->geometry(), designPixels(2520, 300, 1035, 225));
    QCOMPARE(c.lblSectionEndView->geometry(), designPixels(3600, 270, 780, 285));
    QCOMPARE(c.txtScript->pos(), designPixels(150, 690, 0, 0).topLeft());
    QCOMPARE(c.txtScript->width(), twipsToPixels(4440));
    QCOMPARE(c.Frame2->pos(), designPixels(5385, 150, 0, 0).topLeft());
    QCOMPARE(c.oGrid->pos(), designPixels(285, 375, 0, 0).topLeft());
    QCOMPARE(c.cmdPlay->geometry(), designPixels(645, 2910, 1755, 330));
    QCOMPARE(c.cmdRewind->geometry(), designPixels(2700, 2910, 1755, 330));

    // The speed sits in the free band under the current time: it covers
    // nothing of the design, and its longest text fits.
    QCOMPARE(c.lblSpeed->text(), QString("Speed 1.0x"));
    const auto inClient = [&w](const QWidget* control) {
        return QRect(control->mapTo(w.centralWidget(), QPoint(0, 0)), control->size());
    };
    for (const QWidget* other :
         std::initializer_list<const QWidget*>{c.lblStart, c.lblCurrent, c.lblEnd, c.SliderTime,
                                               c.cmdPlay, c.cmdRewind, c.chkAutoRewind, c.Frame3})
        QVERIFY2(!inClient(c.lblSpeed).intersects(inClient(other)),
                 qPrintable(other->objectName()));
    QVERIFY(c.lblSpeed->fontMetrics().horizontalAdvance("Speed 0.5x") <= c.lblSpeed->width());

    // The buttons belong to the window and are drawn over the left panel.
    QCOMPARE(c.cmdPlay->parentWidget(), w.centralWidget());
    QVERIFY(c.Frame1->geometry().contains(c.cmdPlay->geometry()));
    const QObjectList& stack = w.centralWidget()->children();
    QVERIFY(stack.indexOf(c.cmdPlay) > stack.indexOf(c.Frame1));
    QVERIFY(stack.indexOf(c.cmdRewind) > stack.indexOf(c.Frame1));
    QCOMPARE(c.txtScript->parentWidget(), c.Frame3);
    QCOMPARE(c.Frame3->parentWidget(), c.Frame1);
    QCOMPARE(c.oGrid->parentWidget(), c.Frame2);

    // One look: grey background, dark grey text, Arial 9 pt.
    QCOMPARE(w.palette().color(QPalette::Window), QColor(0xE0, 0xE0, 0xE0));
    QCOMPARE(c.lblMode->palette().color(QPalette::WindowText), QColor(0x40, 0x40, 0x40));
    QCOMPARE(c.txtScript->palette().color(QPalette::Text), QColor(0x40, 0x40, 0x40));
    QCOMPARE(c.oGrid->palette().color(QPalette::Base), QColor(0xE0, 0xE0, 0xE0));
    QCOMPARE(c.oGrid->palette().color(QPalette::Text), QColor(0x40, 0x40, 0x40));
    QCOMPARE(c.txtScript->font().family(), QString("Arial"));
    QCOMPARE(c.oGrid->font().pointSize(), 9);
    QCOMPARE(c.lblSeekTime->autoFillBackground(), true);
    QCOMPARE(c.lblMediaFile->alignment(), Qt::AlignCenter);
    QCOMPARE(c.lblEnd->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    QCOMPARE(c.txtScript->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

    // Table columns: the raw positions narrow, the text column wide.
    QVERIFY(c.oGrid->columnWidth(0) <= 2 && c.oGrid->columnWidth(1) <= 2);
    QVERIFY(c.oGrid->columnWidth(2) > c.oGrid->fontMetrics().horizontalAdvance("Start Time"));
    QVERIFY(c.oGrid->columnWidth(4) > 4 * c.oGrid->width() / 3);
    QVERIFY(c.oGrid->verticalHeader()->isHidden());
    QCOMPARE(c.oGrid->selectionBehavior(), QAbstractItemView::SelectRows);

    // The design's client area is 12,645 twips wide; its height is below the
    // minimum, so the window opens at the minimum height.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.centralWidget()->width(), twipsToPixels(12645));
    QVERIFY(outerTwips(w).height() >= MainLayout::MinimumOuterHeight);
    QVERIFY(outerTwips(w).height() < MainLayout::MinimumOuterHeight + TwipsPerPixel);
}

void TestFormMain::resetEmptiesTheWorkspace()
{
    TestWindow t;
    auto& [device, prompts, w, c] = t;

    // A workspace in use.
    WorkspaceState& s = w.state();
    s = {"/media/talk.mp3", "/projects/talk.kvprj", true};
    c.lblMediaFile->setText("talk.mp3");
    c.lblMode->setText("Playing...");
    c.SliderTime->setMax(90000);
    c.SliderTime->setSectionStart(4000);
    c.SliderTime->setSectionEnd(9000);
    c.SliderTime->setValue(8000);
    c.lblCurrent->setText("00:00:08");
    c.lblEnd->setText("00:01:30");
    c.cmdPlay->hide();
    c.cmdPlay->setCaption("Pause (F11)");
    c.cmdRewind->hide();
    c.chkAutoRewind->setChecked(true);
    c.lblSectionStart->setText("4000");
    c.lblSectionEnd->setText("9000");
    c.lblSectionStartView->setText("00:00:04");
    c.lblSectionEndView->setText("00:00:09");
    c.txtScript->setPlainText("some words");
    c.oGrid->setRows(5);
    for (int row = 1; row < 5; ++row)
        for (int column = 0; column < 5; ++column)
            c.oGrid->setText(row, column, QString::number(row * 10 + column));
    w.markUnsaved();

    w.ResetWorkspace();

    QCOMPARE(s.mediaFile, QString());
    QCOMPARE(s.projectFile, QString());
    QVERIFY(!s.isDirty && w.cycle().phase() == CaptureCycle::Phase::Idle);
    QCOMPARE(w.cycle().seekStart(), -1);
    QCOMPARE(device.commands(), QStringList{"close"});
    QVERIFY(c.lblMediaFile->text().isEmpty());
    QVERIFY(c.lblMode->text().isEmpty());
    QCOMPARE(c.SliderTime->Min(), 0);
    QCOMPARE(c.SliderTime->Max(), 1000);
    QCOMPARE(c.SliderTime->SectionStart(), 0);
    QCOMPARE(c.SliderTime->SectionEnd(), 1);
    QCOMPARE(c.SliderTime->Value(), 0);
    QCOMPARE(c.lblCurrent->text(), QString("00:00:00"));
    QCOMPARE(c.lblEnd->text(), QString("00:00:00"));
    QVERIFY(!c.cmdPlay->isHidden() && !c.cmdRewind->isHidden());
    QCOMPARE(c.cmdPlay->Caption(), QString("Play (F11)"));
    QVERIFY(!c.chkAutoRewind->isChecked());
    QCOMPARE(c.lblSectionStart->text(), QString("0"));
    QCOMPARE(c.lblSectionEnd->text(), QString("0"));
    QCOMPARE(c.lblSectionStartView->text(), QString("00:00:00"));
    QCOMPARE(c.lblSectionEndView->text(), QString("00:00:00"));
    QVERIFY(c.txtScript->toPlainText().isEmpty());
    QCOMPARE(c.oGrid->rows(), 2);
    for (int column = 0; column < 5; ++column)
        QVERIFY(c.oGrid->text(1, column).isEmpty());
    QCOMPARE(w.windowTitle(), QString("Kelvane"));
}

void TestFormMain::captionForms()
{
    TestWindow t;
    auto& [device, prompts, w, c] = t;

    // Without a project file the star ends the caption.
    w.markUnsaved();
    QVERIFY(w.state().isDirty);
    QCOMPARE(w.windowTitle(), QString("Kelvane *"));

    // The star runs straight into the path; a saved project has a blank.
    w.state().projectFile = "/home/ana/interview 3.kvprj";
    w.markUnsaved();
    QCOMPARE(w.windowTitle(), QString("Kelvane */home/ana/interview 3.kvprj"));
    w.showProjectCaption();
    QCOMPARE(w.windowTitle(), QString("Kelvane /home/ana/interview 3.kvprj"));
    QVERIFY(w.state().isDirty); // the caption alone does not clear the mark

    w.ResetWorkspace();
    QCOMPARE(w.windowTitle(), QString("Kelvane"));
}

void TestFormMain::menusAndTheirKeysFromTheTextBox()
{
    TestWindow t;
    auto& [device, prompts, w, c] = t;

    const QList<QAction*> menus = w.menuBar()->actions();
    QCOMPARE(menus.size(), 3);
    QCOMPARE(menus[0]->text(), QString("&File"));
    QCOMPARE(menus[1]->text(), QString("&Play Control"));
    QCOMPARE(menus[2]->text(), QString("&Help"));

    struct Item
    {
        QAction* action;
        QString caption;
        QKeySequence keys;
    };
    const QList<Item> items = {
        {c.menuOpen, "New Transcription Project", QKeySequence("Ctrl+N")},
        {c.menuSave, "Save Project...", QKeySequence("Ctrl+S")},
        {c.menuSaveAs, "Save Project As...", QKeySequence()},
        {c.menuLoad, "Open Project...", QKeySequence("Ctrl+O")},
        {c.menuExport, "Export Transcription Text", QKeySequence("Ctrl+E")},
        {c.menuExportSubtitles, "Export Subtitles...", QKeySequence("Ctrl+Shift+E")},
        {c.menuPlay, "Play", QKeySequence("F11")},
        {c.menuRewind, "Rewind", QKeySequence("F12")},
        {c.menuSlower, "Slower", QKeySequence("F9")},
        {c.menuFaster, "Faster", QKeySequence("F10")},
        {c.menuNormalSpeed, "Normal Speed", QKeySequence("Shift+F10")},
        {c.menuJumpBack, "Jump Back", QKeySequence("F8")},
        {c.menuHelpDoc, "Help Document", QKeySequence("F1")},
        {c.menuAbout, "About", QKeySequence()},
    };
    QList<QAction*> inMenus;
    for (QMenu* menu : {c.mFile, c.menuPlayControl, c.menuHelp})
        inMenus += menu->actions();
    QCOMPARE(inMenus.size(), items.size()); // no separators, no other items
    for (int i = 0; i < items.size(); ++i) {
        QCOMPARE(inMenus[i], items[i].action);
        QCOMPARE(items[i].action->text(), items[i].caption);
        QCOMPARE(items[i].action->shortcut(), items[i].keys);
        QVERIFY(items[i].action->isEnabled() && items[i].action->isVisible());
    }

    // Every shortcut works while the caret is in the text box, and none of
    // them types into it.
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    c.txtScript->setFocus();
    QTRY_VERIFY(c.txtScript->hasFocus());
    QTest::keyClicks(c.txtScript, "typed");
    const UrlRecorder browser;
    for (const Item& item : items) {
        if (item.keys.isEmpty())
            continue;
        QSignalSpy triggered(item.action, &QAction::triggered);
        if (item.action == c.menuExport)
            QTimer::singleShot(0, [] {
                if (QWidget* window = QApplication::activeModalWidget())
                    window->close();
            });
        QTest::keySequence(c.txtScript, item.keys);
        QCOMPARE(triggered.count(), 1);
        // Closing the export window gives the caret back to the text box.
        QTRY_VERIFY2(c.txtScript->hasFocus(), qPrintable(item.caption));
    }
    QCOMPARE(browser.opened.size(), 1); // the user guide
    // New emptied the text box; no key typed into it afterwards.
    QCOMPARE(c.txtScript->toPlainText(), QString());

    // The keys reach the menus from the other controls too.
    c.oGrid->setFocus();
    QSignalSpy play(c.menuPlay, &QAction::triggered);
    QTest::keyClick(c.oGrid, Qt::Key_F11);
    QCOMPARE(play.count(), 1);
}

void TestFormMain::layoutFollowsTheWindowAboveTheMinimum()
{
    // The design's own figures at the minimum size.
    const MainLayout::Sizes minimum = MainLayout::sizesFor(12000, 8000);
    QCOMPARE(minimum.frame1Height, 7065);
    QCOMPARE(minimum.frame3Height, 3010);
    QCOMPARE(minimum.scriptHeight, 2120);
    QCOMPARE(minimum.frame2Height, 7050);
    QCOMPARE(minimum.frame2Width, 6315);
    QCOMPARE(minimum.gridWidth, 5830);
    QCOMPARE(minimum.gridHeight, 6475);

    TestWindow t;
    auto& [device, prompts, w, c] = t;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    auto checkFollows = [&] {
        const QSize outer = outerTwips(w);
        const MainLayout::Sizes s = MainLayout::sizesFor(outer.width(), outer.height());
        QCOMPARE(c.Frame1->height(), twipsToPixels(s.frame1Height));
        QCOMPARE(c.Frame3->height(), twipsToPixels(s.frame3Height));
        QCOMPARE(c.txtScript->height(), twipsToPixels(s.scriptHeight));
        QCOMPARE(c.Frame2->size(),
                 QSize(twipsToPixels(s.frame2Width), twipsToPixels(s.frame2Height)));
        QCOMPARE(c.oGrid->size(), QSize(twipsToPixels(s.gridWidth), twipsToPixels(s.gridHeight)));
        // The left panel keeps its width and its upper part stays put.
        QCOMPARE(c.Frame1->width(), twipsToPixels(4950));
        QCOMPARE(c.txtScript->width(), twipsToPixels(4440));
        QCOMPARE(c.cmdPlay->pos(), designPixels(645, 2910, 0, 0).topLeft());
        QCOMPARE(c.txtScript->pos(), designPixels(150, 690, 0, 0).topLeft());
        // Both panels end inside the client area, close to its edges.
        const QSize client = w.centralWidget()->size();
        const QRect right = c.Frame2->geometry();
        QVERIFY(c.Frame1->geometry().bottom() < client.height());
        QVERIFY(client.height() - c.Frame1->geometry().bottom() <= 8);
        QVERIFY(right.bottom() < client.height() && right.right() < client.width());
        QVERIFY(client.width() - right.right() <= 16);
        QVERIFY(c.oGrid->geometry().bottom() < right.height());
    };

    // Smaller than the minimum snaps back to it, in each dimension.
    w.resize(200, 900);
    QTRY_COMPARE(outerTwips(w).width(), MainLayout::MinimumOuterWidth);
    QVERIFY(outerTwips(w).height() > MainLayout::MinimumOuterHeight);
    checkFollows();
    w.resize(1100, 100);
    QTRY_VERIFY(outerTwips(w).height() >= MainLayout::MinimumOuterHeight);
    QVERIFY(outerTwips(w).height() < MainLayout::MinimumOuterHeight + TwipsPerPixel);
    QVERIFY(outerTwips(w).width() > MainLayout::MinimumOuterWidth);
    checkFollows();

    // Larger: the table panel widens, both panels and the text box grow down.
    const int gridWidthBefore = c.oGrid->width();
    const int scriptHeightBefore = c.txtScript->height();
    w.resize(1400, 900);
    QTRY_COMPARE(w.size(), QSize(1400, 900));
    checkFollows();
    QVERIFY(c.oGrid->width() > gridWidthBefore);
    QVERIFY(c.txtScript->height() > scriptHeightBefore);
}

void TestFormMain::minimizeAndRestoreKeepTheLayout()
{
    TestWindow t;
    auto& [device, prompts, w, c] = t;
    w.resize(1200, 800);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QList<QWidget*> panels = {c.Frame1, c.Frame3, c.txtScript, c.Frame2, c.oGrid};
    QList<QRect> before;
    for (QWidget* panel : panels)
        before << panel->geometry();

    w.showMinimized();
    QTRY_VERIFY(w.isMinimized());
    // Some window systems shrink a minimized window's client area to
    // nothing; the panels must not follow it.
    const QSize client = w.centralWidget()->size();
    w.centralWidget()->resize(10, 10);
    for (int i = 0; i < panels.size(); ++i)
        QCOMPARE(panels[i]->geometry(), before[i]);
    w.centralWidget()->resize(client);

    w.showNormal();
    QTRY_VERIFY(!w.isMinimized());
    QTRY_COMPARE(w.size(), QSize(1200, 800));
    for (int i = 0; i < panels.size(); ++i)
        QCOMPARE(panels[i]->geometry(), before[i]);
}

void TestFormMain::quitClosesTheMediaThenAsksWhenUnsaved()
{
    FakeMediaControl device;
    device.addMedia("/media/talk.wav", 60000);

    {
        // Nothing unsaved: no question, the media is closed, the window goes.
        ScriptedPrompts prompts;
        FormMain w(device, prompts);
        w.show();
        QVERIFY(w.close());
        QVERIFY(prompts.asked.isEmpty());
        QCOMPARE(device.commands().last(), QString("close"));
        QVERIFY(!w.isVisible());
    }

    QTemporaryDir folder;
    for (const Prompts::Answer answer : {Prompts::Answer::No, Prompts::Answer::Yes}) {
        ScriptedPrompts prompts;
        FormMain w(device, prompts);
        w.show();
        device.setFileName("/media/talk.wav");
        device.setCommand("open");
        device.setCommand("play");
        device.advance(1000);
        w.markUnsaved();

        // The sound has stopped by the time the question is open.
        DeviceMode modeWhileAsking = DeviceMode::Playing;
        QString lastCommandWhileAsking;
        prompts.whileAsking = [&](const QString&) {
            modeWhileAsking = device.mode();
            lastCommandWhileAsking = device.commands().last();
        };
        prompts.script({answer});
        const QString saveAs = folder.filePath("quit.kvprj");
        prompts.scriptFiles({saveAs});
        QVERIFY(w.close());
        QCOMPARE(prompts.asked.size(), 1);
        QCOMPARE(prompts.asked[0].text, QString("Do you want to save the project before quit?"));
        QCOMPARE(prompts.asked[0].buttons, Prompts::Buttons::YesNo);
        QCOMPARE(lastCommandWhileAsking, QString("close"));
        QCOMPARE(modeWhileAsking, DeviceMode::NotOpen);
        QVERIFY(!w.isVisible());
        // Yes saves the project (a new one through Save As), No does not.
        QCOMPARE(prompts.dialogs.size(), answer == Prompts::Answer::Yes ? 1 : 0);
        QCOMPARE(QFileInfo::exists(saveAs), answer == Prompts::Answer::Yes);
        QCOMPARE(prompts.unexpected, 0);
    }
}

void TestFormMain::messageBoxesAreTitledAndPlain()
{
    MessageBoxPrompts prompts;
    struct Case
    {
        Prompts::Buttons buttons;
        QMessageBox::StandardButtons shown;
        QMessageBox::StandardButton press; // NoButton: Escape, then the close box
        Prompts::Answer expected;
    };
    const QList<Case> cases = {
        {Prompts::Buttons::Ok, QMessageBox::Ok, QMessageBox::Ok, Prompts::Answer::Ok},
        {Prompts::Buttons::YesNo, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes,
         Prompts::Answer::Yes},
        {Prompts::Buttons::YesNo, QMessageBox::Yes | QMessageBox::No, QMessageBox::No,
         Prompts::Answer::No},
        {Prompts::Buttons::OkCancel, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel,
         Prompts::Answer::Cancel},
        {Prompts::Buttons::OkCancel, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::NoButton,
         Prompts::Answer::Cancel},
    };
    for (const Case& c : cases) {
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::Critical;
        QMessageBox::StandardButtons shown;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            shown = box->standardButtons();
            if (c.press == QMessageBox::NoButton) {
                QTest::keyClick(box, Qt::Key_Escape);
                box->close();
            } else {
                box->button(c.press)->click();
            }
        });
        const Prompts::Answer answer = prompts.message(nullptr, "Something happened.", c.buttons);
        QCOMPARE(title, QString("Kelvane"));
        QCOMPARE(text, QString("Something happened."));
        QCOMPARE(icon, QMessageBox::NoIcon);
        QCOMPARE(shown, c.shown);
        QCOMPARE(answer, c.expected);
    }

    // A Yes/No question stays until it is answered: Escape and the close box
    // are no answer.
    bool stayed = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        QTest::keyClick(box, Qt::Key_Escape);
        box->close();
        stayed = box->isVisible();
        box->button(QMessageBox::Yes)->click();
    });
    QCOMPARE(prompts.message(nullptr, "Save?", Prompts::Buttons::YesNo), Prompts::Answer::Yes);
    QVERIFY(stayed);
}

QTEST_MAIN(TestFormMain)
#include "tst_formmain.moc"

#include "workspace/FormMain.h"

#include "about/FormAbout.h"
#include "about/HelpPages.h"
#include "controls/AquaButton.h"
#include "controls/PlainTextBox.h"
#include "controls/PlaySlider.h"
#include "controls/ProblemBar.h"
#include "controls/Twips.h"
#include "controls/WindowLook.h"
#include "dialogs/Prompts.h"
#include "export/ExportSubtitles.h"
#include "export/FormExport.h"
#include "media/MediaControl.h"
#include "model/FormatTime.h"
#include "storage/Paths.h"
#include "storage/RecoveryFile.h"
#include "workspace/MainLayout.h"
#include "workspace/SectionGrid.h"
#include "workspace/VideoWindow.h"
#include "workspace/WaveformStrip.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTimer>

namespace {

using WindowLook::Background;
using WindowLook::place;
const QColor White(255, 255, 255);

constexpr int Timer1IntervalMs = 500;
constexpr int AutoSaveIntervalMs = 30000;
// Half a second: whatever was typed a second before a crash is on disk.
constexpr int TypingKeptWithinMs = 500;

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QRect& twips,
                  Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop, bool framed = false)
{
    auto* label = place(new QLabel(text, parent), name, twips);
    // A file name that looks like markup is still shown as it is.
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(alignment);
    if (framed)
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return label;
}

QGroupBox* makeFrame(QWidget* parent, const char* name, const QString& title, const QRect& twips)
{
    return place(new QGroupBox(title, parent), name, twips);
}

} // namespace

FormMain::FormMain(MediaControl& mmc, Prompts& prompts, QWidget* parent)
    : QMainWindow(parent), mmc_(mmc), prompts_(prompts)
{
    buildControls();
    buildMenus();
    connectHandlers();
    Form_Load();
}

FormMain::~FormMain() = default;

void FormMain::buildControls()
{
    WindowLook::apply(*this);

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setAutoFillBackground(true);
    setCentralWidget(client);
    client->installEventFilter(this);

    Controls& c = ui_;
    c.Frame1 = makeFrame(client, "Frame1", QString(), MainLayout::Frame1);
    c.lblMediaFile = makeLabel(c.Frame1, "lblMediaFile", QStringLiteral("Audio/Video File "),
                               {180, 255, 4545, 315}, Qt::AlignCenter, true);
    c.lblMode =
        makeLabel(c.Frame1, "lblMode", QString(), {165, 645, 4560, 660}, Qt::AlignCenter, true);
    c.SliderTime = place(new PlaySlider(c.Frame1), "SliderTime", {195, 1500, 4515, 455});
    c.lblStart = makeLabel(c.Frame1, "lblStart", QStringLiteral("00:00:00"), {195, 2100, 720, 225});
    c.lblCurrent = makeLabel(c.Frame1, "lblCurrent", QStringLiteral("00:00:00"),
                             {1755, 2100, 1365, 225}, Qt::AlignHCenter | Qt::AlignTop);
    c.lblSeekTime = makeLabel(c.Frame1, "lblSeekTime", QStringLiteral("00:00:00"),
                              {1755, 2100, 1365, 225}, Qt::AlignHCenter | Qt::AlignTop);
    c.lblSeekTime->setAutoFillBackground(true); // it covers lblCurrent while shown
    c.lblSeekTime->hide();
    c.lblEnd = makeLabel(c.Frame1, "lblEnd", QStringLiteral("00:00:00"), {3615, 2100, 1095, 225},
                         Qt::AlignRight | Qt::AlignTop);
    c.chkAutoRewind = place(new QCheckBox(QStringLiteral("Auto Rewind When Pause"), c.Frame1),
                            "chkAutoRewind", {1215, 3450, 2985, 300});
    // A click on the box leaves the caret in the text box.
    c.chkAutoRewind->setFocusPolicy(Qt::NoFocus);
    // Under the current time, in the free band above the buttons.
    c.lblSpeed = makeLabel(c.Frame1, "lblSpeed", QString(), {1755, 2430, 1365, 225},
                           Qt::AlignHCenter | Qt::AlignTop);
    // Beside it, under the length.
    c.lblVolume = makeLabel(c.Frame1, "lblVolume", QString(), {3345, 2430, 1365, 225},
                            Qt::AlignRight | Qt::AlignTop);

    c.Frame3 = makeFrame(c.Frame1, "Frame3", QStringLiteral("Transcript"), MainLayout::Frame3);
    c.Label1 =
        makeLabel(c.Frame3, "Label1", QStringLiteral("Section Start:"), {195, 300, 1080, 225});
    c.lblSectionStartView =
        makeLabel(c.Frame3, "lblSectionStartView", QStringLiteral("00:00:00"),
                  {1320, 270, 780, 285}, Qt::AlignLeft | Qt::AlignVCenter, true);
    c.Label2 =
        makeLabel(c.Frame3, "Label2", QStringLiteral("Section End:"), {2520, 300, 1035, 225});
    c.lblSectionEndView = makeLabel(c.Frame3, "lblSectionEndView", QStringLiteral("00:00:00"),
                                    {3600, 270, 780, 285}, Qt::AlignLeft | Qt::AlignVCenter, true);
    // The current section's bounds as raw millisecond texts; never shown.
    c.lblSectionStart =
        makeLabel(c.Frame3, "lblSectionStart", QStringLiteral("00:00"), {1335, 0, 525, 285});
    c.lblSectionStart->hide();
    c.lblSectionEnd =
        makeLabel(c.Frame3, "lblSectionEnd", QStringLiteral("00:00"), {3600, 30, 525, 285});
    c.lblSectionEnd->hide();
    c.txtScript = place(new PlainTextBox(c.Frame3), "txtScript", MainLayout::txtScript);
    c.txtScript->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Tab is typed, as in any editor; no key typed in the text box leaves it.
    c.txtScript->setTabChangesFocus(false);
    QPalette scriptLook = c.txtScript->palette();
    scriptLook.setColor(QPalette::Base, White);
    c.txtScript->setPalette(scriptLook);

    c.Frame2 = makeFrame(client, "Frame2", QStringLiteral("Transcript"), MainLayout::Frame2);
    c.oGrid = place(new SectionGrid(table_, c.Frame2), "oGrid", MainLayout::oGrid);
    QPalette gridLook = c.oGrid->palette();
    gridLook.setColor(QPalette::Base, Background);
    c.oGrid->setPalette(gridLook);
    c.oGrid->setRows(2);

    // The buttons belong to the window and lie over the left panel.
    c.cmdPlay = place(new AquaButton(client), "cmdPlay", {645, 2910, 1755, 330});
    c.cmdPlay->setCaption(QStringLiteral("Play (F11)"));
    c.cmdRewind = place(new AquaButton(client), "cmdRewind", {2700, 2910, 1755, 330});
    c.cmdRewind->setCaption(QStringLiteral("Rewind (F12)"));
    c.cmdPlay->raise();
    c.cmdRewind->raise();

    c.Timer1 = new QTimer(this);
    c.Timer1->setObjectName(QStringLiteral("Timer1"));
    c.Timer1->setInterval(Timer1IntervalMs);
    c.Timer1->start();
    c.TimerAutoRewind = &cycle_.autoRewindTimer();
    c.TimerAutoSaver = new QTimer(this);
    c.TimerAutoSaver->setObjectName(QStringLiteral("TimerAutoSaver"));
    c.TimerAutoSaver->setInterval(AutoSaveIntervalMs);
    c.TimerAutoSaver->start();
    typingKeeper_ = new QTimer(this);
    typingKeeper_->setSingleShot(true);
    typingKeeper_->setInterval(TypingKeptWithinMs);

    c.waveform = new WaveformStrip(table_, client);
    c.waveform->setObjectName(QStringLiteral("waveform"));
    c.video = new VideoWindow(mmc_, this);
    c.video->setObjectName(QStringLiteral("video"));
    setClientMinimum();

    c.problemBar = new ProblemBar(this);
    setStatusBar(c.problemBar);

    // The design's client area and the strip under it; the minimum size may
    // make it taller.
    resize(twipsToPixels(12645),
           twipsToPixels(7155 + MainLayout::StripBand) + menuBar()->sizeHint().height());
    // The caret starts where the user types.
    c.txtScript->setFocus();
}

void FormMain::buildMenus()
{
    Controls& c = ui_;
    // Shortcuts act whichever control has the focus, the text box included.
    auto item = [this](QMenu* menu, const char* name, const QString& caption,
                       const QKeySequence& shortcut, void (FormMain::*handler)()) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };

    c.mFile = menuBar()->addMenu(QStringLiteral("&File"));
    c.mFile->setObjectName(QStringLiteral("mFile"));
    c.menuOpen = item(c.mFile, "menuOpen", QStringLiteral("New Transcription Project"),
                      QKeySequence(Qt::CTRL | Qt::Key_N), &FormMain::menuOpen_Click);
    c.menuSave = item(c.mFile, "menuSave", QStringLiteral("Save Project..."),
                      QKeySequence(Qt::CTRL | Qt::Key_S), &FormMain::menuSave_Click);
    c.menuSaveAs = item(c.mFile, "menuSaveAs", QStringLiteral("Save Project As..."), {},
                        &FormMain::menuSaveAs_Click);
    c.menuLoad = item(c.mFile, "menuLoad", QStringLiteral("Open Project..."),
                      QKeySequence(Qt::CTRL | Qt::Key_O), &FormMain::menuLoad_Click);
    c.menuExport = item(c.mFile, "menuExport", QStringLiteral("Export Transcription Text"),
                        QKeySequence(Qt::CTRL | Qt::Key_E), &FormMain::menuExport_Click);
    c.menuExportSubtitles =
        item(c.mFile, "menuExportSubtitles", QStringLiteral("Export Subtitles..."),
             QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E), &FormMain::menuExportSubtitles_Click);

    c.menuPlayControl = menuBar()->addMenu(QStringLiteral("&Play Control"));
    c.menuPlayControl->setObjectName(QStringLiteral("menuPlayControl"));
    c.menuPlay = item(c.menuPlayControl, "menuPlay", QStringLiteral("Play"),
                      QKeySequence(Qt::Key_F11), &FormMain::menuPlay_Click);
    c.menuRewind = item(c.menuPlayControl, "menuRewind", QStringLiteral("Rewind"),
                        QKeySequence(Qt::Key_F12), &FormMain::menuRewind_Click);
    c.menuSlower = item(c.menuPlayControl, "menuSlower", QStringLiteral("Slower"),
                        QKeySequence(Qt::Key_F9), &FormMain::menuSlower_Click);
    c.menuFaster = item(c.menuPlayControl, "menuFaster", QStringLiteral("Faster"),
                        QKeySequence(Qt::Key_F10), &FormMain::menuFaster_Click);
    c.menuNormalSpeed =
        item(c.menuPlayControl, "menuNormalSpeed", QStringLiteral("Normal Speed"),
             QKeySequence(Qt::SHIFT | Qt::Key_F10), &FormMain::menuNormalSpeed_Click);
    c.menuLouder = item(c.menuPlayControl, "menuLouder", QStringLiteral("Louder"),
                        QKeySequence(Qt::Key_F7), &FormMain::menuLouder_Click);
    c.menuQuieter = item(c.menuPlayControl, "menuQuieter", QStringLiteral("Quieter"),
                         QKeySequence(Qt::Key_F6), &FormMain::menuQuieter_Click);
    c.menuJumpBack = item(c.menuPlayControl, "menuJumpBack", QStringLiteral("Jump Back"),
                          QKeySequence(Qt::Key_F8), &FormMain::menuJumpBack_Click);
    c.menuPlayControl->addSeparator();
    c.menuFootPedal = item(c.menuPlayControl, "menuFootPedal", QStringLiteral("Foot Pedal..."), {},
                           &FormMain::menuFootPedal_Click);

    c.menuView = menuBar()->addMenu(QStringLiteral("&View"));
    c.menuView->setObjectName(QStringLiteral("menuView"));
    c.menuWaveform = item(c.menuView, "menuWaveform", QStringLiteral("Waveform"), {},
                          &FormMain::menuWaveform_Click);
    c.menuWaveform->setCheckable(true);
    c.menuWaveform->setChecked(true);
    c.menuZoomIn = item(c.menuView, "menuZoomIn", QStringLiteral("Zoom In"),
                        QKeySequence(Qt::CTRL | Qt::Key_Plus), &FormMain::menuZoomIn_Click);
    // Ctrl and the key that has "+" on it, with or without Shift.
    c.menuZoomIn->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    c.menuZoomOut = item(c.menuView, "menuZoomOut", QStringLiteral("Zoom Out"),
                         QKeySequence(Qt::CTRL | Qt::Key_Minus), &FormMain::menuZoomOut_Click);
    c.menuView->addSeparator();
    c.menuVideo = item(c.menuView, "menuVideo", QStringLiteral("Video"),
                       QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V), &FormMain::menuVideo_Click);
    c.menuVideo->setCheckable(true);

    c.menuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    c.menuHelp->setObjectName(QStringLiteral("menuHelp"));
    c.menuHelpDoc = item(c.menuHelp, "menuHelpDoc", QStringLiteral("Help Document"),
                         QKeySequence(Qt::Key_F1), &FormMain::menuHelpDoc_Click);
    c.menuAbout =
        item(c.menuHelp, "menuAbout", QStringLiteral("About"), {}, &FormMain::menuAbout_Click);
}

void FormMain::connectHandlers()
{
    Controls& c = ui_;
    connect(c.cmdPlay, &AquaButton::Click, this, &FormMain::cmdPlay_Click);
    connect(c.cmdRewind, &AquaButton::Click, this, &FormMain::cmdRewind_Click);
    connect(c.Timer1, &QTimer::timeout, this, &FormMain::Timer1_Timer);
    connect(c.TimerAutoRewind, &QTimer::timeout, this, &FormMain::TimerAutoRewind_Timer);
    connect(c.TimerAutoSaver, &QTimer::timeout, this, &FormMain::TimerAutoSaver_Timer);
    connect(typingKeeper_, &QTimer::timeout, this,
            [this] { project_.keepTyping(cycle_.currentRow()); });
    connect(&mmc_, &MediaControl::StatusUpdate, this, &FormMain::MMC_StatusUpdate);
    connect(&mmc_, &MediaControl::soundOutputChanged, this, &FormMain::showSoundOutput);
    connect(c.oGrid, &SectionGrid::Click, this, &FormMain::oGrid_Click);
    connect(c.SliderTime, &PlaySlider::TryToSeekTo, this, &FormMain::SliderTime_TryToSeekTo);
    connect(c.SliderTime, &PlaySlider::SeekTo, this, &FormMain::SliderTime_SeekTo);
    c.txtScript->installEventFilter(this);
    // Text changed with the mouse alone (a paste, a drop, the context menu's
    // undo) is kept as if typed, so that no edit waits for a key to reach
    // the table.
    connect(c.txtScript, &QPlainTextEdit::textChanged, this, &FormMain::txtScript_KeyUp);
    connectCycle();
    connectWaveform();
    connectVideo();
    connectPedals();
}

void FormMain::Form_Load()
{
    mmc_.setTimeFormat(MediaControl::MillisecondsFormat);
    // Every control keeps its design state here; only the state is set.
    state_ = WorkspaceState{};
    setCaption(productName());
    // Every run starts at normal speed, with the volume as recorded.
    setSpeed(MediaControl::NormalSpeed);
    setVolume(MediaControl::NormalVolume);
}

void FormMain::ResetWorkspace()
{
    Controls& c = ui_;
    state_.mediaFile.clear();
    state_.projectFile.clear();
    c.lblMediaFile->clear();
    state_.isDirty = false;
    c.problemBar->clearAll();
    showPedalProblem();
    // The span first: the highlight the cycle sets is measured on it.
    c.SliderTime->setMin(0);
    c.SliderTime->setMax(1000);
    cycle_.reset();
    c.SliderTime->setValue(0);
    c.lblCurrent->setText(FormatTime(0));
    c.lblEnd->setText(FormatTime(0));
    envelope_.close();
    c.waveform->setLength(0);
    c.video->setMedia({}, false);
    setCaption(productName());
    emit playerChanged();
}

void FormMain::setMediaFile(const QString& path)
{
    state_.mediaFile = path;
    ui_.lblMediaFile->setText(FileNameOfPath(path));
    ui_.txtScript->setFocus();
    emit playerChanged();
}

// The workspace has just been filled: this first Play opens the media and
// replays the last section.
void FormMain::continueWork()
{
    cmdPlay_Click();
}

void FormMain::showProjectCaption()
{
    setCaption(productName() + u' ' + state_.projectFile);
    // The keys that saved or opened the project (Ctrl+S, the Enter of a
    // dialog) are let go after it; their release is no typing.
    keysPressedInScript_.clear();
}

void FormMain::markUnsaved()
{
    state_.isDirty = true;
    setCaption(productName() + QStringLiteral(" *") + state_.projectFile);
}

// The caption as written: Qt would take a "[*]" in a file's path for its
// mark of unsaved changes, and drop it, unless it is doubled.
void FormMain::setCaption(const QString& caption)
{
    setWindowTitle(QString(caption).replace(QStringLiteral("[*]"), QStringLiteral("[*][*]")));
}

void FormMain::setScriptText(const QString& text)
{
    const QSignalBlocker quiet(ui_.txtScript);
    ui_.txtScript->setPlainText(text);
    // Typing goes on at the end of the section's text.
    ui_.txtScript->moveCursor(QTextCursor::End);
}

void FormMain::menuOpen_Click()
{
    project_.newTranscription();
}

void FormMain::menuSave_Click()
{
    project_.save();
}

void FormMain::menuSaveAs_Click()
{
    project_.saveAs();
}

void FormMain::menuLoad_Click()
{
    project_.open();
}

void FormMain::TimerAutoSaver_Timer()
{
    project_.autoSave();
}

void FormMain::menuExport_Click()
{
    FormExport exportWindow(table_, prompts_, projectFolder(state_), this);
    showModal(exportWindow);
}

void FormMain::menuExportSubtitles_Click()
{
    exportSubtitles(this, table_, prompts_, projectFolder(state_), state_.mediaFile);
}

void FormMain::menuHelpDoc_Click()
{
    openHelpPage(this, prompts_, userGuideAddress());
}

void FormMain::menuAbout_Click()
{
    FormAbout about(prompts_, this);
    showModal(about);
}

// Shows `window` over this one, which takes no input until it is closed and
// then has the keys again, with the caret where it was.
void FormMain::showModal(QDialog& window)
{
    window.exec();
    activateWindow();
}

bool FormMain::eventFilter(QObject* watched, QEvent* event)
{
    // The panels follow the client area, which the window has laid out by now.
    if (watched == centralWidget() && event->type() == QEvent::Resize)
        Form_Resize();
    else if (watched == ui_.txtScript)
        watchScriptKeys(event);
    return QMainWindow::eventFilter(watched, event);
}

// A key released in the text box is typing, but only a key that was pressed
// there: the Enter that closes a file dialog or answers a question is let go
// in the text box too, and must not mark a project just saved as changed.
void FormMain::watchScriptKeys(const QEvent* event)
{
    if (event->type() == QEvent::KeyPress)
        keysPressedInScript_.insert(static_cast<const QKeyEvent*>(event)->key());
    else if (event->type() == QEvent::KeyRelease &&
             keysPressedInScript_.remove(static_cast<const QKeyEvent*>(event)->key()))
        txtScript_KeyUp();
}

void FormMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

void FormMain::closeEvent(QCloseEvent* event)
{
    if (Form_Unload())
        event->accept();
    else
        event->ignore();
}

void FormMain::Form_Resize()
{
    if (isMinimized())
        return;
    // The minimum size is the client area's minimum, which the toolkit and
    // the window manager keep; a maximized window on a smaller screen works
    // from the size it has.
    const QSize client = centralWidget()->size();
    const int outerWidth = int(pixelsToTwips(client.width())) + MainLayout::NonClientWidth;
    const int outerHeight = int(pixelsToTwips(client.height())) + MainLayout::NonClientHeight;
    const bool stripShown = !ui_.waveform->isHidden();
    const MainLayout::Sizes s = MainLayout::sizesFor(outerWidth, outerHeight, stripShown);

    Controls& c = ui_;
    c.Frame1->resize(c.Frame1->width(), twipsToPixels(s.frame1Height));
    c.Frame3->resize(c.Frame3->width(), twipsToPixels(s.frame3Height));
    c.txtScript->resize(c.txtScript->width(), twipsToPixels(s.scriptHeight));
    c.Frame2->resize(twipsToPixels(s.frame2Width), twipsToPixels(s.frame2Height));
    c.oGrid->resize(twipsToPixels(s.gridWidth), twipsToPixels(s.gridHeight));
    if (stripShown)
        c.waveform->setGeometry(twipsToPixels(s.strip.left()), twipsToPixels(s.strip.top()),
                                twipsToPixels(s.strip.width()), twipsToPixels(s.strip.height()));
}

// The client area's minimum: the design's, and the strip's band when shown.
void FormMain::setClientMinimum()
{
    const int strip = ui_.waveform->isHidden() ? 0 : MainLayout::StripBand;
    centralWidget()->setMinimumSize(
        twipsToPixelsUp(MainLayout::MinimumOuterWidth - MainLayout::NonClientWidth),
        twipsToPixelsUp(MainLayout::MinimumOuterHeight + strip - MainLayout::NonClientHeight));
}

void FormMain::showProblem(Problem problem, const QString& text)
{
    ui_.problemBar->showProblem(int(problem), text);
}

void FormMain::clearProblem(Problem problem)
{
    ui_.problemBar->clearProblem(int(problem));
}

void FormMain::keepWorkForNextStart()
{
    cycle_.closeMedia();
    project_.keepRecoveryCopy();
    freezeRecoveryFile();
}

// Returns whether the window may close: not when the user asked to save the
// work and it could not be saved. The window then stays with its sections;
// the next Play opens the media again and replays the last section, from
// where the work goes on as after opening a project.
bool FormMain::Form_Unload()
{
    // Stop the sound before anything is asked.
    cycle_.closeMedia();
    if (!project_.offerToSaveBeforeQuit())
        return false;
    // A clean end: saved, or let go.
    removeRecoveryFile();
    return true;
}

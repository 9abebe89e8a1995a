// The transcription cycle on the window: the design's handlers hand each
// event to the cycle, and the window shows what the cycle signals.

#include "workspace/FormMain.h"

#include "controls/AquaButton.h"
#include "controls/PlaySlider.h"
#include "controls/ProblemBar.h"
#include "controls/TextBoxText.h"
#include "dialogs/Prompts.h"
#include "media/MediaControl.h"
#include "model/FormatTime.h"
#include "workspace/SectionGrid.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>

#include <utility>

namespace {

constexpr int SpeedStep = 100;
constexpr int VolumeStep = 10;

QString modeText(CaptureCycle::ModeShown mode)
{
    using Mode = CaptureCycle::ModeShown;
    switch (mode) {
    case Mode::None:
        break;
    case Mode::PlayerReady:
        return QStringLiteral("Player Ready...");
    case Mode::Stopped:
        return QStringLiteral("Stopped...");
    case Mode::Playing:
        return QStringLiteral("Playing...");
    case Mode::Rewinding:
        return QStringLiteral("Rewinding...");
    case Mode::Recording:
        return QStringLiteral("Device is Recording...");
    case Mode::Seeking:
        return QStringLiteral("Device is Seeking...");
    case Mode::Paused:
        return QStringLiteral("Paused... \nPlease type the text for this section.");
    case Mode::Ready:
        return QStringLiteral("Device is Ready...");
    }
    return {};
}

QString playCaption(CaptureCycle::PlayCaption caption)
{
    switch (caption) {
    case CaptureCycle::PlayCaption::Pause:
        return QStringLiteral("Pause (F11)");
    case CaptureCycle::PlayCaption::Continue:
        return QStringLiteral("Continue (F11)");
    case CaptureCycle::PlayCaption::Play:
        break;
    }
    return QStringLiteral("Play (F11)");
}

} // namespace

void FormMain::connectCycle()
{
    const CaptureCycle* model = &cycle_;
    connect(model, &CaptureCycle::statusChanged, this, &FormMain::showStatus);
    connect(model, &CaptureCycle::sectionChanged, this, &FormMain::showSection);
    connect(model, &CaptureCycle::highlightChanged, this, &FormMain::showHighlight);
    connect(model, &CaptureCycle::highlightEndChanged, ui_.SliderTime, &PlaySlider::setSectionEnd);
    connect(model, &CaptureCycle::positionChanged, this, &FormMain::showPosition);
    connect(model, &CaptureCycle::thumbMoved, ui_.SliderTime, &PlaySlider::setValue);
    connect(model, &CaptureCycle::lengthChanged, this, &FormMain::showLength);
    connect(model, &CaptureCycle::currentRowChanged, this, &FormMain::showCurrentRow);
    connect(model, &CaptureCycle::textShown, this, &FormMain::setScriptText);
    connect(model, &CaptureCycle::autoRewindChanged, ui_.chkAutoRewind, &QCheckBox::setChecked);
    connect(ui_.chkAutoRewind, &QCheckBox::toggled, &cycle_, &CaptureCycle::setAutoRewind);
    connect(model, &CaptureCycle::workChanged, this, &FormMain::markUnsaved);
    // A committed section is safe from a crash at once.
    connect(model, &CaptureCycle::sectionCommitted, this, [this] { project_.keepRecoveryCopy(); });
    connect(model, &CaptureCycle::openFailed, this, &FormMain::onOpenFailed);
    // Told in the bar, not in a box: the user may be typing the section's words.
    connect(model, &CaptureCycle::recordingEndedEarly, this, [this](qint32 at) {
        ui_.problemBar->showProblem(
            RecordingEndedEarly,
            QStringLiteral("The recording ends early, at %1: the file holds no sound after that, "
                           "though it says it is %2 long. The section ends there.")
                .arg(FormatTime(at), FormatTime(mmc_.Length())));
    });
}

void FormMain::cmdPlay_Click()
{
    cycle_.play();
}

void FormMain::cmdRewind_Click()
{
    cycle_.replay();
}

void FormMain::TimerAutoRewind_Timer()
{
    cycle_.autoRewindFired();
}

void FormMain::Timer1_Timer()
{
    cycle_.statusTick();
}

void FormMain::MMC_StatusUpdate()
{
    cycle_.statusUpdate();
}

void FormMain::oGrid_Click()
{
    cycle_.selectRow(ui_.oGrid->row() - 1);
}

// F11 and F12 act only while their button is shown: a hidden button is how
// the window disables it.
void FormMain::menuPlay_Click()
{
    if (cycle_.status().playShown)
        cmdPlay_Click();
}

void FormMain::menuRewind_Click()
{
    if (cycle_.status().rewindShown)
        cmdRewind_Click();
}

void FormMain::menuJumpBack_Click()
{
    cycle_.jumpBack();
}

bool FormMain::acceptsRemoteKeys() const
{
    return QApplication::activeModalWidget() == nullptr;
}

// The device itself, since the window's caption waits for the next status
// tick: a pedal let go at once after its press still pauses.
bool FormMain::isPlaying() const
{
    return mmc_.mode() == DeviceMode::Playing;
}

void FormMain::pressRemoteKey(RemoteKey key)
{
    if (!acceptsRemoteKeys())
        return;
    switch (key) {
    case RemoteKey::PlayPause:
        ui_.menuPlay->trigger();
        break;
    case RemoteKey::Play:
    case RemoteKey::Pause:
        if (isPlaying() == (key == RemoteKey::Pause))
            ui_.menuPlay->trigger();
        break;
    case RemoteKey::Replay:
        ui_.menuRewind->trigger();
        break;
    case RemoteKey::JumpBack:
        ui_.menuJumpBack->trigger();
        break;
    }
}

void FormMain::SliderTime_TryToSeekTo(qint32 position)
{
    if (state_.mediaFile.isEmpty())
        return;
    ui_.lblSeekTime->show();
    ui_.lblSeekTime->setText(FormatTime(position));
}

void FormMain::SliderTime_SeekTo(qint32 position)
{
    ui_.lblSeekTime->hide();
    ui_.lblCurrent->setText(ui_.lblSeekTime->text());
    cycle_.seekTo(position);
}

void FormMain::txtScript_KeyUp()
{
    table_.setCell(cycle_.currentRow(), SectionTableModel::TextColumn,
                   SectionTableModel::oneLine(textBoxText(*ui_.txtScript)));
    markUnsaved();
    if (!typingKeeper_->isActive())
        typingKeeper_->start();
}

void FormMain::menuSlower_Click()
{
    setSpeed(mmc_.Speed() - SpeedStep);
}

void FormMain::menuFaster_Click()
{
    setSpeed(mmc_.Speed() + SpeedStep);
}

void FormMain::menuNormalSpeed_Click()
{
    setSpeed(MediaControl::NormalSpeed);
}

// The playing speed, which every play keeps.
void FormMain::setSpeed(int thousandths)
{
    mmc_.setSpeed(thousandths);
    ui_.lblSpeed->setText(QStringLiteral("Speed %1x").arg(mmc_.Speed() / 1000.0, 0, 'f', 1));
    emit playerChanged();
}

void FormMain::menuLouder_Click()
{
    setVolume(mmc_.Volume() + VolumeStep);
}

void FormMain::menuQuieter_Click()
{
    setVolume(mmc_.Volume() - VolumeStep);
}

// The volume, in percent of the recording's own level, which every play keeps.
void FormMain::setVolume(int percent)
{
    mmc_.setVolume(percent);
    ui_.lblVolume->setText(QStringLiteral("Volume %1%").arg(mmc_.Volume()));
    emit playerChanged();
}

void FormMain::showStatus()
{
    const CaptureCycle::Status& status = cycle_.status();
    ui_.lblMode->setText(modeText(status.mode));
    ui_.cmdPlay->setCaption(playCaption(status.play));
    ui_.cmdPlay->setVisible(status.playShown);
    ui_.cmdRewind->setVisible(status.rewindShown);
}

// The current section's bounds: raw in the hidden labels, as times in the
// shown ones.
void FormMain::showSection()
{
    ui_.lblSectionStart->setText(RawPositionText(cycle_.sectionStart()));
    ui_.lblSectionEnd->setText(RawPositionText(cycle_.sectionEnd()));
    ui_.lblSectionStartView->setText(FormatTime(cycle_.sectionStart()));
    ui_.lblSectionEndView->setText(FormatTime(cycle_.sectionEnd()));
}

// The start moves the highlight's left edge, from which the end sets its
// width, so the start goes first.
void FormMain::showHighlight(qint32 start, qint32 end)
{
    ui_.SliderTime->setSectionStart(start);
    ui_.SliderTime->setSectionEnd(end);
}

void FormMain::showPosition(qint32 position)
{
    ui_.SliderTime->setValue(position);
    ui_.lblCurrent->setText(FormatTime(position));
}

void FormMain::showLength(qint32 length)
{
    ui_.SliderTime->setMin(0);
    ui_.SliderTime->setMax(length);
    ui_.lblEnd->setText(FormatTime(length));
}

// Told in the bar, which takes no keys, until sound is back: the user may
// type on from memory meanwhile.
void FormMain::showSoundOutput(SoundOutput output)
{
    switch (output) {
    case SoundOutput::Heard:
        ui_.problemBar->clearProblem(NoSoundOutput);
        break;
    case SoundOutput::Silent:
        ui_.problemBar->showProblem(
            NoSoundOutput,
            QStringLiteral("No sound output: no sound server or sound device could be opened, so "
                           "nothing is heard. Playing goes on silently, in real time; sound comes "
                           "back at the next play once an output is there."));
        break;
    case SoundOutput::Lost:
        ui_.problemBar->showProblem(
            NoSoundOutput,
            QStringLiteral("The sound output was lost while playing (the sound server stopped, or "
                           "the device went away). Playing paused at %1; the section and its text "
                           "are kept. F11 plays on once an output is back.")
                .arg(FormatTime(mmc_.Position())));
        break;
    }
}

// The row is selected whole.
void FormMain::showCurrentRow(int row, bool atTop)
{
    SectionGrid& grid = *ui_.oGrid;
    if (atTop)
        grid.setTopRow(row + 1);
    grid.setRow(row + 1);
    grid.setCol(0);
    grid.setColSel(grid.cols() - 1);
}

// The user is told, and the workspace is emptied, unless it holds work (a
// project's sections, or text typed without media), which stays to be read,
// edited, saved and exported; the next Play tries the media again.
void FormMain::onOpenFailed()
{
    const bool holdsWork = state_.isDirty || !state_.projectFile.isEmpty();
    if (holdsWork && !QFileInfo::exists(state_.mediaFile)) {
        lookForMissingMedia();
        return;
    }
    prompts_.message(this,
                     QStringLiteral("Sorry. The application doesn't support this type of media."),
                     Prompts::Buttons::Ok);
    if (holdsWork)
        cycle_.closeMedia();
    else
        ResetWorkspace();
}

// The work's recording has been moved or renamed: the user may point to it,
// and the work goes on with it, the project unsaved until it is saved so. A
// recording picked that does not open either leaves the project's as it was.
void FormMain::lookForMissingMedia()
{
    cycle_.closeMedia();
    const QString found = project_.lookForMedia(state_.mediaFile);
    if (found.isEmpty())
        return;
    const QString missing = std::exchange(state_.mediaFile, found);
    // This runs inside the Play press whose open failed, which ends once
    // this one has opened the media and replayed the last section.
    cycle_.play();
    if (cycle_.phase() == CaptureCycle::Phase::Idle) {
        state_.mediaFile = missing;
        return;
    }
    setMediaFile(found);
    markUnsaved();
}

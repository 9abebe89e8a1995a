// The capture cycle: each press of Play/Pause/Continue.

#include "workspace/FormMain.h"

#include "controls/AquaButton.h"
#include "controls/PlaySlider.h"
#include "controls/TextBoxText.h"
#include "dialogs/Prompts.h"
#include "media/MediaControl.h"
#include "model/FormatTime.h"
#include "workspace/SectionGrid.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>

void FormMain::cmdPlay_Click()
{
    if (state_.mediaFile.isEmpty())
        return;
    bool committed = false;
    if (!state_.mediaOpened) {
        if (!openMedia())
            return;
        // Continue a workspace that holds sections (a loaded project, or one
        // whose media was closed for the quit question) where it ended:
        // replay its last section. A new transcription, or a project saved
        // before anything was captured, starts afresh.
        if (isReplayable(ui_.oGrid->rows() - 1))
            SliderTime_SeekTo(mmc_.Length() - 1);
        else
            startFirstSection(mmc_.Position());
    } else {
        const SectionGrid& grid = *ui_.oGrid;
        // Presses on the capture section alternate between closing it and
        // committing it; on an earlier section they only pause and resume.
        if (grid.row() == grid.rows() - 1) {
            state_.capturePaused = !state_.capturePaused;
            committed = !state_.capturePaused;
            if (committed)
                commitSection();
        }
        sendPause();
    }
    markUnsaved();
    // A committed section is safe from a crash at once.
    if (committed)
        project_.keepRecoveryCopy();
}

// Opens the media and starts playing it. A file the device cannot play shows
// as length 0; the user is told and the workspace is emptied, unless it holds
// unsaved work (text typed without media, or sections whose media has gone
// since), which stays for the user to save.
bool FormMain::openMedia()
{
    mmc_.setFileName(state_.mediaFile);
    mmc_.setCommand(QStringLiteral("close"));
    mmc_.setCommand(QStringLiteral("open"));
    mmc_.setCommand(QStringLiteral("play"));
    // Rewind waits until a section has been closed.
    ui_.cmdRewind->hide();
    const qint32 length = mmc_.Length();
    ui_.SliderTime->setMin(0);
    ui_.SliderTime->setMax(length);
    ui_.lblEnd->setText(FormatTime(length));
    state_.mediaOpened = true;
    state_.capturePaused = false;
    if (ui_.SliderTime->Max() != 0)
        return true;
    prompts_.message(this,
                     QStringLiteral("Sorry. The application doesn't support this type of media."),
                     Prompts::Buttons::Ok);
    if (state_.isDirty)
        closeMedia();
    else
        ResetWorkspace();
    return false;
}

// The first section of a new transcription starts, in its one row, where
// playing started.
void FormMain::startFirstSection(qint32 position)
{
    setSectionStartLabels(position);
    setSectionEndLabels(position);
    ui_.SliderTime->setSectionStart(position);
    ui_.SliderTime->setSectionEnd(position);
    const int last = ui_.oGrid->rows() - 1;
    setRowBounds(last, position, position);
    ui_.oGrid->setRow(last);
    captureFollowsPosition_ = true;
}

// Writes the closed capture section with its text into its row and opens the
// next section, as a new last row, where the device stands.
void FormMain::commitSection()
{
    SectionGrid& grid = *ui_.oGrid;
    grid.table().appendRow();
    const int added = grid.rows() - 1;
    const int closed = added - 1;
    grid.setText(closed, 0, ui_.lblSectionStart->text());
    grid.setText(closed, 1, ui_.lblSectionEnd->text());
    grid.setText(closed, 2, ui_.lblSectionStartView->text());
    grid.setText(closed, 3, ui_.lblSectionEndView->text());
    grid.setText(closed, 4, SectionTableModel::oneLine(textBoxText(*ui_.txtScript)));
    grid.setTopRow(added);
    grid.setRow(added);
    grid.setCol(0);
    grid.setColSel(grid.cols() - 1);
    setScriptText(QString());

    // The section's end follows the position from the next status update on.
    const qint32 position = mmc_.Position();
    setSectionStartLabels(position);
    ui_.SliderTime->setSectionStart(position);
    ui_.SliderTime->setSectionEnd(position + 1);
    setRowBounds(added, position, position);
    captureFollowsPosition_ = true;
}

// "pause" pauses a playing device and resumes a paused one. When it pauses,
// the position is taken at once, so that a Continue pressed straight away
// commits the section up to the pause and no sound falls between sections.
// When it resumes, the buttons and timers are set for playing at once, not
// at the next status tick: Rewind is hidden and a replay armed for the pause
// is called off, so Continue always ends the auto-rewind loop and a quick F12
// cannot replay a section that has only just begun.
void FormMain::sendPause()
{
    const bool wasPlaying = mmc_.mode() == DeviceMode::Playing;
    mmc_.setCommand(QStringLiteral("pause"));
    if (wasPlaying && mmc_.mode() == DeviceMode::Paused) {
        MMC_StatusUpdate();
    } else if (mmc_.mode() == DeviceMode::Playing) {
        ui_.cmdRewind->hide();
        ui_.TimerAutoRewind->stop();
    }
}

void FormMain::setSectionStartLabels(qint32 position)
{
    ui_.lblSectionStart->setText(RawPositionText(position));
    ui_.lblSectionStartView->setText(FormatTime(position));
}

void FormMain::setSectionEndLabels(qint32 position)
{
    ui_.lblSectionEnd->setText(RawPositionText(position));
    ui_.lblSectionEndView->setText(FormatTime(position));
}

void FormMain::setRowBounds(int row, qint32 start, qint32 end)
{
    SectionGrid& grid = *ui_.oGrid;
    grid.setText(row, 0, RawPositionText(start));
    grid.setText(row, 1, RawPositionText(end));
    grid.setText(row, 2, FormatTime(start));
    grid.setText(row, 3, FormatTime(end));
}

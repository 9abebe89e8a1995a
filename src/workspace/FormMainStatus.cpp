// The status monitor: the mode, the buttons, the end of a replay, and the
// position shown and followed by the capture section.

#include "workspace/FormMain.h"

#include "controls/AquaButton.h"
#include "controls/PlaySlider.h"
#include "media/MediaControl.h"
#include "model/FormatTime.h"
#include "workspace/SectionGrid.h"

#include <QCheckBox>
#include <QLabel>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int AutoRewindAfterPauseMs = 500;
constexpr int AutoRewindAfterReplayMs = 3000;

} // namespace

void FormMain::Timer1_Timer()
{
    Controls& c = ui_;
    switch (mmc_.mode()) {
    case DeviceMode::NotOpen:
        c.lblMode->setText(QStringLiteral("Player Ready..."));
        break;
    case DeviceMode::Stopped:
        onDeviceStopped();
        break;
    case DeviceMode::Playing:
        if (state_.isRewinding) {
            c.lblMode->setText(QStringLiteral("Rewinding..."));
        } else {
            c.lblMode->setText(QStringLiteral("Playing..."));
            c.cmdRewind->hide();
        }
        c.cmdPlay->setCaption(QStringLiteral("Pause (F11)"));
        c.TimerAutoRewind->stop();
        break;
    case DeviceMode::Recording:
        c.lblMode->setText(QStringLiteral("Device is Recording..."));
        break;
    case DeviceMode::Seeking:
        c.lblMode->setText(QStringLiteral("Device is Seeking..."));
        break;
    case DeviceMode::Paused:
        c.lblMode->setText(QStringLiteral("Paused... \nPlease type the text for this section."));
        c.cmdPlay->setCaption(QStringLiteral("Continue (F11)"));
        c.cmdRewind->show();
        if (c.chkAutoRewind->isChecked())
            armAutoRewind(AutoRewindAfterPauseMs);
        break;
    case DeviceMode::Ready:
        c.lblMode->setText(QStringLiteral("Device is Ready..."));
        break;
    default:
        break;
    }
}

// The device has stopped: a replay has reached its section's end, or the
// media has played to its end, or playing stopped elsewhere.
void FormMain::onDeviceStopped()
{
    Controls& c = ui_;
    const qint32 position = mmc_.Position();
    // A replay stops at its section's end, or at the end of the media when
    // a loaded section reaches past it (the recording was replaced).
    const std::optional<qint32> end = ReadRawPosition(c.lblSectionEnd->text());
    if (state_.isRewinding && end && std::clamp(*end, 0, mmc_.Length()) == position) {
        c.lblMode->setText(QStringLiteral("Stopped..."));
        c.cmdPlay->setCaption(QStringLiteral("Continue (F11)"));
        c.cmdPlay->show();
        c.cmdRewind->show();
        // Wait paused at the section's end; Continue then plays on to the
        // end of the media.
        mmc_.setTo(mmc_.Length());
        mmc_.setCommand(QStringLiteral("play"));
        sendPause();
        if (c.chkAutoRewind->isChecked())
            armAutoRewind(AutoRewindAfterReplayMs);
        state_.isRewinding = false;
    } else if (position == mmc_.Length()) {
        sendPause();
    } else {
        oGrid_Click();
    }
}

void FormMain::MMC_StatusUpdate()
{
    const qint32 position = mmc_.Position();
    ui_.SliderTime->setValue(position);
    ui_.lblCurrent->setText(FormatTime(position));
    if (!isCapturing())
        return;
    // The open section ends where the device is, playing or paused.
    setSectionEndLabels(position);
    ui_.SliderTime->setSectionEnd(position);
    SectionGrid& grid = *ui_.oGrid;
    const int row = grid.row();
    grid.setText(row, 1, RawPositionText(position));
    grid.setText(row, 3, FormatTime(position));
}

bool FormMain::isCapturing() const
{
    const SectionGrid& grid = *ui_.oGrid;
    return captureFollowsPosition_ && grid.row() == grid.rows() - 1 && !state_.isRewinding;
}

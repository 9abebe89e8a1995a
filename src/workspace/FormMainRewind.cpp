// Replay of the current section, by hand and automatically after a pause.

#include "workspace/FormMain.h"

#include "controls/AquaButton.h"
#include "media/MediaControl.h"
#include "model/FormatTime.h"
#include "workspace/SectionGrid.h"

#include <QLabel>
#include <QTimer>

void FormMain::cmdRewind_Click()
{
    if (state_.mediaFile.isEmpty() || !state_.mediaOpened)
        return;
    const std::optional<qint32> start = ReadRawPosition(ui_.lblSectionStart->text());
    const std::optional<qint32> end = ReadRawPosition(ui_.lblSectionEnd->text());
    if (!start || !end)
        return;
    // A seek into the section starts this one replay where the user let go.
    mmc_.setFrom(state_.seekStart < 0 ? *start : std::exchange(state_.seekStart, -1));
    mmc_.setTo(*end);
    mmc_.setCommand(QStringLiteral("play"));
    // An auto-rewind armed before would only start this replay over.
    ui_.TimerAutoRewind->stop();
    // Pause and Continue wait until the replay has ended; Rewind starts it over.
    ui_.cmdPlay->hide();
    ui_.cmdRewind->show();
    state_.isRewinding = true;
    // A replay of the capture section ends at its end, from where the end
    // follows the position again.
    const SectionGrid& grid = *ui_.oGrid;
    if (grid.row() == grid.rows() - 1)
        captureFollowsPosition_ = true;
}

void FormMain::TimerAutoRewind_Timer()
{
    ui_.TimerAutoRewind->stop();
    cmdRewind_Click();
}

// The status tick arms the timer again at every tick while the device waits.
// Arming a running timer with the interval it already has keeps its
// countdown, so the replay comes within a second of the pause instead of
// being put off tick after tick.
void FormMain::armAutoRewind(int intervalMs)
{
    QTimer& timer = *ui_.TimerAutoRewind;
    if (timer.isActive() && timer.interval() == intervalMs)
        return;
    timer.start(intervalMs);
}

// The playing speed, which every play keeps, and the jump back that lets the
// listener hear the last words again.

#include "workspace/FormMain.h"

#include "media/MediaControl.h"
#include "model/FormatTime.h"

#include <QLabel>

#include <algorithm>

namespace {

constexpr int SpeedStep = 100;
constexpr int JumpBackMs = 3000;

} // namespace

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

void FormMain::setSpeed(int thousandths)
{
    mmc_.setSpeed(thousandths);
    ui_.lblSpeed->setText(QStringLiteral("Speed %1x").arg(mmc_.Speed() / 1000.0, 0, 'f', 1));
}

// Back 3 seconds, playing or paused as before and towards the same end.
// While the capture section plays, its end follows the position, so the jump
// stops at the section's start: the section keeps its start and never ends
// before it. Once the section is closed and waits for its text, its end is
// where its words end, and a jump would file them under a shorter section;
// F12 replays it instead.
void FormMain::menuJumpBack_Click()
{
    const DeviceMode mode = mmc_.mode();
    if (!state_.mediaOpened || (mode != DeviceMode::Playing && mode != DeviceMode::Paused))
        return;
    const bool capturing = isCapturing();
    if (capturing && state_.capturePaused)
        return;
    qint32 target = std::max(0, mmc_.Position() - JumpBackMs);
    if (capturing)
        target = std::max(target, ReadRawPosition(ui_.lblSectionStart->text()).value_or(0));
    mmc_.jumpTo(target);
    MMC_StatusUpdate();
}

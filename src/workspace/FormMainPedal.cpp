// Foot pedals: each press is the window's key it stands for, whichever
// window has the focus.
#include "workspace/FormMain.h"

#include "controls/ProblemBar.h"
#include "pedal/FootPedalDialog.h"
#include "pedal/FootPedals.h"

namespace {

// The key each pedal command presses, in the order of FootPedals::Command.
constexpr FormMain::RemoteKey KeyOfCommand[] = {
    FormMain::RemoteKey::JumpBack, FormMain::RemoteKey::PlayPause, FormMain::RemoteKey::Play,
    FormMain::RemoteKey::Pause,    FormMain::RemoteKey::Replay,
};

} // namespace

void FormMain::connectPedals()
{
    pedals_ = new FootPedals(this);
    connect(pedals_, &FootPedals::commandGiven, this,
            [this](FootPedals::Command command) { pressRemoteKey(KeyOfCommand[int(command)]); });
    connect(pedals_, &FootPedals::devicesChanged, this, &FormMain::showPedalProblem);
    pedals_->watch();
}

// A pedal this user may not read is told in the bar until it can be read or
// is unplugged.
void FormMain::showPedalProblem()
{
    if (!pedals_)
        return;
    if (const QString text = pedals_->notAllowedText(); text.isEmpty())
        ui_.problemBar->clearProblem(PedalNotAllowed);
    else
        ui_.problemBar->showProblem(PedalNotAllowed, text);
}

void FormMain::menuFootPedal_Click()
{
    FootPedalDialog dialog(*pedals_, this);
    showModal(dialog);
}

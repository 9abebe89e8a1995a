// Foot pedals: each press is the window's key it stands for, whichever
// window has the focus.
#include "workspace/FormMain.h"

#include "controls/ProblemBar.h"
#include "pedal/FootPedalDialog.h"
#include "pedal/FootPedals.h"

void FormMain::connectPedals()
{
    pedals_ = new FootPedals(this);
    connect(pedals_, &FootPedals::commandGiven, this, [this](FootPedals::Command command) {
        switch (command) {
        case FootPedals::Command::JumpBack:
            pressRemoteKey(RemoteKey::JumpBack);
            break;
        case FootPedals::Command::PlayPause:
            pressRemoteKey(RemoteKey::PlayPause);
            break;
        case FootPedals::Command::Play:
            pressRemoteKey(RemoteKey::Play);
            break;
        case FootPedals::Command::Pause:
            pressRemoteKey(RemoteKey::Pause);
            break;
        case FootPedals::Command::Replay:
            pressRemoteKey(RemoteKey::Replay);
            break;
        }
    });
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

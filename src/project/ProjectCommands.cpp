#include "project/ProjectCommands.h"

#include "project/FileDialog.h"
#include "project/Paths.h"
#include "workspace/FormMain.h"
#include "workspace/Prompts.h"

#include <QLabel>
#include <QPlainTextEdit>

namespace {

// Asked before a command replaces a workspace that has unsaved changes.
void offerToSave(FormMain& window)
{
    if (window.state().isDirty &&
        window.prompts().message(&window,
                                 QStringLiteral("Do you want to save the current project?"),
                                 Prompts::Buttons::YesNo) == Prompts::Answer::Yes)
        window.menuSave_Click();
}

} // namespace

void newTranscriptionProject(FormMain& window)
{
    offerToSave(window);
    window.ResetWorkspace();
    FileDialogRequest request;
    request.mode = FileDialogMode::Open;
    request.title = QStringLiteral("Please select an Audio/Video file.");
    request.filters = {{QStringLiteral("Audio File"), QStringLiteral("*.wav;*.mp3;*.wma")},
                       {QStringLiteral("Video File"), QStringLiteral("*.wmv;*.avi;*.mpeg")},
                       {QStringLiteral("*.*"), QStringLiteral("*.*")}};
    request.initialFolder = documentsFolder();
    request.defaultExtension = QStringLiteral("wav");
    WorkspaceState& state = window.state();
    state.mediaFile = window.prompts().chooseFile(&window, request);
    window.controls().lblMediaFile->setText(FileNameOfPath(state.mediaFile));
    state.mediaOpened = false;
    window.controls().txtScript->setFocus();
}

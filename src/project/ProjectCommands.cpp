#include "project/ProjectCommands.h"

#include "project/FileAccess.h"
#include "project/FileDialog.h"
#include "project/Paths.h"
#include "project/ProjectWorkspace.h"
#include "project/RecoveryFile.h"
#include "workspace/FormMain.h"
#include "workspace/Prompts.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScopedValueRollback>

#include <utility>

namespace {

const FileFilter ProjectFilter{QStringLiteral("*.kvprj"), QStringLiteral("*.kvprj")};
const QString ProjectExtension = QStringLiteral("kvprj");

// Offers to save unsaved changes with `question`. False when the user said
// Yes and the save did not happen (cancelled or failed): the caller must not
// go on and lose the work.
bool offerToSave(FormMain& window, const QString& question)
{
    if (!window.state().isDirty)
        return true;
    if (window.prompts().message(&window, question, Prompts::Buttons::YesNo) ==
        Prompts::Answer::Yes)
        return saveProject(window);
    // The user lets the work go; a crash must not bring it back.
    removeRecoveryFile();
    return true;
}

// Asked before a command replaces a workspace.
bool offerToSaveCurrent(FormMain& window)
{
    return offerToSave(window, QStringLiteral("Do you want to save the current project?"));
}

// Tells the user that the project file at `path` could not be `done`, and why.
void reportFileFailure(FormMain& window, const QString& done, const QString& path,
                       const QString& reason, const QString& more = {})
{
    window.prompts().message(&window,
                             QStringLiteral("The project could not be %1\n%2\n\n%3%4")
                                 .arg(done, QDir::toNativeSeparators(path), reason, more),
                             Prompts::Buttons::Ok);
}

void reportSaveFailure(FormMain& window, const QString& path, const QString& reason, bool automatic)
{
    // Reported once: the auto-saver stays quiet until a save succeeds, also
    // while this message is open.
    window.state().saveFailureReported = true;
    QString more = QStringLiteral("\n\nNothing was changed on disk, and your work is still open.");
    if (automatic)
        more += QStringLiteral(" Kelvane keeps trying every 30 seconds; you can also save the "
                               "project elsewhere with Save Project As.");
    reportFileFailure(window, QStringLiteral("saved to"), path, reason, more);
}

// Writes the project file and tells the user if that failed.
bool writeProject(FormMain& window)
{
    const std::optional<QString> failure = WriteProjectFile(window);
    if (failure)
        reportSaveFailure(window, window.state().projectFile, *failure, false);
    return !failure;
}

// Fills the empty workspace with `content` and plays its media from the last
// section, so that the work goes on where it ended.
void loadWorkspace(FormMain& window, const QString& projectFile, ProjectContent content)
{
    // Until the media has opened, a tick of the auto-saver must not write the
    // rows just read back over the file.
    const QScopedValueRollback loading(window.state().loadingProject, true);
    fillWorkspace(window, projectFile, std::move(content));
    window.state().mediaOpened = false;
    window.cmdPlay_Click();
}

void loadProjectFile(FormMain& window, const QString& path)
{
    // The file is read whole and closed here, before anything can write it;
    // a file that does not begin like a project, however large, is not.
    QByteArray bytes;
    std::optional<QString> failure = readFileStart(path, ProjectSignatureSize, bytes);
    if (!failure && beginsProjectFile(bytes))
        failure = readWholeFile(path, bytes);
    if (failure) {
        reportFileFailure(window, QStringLiteral("opened from"), path, *failure);
        window.showProjectCaption();
        return;
    }
    std::optional<ProjectContent> content = readProjectFileBytes(bytes);
    if (!content) {
        // Not a project file: the workspace stays empty.
        window.showProjectCaption();
        return;
    }
    loadWorkspace(window, path, std::move(*content));
    window.showProjectCaption();
}

} // namespace

QString projectFolder(const WorkspaceState& state)
{
    return state.projectFile.isEmpty() ? documentsFolder()
                                       : QFileInfo(state.projectFile).absolutePath();
}

void newTranscriptionProject(FormMain& window)
{
    if (!offerToSaveCurrent(window))
        return;
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
    // Each line of a project file holds one thing; a path cannot span two.
    if (state.mediaFile.contains(u'\n') || state.mediaFile.contains(u'\r')) {
        window.prompts().message(&window,
                                 QStringLiteral("The file\n%1\ncannot be transcribed because its "
                                                "name holds a line break. Rename it and choose it "
                                                "again.")
                                     .arg(QDir::toNativeSeparators(state.mediaFile)),
                                 Prompts::Buttons::Ok);
        state.mediaFile.clear();
    }
    window.controls().lblMediaFile->setText(FileNameOfPath(state.mediaFile));
    state.mediaOpened = false;
    window.controls().txtScript->setFocus();
}

void openProject(FormMain& window)
{
    if (!offerToSaveCurrent(window))
        return;
    window.ResetWorkspace();
    FileDialogRequest request;
    request.mode = FileDialogMode::Open;
    request.title = QStringLiteral("Open Project");
    request.filters = {ProjectFilter};
    request.initialFolder = documentsFolder();
    request.defaultExtension = ProjectExtension;
    const QString path = window.prompts().chooseFile(&window, request);
    if (!path.isEmpty())
        loadProjectFile(window, path);
}

void openProjectFile(FormMain& window, const QString& path)
{
    if (!offerToSaveCurrent(window))
        return;
    window.ResetWorkspace();
    loadProjectFile(window, path);
}

bool saveProject(FormMain& window)
{
    if (window.state().projectFile.isEmpty())
        return saveProjectAs(window);
    return writeProject(window);
}

bool saveProjectAs(FormMain& window)
{
    WorkspaceState& state = window.state();
    FileDialogRequest request;
    request.mode = FileDialogMode::Save;
    request.title = QStringLiteral("Save Project");
    request.initialFileName = QStringLiteral("transcription.kvprj");
    request.filters = {ProjectFilter};
    request.initialFolder = projectFolder(state);
    request.defaultExtension = ProjectExtension;
    const QString path = window.prompts().chooseFileToWrite(&window, request);
    if (path.isEmpty())
        return false;
    // A project that cannot be written there keeps its former file, also
    // for the auto-saver while the user reads why.
    QString previous = std::exchange(state.projectFile, path);
    const std::optional<QString> failure = WriteProjectFile(window);
    if (!failure)
        return true;
    state.projectFile = std::move(previous);
    reportSaveFailure(window, path, *failure, false);
    return false;
}

void autoSaveProject(FormMain& window)
{
    WorkspaceState& state = window.state();
    if (state.loadingProject)
        return;
    const std::optional<QString> failure =
        state.projectFile.isEmpty() ? std::nullopt : WriteProjectFile(window);
    // A project without a file, or one that could not be written, is kept
    // safe in the recovery copy meanwhile, before the user is told.
    keepRecoveryCopy(window);
    if (failure && !state.saveFailureReported)
        reportSaveFailure(window, state.projectFile, *failure, true);
}

void keepRecoveryCopy(FormMain& window)
{
    WorkspaceState& state = window.state();
    if (!state.isDirty || state.loadingProject)
        return;
    const std::optional<QString> failure =
        writeRecoveryFile(state.projectFile, workspaceContent(window));
    // Told once, since this runs while the user types; the next tick and
    // Continue try again, and a copy that succeeds ends the silence.
    if (!failure) {
        state.recoveryFailureReported = false;
        return;
    }
    if (std::exchange(state.recoveryFailureReported, true))
        return;
    window.prompts().message(
        &window,
        QStringLiteral("Kelvane could not keep a recovery copy of the unsaved work in\n%1\n\n%2"
                       "\n\nYour work is still open. Save it to keep it safe; Kelvane keeps "
                       "trying.")
            .arg(QDir::toNativeSeparators(recoveryFilePath()), *failure),
        Prompts::Buttons::Ok);
}

bool offerRecovery(FormMain& window)
{
    const QString path = recoveryFilePath();
    if (claimRecoveryFile() || !FileExists(path))
        return false;
    if (window.prompts().message(&window,
                                 QStringLiteral("Kelvane did not close normally. Do you want to "
                                                "recover the unsaved transcription?"),
                                 Prompts::Buttons::YesNo) != Prompts::Answer::Yes) {
        removeRecoveryFile();
        return false;
    }
    QByteArray bytes;
    std::optional<QString> failure = readWholeFile(path, bytes);
    std::optional<RecoveredWork> work;
    if (!failure && !(work = readRecoveryFileBytes(bytes)))
        failure = QStringLiteral("The file is damaged.");
    if (failure) {
        // Set aside rather than deleted, out of the way of the next copy and
        // of any set aside before.
        const QString kept = path + QDateTime::currentDateTime().toString(
                                        QStringLiteral("'.unreadable-'yyyyMMdd-hhmmss"));
        const QString where =
            QFile::rename(path, kept)
                ? QStringLiteral("The file is kept as\n%1").arg(QDir::toNativeSeparators(kept))
                : QStringLiteral("It could not be set aside either: copy it elsewhere now, "
                                 "before Kelvane keeps new work there.");
        window.prompts().message(&window,
                                 QStringLiteral("The unsaved transcription could not be recovered "
                                                "from\n%1\n\n%2\n\n%3")
                                     .arg(QDir::toNativeSeparators(path), *failure, where),
                                 Prompts::Buttons::Ok);
        return false;
    }
    // Recovered work is unsaved until the user saves it; as such it also
    // stays when its media cannot be opened.
    window.state().isDirty = true;
    loadWorkspace(window, work->projectFile, std::move(work->content));
    window.markUnsaved();
    return true;
}

bool offerToSaveBeforeQuit(FormMain& window)
{
    return offerToSave(window, QStringLiteral("Do you want to save the project before quit?"));
}

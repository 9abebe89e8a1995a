#include "project/ProjectCommands.h"

#include "dialogs/FileDialog.h"
#include "dialogs/Prompts.h"
#include "model/WorkspaceState.h"
#include "project/ProjectWindow.h"
#include "project/ProjectWorkspace.h"
#include "storage/FileAccess.h"
#include "storage/Paths.h"
#include "storage/ProjectFile.h"
#include "storage/RecoveryFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopedValueRollback>

#include <utility>

namespace {

const FileFilter ProjectFilter{QStringLiteral("*.kvprj"), QStringLiteral("*.kvprj")};
const QString ProjectExtension = QStringLiteral("kvprj");

const QString CurrentProjectQuestion = QStringLiteral("Do you want to save the current project?");

} // namespace

ProjectCommands::ProjectCommands(ProjectWindow& window, Prompts& prompts, QWidget* owner)
    : window_(window), prompts_(prompts), owner_(owner)
{
}

// Offers to save unsaved changes with `question`. False when the user said
// Yes and the save did not happen (cancelled or failed): the caller must not
// go on and lose the work.
bool ProjectCommands::offerToSave(const QString& question)
{
    if (!window_.state().isDirty)
        return true;
    if (prompts_.message(owner_, question, Prompts::Buttons::YesNo) == Prompts::Answer::Yes)
        return save();
    // The user lets the work go; a crash must not bring it back.
    removeRecoveryFile();
    return true;
}

// Tells the user that the project file at `path` could not be `done`, and why.
void ProjectCommands::reportFileFailure(const QString& done, const QString& path,
                                        const QString& reason, const QString& more)
{
    prompts_.message(owner_,
                     QStringLiteral("The project could not be %1\n%2\n\n%3%4")
                         .arg(done, QDir::toNativeSeparators(path), reason, more),
                     Prompts::Buttons::Ok);
}

void ProjectCommands::reportSaveFailure(const QString& path, const QString& reason, bool automatic)
{
    // Reported once: the auto-saver stays quiet until a save succeeds, also
    // while this message is open.
    window_.state().saveFailureReported = true;
    QString more = QStringLiteral("\n\nNothing was changed on disk, and your work is still open.");
    if (automatic)
        more += QStringLiteral(" Kelvane keeps trying every 30 seconds; you can also save the "
                               "project elsewhere with Save Project As.");
    reportFileFailure(QStringLiteral("saved to"), path, reason, more);
}

// Writes the project file and tells the user if that failed.
bool ProjectCommands::writeProject()
{
    const std::optional<QString> failure = WriteProjectFile(window_);
    if (failure)
        reportSaveFailure(window_.state().projectFile, *failure, false);
    return !failure;
}

// Fills the empty workspace with `content` and plays its media from the last
// section, so that the work goes on where it ended.
void ProjectCommands::load(const QString& projectFile, ProjectContent content)
{
    // Until the media has opened, a tick of the auto-saver must not write the
    // rows just read back over the file.
    const QScopedValueRollback loading(window_.state().loadingProject, true);
    fillWorkspace(window_, projectFile, std::move(content));
    window_.continueWork();
}

void ProjectCommands::loadFile(const QString& path)
{
    // The file is read whole and closed here, before anything can write it;
    // a file that does not begin like a project, however large, is not.
    QByteArray bytes;
    std::optional<QString> failure = readFileStart(path, ProjectSignatureSize, bytes);
    if (!failure && beginsProjectFile(bytes))
        failure = readWholeFile(path, bytes);
    if (failure) {
        reportFileFailure(QStringLiteral("opened from"), path, *failure);
        window_.showProjectCaption();
        return;
    }
    std::optional<ProjectContent> content = readProjectFileBytes(bytes);
    // Not a project file: the workspace stays empty.
    if (content)
        load(path, std::move(*content));
    window_.showProjectCaption();
}

QString projectFolder(const WorkspaceState& state)
{
    return state.projectFile.isEmpty() ? documentsFolder()
                                       : QFileInfo(state.projectFile).absolutePath();
}

void ProjectCommands::newTranscription()
{
    if (!offerToSave(CurrentProjectQuestion))
        return;
    window_.resetWorkspace();
    FileDialogRequest request;
    request.mode = FileDialogMode::Open;
    request.title = QStringLiteral("Please select an Audio/Video file.");
    request.filters = {{QStringLiteral("Audio File"), QStringLiteral("*.wav;*.mp3;*.wma")},
                       {QStringLiteral("Video File"), QStringLiteral("*.wmv;*.avi;*.mpeg")},
                       {QStringLiteral("*.*"), QStringLiteral("*.*")}};
    request.initialFolder = documentsFolder();
    request.defaultExtension = QStringLiteral("wav");
    QString media = prompts_.chooseFile(owner_, request);
    // Each line of a project file holds one thing; a path cannot span two.
    if (media.contains(u'\n') || media.contains(u'\r')) {
        prompts_.message(owner_,
                         QStringLiteral("The file\n%1\ncannot be transcribed because its name "
                                        "holds a line break. Rename it and choose it again.")
                             .arg(QDir::toNativeSeparators(media)),
                         Prompts::Buttons::Ok);
        media.clear();
    }
    window_.setMediaFile(media);
}

void ProjectCommands::open()
{
    if (!offerToSave(CurrentProjectQuestion))
        return;
    window_.resetWorkspace();
    FileDialogRequest request;
    request.mode = FileDialogMode::Open;
    request.title = QStringLiteral("Open Project");
    request.filters = {ProjectFilter};
    request.initialFolder = documentsFolder();
    request.defaultExtension = ProjectExtension;
    const QString path = prompts_.chooseFile(owner_, request);
    if (!path.isEmpty())
        loadFile(path);
}

void ProjectCommands::openFile(const QString& path)
{
    if (!offerToSave(CurrentProjectQuestion))
        return;
    window_.resetWorkspace();
    loadFile(path);
}

bool ProjectCommands::save()
{
    if (window_.state().projectFile.isEmpty())
        return saveAs();
    return writeProject();
}

bool ProjectCommands::saveAs()
{
    WorkspaceState& state = window_.state();
    FileDialogRequest request;
    request.mode = FileDialogMode::Save;
    request.title = QStringLiteral("Save Project");
    request.initialFileName = QStringLiteral("transcription.kvprj");
    request.filters = {ProjectFilter};
    request.initialFolder = projectFolder(state);
    request.defaultExtension = ProjectExtension;
    const QString path = prompts_.chooseFileToWrite(owner_, request);
    if (path.isEmpty())
        return false;
    // A project that cannot be written there keeps its former file, also
    // for the auto-saver while the user reads why.
    QString previous = std::exchange(state.projectFile, path);
    const std::optional<QString> failure = WriteProjectFile(window_);
    if (!failure)
        return true;
    state.projectFile = std::move(previous);
    reportSaveFailure(path, *failure, false);
    return false;
}

void ProjectCommands::autoSave()
{
    WorkspaceState& state = window_.state();
    if (state.loadingProject)
        return;
    const std::optional<QString> failure =
        state.projectFile.isEmpty() ? std::nullopt : WriteProjectFile(window_);
    // A project without a file, or one that could not be written, is kept
    // safe in the recovery copy meanwhile, before the user is told.
    keepRecoveryCopy();
    if (failure && !state.saveFailureReported)
        reportSaveFailure(state.projectFile, *failure, true);
}

void ProjectCommands::keepRecoveryCopy()
{
    WorkspaceState& state = window_.state();
    if (!state.isDirty || state.loadingProject)
        return;
    const std::optional<QString> failure =
        writeRecoveryFile(state.projectFile, workspaceContent(window_));
    // Told once, since this runs while the user types; the next tick and
    // Continue try again, and a copy that succeeds ends the silence.
    if (!failure) {
        state.recoveryFailureReported = false;
        return;
    }
    if (std::exchange(state.recoveryFailureReported, true))
        return;
    prompts_.message(
        owner_,
        QStringLiteral("Kelvane could not keep a recovery copy of the unsaved work in\n%1\n\n%2"
                       "\n\nYour work is still open. Save it to keep it safe; Kelvane keeps "
                       "trying.")
            .arg(QDir::toNativeSeparators(recoveryFilePath()), *failure),
        Prompts::Buttons::Ok);
}

bool ProjectCommands::offerRecovery()
{
    const QString path = recoveryFilePath();
    if (claimRecoveryFile() || !FileExists(path))
        return false;
    if (prompts_.message(owner_,
                         QStringLiteral("Kelvane did not close normally. Do you want to recover "
                                        "the unsaved transcription?"),
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
        prompts_.message(owner_,
                         QStringLiteral("The unsaved transcription could not be recovered "
                                        "from\n%1\n\n%2\n\n%3")
                             .arg(QDir::toNativeSeparators(path), *failure, where),
                         Prompts::Buttons::Ok);
        return false;
    }
    // Recovered work is unsaved until the user saves it; as such it also
    // stays when its media cannot be opened.
    window_.state().isDirty = true;
    load(work->projectFile, std::move(work->content));
    window_.markUnsaved();
    return true;
}

bool ProjectCommands::offerToSaveBeforeQuit()
{
    return offerToSave(QStringLiteral("Do you want to save the project before quit?"));
}

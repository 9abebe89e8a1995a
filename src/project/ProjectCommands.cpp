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
#include <QLocale>
#include <QLockFile>
#include <QScopedValueRollback>

#include <algorithm>
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

ProjectCommands::~ProjectCommands() = default;

// Offers to save unsaved changes with `question`. False when the user backed
// out with Cancel, or said Yes and the save did not happen (cancelled or
// failed): the caller must not go on and lose the work.
bool ProjectCommands::offerToSave(const QString& question)
{
    if (!window_.state().isDirty)
        return true;
    switch (prompts_.message(owner_, question, Prompts::Buttons::YesNoCancel)) {
    case Prompts::Answer::Yes:
        return save();
    case Prompts::Answer::No:
        // The user lets the work go; a crash must not bring it back.
        removeRecoveryFile();
        return true;
    default:
        return false;
    }
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

// Writes the workspace to its project file and knows the file from then on.
std::optional<QString> ProjectCommands::write()
{
    // A file known from before is marked open already; every auto-save
    // rewrites it, and the mark stays.
    const bool newFile = stamp_.path != window_.state().projectFile;
    const std::optional<QString> failure = WriteProjectFile(window_, stamp_);
    if (!failure) {
        autoSaveHeld_ = false;
        window_.clearProblem(ProjectWindow::Problem::ChangedOnDisk);
        if (newFile)
            markOpen(window_.state().projectFile);
    }
    return failure;
}

// Writes the project file and tells the user if that failed.
bool ProjectCommands::writeProject()
{
    const std::optional<QString> failure = write();
    if (failure)
        reportFileFailure(QStringLiteral("saved to"), window_.state().projectFile, *failure,
                          QStringLiteral("\n\nNothing was changed on disk, and your work is "
                                         "still open."));
    return !failure;
}

// Saves the work beside a project file that someone else has changed, under
// the first free name of the form "name (2).kvprj", which becomes the
// project's file.
bool ProjectCommands::keepBoth()
{
    WorkspaceState& state = window_.state();
    const QFileInfo file(state.projectFile);
    QString path;
    const QString suffix = file.suffix().isEmpty() ? QString() : u'.' + file.suffix();
    for (int n = 2; path.isEmpty() || QFileInfo::exists(path); ++n)
        path = file.absoluteDir().filePath(
            QStringLiteral("%1 (%2)%3").arg(file.completeBaseName()).arg(n).arg(suffix));
    QString previous = std::exchange(state.projectFile, path);
    if (writeProject())
        return true;
    state.projectFile = std::move(previous);
    return false;
}

// Fills the empty workspace with `content` and plays its media from the last
// section, so that the work goes on where it ended.
void ProjectCommands::load(const QString& projectFile, ProjectContent content)
{
    // Until the media has opened, and the user has read what was repaired, a
    // tick of the auto-saver must not write the rows just read over the file.
    const QScopedValueRollback loading(window_.state().loadingProject, true);
    const size_t repaired = content.repairedRows.size();
    fillWorkspace(window_, projectFile, std::move(content));
    if (repaired > 0 && !projectFile.isEmpty())
        tellRepaired(projectFile, repaired);
    window_.continueWork();
}

// A damaged file is kept as it was, before anything writes over it, and the
// user learns which rows lost their times.
void ProjectCommands::tellRepaired(const QString& path, size_t rows)
{
    QString backup;
    const std::optional<QString> failure = keepBackupCopy(path, backup);
    const QString kept =
        failure ? QStringLiteral("A copy of the file as it was could not be kept (%1), so Kelvane "
                                 "will not save over it automatically: save the project under "
                                 "another name.")
                      .arg(*failure)
                : QStringLiteral("The file as it was is kept as\n%1")
                      .arg(QDir::toNativeSeparators(backup));
    prompts_.message(owner_,
                     QStringLiteral("%1 line(s) of the project file\n%2\nwere damaged: their "
                                    "times could not be read. Their words are kept, each in a "
                                    "row of its own without times.\n\n%3")
                         .arg(rows)
                         .arg(QDir::toNativeSeparators(path), kept),
                     Prompts::Buttons::Ok);
    if (failure) {
        autoSaveHeld_ = true;
        window_.showProblem(ProjectWindow::Problem::ChangedOnDisk,
                            QStringLiteral("Kelvane does not save %1 automatically: it was "
                                           "damaged and no copy of it could be kept.")
                                .arg(QDir::toNativeSeparators(path)));
    }
}

void ProjectCommands::loadFile(const QString& path)
{
    if (!mayOpen(path)) {
        window_.showProjectCaption();
        return;
    }
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
    if (content) {
        stamp_ = stampFile(path, bytes);
        markOpen(path);
        const QString media = content->mediaFile;
        load(path, std::move(*content));
        // A recording found elsewhere is a change the file does not hold yet.
        if (window_.state().mediaFile != media) {
            window_.markUnsaved();
            return;
        }
    }
    window_.showProjectCaption();
}

// A project open in another Kelvane is opened only when the user says so:
// two programs saving one file undo each other's work.
bool ProjectCommands::mayOpen(const QString& path)
{
    QString holder;
    if (markFileOpen(path, holder) || holder.isEmpty())
        return true;
    return prompts_.choose(owner_,
                           QStringLiteral("The project\n%1\nis open in another Kelvane (%2). If "
                                          "both save it, each undoes the other's work.\n\nOpen "
                                          "it all the same?")
                               .arg(QDir::toNativeSeparators(path), holder),
                           {QStringLiteral("&Open"), QStringLiteral("&Cancel")}, 1) == 0;
}

// The workspace no longer has the file it had: what was known of it goes.
void ProjectCommands::forgetFile()
{
    stamp_ = {};
    autoSaveHeld_ = false;
    openMark_.reset();
    window_.clearProblem(ProjectWindow::Problem::ChangedOnDisk);
}

// Marks `path` as open here, and the file open before as no longer.
void ProjectCommands::markOpen(const QString& path)
{
    openMark_.reset();
    QString holder;
    openMark_ = markFileOpen(path, holder);
}

QString projectFolder(const WorkspaceState& state)
{
    return state.projectFile.isEmpty() ? documentsFolder()
                                       : QFileInfo(state.projectFile).absolutePath();
}

// Asks for a recording to transcribe, in `folder` at first; "" when the
// dialog was cancelled or the file cannot be taken.
QString ProjectCommands::chooseMedia(const QString& folder)
{
    FileDialogRequest request;
    request.mode = FileDialogMode::Open;
    request.title = QStringLiteral("Please select an Audio/Video file.");
    request.filters = {{QStringLiteral("Audio File"), QStringLiteral("*.wav;*.mp3;*.wma")},
                       {QStringLiteral("Video File"), QStringLiteral("*.wmv;*.avi;*.mpeg")},
                       {QStringLiteral("*.*"), QStringLiteral("*.*")}};
    request.initialFolder = folder;
    request.defaultExtension = QStringLiteral("wav");
    const QString media = prompts_.chooseFile(owner_, request);
    // Each line of a project file holds one thing; a path cannot span two.
    if (media.contains(u'\n') || media.contains(u'\r')) {
        prompts_.message(owner_,
                         QStringLiteral("The file\n%1\ncannot be transcribed because its name "
                                        "holds a line break. Rename it and choose it again.")
                             .arg(QDir::toNativeSeparators(media)),
                         Prompts::Buttons::Ok);
        return {};
    }
    return media;
}

void ProjectCommands::newTranscription()
{
    if (!offerToSave(CurrentProjectQuestion))
        return;
    window_.resetWorkspace();
    forgetFile();
    window_.setMediaFile(chooseMedia(documentsFolder()));
}

QString ProjectCommands::lookForMedia(const QString& missing)
{
    const QString question =
        QStringLiteral("The recording of this project was not found at\n%1\n\nIt may have been "
                       "moved, renamed or deleted. Your sections are kept. Look for the recording "
                       "now?")
            .arg(QDir::toNativeSeparators(missing));
    if (prompts_.choose(owner_, question,
                        {QStringLiteral("&Look for It..."), QStringLiteral("&Not Now")}, 1) != 0)
        return {};
    return chooseMedia(projectFolder(window_.state()));
}

void ProjectCommands::open()
{
    if (!offerToSave(CurrentProjectQuestion))
        return;
    window_.resetWorkspace();
    forgetFile();
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
    forgetFile();
    loadFile(path);
}

bool ProjectCommands::save()
{
    const QString& path = window_.state().projectFile;
    if (path.isEmpty())
        return saveAs();
    if (stamp_.path == path && changedSince(stamp_)) {
        const QString question =
            QStringLiteral("The project file\n%1\nwas changed by another program since Kelvane "
                           "opened or saved it.\n\nOverwrite it with your work, save your work "
                           "under another name, or keep both (your work is saved beside it)?")
                .arg(QDir::toNativeSeparators(path));
        switch (prompts_.choose(owner_, question,
                                {QStringLiteral("&Overwrite"), QStringLiteral("Save &As..."),
                                 QStringLiteral("&Keep Both"), QStringLiteral("&Cancel")},
                                3)) {
        case 0:
            break;
        case 1:
            return saveAs();
        case 2:
            return keepBoth();
        default:
            return false;
        }
    }
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
    if (writeProject())
        return true;
    state.projectFile = std::move(previous);
    return false;
}

void ProjectCommands::autoSave()
{
    WorkspaceState& state = window_.state();
    if (state.loadingProject)
        return;
    using Problem = ProjectWindow::Problem;
    // Another file, or none, since the last tick (a recording that could not
    // be opened empties the workspace).
    if (stamp_.path != state.projectFile)
        forgetFile();
    if (!state.projectFile.isEmpty() && !autoSaveHeld_ && changedSince(stamp_)) {
        autoSaveHeld_ = true;
        window_.showProblem(
            Problem::ChangedOnDisk,
            QStringLiteral("Another program has changed %1 since Kelvane opened or saved it. "
                           "Kelvane no longer saves it automatically, so as not to undo that "
                           "change; your work is kept in the recovery copy. Save Project decides "
                           "what to keep.")
                .arg(QDir::toNativeSeparators(state.projectFile)));
    }
    const std::optional<QString> failure =
        state.projectFile.isEmpty() || autoSaveHeld_ ? std::nullopt : write();
    // A project without a file, or one that could not be written, is kept
    // safe in the recovery copy meanwhile.
    keepRecoveryCopy();
    if (failure)
        window_.showProblem(
            Problem::AutoSave,
            QStringLiteral("The project could not be saved to %1: %2 Kelvane keeps trying every "
                           "30 seconds; you can also save the project elsewhere with Save "
                           "Project As.")
                .arg(QDir::toNativeSeparators(state.projectFile), *failure));
}

void ProjectCommands::keepRecoveryCopy()
{
    const WorkspaceState& state = window_.state();
    if (!state.isDirty || state.loadingProject)
        return;
    journalRow_ = -1;
    const std::optional<QString> failure =
        writeRecoveryFile(state.projectFile, workspaceContent(window_));
    if (!failure) {
        window_.clearProblem(ProjectWindow::Problem::RecoveryCopy);
        return;
    }
    window_.showProblem(
        ProjectWindow::Problem::RecoveryCopy,
        QStringLiteral("Kelvane cannot keep a recovery copy of the unsaved work in %1: %2 Save "
                       "the work to keep it safe; Kelvane keeps trying.")
            .arg(QDir::toNativeSeparators(recoveryFilePath()), *failure));
}

void ProjectCommands::keepTyping(int row)
{
    const WorkspaceState& state = window_.state();
    const SectionTableModel& table = window_.table();
    if (!state.isDirty || state.loadingProject || row < 0 || row >= table.rowCount())
        return;
    // The journal amends one row; another one needs the whole work anew.
    if (!hasRecoveryFile() || (journalRow_ >= 0 && journalRow_ != row)) {
        keepRecoveryCopy();
        return;
    }
    journalRow_ = row;
    if (writeRecoveryJournal(row, table.cells(row)))
        keepRecoveryCopy(); // the whole copy may still be written
}

// Sets an unreadable copy aside rather than deleting it, out of the way of
// the next copy and of any set aside before, and tells the user.
void ProjectCommands::setAside(const QString& path, const QString& reason)
{
    const QString kept = path + QDateTime::currentDateTime().toString(
                                    QStringLiteral("'.unreadable-'yyyyMMdd-hhmmss"));
    const QString where =
        QFile::rename(path, kept)
            ? QStringLiteral("The file is kept as\n%1").arg(QDir::toNativeSeparators(kept))
            : QStringLiteral("It could not be set aside either: copy it elsewhere now.");
    prompts_.message(owner_,
                     QStringLiteral("The unsaved transcription could not be recovered "
                                    "from\n%1\n\n%2\n\n%3")
                         .arg(QDir::toNativeSeparators(path), reason, where),
                     Prompts::Buttons::Ok);
}

bool ProjectCommands::offerRecovery()
{
    // This program's own copy is claimed first, so that a program starting
    // at the same moment does not take it for a dead one's.
    claimRecoveryFile();
    std::vector<OrphanedCopy> copies = orphanedRecoveryFiles();
    return std::any_of(copies.begin(), copies.end(),
                       [this](OrphanedCopy& copy) { return recover(copy); });
}

// Offers the work of one dead program's copy; true when it was loaded.
bool ProjectCommands::recover(OrphanedCopy& copy)
{
    // An unreadable copy is offered all the same: the user learns of it.
    const QString projectFile = copy.work ? copy.work->projectFile : QString();
    const QString mediaFile = copy.work ? copy.work->content.mediaFile : QString();
    const QString project =
        projectFile.isEmpty()
            ? QStringLiteral("a new project, not saved yet (recording: %1)")
                  .arg(mediaFile.isEmpty() ? QStringLiteral("none") : FileNameOfPath(mediaFile))
            : QDir::toNativeSeparators(projectFile);
    if (prompts_.message(owner_,
                         QStringLiteral("Kelvane did not close normally. Do you want to recover "
                                        "the unsaved transcription?\n\nProject: %1\nLast kept: "
                                        "%2")
                             .arg(project, QLocale().toString(copy.written, QLocale::LongFormat)),
                         Prompts::Buttons::YesNo) != Prompts::Answer::Yes) {
        removeOrphanedCopy(copy);
        return false;
    }
    std::optional<RecoveredWork>& work = copy.work;
    if (!work) {
        setAside(copy.path, copy.failure);
        return false;
    }
    // Recovered work is unsaved until the user saves it; as such it also
    // stays when its media cannot be opened.
    window_.state().isDirty = true;
    // Rows a copy holds without times are kept as they are; the copy is no
    // file of the user's to set aside.
    work->content.repairedRows.clear();
    if (!work->projectFile.isEmpty()) {
        stamp_ = stampFileOnDisk(work->projectFile);
        markOpen(work->projectFile);
    }
    load(work->projectFile, std::move(work->content));
    window_.markUnsaved();
    // The dead program's copy goes once this program keeps the work itself.
    keepRecoveryCopy();
    if (hasRecoveryFile())
        removeOrphanedCopy(copy);
    return true;
}

bool ProjectCommands::offerToSaveBeforeQuit()
{
    return offerToSave(QStringLiteral("Do you want to save the project before quit?"));
}

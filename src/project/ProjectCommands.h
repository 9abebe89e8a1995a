#pragma once

#include "storage/FileStamp.h"

#include <QString>

#include <memory>
#include <optional>

class Prompts;
class QLockFile;
class ProjectWindow;
struct ProjectContent;
class QWidget;
struct WorkspaceState;

// The File menu's project commands, run on a window's workspace. Questions,
// messages and dialogs open over `owner`.
class ProjectCommands
{
public:
    ProjectCommands(ProjectWindow& window, Prompts& prompts, QWidget* owner);
    ~ProjectCommands();

    // New Transcription Project: offers to save the current work, empties the
    // workspace and asks for the media file to transcribe. The media is
    // opened by the first Play.
    void newTranscription();

    // Open Project: offers to save the current work, empties the workspace,
    // and loads the project file the user picks; its media then plays from
    // the last section, so that the work goes on where it ended.
    void open();
    // Loads the project file at `path` as Open Project does after its
    // dialog, first offering to save unsaved work; for a project named on
    // the command line.
    void openFile(const QString& path);

    // Save Project writes the project file without asking, or asks for one
    // when the project has none yet. A file that someone else has written
    // since it was read or saved is not overwritten without the user's word.
    // Save Project As always asks. Both return whether the workspace is now
    // saved; a failure has been reported.
    bool save();
    bool saveAs();

    // The auto-saver's tick: rewrites a project that has a file, unless
    // someone else has written the file since; it then stops saving that
    // file. Work still unsaved goes to the recovery copy. Failures show in
    // the window until a later tick or a save succeeds.
    void autoSave();

    // Writes unsaved work to the recovery copy, from which the next start can
    // recover it after a crash; never the project file, and without a
    // question. A save, a clean end, and work the user lets go remove the
    // copy.
    void keepRecoveryCopy();
    // Keeps the row being typed in safe: in a small journal beside the copy,
    // or, when the copy is missing or amended for another row, in a new copy.
    void keepTyping(int row);

    // At start-up: offers to recover the work each program that did not end
    // cleanly left in its recovery copy, the newest first, and loads the one
    // accepted as Open Project loads a project, still unsaved. A copy the
    // user declines is deleted. Returns whether work was recovered.
    bool offerRecovery();

    // The recording at `missing` is gone: tells the user, and offers to look
    // for it with the open dialog, in the project's folder at first. Returns
    // the recording picked, or "" when the user let it be.
    QString lookForMedia(const QString& missing);

    // Asked before the window closes with unsaved changes. False when the
    // user asked to save and the save did not happen: the window must stay.
    bool offerToSaveBeforeQuit();

private:
    bool offerToSave(const QString& question);
    QString chooseMedia(const QString& folder);
    void reportFileFailure(const QString& done, const QString& path, const QString& reason,
                           const QString& more = {});
    std::optional<QString> write();
    bool writeProject();
    bool keepBoth();
    void load(const QString& projectFile, ProjectContent content);
    void tellRepaired(const QString& path, size_t rows);
    void loadFile(const QString& path);
    bool mayOpen(const QString& path);
    void forgetFile();
    void markOpen(const QString& path);
    bool recover(struct OrphanedCopy& copy);
    void setAside(const QString& path, const QString& reason);

    ProjectWindow& window_;
    Prompts& prompts_;
    QWidget* owner_;
    // The project file as it was last read or written, and the mark that
    // tells other programs it is open here.
    FileStamp stamp_;
    std::unique_ptr<QLockFile> openMark_;
    // Someone else wrote the file: the auto-saver leaves it alone.
    bool autoSaveHeld_ = false;
    // The row the journal amends the recovery copy with; -1 for none yet.
    int journalRow_ = -1;
};

// Where the save dialogs open: the project's folder, or the documents folder
// while the project has no file.
QString projectFolder(const WorkspaceState& state);

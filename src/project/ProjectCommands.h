#pragma once

#include <QString>

class Prompts;
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
    // when the project has none yet. Save Project As always asks. Both return
    // whether the workspace is now saved; a failure has been reported.
    bool save();
    bool saveAs();

    // The auto-saver's tick: rewrites a project that has a file. A failure is
    // reported once; later ticks retry quietly until a save succeeds. Work
    // still unsaved then goes to the recovery copy.
    void autoSave();

    // Writes unsaved work to the recovery copy, from which the next start can
    // recover it after a crash; never the project file, and without a
    // question. A copy that cannot be written is told once. A save, a clean
    // end, and work the user lets go remove the copy.
    void keepRecoveryCopy();

    // At start-up: offers to recover the work a crash left in the recovery
    // copy, and loads it as Open Project loads a project, still unsaved. A
    // copy the user declines is deleted. Returns whether it was recovered.
    bool offerRecovery();

    // Asked before the window closes with unsaved changes. False when the
    // user asked to save and the save did not happen: the window must stay.
    bool offerToSaveBeforeQuit();

private:
    bool offerToSave(const QString& question);
    void reportFileFailure(const QString& done, const QString& path, const QString& reason,
                           const QString& more = {});
    void reportSaveFailure(const QString& path, const QString& reason, bool automatic);
    bool writeProject();
    void load(const QString& projectFile, ProjectContent content);
    void loadFile(const QString& path);

    ProjectWindow& window_;
    Prompts& prompts_;
    QWidget* owner_;
};

// Where the save dialogs open: the project's folder, or the documents folder
// while the project has no file.
QString projectFolder(const WorkspaceState& state);

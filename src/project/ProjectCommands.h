#pragma once

class FormMain;
class QString;
struct WorkspaceState;

// The File menu's project commands, run on the main window.

// New Transcription Project: offers to save the current work, empties the
// workspace and asks for the media file to transcribe. The media is opened
// by the first Play.
void newTranscriptionProject(FormMain& window);

// Open Project: offers to save the current work, empties the workspace, and
// loads the project file the user picks; its media then plays from the last
// section, so that the work goes on where it ended.
void openProject(FormMain& window);
// Loads the project file at `path` as Open Project does after its dialog,
// first offering to save unsaved work; for a project named on the command
// line.
void openProjectFile(FormMain& window, const QString& path);

// Save Project writes the project file without asking, or asks for one when
// the project has none yet. Save Project As always asks. Both return whether
// the workspace is now saved; a failure has been reported to the user.
bool saveProject(FormMain& window);
bool saveProjectAs(FormMain& window);

// The auto-saver's tick: rewrites a project that has a file. A failure is
// reported once; later ticks retry quietly until a save succeeds. Work still
// unsaved then goes to the recovery copy.
void autoSaveProject(FormMain& window);

// Writes unsaved work to the recovery copy, from which the next start can
// recover it after a crash; never the project file, and without a question.
// A copy that cannot be written is told once. A save, a clean end, and work
// the user lets go remove the copy.
void keepRecoveryCopy(FormMain& window);

// At start-up: offers to recover the work a crash left in the recovery copy,
// and loads it as Open Project loads a project, still unsaved. A copy the
// user declines is deleted. Returns whether the work was recovered.
bool offerRecovery(FormMain& window);

// Asked before the window closes with unsaved changes. False when the user
// asked to save and the save did not happen: the window must stay open.
bool offerToSaveBeforeQuit(FormMain& window);

// Where the save dialogs open: the project's folder, or the documents folder
// while the project has no file.
QString projectFolder(const WorkspaceState& state);

#pragma once

class QString;
class SectionTableModel;
struct WorkspaceState;

// What the project commands need of the window whose workspace they save and
// fill. The window implements it; tests stand in for the window with a fake.
class ProjectWindow
{
public:
    virtual ~ProjectWindow() = default;

    virtual SectionTableModel& table() = 0;
    virtual WorkspaceState& state() = 0;
    // Empties the workspace: no media, no project file, one empty section.
    virtual void resetWorkspace() = 0;
    // The recording the workspace transcribes; the caret goes to the text box.
    virtual void setMediaFile(const QString& path) = 0;
    // The caption of a saved or loaded project, and of one with changes.
    virtual void showProjectCaption() = 0;
    virtual void markUnsaved() = 0;
    // Replaces the text box's text without counting it as typing.
    virtual void setScriptText(const QString& text) = 0;
    // The Play press that opens the media and carries on where the work ended.
    virtual void continueWork() = 0;

    // Problems met in the background, while the user may be typing: shown in
    // the window without taking a key, until cleared.
    enum class Problem
    {
        AutoSave,
        RecoveryCopy,
        ChangedOnDisk,
    };
    virtual void showProblem(Problem problem, const QString& text) = 0;
    virtual void clearProblem(Problem problem) = 0;
};

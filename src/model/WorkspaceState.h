#pragma once

#include <QString>

// What the workspace keeps beside its sections. The defaults are the values
// of an empty workspace.
struct WorkspaceState
{
    QString mediaFile;    // full path of the media being transcribed
    QString projectFile;  // full path of the project file; "" until saved or loaded
    bool isDirty = false; // unsaved changes

    // A failed save has been reported and no save has succeeded since; the
    // auto-saver keeps trying without asking for attention again.
    bool saveFailureReported = false;
    // The same for the recovery copy of unsaved work.
    bool recoveryFailureReported = false;
    // Open Project is filling the workspace; its file must not be written.
    bool loadingProject = false;
};

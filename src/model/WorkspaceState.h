#pragma once

#include <QString>

// What the workspace keeps beside its sections. The defaults are the values
// of an empty workspace.
struct WorkspaceState
{
    QString mediaFile;    // full path of the media being transcribed
    QString projectFile;  // full path of the project file; "" until saved or loaded
    bool isDirty = false; // unsaved changes

    // Open Project is filling the workspace; its file must not be written.
    bool loadingProject = false;
};

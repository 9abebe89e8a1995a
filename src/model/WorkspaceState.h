#pragma once

#include <QString>

// The main window's working state beside its controls. The defaults are the
// values of an empty workspace.
struct WorkspaceState
{
    QString mediaFile;          // full path of the media being transcribed
    QString projectFile;        // full path of the project file; "" until saved or loaded
    bool mediaOpened = false;   // the media has been opened on the device
    bool capturePaused = false; // the capture section is closed and waits for its text
    bool isRewinding = false;   // a section replay is running
    qint32 seekStart = -1;      // start of the next replay after a seek; -1 for none
    bool isDirty = false;       // unsaved changes

    // A failed save has been reported and no save has succeeded since; the
    // auto-saver keeps trying without asking for attention again.
    bool saveFailureReported = false;
    // The same for the recovery copy of unsaved work.
    bool recoveryFailureReported = false;
    // Open Project is filling the workspace; its file must not be written.
    bool loadingProject = false;
};

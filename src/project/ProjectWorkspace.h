#pragma once

#include "model/ProjectContent.h"

#include <QString>

#include <optional>

class ProjectWindow;
struct FileStamp;

// Moves a workspace between its window and its project file.

// The workspace as its project file holds it.
ProjectContent workspaceContent(ProjectWindow& window);

// Writes the workspace to its project file (which must be set). On success
// the project is saved: no unsaved mark, the caption names the file, and no
// recovery copy is kept. On failure nothing changes, the file on disk
// included, and the reason is returned. `written` gets the stamp of the file
// written.
std::optional<QString> WriteProjectFile(ProjectWindow& window, FileStamp& written);

// Fills an empty workspace with a project read from `path`. The media is not
// opened; the text box shows the last section's text, where typing goes.
void fillWorkspace(ProjectWindow& window, const QString& path, ProjectContent content);

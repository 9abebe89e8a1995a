#include "project/ProjectWorkspace.h"

#include "model/WorkspaceState.h"
#include "project/ProjectWindow.h"
#include "storage/FileAccess.h"
#include "storage/FileStamp.h"
#include "storage/ProjectFile.h"
#include "storage/RecoveryFile.h"

ProjectContent workspaceContent(ProjectWindow& window)
{
    const SectionTableModel& table = window.table();
    ProjectContent content;
    content.mediaFile = window.state().mediaFile;
    content.rows.reserve(table.rowCount());
    for (int row = 0; row < table.rowCount(); ++row)
        content.rows.push_back(table.cells(row));
    return content;
}

std::optional<QString> WriteProjectFile(ProjectWindow& window, FileStamp& written)
{
    WorkspaceState& state = window.state();
    const QByteArray bytes = projectFileBytes(workspaceContent(window));
    if (std::optional<QString> failure = writeWholeFile(state.projectFile, bytes))
        return failure;
    written = stampFile(state.projectFile, bytes);
    state.isDirty = false;
    window.clearProblem(ProjectWindow::Problem::AutoSave);
    // The work is safe in its own file now.
    removeRecoveryFile();
    window.showProjectCaption();
    return std::nullopt;
}

void fillWorkspace(ProjectWindow& window, const QString& path, ProjectContent content)
{
    window.state().projectFile = path;
    window.setMediaFile(content.mediaFile);
    SectionTableModel& table = window.table();
    table.loadRows(std::move(content.rows));
    window.setScriptText(table.cell(table.rowCount() - 1, SectionTableModel::TextColumn));
}

#include "project/ProjectWorkspace.h"

#include "project/FileAccess.h"
#include "project/Paths.h"
#include "project/RecoveryFile.h"
#include "workspace/FormMain.h"
#include "workspace/SectionGrid.h"

#include <QLabel>

ProjectContent workspaceContent(const FormMain& window)
{
    const SectionGrid& grid = *window.controls().oGrid;
    ProjectContent content;
    content.mediaFile = window.state().mediaFile;
    content.rows.reserve(grid.rows() - 1);
    for (int row = 1; row < grid.rows(); ++row) {
        SectionTableModel::Cells& cells = content.rows.emplace_back();
        for (int column = 0; column < SectionTableModel::ColumnCount; ++column)
            cells[column] = grid.text(row, column);
    }
    return content;
}

std::optional<QString> WriteProjectFile(FormMain& window)
{
    WorkspaceState& state = window.state();
    if (std::optional<QString> failure =
            writeWholeFile(state.projectFile, projectFileBytes(workspaceContent(window))))
        return failure;
    state.isDirty = false;
    state.saveFailureReported = false;
    // The work is safe in its own file now.
    removeRecoveryFile();
    window.showProjectCaption();
    return std::nullopt;
}

void fillWorkspace(FormMain& window, const QString& path, ProjectContent content)
{
    WorkspaceState& state = window.state();
    state.projectFile = path;
    state.mediaFile = content.mediaFile;
    window.controls().lblMediaFile->setText(FileNameOfPath(state.mediaFile));
    SectionGrid& grid = *window.controls().oGrid;
    grid.loadRows(std::move(content.rows));
    window.setScriptText(grid.text(grid.row(), SectionTableModel::ColumnCount - 1));
}

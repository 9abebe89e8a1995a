#include "project/ProjectWorkspace.h"

#include "project/FileAccess.h"
#include "project/Paths.h"
#include "workspace/FormMain.h"
#include "workspace/SectionGrid.h"

#include <QLabel>

std::optional<QString> WriteProjectFile(FormMain& window)
{
    const SectionGrid& grid = *window.controls().oGrid;
    WorkspaceState& state = window.state();
    ProjectContent content;
    content.mediaFile = state.mediaFile;
    content.rows.reserve(grid.rows() - 1);
    for (int row = 1; row < grid.rows(); ++row) {
        SectionTableModel::Cells& cells = content.rows.emplace_back();
        for (int column = 0; column < SectionTableModel::ColumnCount; ++column)
            cells[column] = grid.text(row, column);
    }
    if (std::optional<QString> failure =
            writeWholeFile(state.projectFile, projectFileBytes(content)))
        return failure;
    state.isDirty = false;
    state.saveFailureReported = false;
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

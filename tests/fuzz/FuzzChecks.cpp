#include "FuzzChecks.h"

#include "storage/ProjectFile.h"

// The bytes as a project file: whether they load agrees with their first bytes;
// loaded, they fill the section table as opening does, five cells a row, with no
// line break in a cell or the media path, and are the same written and read again.
QString FuzzChecks::projectFile(const QByteArray& bytes)
{
    const std::optional<ProjectContent> content = readProjectFileBytes(bytes);
    if (content.has_value() != beginsProjectFile(bytes.left(ProjectSignatureSize)))
        return "loading and the first bytes disagree on whether this is a project file";
    if (!content)
        return {};
    const auto hasLineBreak = [](const QString& text) {
        return text.contains(u'\r') || text.contains(u'\n');
    };
    SectionTableModel table;
    table.loadRows(content->rows);
    if (table.rowCount() < 1 || size_t(table.rowCount()) != content->rows.size() ||
        hasLineBreak(content->mediaFile))
        return "the table or the media path does not hold what was read";
    for (int row = 0; row < table.rowCount(); ++row)
        for (int column = 0; column < SectionTableModel::ColumnCount; ++column) {
            const QString cell = table.data(table.index(row, column), Qt::DisplayRole).toString();
            if (cell != content->rows[row][column] || hasLineBreak(cell))
                return QString("row %1 cell %2 reads \"%3\"").arg(row).arg(column).arg(cell);
        }
    const QByteArray written = projectFileBytes(*content);
    const std::optional<ProjectContent> again = readProjectFileBytes(written);
    if (!again || again->mediaFile != content->mediaFile || again->rows != content->rows ||
        projectFileBytes(*again) != written)
        return "written and read again, the project changed";
    return {};
}

#pragma once

#include "workspace/SectionTableModel.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// A project file holds one workspace: the header line "kv project file",
// the media path, and one line per section row with its five cells joined
// by "<|S|>". Every line ends in CR LF. The cells are stored as they stand;
// nothing is escaped or recomputed.
struct ProjectContent
{
    QString mediaFile;
    std::vector<SectionTableModel::Cells> rows;
};

QByteArray projectFileBytes(const ProjectContent& content);

// Reads a project file's bytes. A file whose first line is not exactly the
// header is no project: nullopt. Anything else loads: a line may end in
// CR LF, CR or LF; missing cells are empty; the first four separators divide
// the cells and any further ones belong to the text; a file without row
// lines gives one empty row, since the workspace always has its capture
// section.
std::optional<ProjectContent> readProjectFileBytes(const QByteArray& bytes);

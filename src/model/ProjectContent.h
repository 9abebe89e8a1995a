#pragma once

#include "model/SectionTableModel.h"

#include <QString>

#include <vector>

// One workspace as its project file holds it: the media path and the cells
// of every section row, the last row being the capture section.
struct ProjectContent
{
    QString mediaFile;
    std::vector<SectionTableModel::Cells> rows;
    // The rows, counted from 0 and in order, that reading a damaged file
    // turned into text-only rows; never the last row. Writing ignores it.
    std::vector<int> repairedRows = {};
};

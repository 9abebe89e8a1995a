#pragma once

#include <QString>

class SectionTableModel;

struct ExportOptions
{
    bool timeStamps = true; // each section begins with "start - end "
    bool lineBreaks = true; // each section ends its own line
};

// The transcript of every section in table order, the capture section
// included: its time texts when asked for, its text and one blank, and a
// CR LF when asked for. Cells are copied as they stand.
QString exportText(const SectionTableModel& table, ExportOptions options);

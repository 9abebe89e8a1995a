#include "export/ExportText.h"

#include "model/SectionTableModel.h"

namespace {

enum Column
{
    StartTime = 2,
    EndTime = 3,
    Text = 4,
};

} // namespace

QString exportText(const SectionTableModel& table, ExportOptions options)
{
    const QLatin1String timeSeparator(" - ");
    const QLatin1String lineBreak("\r\n");
    const int rows = table.rowCount();

    // One allocation for the whole text, however many sections there are.
    qsizetype size = 0;
    for (int row = 0; row < rows; ++row) {
        if (options.timeStamps)
            size += table.cell(row, StartTime).size() + timeSeparator.size() +
                    table.cell(row, EndTime).size() + 1;
        size += table.cell(row, Text).size() + 1;
        if (options.lineBreaks)
            size += lineBreak.size();
    }

    QString text;
    text.reserve(size);
    for (int row = 0; row < rows; ++row) {
        if (options.timeStamps)
            text.append(table.cell(row, StartTime))
                .append(timeSeparator)
                .append(table.cell(row, EndTime))
                .append(u' ');
        text.append(table.cell(row, Text)).append(u' ');
        if (options.lineBreaks)
            text.append(lineBreak);
    }
    return text;
}

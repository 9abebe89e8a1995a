#pragma once

#include <QAbstractTableModel>
#include <QColor>

#include <array>
#include <vector>

// The section table: one row per section, five text cells each (raw start,
// raw end, start time, end time, text). Cells hold exactly the texts the
// workspace writes; a cell may carry its own background colour, otherwise it
// shows the table's. Rows are counted from 0 here; the grid shows them below
// its header, as rows 1 and up.
class SectionTableModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int ColumnCount = 5;
    static constexpr int TextColumn = 4;
    using Cells = std::array<QString, ColumnCount>;

    using QAbstractTableModel::QAbstractTableModel;

    // The text cell of a typed text: one line, each line break one blank.
    static QString oneLine(QString text);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Grows with empty rows at the end or drops rows from the end.
    void resize(int rows);
    // Appends an empty row, striped: appended and loaded rows alternate, the
    // second, fourth... section's cells white, the others the table's grey.
    void appendRow();
    // Replaces every row at once, striped as if appended one by one.
    void loadRows(std::vector<Cells> rows);
    QString cell(int row, int column) const;
    const Cells& cells(int row) const { return rows_[size_t(row)].cells; }
    void setCell(int row, int column, const QString& text);
    void setCellBackground(int row, int column, const QColor& colour);
    QColor cellBackground(int row, int column) const;

private:
    struct Row
    {
        Cells cells;
        std::array<QColor, ColumnCount> backgrounds;
    };

    bool contains(int row, int column) const;
    static bool isStriped(int row) { return row % 2 == 1; }

    std::vector<Row> rows_;
};

#pragma once

#include "model/SectionTableModel.h"

#include <QTableView>

// The section table as the workspace sees it: a grid whose row 0 is the fixed
// header and whose rows 1 and up are the sections, the last row being the
// open capture section. Row and column numbers here are grid numbers; the
// model behind it holds the section rows only.
class SectionGrid final : public QTableView
{
    Q_OBJECT

public:
    // Shows `table`, which outlives the grid.
    explicit SectionGrid(SectionTableModel& table, QWidget* parent = nullptr);

    SectionTableModel& table() { return model_; }
    const SectionTableModel& table() const { return model_; }

    // Row count, the header row included. A larger count appends empty rows,
    // a smaller one drops rows at the end.
    int rows() const;
    void setRows(int rows);
    int cols() const;

    QString text(int row, int column) const;
    void setText(int row, int column, const QString& text);

    // The current cell. Making a row current selects it whole.
    int row() const;
    void setRow(int row);
    int col() const;
    void setCol(int column);
    // The far end of the selection; the grid always selects whole rows.
    void setColSel(int column);
    int colSel() const { return colSel_; }

    // Scrolls so that `row` is the first one shown.
    void setTopRow(int row);

    // Brings a row into view by scrolling up or down only: the text column
    // is wider than the view, and showing its start would hide the times.
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

signals:
    // The user has clicked a row, which is the current row now.
    void Click();

protected:
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void fitColumns();
    void makeCurrent(int row, int column);

    SectionTableModel& model_;
    int colSel_ = 0;
    bool clickPending_ = false;
};

#include "model/SectionTableModel.h"

#include <algorithm>

namespace {

const std::array<QString, SectionTableModel::ColumnCount> Headers = {
    QString(), QString(), QStringLiteral("Start Time"), QStringLiteral("End Time"),
    QStringLiteral("Text")};

const QColor StripeColour(255, 255, 255);

} // namespace

int SectionTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int SectionTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SectionTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !contains(index.row(), index.column()))
        return {};
    const Row& row = rows_[index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return row.cells[index.column()];
    case Qt::BackgroundRole:
        return row.backgrounds[index.column()].isValid() ? QVariant(row.backgrounds[index.column()])
                                                         : QVariant();
    default:
        return {};
    }
}

QVariant SectionTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= ColumnCount)
        return {};
    return Headers[section];
}

void SectionTableModel::resize(int rows)
{
    const int current = rowCount();
    rows = std::max(rows, 0);
    if (rows > current) {
        beginInsertRows({}, current, rows - 1);
        rows_.resize(rows);
        endInsertRows();
    } else if (rows < current) {
        beginRemoveRows({}, rows, current - 1);
        rows_.resize(rows);
        endRemoveRows();
    }
}

QString SectionTableModel::cell(int row, int column) const
{
    return contains(row, column) ? rows_[row].cells[column] : QString();
}

void SectionTableModel::setCell(int row, int column, const QString& text)
{
    // The status update rewrites the capture section's end ten times a
    // second, mostly with the same text; an unchanged cell is not repainted.
    if (!contains(row, column) || rows_[row].cells[column] == text)
        return;
    rows_[row].cells[column] = text;
    const QModelIndex changed = index(row, column);
    emit dataChanged(changed, changed, {Qt::DisplayRole, Qt::ToolTipRole});
}

void SectionTableModel::setCellBackground(int row, int column, const QColor& colour)
{
    if (!contains(row, column))
        return;
    rows_[row].backgrounds[column] = colour;
    const QModelIndex changed = index(row, column);
    emit dataChanged(changed, changed, {Qt::BackgroundRole});
}

QColor SectionTableModel::cellBackground(int row, int column) const
{
    return contains(row, column) ? rows_[row].backgrounds[column] : QColor();
}

void SectionTableModel::appendRow()
{
    const int added = rowCount();
    resize(added + 1);
    if (isStriped(added)) {
        rows_[added].backgrounds.fill(StripeColour);
        emit dataChanged(index(added, 0), index(added, ColumnCount - 1), {Qt::BackgroundRole});
    }
}

void SectionTableModel::loadRows(std::vector<Cells> rows)
{
    beginResetModel();
    rows_.clear();
    rows_.resize(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        rows_[i].cells = std::move(rows[i]);
        if (isStriped(int(i)))
            rows_[i].backgrounds.fill(StripeColour);
    }
    endResetModel();
}

bool SectionTableModel::contains(int row, int column) const
{
    return row >= 0 && row < rowCount() && column >= 0 && column < ColumnCount;
}

QString SectionTableModel::oneLine(QString text)
{
    return text.replace(QLatin1String("\r\n"), QLatin1String(" "))
        .replace(u'\n', u' ')
        .replace(u'\r', u' ');
}

#include "workspace/SectionGrid.h"

#include <QEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>

namespace {

// Blanks that follow the text column's header by design and make that column
// wide enough to show long section texts.
constexpr int TextColumnBlanks = 291;

} // namespace

SectionGrid::SectionGrid(SectionTableModel& table, QWidget* parent)
    : QTableView(parent), model_(table)
{
    setModel(&model_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Rows are picked with the mouse; the caret stays in the text box, so
    // that typing after a click goes into the section's text.
    setFocusPolicy(Qt::NoFocus);
    setWordWrap(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    fitColumns();
}

void SectionGrid::changeEvent(QEvent* event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fitColumns();
}

void SectionGrid::fitColumns()
{
    // Rows are one line of text high. The raw position columns are as narrow as the grid allows,
    // the time columns fit their headers, and the text column is wide.
    QHeaderView* header = horizontalHeader();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    header->resizeSection(0, 1);
    header->resizeSection(1, 1);
    header->resizeSection(2, header->sectionSizeHint(2));
    header->resizeSection(3, header->sectionSizeHint(3));
    header->resizeSection(4, header->fontMetrics().horizontalAdvance(
                                 QStringLiteral("Text") + QString(TextColumnBlanks, u' ')));
}

void SectionGrid::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    QScrollBar* across = horizontalScrollBar();
    const int left = across->value();
    QTableView::scrollTo(index, hint);
    across->setValue(left);
}

void SectionGrid::mousePressEvent(QMouseEvent* event)
{
    // Only a left press on a row picks it. Any other press, or one below the
    // last row, changes nothing: a row made current without its click would
    // take the text typed next without showing its own.
    clickPending_ = false;
    if (event->button() != Qt::LeftButton || !indexAt(event->position().toPoint()).isValid())
        return;
    QTableView::mousePressEvent(event);
    clickPending_ = true;
}

// The press has made its row current (a drag moves it on); the release
// completes the click wherever it happens.
void SectionGrid::mouseReleaseEvent(QMouseEvent* event)
{
    QTableView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && std::exchange(clickPending_, false))
        emit Click();
}

int SectionGrid::rows() const
{
    return model_.rowCount() + 1;
}

void SectionGrid::setRows(int rows)
{
    model_.resize(rows - 1);
}

int SectionGrid::cols() const
{
    return model_.columnCount();
}

QString SectionGrid::text(int row, int column) const
{
    return model_.cell(row - 1, column);
}

void SectionGrid::setText(int row, int column, const QString& text)
{
    model_.setCell(row - 1, column, text);
}

int SectionGrid::row() const
{
    const QModelIndex current = currentIndex();
    if (current.isValid())
        return current.row() + 1;
    // Like any grid, the first section row is current until another is chosen.
    return rows() > 1 ? 1 : 0;
}

void SectionGrid::setRow(int row)
{
    makeCurrent(row, col());
}

int SectionGrid::col() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.column() : 0;
}

void SectionGrid::setCol(int column)
{
    makeCurrent(row(), column);
}

void SectionGrid::setColSel(int column)
{
    colSel_ = std::clamp(column, 0, cols() - 1);
}

void SectionGrid::setTopRow(int row)
{
    // The view scrolls by whole rows, so the scroll value is the top row.
    if (row >= 1 && row < rows())
        verticalScrollBar()->setValue(row - 1);
}

void SectionGrid::makeCurrent(int row, int column)
{
    const QModelIndex target = model_.index(row - 1, column);
    if (!target.isValid())
        return;
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect |
                                                  QItemSelectionModel::Rows);
}

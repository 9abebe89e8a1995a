#include "model/FormatTime.h"
#include "workspace/SectionGrid.h"

#include <QItemSelectionModel>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <limits>

class TestSectionTable : public QObject
{
    Q_OBJECT

private slots:
    void timeText_data();
    void timeText();
    void gridRowsAndCells();
    void currentRowIsSelectedWhole();
    void cellBackgroundIsPerCell();
};

void TestSectionTable::timeText_data()
{
    QTest::addColumn<qint32>("position");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0 << "00:00:00";
    QTest::newRow("just under a second") << 999 << "00:00:00";
    QTest::newRow("one second") << 1000 << "00:00:01";
    QTest::newRow("half second dropped") << 61500 << "00:01:01";
    QTest::newRow("last second of the hour") << 3599999 << "00:59:59";
    QTest::newRow("one hour") << 3600000 << "01:00:00";
    QTest::newRow("every field") << 45296789 << "12:34:56";
    QTest::newRow("99 hours") << 359999999 << "99:59:59";
    QTest::newRow("100 hours wrap") << 360000000 << "00:00:00";
    QTest::newRow("123 hours") << 442800000 << "23:00:00";
    QTest::newRow("largest") << std::numeric_limits<qint32>::max() << "96:31:23";
    // Negative positions never come from the device; the fields truncate
    // toward zero and keep their last two characters.
    QTest::newRow("minus a millisecond") << -1 << "00:00:00";
    QTest::newRow("minus a second") << -1000 << "00:00:-1";
    QTest::newRow("minus an hour") << -3600000 << "-1:00:00";
    QTest::newRow("smallest") << std::numeric_limits<qint32>::min() << "96:31:23";
}

void TestSectionTable::timeText()
{
    QFETCH(qint32, position);
    QFETCH(QString, text);
    QCOMPARE(FormatTime(position), text);
}

void TestSectionTable::gridRowsAndCells()
{
    SectionTableModel table;
    SectionGrid grid(table);
    QCOMPARE(grid.rows(), 1); // the header row alone
    QCOMPARE(grid.cols(), 5);
    const QStringList headers = {"", "", "Start Time", "End Time", "Text"};
    for (int column = 0; column < 5; ++column)
        QCOMPARE(grid.model()->headerData(column, Qt::Horizontal).toString(), headers[column]);

    grid.setRows(4);
    QCOMPARE(grid.rows(), 4);
    QCOMPARE(grid.table().rowCount(), 3);
    grid.setText(1, 0, "4000");
    grid.setText(3, 4, "last words");
    QCOMPARE(grid.text(1, 0), QString("4000"));
    QCOMPARE(grid.text(3, 4), QString("last words"));
    QCOMPARE(grid.model()->index(2, 4).data().toString(), QString("last words"));
    QVERIFY(grid.text(2, 0).isEmpty());

    // The header and cells outside the grid hold nothing and take nothing.
    grid.setText(0, 2, "header");
    grid.setText(9, 0, "far away");
    grid.setText(1, 5, "no such column");
    QVERIFY(grid.text(0, 2).isEmpty());
    QVERIFY(grid.text(9, 0).isEmpty());
    QCOMPARE(grid.rows(), 4);

    // Shrinking drops rows at the end; growing again brings empty rows.
    QSignalSpy removed(grid.model(), &QAbstractItemModel::rowsRemoved);
    grid.setRows(2);
    QCOMPARE(grid.rows(), 2);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(grid.text(1, 0), QString("4000"));
    grid.setRows(4);
    QVERIFY(grid.text(3, 4).isEmpty());

    // A table far beyond 32,767 sections.
    grid.setRows(40002);
    grid.setText(40001, 4, "section 40000");
    QCOMPARE(grid.text(40001, 4), QString("section 40000"));
    QCOMPARE(grid.rows(), 40002);
}

void TestSectionTable::currentRowIsSelectedWhole()
{
    SectionTableModel table;
    SectionGrid grid(table);
    grid.setRows(6);
    QCOMPARE(grid.row(), 1); // the first section row until another is chosen

    grid.setRow(4);
    QCOMPARE(grid.row(), 4);
    grid.setCol(0);
    grid.setColSel(grid.cols() - 1);
    QCOMPARE(grid.col(), 0);
    QCOMPARE(grid.colSel(), 4);
    const QModelIndexList selected = grid.selectionModel()->selectedRows();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected.first().row(), 3);
    QVERIFY(grid.selectionModel()->isRowSelected(3, {}));

    grid.setCol(3);
    QCOMPARE(grid.row(), 4);
    QCOMPARE(grid.col(), 3);
    QVERIFY(grid.selectionModel()->isRowSelected(3, {}));

    // A click picks the row whole too.
    grid.resize(600, 300);
    grid.show();
    const QRect cell = grid.visualRect(grid.model()->index(1, 2));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(grid.row(), 2);
    QCOMPARE(grid.selectionModel()->selectedRows().size(), 1);
    QVERIFY(grid.selectionModel()->isRowSelected(1, {}));

    // Every press and release on a row is a click, also a press dragged to
    // another row; a click in the wide text column keeps the times in view.
    QSignalSpy clicks(&grid, &SectionGrid::Click);
    const QRect text = grid.visualRect(grid.model()->index(3, 4));
    const QPoint inText(text.left() + 20, text.center().y());
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, inText);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(grid.row(), 4);
    QCOMPARE(grid.horizontalScrollBar()->value(), 0);
    QTest::mousePress(grid.viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseRelease(grid.viewport(), Qt::LeftButton, {}, inText);
    QCOMPARE(clicks.count(), 2);
    // Other buttons neither click nor move the current row.
    QTest::mouseClick(grid.viewport(), Qt::RightButton, {}, inText);
    QTest::mouseClick(grid.viewport(), Qt::MiddleButton, {}, inText);
    QCOMPARE(clicks.count(), 2);
    QCOMPARE(grid.row(), 2);
    // A click below the last row keeps the current row and its selection.
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {},
                      {inText.x(), grid.viewport()->height() - 5});
    QCOMPARE(clicks.count(), 2);
    QCOMPARE(grid.row(), 2);
    QVERIFY(grid.selectionModel()->isRowSelected(1, {}));
    // Bringing a row into view scrolls up or down only.
    grid.setRows(60);
    QCoreApplication::processEvents(); // the view lays out the new rows
    grid.scrollTo(grid.model()->index(50, 4));
    QCOMPARE(grid.horizontalScrollBar()->value(), 0);
    QVERIFY(grid.viewport()->rect().contains(grid.visualRect(grid.model()->index(50, 2))));
    QCOMPARE(grid.focusPolicy(), Qt::NoFocus);

    // Dropping the current row leaves a valid current row.
    grid.setRow(5);
    grid.setRows(3);
    QVERIFY(grid.row() >= 1 && grid.row() < grid.rows());
}

void TestSectionTable::cellBackgroundIsPerCell()
{
    // Rows appended or loaded alternate: grid rows 2 and 4 (model rows 1
    // and 3) white, the others the grid's grey.
    const QColor white(255, 255, 255);
    SectionTableModel appended;
    appended.resize(1);
    for (int i = 0; i < 4; ++i)
        appended.appendRow();
    SectionTableModel loaded;
    loaded.loadRows(std::vector<SectionTableModel::Cells>(5));
    for (const SectionTableModel* table : {&appended, &loaded}) {
        QCOMPARE(table->rowCount(), 5);
        for (int row = 0; row < 5; ++row) {
            for (int column = 0; column < SectionTableModel::ColumnCount; ++column) {
                const QVariant colour = table->index(row, column).data(Qt::BackgroundRole);
                if (row % 2 == 1)
                    QCOMPARE(colour.value<QColor>(), white);
                else
                    QVERIFY(!colour.isValid());
            }
        }
    }
    // A row dropped and appended again is striped anew.
    appended.resize(2);
    appended.resize(3);
    QVERIFY(!appended.index(2, 0).data(Qt::BackgroundRole).isValid());
}

QTEST_MAIN(TestSectionTable)
#include "tst_sectiontable.moc"

#include "model/FormatTime.h"
#include "model/SectionTableModel.h"

#include <QTest>

#include <cstdint>

class TestModel : public QObject
{
    Q_OBJECT

private slots:
    void timeTextsAndSectionTable()
    {
        // Truncated to whole seconds, two digits a field, hours by their last two.
        const QList<std::pair<qint32, const char*>> cases = {
            {0, "00:00:00"},         {999, "00:00:00"},       {1000, "00:00:01"},
            {61500, "00:01:01"},     {3599999, "00:59:59"},   {3600000, "01:00:00"},
            {45296789, "12:34:56"},  {359999999, "99:59:59"}, {360000000, "00:00:00"},
            {442800000, "23:00:00"}, {-1000, "00:00:-1"},     {-3600000, "-1:00:00"},
            {INT32_MAX, "96:31:23"}};
        for (const auto& [position, text] : cases)
            QCOMPARE(FormatTime(position), QString(text));

        QCOMPARE(RawPositionText(12500), QString("12500"));
        QCOMPARE(ReadRawPosition("12500"), std::optional<qint32>(12500));
        for (const char* damaged : {"", "abc", "12.5", "99999999999"})
            QVERIFY(!ReadRawPosition(damaged));
        // A typed text is one line in its cell, every line break one blank.
        QCOMPARE(SectionTableModel::oneLine("a\r\nb\nc\rd"), QString("a b c d"));
        // Rows appended or loaded alternate: the second, fourth... white.
        SectionTableModel appended;
        appended.resize(1);
        for (int i = 0; i < 4; ++i)
            appended.appendRow();
        SectionTableModel loaded;
        loaded.loadRows(std::vector<SectionTableModel::Cells>(5));
        for (const SectionTableModel* table : {&appended, &loaded}) {
            QCOMPARE(table->rowCount(), 5);
            for (int row = 0; row < 5; ++row)
                QCOMPARE(table->cellBackground(row, 4), row % 2 ? QColor(Qt::white) : QColor());
        }
        appended.resize(2); // a row dropped and appended again is striped anew
        appended.resize(3);
        QVERIFY(!appended.cellBackground(2, 0).isValid());
        // Cells outside the table hold nothing and take nothing; headers show.
        appended.setCell(1, 0, "4000");
        appended.setCell(9, 0, "far away");
        appended.setCell(1, 5, "no such column");
        QCOMPARE(appended.cell(1, 0), QString("4000"));
        QVERIFY(appended.cell(9, 0).isEmpty() && appended.cell(1, 5).isEmpty());
        QCOMPARE(appended.headerData(4, Qt::Horizontal, Qt::DisplayRole), QVariant("Text"));
    }
};

QTEST_GUILESS_MAIN(TestModel)
#include "tst_model.moc"

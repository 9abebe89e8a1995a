#include "media/Envelope.h"
#include "model/FormatTime.h"
#include "model/SectionTableModel.h"
#include "workspace/WaveformStrip.h"

#include <QSignalSpy>
#include <QTest>

// The strip on the offscreen platform, read back from its picture, and the mouse on it.

namespace {

// 400 columns over the usual 20 s: 50 ms a column, from 0 while the position is 0.
struct Strip
{
    SectionTableModel table;
    Envelope envelope{60000};
    WaveformStrip w{table};

    Strip()
    {
        std::vector<SectionTableModel::Cells> rows;
        for (auto [start, end] : {std::pair(1000, 4000), {4000, 9000}, {9000, 12000}})
            rows.push_back({RawPositionText(start), RawPositionText(end), {}, {}, {}});
        table.loadRows(rows);
        w.resize(400, 80);
        w.setLength(60000);
        w.setEnvelope(&envelope);
        w.show();
    }
    // The columns of row y in ink (dark grey), in green, or of a colour.
    QList<int> columns(int y, const std::function<bool(QRgb)>& is)
    {
        const QImage image = w.grab().toImage();
        QList<int> found;
        for (int x = 0; x < image.width(); ++x)
            if (is(image.pixel(x, y)))
                found << x;
        return found;
    }
    QList<int> ink(int y)
    {
        return columns(y, [](QRgb p) { return qGray(p) < 0x60 && qRed(p) == qBlue(p); });
    }
    void drag(int from, int to)
    {
        QTest::mousePress(&w, Qt::LeftButton, {}, {from, 50});
        QTest::mouseMove(&w, {(from + to) / 2, 50});
        QTest::mouseMove(&w, {to, 50});
        QTest::mouseRelease(&w, Qt::LeftButton, {}, {to, 50});
    }
};

QList<int> range(int from, int to)
{
    QList<int> all;
    for (int x = from; x < to; ++x)
        all << x;
    return all;
}

} // namespace

class TestWaveformStrip : public QObject
{
    Q_OBJECT

private slots:
    void drawsTheEnvelopeAndTheSections()
    {
        Strip s;
        // Loud from 2 s to 3 s, quiet elsewhere up to 15 s, unknown after.
        std::vector<quint16> levels(3000, 30);
        std::fill(levels.begin() + 400, levels.begin() + 600, quint16(20000));
        s.envelope.setLevels(0, levels.data(), 3000);
        s.w.envelopeGrew(0, 15000);
        QCOMPARE(s.ink(20), range(40, 60));
        QCOMPARE(s.ink(40).size(), 300 - 2 - 4); // the middle line to 15 s, but for the lines
        // The sections' greys, striped like the table, the lines at their ends, white elsewhere.
        const auto grey = [&s](int level) {
            return s.columns(75, [level](QRgb p) { return p == qRgb(level, level, level); });
        };
        QCOMPARE(grey(0x80), QList<int>({20, 80, 180, 240}));
        QCOMPARE(grey(0xE0), range(21, 80) + range(181, 240));
        QCOMPARE(grey(0xEE), range(81, 180));
        QCOMPARE(grey(0xFF), range(2, 20) + range(241, 400)); // the play line at 0 and 1
        const auto green = [](QRgb p) {
            return qGreen(p) > qRed(p) + 30 && qGreen(p) > qBlue(p);
        };
        QVERIFY(s.columns(75, green).isEmpty());
        // The open capture section in green; at the next zoom (30 s) the loud part is 2/3 as wide.
        s.w.setCaptureRow(2);
        QCOMPARE(s.columns(75, green), range(181, 240));
        s.w.zoomOut();
        QCOMPARE(s.ink(20), range(26, 40));
        // Frames are drawn only while playing and shown.
        QVERIFY(!s.w.frameTimer().isActive());
        s.w.setPlaying(true);
        QVERIFY(s.w.frameTimer().isActive());
        s.w.hide();
        QVERIFY(!s.w.frameTimer().isActive());
    }

    void mouseMovesBoundariesAndSeeks()
    {
        Strip s;
        QSignalSpy moved(&s.w, &WaveformStrip::boundaryMoved);
        QSignalSpy seek(&s.w, &WaveformStrip::seekRequested);
        // Grabbed 3 columns right of the boundary at 4 s, it moves with the pointer, no
        // further than the first section's start; the next boundary no further than 12 s.
        s.drag(83, 5);
        QCOMPARE(moved.takeFirst(), QVariantList({0, 2050}));
        QCOMPARE(moved.takeLast(), QVariantList({0, 1000}));
        s.drag(178, 390);
        QCOMPARE(moved.takeLast(), QVariantList({1, 12000}));
        moved.clear();
        QVERIFY(seek.isEmpty());
        // A click seeks there, on a boundary too; a drag elsewhere does nothing.
        QTest::mouseClick(&s.w, Qt::LeftButton, {}, {130, 50});
        QTest::mouseClick(&s.w, Qt::LeftButton, {}, {80, 50});
        QCOMPARE(seek, QList<QVariantList>({{6500}, {4000}}));
        s.drag(300, 360);
        QVERIFY(moved.isEmpty() && seek.size() == 2);
        // Boundaries on one column part the way the pointer goes; the capture section's end
        // is none.
        s.table.setCell(1, 1, "4000");
        s.table.setCell(2, 0, "4000");
        s.drag(80, 70);
        s.drag(80, 90);
        QCOMPARE(moved, QList<QVariantList>({{0, 3750}, {0, 3500}, {1, 4250}, {1, 4500}}));
        s.w.setCaptureRow(2);
        s.drag(240, 250);
        QCOMPARE(moved.size(), 4);
    }
};

QTEST_MAIN(TestWaveformStrip)
#include "tst_waveform.moc"

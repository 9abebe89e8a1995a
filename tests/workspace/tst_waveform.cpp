#include "media/Envelope.h"
#include "model/SectionTableModel.h"
#include "workspace/WaveformStrip.h"

#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <numeric>

// The strip on the offscreen platform, read back from its picture, and the mouse on it.

namespace {

// Three sections on 400 columns of the usual 20 s: 50 ms a column, from 0 at position 0.
struct Strip
{
    SectionTableModel table;
    Envelope envelope{60000};
    WaveformStrip w{table};

    Strip()
    {
        table.loadRows({{"1000", "4000"}, {"4000", "9000"}, {"9000", "12000"}});
        w.resize(400, 80);
        w.setLength(60000);
        w.setEnvelope(&envelope);
        w.show();
    }
    // The columns whose pixel in row y is of a kind: ink, green, or a grey level.
    QList<int> columns(int y, const std::function<bool(QRgb)>& is)
    {
        const QImage image = w.grab().toImage();
        QList<int> found;
        for (int x = 0; x < image.width(); ++x)
            if (is(image.pixel(x, y)))
                found << x;
        return found;
    }
    // Dark pixels at the top of columns [from, to), where labels are.
    int dark(int from, int to)
    {
        const QImage image = w.grab().toImage();
        int found = 0;
        for (int x = from; x < to; ++x)
            for (int y = 0; y < 14; ++y)
                found += qGray(image.pixel(x, y)) < 0xB0;
        return found;
    }
    static bool ink(QRgb p) { return qGray(p) < 0x60 && qRed(p) == qBlue(p); }
    static bool green(QRgb p) { return qGreen(p) > qRed(p) + 30 && qGreen(p) > qBlue(p); }
    QList<int> grey(int g)
    {
        return columns(75, [g](QRgb p) { return qGray(p) == g; });
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
    QList<int> all(to - from);
    std::iota(all.begin(), all.end(), from);
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
        QVERIFY(s.columns(40, Strip::ink).isEmpty()); // nothing known yet
        // Loud from 2 s to 3 s, quiet elsewhere up to 15 s, unknown after.
        std::vector<quint16> levels(3000, 30);
        std::fill(levels.begin() + 400, levels.begin() + 600, quint16(20000));
        s.envelope.setLevels(0, levels.data(), 3000);
        s.w.envelopeGrew(0, 15000);
        QCOMPARE(s.columns(20, Strip::ink), range(40, 60));
        // The middle line up to 15 s, but for the play line and the boundaries.
        QCOMPARE(s.columns(40, Strip::ink).size(), 300 - 2 - 4);
        // The sections striped, the lines at their ends, white elsewhere (the play line at 0).
        QCOMPARE(s.grey(0x80), QList<int>({20, 80, 180, 240}));
        QCOMPARE(s.grey(0xE0), range(21, 80) + range(181, 240));
        QCOMPARE(s.grey(0xEE), range(81, 180));
        QCOMPARE(s.grey(0xFF), range(2, 20) + range(241, 400));
        QVERIFY(s.columns(75, Strip::green).isEmpty());
        // Row numbers label the sections; columns drawn again draw no label of their own.
        s.w.envelopeGrew(5000, 6000);
        QVERIFY(s.dark(82, 92) > 0 && s.dark(92, 178) == 0 && s.dark(182, 192) > 0);
        // The open capture section in green, to its end; the next zoom is 30 s.
        s.w.setCaptureRow(2);
        QCOMPARE(s.columns(75, Strip::green), range(181, 240));
        s.table.setCell(2, 1, "13000");
        QCOMPARE(s.columns(75, Strip::green), range(181, 260));
        s.w.zoomOut();
        QCOMPARE(s.columns(20, Strip::ink), range(26, 40));
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
        // Grabbed 3 columns off the boundary at 4 s, it follows the pointer, no further than
        // the first section's start; the next one no further than the last section's end.
        s.drag(83, 5);
        s.drag(178, 390);
        QCOMPARE(moved, QList<QVariantList>({{0, 2050}, {0, 1000}, {1, 12000}, {1, 12000}}));
        // A click seeks there, on a boundary too; a drag elsewhere does nothing.
        QTest::mouseClick(&s.w, Qt::LeftButton, {}, {130, 50});
        QTest::mouseClick(&s.w, Qt::LeftButton, {}, {80, 50});
        s.drag(300, 360);
        QCOMPARE(seek, QList<QVariantList>({{6500}, {4000}}));
        // Boundaries on one column separate the way the pointer goes; the capture section's end
        // is none.
        moved.clear();
        s.table.setCell(1, 1, "4000");
        s.table.setCell(2, 0, "4000");
        s.drag(80, 70);
        s.drag(80, 90);
        s.w.setCaptureRow(2);
        s.drag(240, 250);
        QCOMPARE(moved, QList<QVariantList>({{0, 3750}, {0, 3500}, {1, 4250}, {1, 4500}}));
    }
};

QTEST_MAIN(TestWaveformStrip)
#include "tst_waveform.moc"

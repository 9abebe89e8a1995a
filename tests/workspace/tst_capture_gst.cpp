// The transcription cycle on the GStreamer device and a real recording, with
// the window's own timers running.

#include "ScriptedPrompts.h"
#include "TestMedia.h"

#include "media/GstMediaControl.h"
#include "tools/SoundMeter.h"
#include "workspace/FormMain.h"
#include "workspace/SectionGrid.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int PlayTimeoutMs = 8000;

qint32 cellNumber(const SectionGrid& grid, int row, int column)
{
    return grid.text(row, column).toInt();
}

} // namespace

class TestCaptureGst : public QObject
{
    Q_OBJECT

private slots:
    void sectionsTileTheRecording();
};

void TestCaptureGst::sectionsTileTheRecording()
{
    QTemporaryDir dir;
    const QString media = TestMedia::generate(dir.path(), TestMedia::Kind::Wav, 6);
    QVERIFY(!media.isEmpty());
    SoundMeter meter;
    GstMediaControl device([&] { return meter.createSink(); });
    ScriptedPrompts prompts;
    FormMain w(device, prompts);
    const FormMain::Controls& c = w.controls();
    SectionGrid& grid = *c.oGrid;

    prompts.scriptFiles({media});
    w.menuOpen_Click();
    w.menuPlay_Click();
    QCOMPARE(device.Length(), 6000);
    QCOMPARE(grid.text(1, 0), QString("0"));

    // Three sections, each paused, typed and continued.
    QList<qint32> pausedAt;
    for (int section = 1; section <= 3; ++section) {
        QTest::qWait(600 + 100 * section);
        w.menuPlay_Click();
        QCOMPARE(device.mode(), DeviceMode::Paused);
        pausedAt << device.Position();
        QTest::keyClicks(c.txtScript, QString("section %1").arg(section));
        QTest::qWait(300);
        w.menuPlay_Click();
        QCOMPARE(device.mode(), DeviceMode::Playing);
    }
    QTest::qWait(500);
    w.menuPlay_Click();
    pausedAt << device.Position();

    // The sections tile the recording from 0: each ends where it was paused
    // and the next starts there.
    QCOMPARE(grid.rows(), 5);
    qint32 start = 0;
    for (int row = 1; row <= 4; ++row) {
        QCOMPARE(cellNumber(grid, row, 0), start);
        QCOMPARE(cellNumber(grid, row, 1), pausedAt[row - 1]);
        QVERIFY(pausedAt[row - 1] > start);
        if (row < 4)
            QCOMPARE(grid.text(row, 4), QString("section %1").arg(row));
        start = pausedAt[row - 1];
    }

    // F12 replays the closed section and leaves the device at its exact end.
    QTest::qWait(600); // the status tick shows the Rewind button again
    w.menuRewind_Click();
    QVERIFY((w.cycle().phase() == CaptureCycle::Phase::Replaying));
    QTRY_VERIFY_WITH_TIMEOUT(!(w.cycle().phase() == CaptureCycle::Phase::Replaying), PlayTimeoutMs);
    QCOMPARE(device.mode(), DeviceMode::Paused);
    QCOMPARE(device.Position(), pausedAt[3]);

    // A seek into the second section replays it from there to its end.
    const qint32 seek = pausedAt[0] + 100;
    w.SliderTime_SeekTo(seek);
    QCOMPARE(grid.row(), 2);
    QCOMPARE(c.txtScript->toPlainText(), QString("section 2"));
    QVERIFY((w.cycle().phase() == CaptureCycle::Phase::Replaying));
    QTRY_VERIFY_WITH_TIMEOUT(!(w.cycle().phase() == CaptureCycle::Phase::Replaying), PlayTimeoutMs);
    QCOMPARE(device.Position(), pausedAt[1]);
    QCOMPARE(grid.rows(), 5);
}

QTEST_MAIN(TestCaptureGst)
#include "tst_capture_gst.moc"

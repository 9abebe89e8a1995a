#include "FakeMediaControl.h"

#include "model/FormatTime.h"
#include "model/SectionTableModel.h"
#include "model/WorkspaceState.h"
#include "workspace/CaptureCycle.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>

// The transcription cycle on the fake device, whose clock the test moves: a
// whole cycle runs in milliseconds, always the same way.

namespace {

using Phase = CaptureCycle::Phase;
using Mode = CaptureCycle::ModeShown;
using Caption = CaptureCycle::PlayCaption;
const QString Media = "/recordings/interview.wav";
constexpr qint32 MediaLength = 60000;

struct Rig
{
    FakeMediaControl device;
    SectionTableModel table;
    WorkspaceState workspace;
    CaptureCycle cycle{device, table, workspace};
    qint64 now = 0;
    int changes = 0, commits = 0, openFailures = 0;

    Rig()
    {
        workspace.mediaFile = Media;
        table.resize(1);
        device.addMedia(Media, MediaLength);
        QObject::connect(&device, &MediaControl::StatusUpdate, &cycle, &CaptureCycle::statusUpdate);
        QObject::connect(&cycle.autoRewindTimer(), &QTimer::timeout, &cycle,
                         &CaptureCycle::autoRewindFired);
        QObject::connect(&cycle, &CaptureCycle::workChanged, [this] { ++changes; });
        QObject::connect(&cycle, &CaptureCycle::sectionCommitted, [this] { ++commits; });
        QObject::connect(&cycle, &CaptureCycle::openFailed, [this] { ++openFailures; });
        QObject::connect(&cycle, &CaptureCycle::openFailed, &cycle, &CaptureCycle::closeMedia);
    }

    // The event loop's time: status updates every 100 ms, a tick every 500.
    void run(qint32 ms)
    {
        for (qint32 step = 0; step < ms; step += 100) {
            device.advance(100);
            if ((now += 100) % 500 == 0)
                cycle.statusTick();
        }
    }
    // A new transcription playing, with sections closed and committed at `ends`.
    void capture(const QList<qint32>& ends)
    {
        cycle.play();
        for (qint32 end : ends) {
            run(end - device.Position());
            cycle.play();
            cycle.play();
        }
    }
    void load(const QList<std::pair<qint32, qint32>>& sections)
    {
        std::vector<SectionTableModel::Cells> rows;
        for (const auto& [start, end] : sections)
            rows.push_back({RawPositionText(start), RawPositionText(end), FormatTime(start),
                            FormatTime(end), "text " + RawPositionText(start)});
        table.loadRows(rows);
    }
    QStringList row(int row) const
    {
        QStringList cells;
        for (int column = 0; column < SectionTableModel::ColumnCount; ++column)
            cells << table.cell(row, column);
        return cells;
    }
    QStringList bounds(int row) const { return this->row(row).mid(0, 2); }
    QList<qint32> replay() const { return {device.From(), device.To()}; }
    bool shows(Mode mode, Caption caption, bool rewindShown) const
    {
        const CaptureCycle::Status& s = cycle.status();
        return s.mode == mode && s.play == caption && s.rewindShown == rewindShown;
    }
};

} // namespace

class TestCaptureCycle : public QObject
{
    Q_OBJECT

private slots:
    void sectionsAreCutByPauses()
    {
        Rig r;
        QSignalSpy highlight(&r.cycle, &CaptureCycle::highlightChanged);
        r.cycle.play();
        QCOMPARE(r.device.commands(), QStringList({"close", "open", "play"}));
        QCOMPARE(r.row(0), QStringList({"0", "0", "00:00:00", "00:00:00", ""}));
        QVERIFY(r.cycle.phase() == Phase::Capturing && !r.cycle.status().rewindShown);
        // Playing, the end follows the position; a pause between two updates ends it there.
        r.run(2400);
        QVERIFY(r.shows(Mode::Playing, Caption::Pause, false));
        QCOMPARE(r.bounds(0), QStringList({"0", "2400"}));
        r.device.advance(50);
        r.cycle.play();
        QCOMPARE(r.row(0).mid(1, 3), QStringList({"2450", "00:00:00", "00:00:02"}));
        r.run(500);
        QVERIFY(r.cycle.phase() == Phase::Closed && r.shows(Mode::Paused, Caption::Continue, true));
        // Continue commits the section with its typed text and opens the next, striped, playing on.
        r.table.setCell(0, SectionTableModel::TextColumn, "Hello world");
        QSignalSpy rowMoved(&r.cycle, &CaptureCycle::currentRowChanged);
        r.cycle.play();
        QCOMPARE(r.row(0), QStringList({"0", "2450", "00:00:00", "00:00:02", "Hello world"}));
        QCOMPARE(r.row(1), QStringList({"2450", "2450", "00:00:02", "00:00:02", ""}));
        QCOMPARE(r.table.cellBackground(1, 0), QColor(Qt::white));
        QCOMPARE(rowMoved.takeFirst(), QVariantList({1, true}));
        QCOMPARE(highlight.takeLast(), QVariantList({2450, 2451}));
        QVERIFY(!r.cycle.status().rewindShown); // at once, not at the next tick
        QCOMPARE(QList<int>({r.changes, r.commits}), QList<int>({3, 1}));
        r.run(1000);
        QCOMPARE(r.bounds(1), QStringList({"2450", "3400"})); // the last update came 50 ms earlier
        // The end of the media ends playing there, paused, and closes the section: one press
        // commits it, and the empty section opened at the end takes no more presses.
        r.run(MediaLength);
        QCOMPARE(r.device.mode(), DeviceMode::Paused);
        QCOMPARE(r.bounds(1), QStringList({"2450", "60000"}));
        QVERIFY(r.cycle.phase() == Phase::Closed && r.shows(Mode::Paused, Caption::Continue, true));
        for (int press = 0; press < 4; ++press) {
            r.cycle.play();
            r.run(500);
        }
        QVERIFY(r.table.rowCount() == 3 && r.commits == 2);
        QCOMPARE(r.bounds(2), QStringList({"60000", "60000"}));
        // Closing the media keeps the sections; a reset empties everything.
        r.cycle.closeMedia();
        QVERIFY(r.cycle.phase() == Phase::Idle && r.table.rowCount() == 3);
        r.cycle.setAutoRewind(true);
        r.cycle.reset();
        QCOMPARE(r.row(0), QStringList(5));
        QVERIFY(!r.cycle.autoRewind() && r.shows(Mode::None, Caption::Play, true));
        QCOMPARE(highlight.takeLast(), QVariantList({0, 1}));
    }

    void pressesFollowTheStateTable()
    {
        // No media: nothing. Media the device cannot open: the window is told, nothing changes.
        Rig none;
        none.workspace.mediaFile.clear();
        none.cycle.play();
        none.device.removeMedia(Media);
        none.workspace.mediaFile = Media;
        none.cycle.play();
        QCOMPARE(none.device.commands().mid(0, 3), QStringList({"close", "open", "play"}));
        QCOMPARE(QList<int>({none.openFailures, none.changes}), QList<int>({1, 0}));
        // Each press on the last row flips capturing and closed; on an earlier row it only pauses.
        Rig r;
        r.capture({3000});
        r.run(1000);
        r.cycle.selectRow(0);
        r.run(3500); // the replay of row 0 ends, paused at 3000
        QCOMPARE(r.cycle.phase(), Phase::Browsing);
        const QStringList last = r.row(1);
        for (DeviceMode mode : {DeviceMode::Playing, DeviceMode::Paused}) {
            r.cycle.play();
            QCOMPARE(r.device.mode(), mode);
            r.run(500);
        }
        QCOMPARE(r.row(1), last);
        QCOMPARE(QList<int>({r.table.rowCount(), r.commits}), QList<int>({2, 1}));
        QVERIFY(r.cycle.captureIsOpen());
        // A loaded table goes on with its last section: replayed, closed, committed by Continue.
        Rig loaded;
        loaded.load({{0, 4000}, {4000, 9500}, {9500, 15000}});
        loaded.run(1000); // nothing opened yet: the loaded end stays as read
        QSignalSpy thumb(&loaded.cycle, &CaptureCycle::thumbMoved);
        loaded.cycle.selectRow(1); // a row picked first shows where it starts
        QCOMPARE(thumb.takeFirst().first().toInt(), 4000);
        QVERIFY(loaded.device.commands().isEmpty());
        QSignalSpy shown(&loaded.cycle, &CaptureCycle::textShown);
        loaded.cycle.play();
        QCOMPARE(loaded.device.commands(), QStringList({"close", "open", "play", "pause", "play"}));
        QCOMPARE(loaded.replay(), QList<qint32>({9500, 15000}));
        QCOMPARE(shown.takeFirst().first().toString(), QString("text 9500"));
        QVERIFY(loaded.cycle.phase() == Phase::Replaying && !loaded.cycle.captureIsOpen());
        loaded.run(6000);
        QCOMPARE(loaded.cycle.phase(), Phase::Closed);
        loaded.cycle.play();
        QCOMPARE(loaded.bounds(2), QStringList({"9500", "15000"}));
        QCOMPARE(loaded.bounds(3), QStringList({"15000", "15000"}));
        // A project saved before anything was captured starts its first section.
        Rig unstarted;
        unstarted.table.loadRows(std::vector<SectionTableModel::Cells>(1));
        unstarted.capture({5000});
        QCOMPARE(unstarted.bounds(0), QStringList({"0", "5000"}));
    }

    void replaysEndPausedAtTheSectionEnd()
    {
        Rig r;
        r.capture({});
        r.run(1500);
        r.cycle.play();
        r.run(500);
        r.cycle.replay();
        QCOMPARE(r.replay(), QList<qint32>({0, 1500}));
        QVERIFY(!r.cycle.status().playShown);
        r.run(500);
        QVERIFY(r.shows(Mode::Rewinding, Caption::Pause, true));
        QCOMPARE(r.bounds(0), QStringList({"0", "1500"})); // a replay does not move the end
        r.cycle.replay(); // Rewind again restarts from the section's start
        QCOMPARE(r.device.Position(), 0);
        r.device.advance(1500);
        r.cycle.statusTick();
        QVERIFY(r.shows(Mode::Stopped, Caption::Continue, true) && r.cycle.status().playShown);
        QCOMPARE(r.device.commands().last(2), QStringList({"play", "pause"}));
        QCOMPARE(QList<qint32>({r.device.Position(), r.device.To()}), QList<qint32>({1500, 60000}));
        QCOMPARE(r.cycle.phase(), Phase::Closed);
        // After a pause the replay comes within a second: ticks arm the timer without putting it
        // off; after a replay it waits 3 s; playing, and Continue, call it off.
        QTimer& timer = r.cycle.autoRewindTimer();
        r.cycle.setAutoRewind(true);
        r.run(500);
        QCOMPARE(timer.interval(), 500);
        const int left = timer.remainingTime();
        QThread::msleep(20); // no events meanwhile: the timer cannot fire
        r.cycle.statusTick();
        QVERIFY(timer.remainingTime() < left);
        r.cycle.autoRewindFired();
        QVERIFY(r.cycle.phase() == Phase::Replaying && !timer.isActive());
        r.run(1800);
        QCOMPARE(timer.interval(), 3000);
        r.cycle.play();
        QVERIFY(!timer.isActive());
        timer.start(500);
        r.run(500);
        QVERIFY(!timer.isActive());
        QCOMPARE(r.table.rowCount(), 2);
        // A recording shorter than a loaded section: the replay ends at its end; the user goes on.
        Rig shorter;
        shorter.load({{50000, 60500}});
        shorter.cycle.play();
        shorter.run(11000);
        QVERIFY(shorter.cycle.phase() == Phase::Closed && shorter.cycle.status().playShown);
    }

    void seeksAndClicksReplayTheRightSection()
    {
        Rig r;
        r.capture({4000, 9500});
        r.run(5500);
        r.cycle.play(); // the capture section 9,500-15,000 is closed
        // The section holding a position is the first that ends after it.
        const QList<QList<qint32>> seeks = {{3999, 0, 3999, 4000},
                                            {4000, 1, 4000, 9500},
                                            {15000, 2, 9500, 15000},
                                            {40000, 2, 9500, 15000}};
        for (const QList<qint32>& seek : seeks) {
            QSignalSpy thumb(&r.cycle, &CaptureCycle::thumbMoved);
            r.cycle.seekTo(seek[0]);
            QCOMPARE(r.cycle.currentRow(), seek[1]);
            QCOMPARE(r.replay(), seek.mid(2));
            QCOMPARE(thumb.takeFirst().first().toInt(), seek[2]);
            r.run(6000);
            QCOMPARE(r.device.Position(), seek[3]);
        }
        // The replay after a seek starts at the section's start again.
        r.cycle.seekTo(6000);
        r.run(4000);
        r.cycle.replay();
        QCOMPARE(r.device.From(), 4000);
        // Rows whose bounds are no numbers are not replayed; a seek passes them.
        r.table.setCell(0, 0, "abc");
        r.table.setCell(1, 1, "");
        const QStringList sent = r.device.commands();
        r.cycle.selectRow(0);
        r.cycle.selectRow(1);
        QCOMPARE(r.device.commands(), sent);
        r.cycle.seekTo(5000);
        QCOMPARE(r.replay(), QList<qint32>({5000, 15000}));
        // A click on an earlier row leaves the capture section as it was; a
        // click on the capture section while it plays closes it, then replays it.
        Rig c;
        c.cycle.selectRow(0); // the empty row of a fresh workspace: nothing
        QVERIFY(c.device.commands().isEmpty());
        c.capture({3000});
        c.run(2000);
        c.cycle.selectRow(0);
        QVERIFY(c.cycle.sectionStart() == 0 && c.cycle.sectionEnd() == 3000);
        c.run(3500);
        c.cycle.play(); // listens on over the capture section's sound
        c.run(2000);
        QCOMPARE(c.bounds(1), QStringList({"3000", "5000"}));
        QVERIFY(c.cycle.captureIsOpen());
        c.cycle.selectRow(1);
        QCOMPARE(c.replay(), QList<qint32>({3000, 5000}));
        QVERIFY(!c.cycle.captureIsOpen());
    }

    // The speed holds for capture, replay and seek, and the table keeps media
    // times. A jump back never moves a section's start.
    void speedAndJumpBackKeepTheSections()
    {
        Rig r;
        r.device.setSpeed(500);
        r.capture({});
        r.cycle.jumpBack(); // at the very start: stays at 0
        QCOMPARE(r.device.Position(), 0);
        r.run(4000);
        r.cycle.play();
        r.cycle.play();
        QCOMPARE(r.bounds(0), QStringList({"0", "2000"}));
        // Jumps back during capture: 3 s, not before the section's start; once closed, not at all.
        r.run(10000);
        r.cycle.jumpBack();
        QCOMPARE(r.device.Position(), 4000);
        QCOMPARE(r.bounds(1), QStringList({"2000", "4000"}));
        r.cycle.jumpBack();
        QVERIFY(r.device.Position() == 2000 && r.device.mode() == DeviceMode::Playing);
        r.run(2000);
        r.cycle.play(); // closes the section at 3000
        r.cycle.jumpBack();
        QCOMPARE(r.bounds(1), QStringList({"2000", "3000"}));
        // The replay keeps the speed: its second of media lasts two.
        r.cycle.replay();
        r.run(1900);
        QCOMPARE(r.device.mode(), DeviceMode::Playing);
        r.run(200);
        QCOMPARE(r.device.Position(), 3000);
        // At 2.0x a seek plays the first section from there; back 3 s from 1800 is 0, then on.
        r.device.setSpeed(2000);
        r.cycle.seekTo(1000);
        r.run(400);
        QCOMPARE(r.device.Position(), 1800);
        r.cycle.jumpBack();
        QCOMPARE(r.device.Position(), 0);
        r.run(1100);
        QCOMPARE(r.device.Position(), 2000);
        QCOMPARE(r.bounds(0), QStringList({"0", "2000"}));
    }

    // A boundary moves the end of one section and the start of the next together, within them.
    void boundariesMoveTogether()
    {
        Rig r;
        r.capture({4000, 9500});
        r.run(1500); // the capture section 9,500-11,000 is open
        const int changes = r.changes;
        r.cycle.moveBoundary(0, 3100);
        QCOMPARE(r.row(1).mid(0, 4), QStringList({"3100", "9500", "00:00:03", "00:00:09"}));
        QCOMPARE(r.row(0).mid(1, 3), QStringList({"3100", "00:00:00", "00:00:03"}));
        r.cycle.moveBoundary(0, 3100); // no change
        r.cycle.moveBoundary(0, -50);
        r.cycle.moveBoundary(1, 99999);
        QCOMPARE(r.bounds(0) + r.bounds(1), QStringList({"0", "0", "0", "11000"}));
        QVERIFY(r.cycle.sectionStart() == 11000 && r.changes == changes + 3);
        r.run(1000); // the capture section's end follows on
        QCOMPARE(r.bounds(2), QStringList({"11000", "12000"}));
        // A replay whose end moves ends where it was to end, once.
        r.cycle.moveBoundary(1, 5000);
        r.cycle.selectRow(1);
        r.run(1000);
        QSignalSpy highlight(&r.cycle, &CaptureCycle::highlightChanged);
        r.cycle.moveBoundary(1, 3000);
        QCOMPARE(highlight.takeFirst(), QVariantList({0, 3000}));
        r.run(5000);
        QVERIFY(r.device.Position() == 5000 && r.device.mode() == DeviceMode::Paused);
    }

    // A recording that runs out of sound before its length closes the capture
    // section there, paused as at its end; the window is told once.
    void recordingEndsEarly()
    {
        Rig r;
        QSignalSpy early(&r.cycle, &CaptureCycle::recordingEndedEarly);
        r.capture({2000});
        r.device.cutShort(3000);
        r.run(2000);
        QVERIFY(r.cycle.phase() == Phase::Closed && r.shows(Mode::Paused, Caption::Continue, true));
        r.cycle.play(); // commits the section; playing on runs out again at once
        r.run(1000);
        r.cycle.play();
        QVERIFY(r.table.rowCount() == 3 && r.cycle.phase() == Phase::Capturing);
        QCOMPARE(r.bounds(1), QStringList({"2000", "3000"}));
        QCOMPARE(early.size(), 1);
        QCOMPARE(early[0], QVariantList({3000}));
    }
};

QTEST_GUILESS_MAIN(TestCaptureCycle)
#include "tst_capturecycle.moc"

#include "FakeMediaControl.h"

#include "model/FormatTime.h"
#include "model/SectionTableModel.h"
#include "model/WorkspaceState.h"
#include "workspace/CaptureCycle.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

// The transcription cycle on the fake device, whose clock the test moves: a
// whole cycle runs in milliseconds, always the same way.

namespace {

using Phase = CaptureCycle::Phase;
using Mode = CaptureCycle::ModeShown;
using Caption = CaptureCycle::PlayCaption;
const QString Media = "/recordings/interview.wav";
constexpr qint32 MediaLength = 60000;

struct Section
{
    qint32 start;
    qint32 end;
    QString text;
};

struct Rig
{
    FakeMediaControl device;
    SectionTableModel table;
    WorkspaceState workspace;
    CaptureCycle cycle{device, table, workspace};
    qint64 now = 0;
    int changes = 0;
    int commits = 0;
    int openFailures = 0;

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
        QObject::connect(&cycle, &CaptureCycle::openFailed, [this] {
            ++openFailures;
            cycle.closeMedia();
        });
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

    void load(const QList<Section>& sections)
    {
        std::vector<SectionTableModel::Cells> rows;
        for (const Section& s : sections)
            rows.push_back({RawPositionText(s.start), RawPositionText(s.end), FormatTime(s.start),
                            FormatTime(s.end), s.text});
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
    bool replaying() const { return cycle.phase() == Phase::Replaying; }
};

} // namespace

class TestCaptureCycle : public QObject
{
    Q_OBJECT

private slots:
    void sectionsAreCutByPauses();
    void pressesFollowTheStateTable();
    void loadedTableGoesOnWithItsLastSection();
    void replayEndsPausedAtTheSectionEnd();
    void autoRewindFollowsEveryPause();
    void seeksAndClicksReplayTheRightSection();
    void speedAndJumpBackKeepTheSections();
};

void TestCaptureCycle::sectionsAreCutByPauses()
{
    Rig r;
    QSignalSpy highlight(&r.cycle, &CaptureCycle::highlightChanged);
    r.cycle.play();
    QCOMPARE(r.device.commands(), QStringList({"close", "open", "play"}));
    QCOMPARE(r.row(0), QStringList({"0", "0", "00:00:00", "00:00:00", ""}));
    QCOMPARE(r.cycle.phase(), Phase::Capturing);
    QVERIFY(!r.cycle.status().rewindShown); // Rewind waits for a closed section
    QCOMPARE(r.changes, 1);

    // Playing, the section's end follows the position.
    r.run(2400);
    QCOMPARE(r.cycle.status().mode, Mode::Playing);
    QCOMPARE(r.cycle.status().play, Caption::Pause);
    QCOMPARE(r.bounds(0), QStringList({"0", "2400"}));
    QCOMPARE(r.cycle.sectionEnd(), 2400);

    // A pause between two status updates still ends the section there.
    r.device.advance(50);
    r.cycle.play();
    QCOMPARE(r.device.mode(), DeviceMode::Paused);
    QCOMPARE(r.cycle.phase(), Phase::Closed);
    QCOMPARE(r.row(0).mid(1, 3), QStringList({"2450", "00:00:00", "00:00:02"}));
    r.run(500);
    QCOMPARE(r.cycle.status().mode, Mode::Paused);
    QCOMPARE(r.cycle.status().play, Caption::Continue);
    QVERIFY(r.cycle.status().rewindShown);

    // Continue commits the section with the text typed into its row and
    // opens the next one where it ended, striped, playing on.
    r.table.setCell(0, SectionTableModel::TextColumn, "Hello world");
    QSignalSpy rowMoved(&r.cycle, &CaptureCycle::currentRowChanged);
    QSignalSpy shown(&r.cycle, &CaptureCycle::textShown);
    r.cycle.play();
    QCOMPARE(r.table.rowCount(), 2);
    QCOMPARE(r.row(0), QStringList({"0", "2450", "00:00:00", "00:00:02", "Hello world"}));
    QCOMPARE(r.row(1), QStringList({"2450", "2450", "00:00:02", "00:00:02", ""}));
    QCOMPARE(r.table.cellBackground(1, 4), QColor(Qt::white));
    QCOMPARE(r.cycle.currentRow(), 1);
    QCOMPARE(rowMoved.takeFirst(), QVariantList({1, true}));
    QCOMPARE(shown.takeFirst().first().toString(), QString());
    QCOMPARE(highlight.takeLast(), QVariantList({2450, 2451}));
    QCOMPARE(r.cycle.sectionStart(), 2450);
    QCOMPARE(r.device.mode(), DeviceMode::Playing);
    QVERIFY(!r.cycle.status().rewindShown); // at once, not at the next tick
    QCOMPARE(r.commits, 1);
    QCOMPARE(r.changes, 3);

    r.run(1000);
    QCOMPARE(r.bounds(1), QStringList({"2450", "3400"})); // the last update came 50 ms earlier
    QCOMPARE(r.bounds(0), QStringList({"0", "2450"}));

    // The end of the media ends playing there, paused, and so the section.
    r.run(MediaLength);
    QCOMPARE(r.device.mode(), DeviceMode::Paused);
    QCOMPARE(r.bounds(1), QStringList({"2450", "60000"}));
    QCOMPARE(r.cycle.status().play, Caption::Continue);

    // Closing the media keeps the sections; a reset empties everything.
    r.cycle.closeMedia();
    QCOMPARE(r.cycle.phase(), Phase::Idle);
    QCOMPARE(r.device.mode(), DeviceMode::NotOpen);
    QCOMPARE(r.table.rowCount(), 2);
    r.cycle.setAutoRewind(true);
    r.cycle.reset();
    QCOMPARE(r.table.rowCount(), 1);
    QCOMPARE(r.row(0), QStringList(5));
    QVERIFY(!r.cycle.autoRewind());
    QCOMPARE(r.cycle.status().mode, Mode::None);
    QCOMPARE(r.cycle.status().play, Caption::Play);
    QCOMPARE(highlight.takeLast(), QVariantList({0, 1}));
}

void TestCaptureCycle::pressesFollowTheStateTable()
{
    {
        // No media chosen: Play does nothing at all.
        Rig r;
        r.workspace.mediaFile.clear();
        r.cycle.play();
        QVERIFY(r.device.commands().isEmpty());
        QCOMPARE(r.changes, 0);
    }
    {
        // Media the device cannot open: the window is told, nothing changes.
        Rig r;
        r.device.removeMedia(Media);
        r.cycle.play();
        QCOMPARE(r.openFailures, 1);
        QCOMPARE(r.changes, 0);
        QCOMPARE(r.row(0), QStringList(5));
    }
    // Capturing -> closed -> capturing: each press on the last row flips; a
    // press while an earlier row is current only pauses and resumes.
    Rig r;
    r.capture({3000});
    r.run(1000);
    r.cycle.selectRow(0);
    r.run(3500); // the replay of row 0 ends, paused at 3000
    QCOMPARE(r.cycle.phase(), Phase::Browsing);
    QCOMPARE(r.device.Position(), 3000);
    const QStringList last = r.row(1);
    for (DeviceMode mode : {DeviceMode::Playing, DeviceMode::Paused}) {
        r.cycle.play();
        QCOMPARE(r.device.mode(), mode);
        r.run(500);
    }
    QCOMPARE(r.table.rowCount(), 2);
    QCOMPARE(r.row(1), last);
    QVERIFY(r.cycle.captureIsOpen());
    QCOMPARE(r.commits, 1);
}

void TestCaptureCycle::loadedTableGoesOnWithItsLastSection()
{
    Rig r;
    r.load({{0, 4000, "one"}, {4000, 9500, "two"}, {9500, 15000, "three"}});
    QCOMPARE(r.cycle.currentRow(), 2);
    r.run(1000); // nothing opened yet: the loaded end stays as read
    QCOMPARE(r.bounds(2), QStringList({"9500", "15000"}));

    QSignalSpy shown(&r.cycle, &CaptureCycle::textShown);
    r.cycle.play();
    QCOMPARE(r.device.commands(), QStringList({"close", "open", "play", "pause", "play"}));
    QCOMPARE(r.device.From(), 9500);
    QCOMPARE(r.device.To(), 15000);
    QCOMPARE(shown.takeFirst().first().toString(), QString("three"));
    QVERIFY(r.replaying() && !r.cycle.captureIsOpen());
    QCOMPARE(r.cycle.seekStart(), -1);
    QCOMPARE(r.changes, 2);

    r.run(6000);
    QCOMPARE(r.device.mode(), DeviceMode::Paused);
    QCOMPARE(r.device.Position(), 15000);
    QCOMPARE(r.cycle.phase(), Phase::Closed);
    // Continue commits the same section again and opens the next one.
    r.cycle.play();
    QCOMPARE(r.table.rowCount(), 4);
    QCOMPARE(r.row(2), QStringList({"9500", "15000", "00:00:09", "00:00:15", "three"}));
    QCOMPARE(r.table.cell(3, 0), QString("15000"));
    QCOMPARE(r.device.mode(), DeviceMode::Playing);

    // A project saved before anything was captured starts its first section.
    Rig unstarted;
    unstarted.load({{0, 0, ""}});
    unstarted.table.setCell(0, 0, "");
    unstarted.table.setCell(0, 1, "");
    unstarted.capture({5000});
    QCOMPARE(unstarted.bounds(0), QStringList({"0", "5000"}));
    QCOMPARE(unstarted.table.cell(1, 0), QString("5000"));

    // A recording shorter than the loaded sections: the replay of the last
    // one ends at the end of the media and the user can go on.
    Rig shorter;
    shorter.load({{50000, 60500, "past the end"}});
    shorter.cycle.play();
    shorter.run(11000);
    QCOMPARE(shorter.cycle.phase(), Phase::Closed);
    QCOMPARE(shorter.device.mode(), DeviceMode::Paused);
    QVERIFY(shorter.cycle.status().playShown);
}

void TestCaptureCycle::replayEndsPausedAtTheSectionEnd()
{
    Rig r;
    r.capture({});
    r.run(1500);
    r.cycle.play();
    r.run(500);
    r.cycle.replay();
    QCOMPARE(r.device.From(), 0);
    QCOMPARE(r.device.To(), 1500);
    QVERIFY(r.replaying() && !r.cycle.status().playShown && r.cycle.status().rewindShown);
    r.run(500);
    QCOMPARE(r.cycle.status().mode, Mode::Rewinding);
    QCOMPARE(r.bounds(0), QStringList({"0", "1500"})); // a replay does not move the end

    // Rewind again restarts from the section's start.
    r.cycle.replay();
    QCOMPARE(r.device.Position(), 0);
    r.device.advance(1500);
    QCOMPARE(r.device.mode(), DeviceMode::Stopped);
    r.cycle.statusTick();
    QCOMPARE(r.cycle.status().mode, Mode::Stopped);
    QCOMPARE(r.cycle.status().play, Caption::Continue);
    QVERIFY(r.cycle.status().playShown && r.cycle.status().rewindShown);
    QCOMPARE(r.device.commands().mid(r.device.commands().size() - 2),
             QStringList({"play", "pause"}));
    QCOMPARE(r.device.To(), MediaLength);
    QCOMPARE(r.device.mode(), DeviceMode::Paused);
    QCOMPARE(r.device.Position(), 1500);
    QCOMPARE(r.cycle.phase(), Phase::Closed);
    r.cycle.play();
    QCOMPARE(r.bounds(0), QStringList({"0", "1500"}));
    QCOMPARE(r.cycle.phase(), Phase::Capturing);
}

void TestCaptureCycle::autoRewindFollowsEveryPause()
{
    Rig r;
    QTimer& timer = r.cycle.autoRewindTimer();
    r.cycle.setAutoRewind(true);
    r.capture({});
    r.run(800);
    r.cycle.play();
    r.run(500);
    QVERIFY(timer.isActive());
    QCOMPARE(timer.interval(), 500);
    // Ticks arm it again and again without putting the replay off.
    const int left = timer.remainingTime();
    QElapsedTimer spin; // no events meanwhile: the timer cannot fire
    spin.start();
    while (spin.elapsed() < 20) {
    }
    r.cycle.statusTick();
    QVERIFY(timer.remainingTime() < left);
    r.cycle.autoRewindFired();
    QVERIFY(r.replaying() && !timer.isActive());
    QCOMPARE(r.device.From(), 0);
    QCOMPARE(r.device.To(), 800);
    r.run(1200); // the replay ends: the next one comes after 3 seconds
    QVERIFY(!r.replaying());
    QCOMPARE(timer.interval(), 3000);
    // Continue calls off the replay armed for the pause, whatever a tick did.
    r.cycle.play();
    QVERIFY(!timer.isActive());
    timer.start(500);
    r.run(500);
    QVERIFY(!timer.isActive());
    QCOMPARE(r.table.rowCount(), 2);
}

void TestCaptureCycle::seeksAndClicksReplayTheRightSection()
{
    Rig r;
    r.capture({4000, 9500});
    r.run(5500);
    r.cycle.play(); // the capture section 9,500-15,000 is closed
    struct Seek
    {
        qint32 position;
        int row;
        qint32 from;
        qint32 to;
    };
    for (const Seek& seek : {Seek{3999, 0, 3999, 4000}, Seek{4000, 1, 4000, 9500},
                             Seek{15000, 2, 9500, 15000}, Seek{40000, 2, 9500, 15000}}) {
        QSignalSpy thumb(&r.cycle, &CaptureCycle::thumbMoved);
        r.cycle.seekTo(seek.position);
        QCOMPARE(r.cycle.currentRow(), seek.row);
        QCOMPARE(r.device.From(), seek.from);
        QCOMPARE(r.device.To(), seek.to);
        QCOMPARE(thumb.takeFirst().first().toInt(), seek.from);
        QCOMPARE(r.cycle.seekStart(), -1);
        r.run(6000);
        QCOMPARE(r.device.Position(), seek.to);
    }
    // The replay after a seek starts at the section's start again.
    r.cycle.seekTo(6000);
    r.run(4000);
    r.cycle.replay();
    QCOMPARE(r.device.From(), 4000);

    // A click on the capture section while it plays closes it, then replays
    // it; a click on an earlier row leaves it as it was.
    Rig c;
    c.cycle.selectRow(0); // the empty row of a fresh workspace: nothing
    QVERIFY(c.device.commands().isEmpty());
    c.capture({3000});
    c.run(2000);
    c.cycle.selectRow(0);
    QCOMPARE(c.cycle.sectionStart(), 0);
    QCOMPARE(c.cycle.sectionEnd(), 3000);
    QVERIFY(c.cycle.captureIsOpen());
    c.run(1000);
    QCOMPARE(c.bounds(1), QStringList({"3000", "5000"}));
    c.run(2500);
    c.cycle.play(); // listens on over the capture section's sound
    c.run(2000);
    c.cycle.selectRow(1);
    QCOMPARE(c.bounds(1), QStringList({"3000", "5000"}));
    QCOMPARE(c.device.From(), 3000);
    QCOMPARE(c.device.To(), 5000);
    QVERIFY(!c.cycle.captureIsOpen());

    // Rows whose bounds are no numbers are not replayed; a seek passes
    // them by.
    Rig d;
    d.load({{0, 4000, "one"}, {4000, 9500, "two"}, {9500, 15000, "three"}});
    d.table.setCell(0, 0, "abc");
    d.table.setCell(1, 1, "");
    d.cycle.play();
    d.run(6000);
    const QStringList sent = d.device.commands();
    d.cycle.selectRow(0);
    d.cycle.selectRow(1);
    QCOMPARE(d.device.commands(), sent);
    QCOMPARE(d.cycle.seekStart(), -1);
    d.cycle.seekTo(5000);
    QCOMPARE(d.cycle.currentRow(), 2);
    QCOMPARE(d.device.From(), 5000);
}

// The speed holds for capture, replay and seek, and the table keeps media
// times. A jump back never moves a section's start.
void TestCaptureCycle::speedAndJumpBackKeepTheSections()
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

    // Jumps back during capture: never before the section's start.
    r.run(10000);
    QCOMPARE(r.device.Position(), 7000);
    r.cycle.jumpBack();
    QCOMPARE(r.device.Position(), 4000);
    QCOMPARE(r.device.mode(), DeviceMode::Playing);
    QCOMPARE(r.table.cell(1, 1), QString("4000"));
    r.cycle.jumpBack();
    QCOMPARE(r.device.Position(), 2000);
    QCOMPARE(r.bounds(1), QStringList({"2000", "2000"}));
    r.run(2000);
    r.cycle.play(); // closes the section at 3000
    // Closed, the section keeps its end: the words typed now are its words.
    r.cycle.jumpBack();
    QCOMPARE(r.device.Position(), 3000);
    QCOMPARE(r.table.cell(1, 1), QString("3000"));

    // The replay keeps the speed: its second of media lasts two.
    r.cycle.replay();
    r.run(1900);
    QCOMPARE(r.device.mode(), DeviceMode::Playing);
    r.run(200);
    QCOMPARE(r.device.Position(), 3000);

    // At 2.0x a seek plays the first section from there; back three seconds
    // from 1800 is 0, and the replay goes on to its end.
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

QTEST_GUILESS_MAIN(TestCaptureCycle)
#include "tst_capturecycle.moc"

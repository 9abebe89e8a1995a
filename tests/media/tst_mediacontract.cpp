// The contract of MediaControl.h, kept alike by the fake device that window
// tests use and by the GStreamer device playing a real file in real time.

#include "MediaRig.h"
#include "TestMedia.h"

#include <QSignalSpy>
#include <QTemporaryDir>

using enum DeviceMode;

class TestMediaContract : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    const QString wav_ = TestMedia::generate(dir_.path(), TestMedia::Kind::Wav);

    // The device of this run with a 4 s file open.
    std::unique_ptr<MediaRig> rig() const
    {
        QFETCH_GLOBAL(bool, real);
        auto r = std::make_unique<MediaRig>(real);
        r->fake.addMedia(wav_, 4000);
        r->open(wav_);
        return r;
    }

private slots:
    void initTestCase_data()
    {
        QTest::addColumn<bool>("real");
        QTest::newRow("fake") << false;
        QTest::newRow("gstreamer") << true;
    }
    void initTestCase() { QVERIFY(!wav_.isEmpty()); }

    // From and To hold for one play; without them a play starts where the
    // device stands and runs to the end. A file that cannot be played leaves
    // the device not open, and every command harmless. StatusUpdate comes
    // every 100 ms, whether a file is open or not.
    void playStopsExactly()
    {
        auto r = rig();
        QCOMPARE(r->d().Length(), 4000);
        STEP(*r, "", Stopped, 0);
        STEP(*r, "from:1000 to:1800 play", Playing, 1000, 0);
        QVERIFY(r->waitFor([&r] { return r->d().Position() > 1000; }));
        STEP(*r, "end", Stopped, 1800, 800);
        STEP(*r, "reset play end", Stopped, 4000, 2200);
        STEP(*r, "reset from:3700 play end", Stopped, 4000, 300);
        STEP(*r, "from:2000 to:2000 play", Stopped, 2000, 300); // over at once
        STEP(*r, "from:0 to:600 play wait:300 reset from:0 to:600 play end", Stopped, 600, 600);
        QSignalSpy updates(&r->d(), &MediaControl::StatusUpdate);
        STEP(*r, "pause wait:500", Paused, 600);
        VERIFY_NEAR(updates.count(), 5, 3);
        QVERIFY(!r->open(dir_.filePath("missing.wav")));
        STEP(*r, "play pause close close wait:1000", NotOpen, 0);
        VERIFY_NEAR(updates.count(), 15, 5);
    }

    // Pause toggles, and a resumed play keeps its end. The workspace parks a
    // replay's end with To = length, play, pause: nothing may be heard then.
    // A jump moves a playing or paused device, keeping its mode and its end;
    // a stopped device stays. Paused where it stopped, the device plays on
    // to the end of the media.
    void pauseAndJump()
    {
        auto r = rig();
        r->run("from:500 to:1500 play wait:300 pause");
        const qint32 pausedAt = r->d().Position();
        STEP(*r, "wait:300", Paused, pausedAt, pausedAt - 500, 60);
        STEP(*r, "pause", Playing, -1);
        STEP(*r, "end", Stopped, 1500, 1000);
        STEP(*r, "to:4000 play pause wait:300", Paused, 1500, 1000);
        STEP(*r, "pause end", Stopped, 4000, 3500);
        STEP(*r, "pause", Paused, 4000, 3500); // at the end of the media
        STEP(*r, "pause end", Stopped, 4000, 3500);

        r->run("from:1000 to:2000 play wait:300 reset jump:1200"); // what follows may come at once
        QCOMPARE(r->d().mode(), Playing);
        VERIFY_NEAR(r->d().Position(), 1200, 40);
        STEP(*r, "end", Stopped, 2000, 800, 50);
        STEP(*r, "jump:500", Stopped, 2000, 800, 50);
        STEP(*r, "reset pause", Paused, 2000, 0);
        STEP(*r, "jump:0 wait:300", Paused, 0, 0);
        STEP(*r, "pause end", Stopped, 4000, 4000);
    }

    // The speed (0.5x to 2.0x) holds for every play until changed; changed
    // while playing or paused, it takes effect at once, from the same
    // position to the same end. Positions are the media's at every speed.
    void speedHolds()
    {
        auto r = rig();
        r->run("speed:100 from:1000 to:1400 play wait:400 pause");
        QCOMPARE(r->d().Speed(), int(MediaControl::MinimumSpeed));
        const qint32 pausedAt = r->d().Position();
        STEP(*r, "wait:200", Paused, pausedAt, 2 * (pausedAt - 1000), 100);
        STEP(*r, "pause end", Stopped, 1400, 800, 24);
        STEP(*r, "reset from:1000 to:1400 play end", Stopped, 1400, 800, 24);

        r->run("from:1000 to:2000 play wait:400");
        const qint32 changedAt = r->d().Position();
        STEP(*r, "reset speed:9000", Playing, -1);
        QCOMPARE(r->d().Speed(), int(MediaControl::MaximumSpeed));
        VERIFY_NEAR(r->d().Position(), changedAt, 40);
        STEP(*r, "end", Stopped, 2000, (2000 - changedAt) / 2, 50);

        r->run("from:2000 to:3000 play wait:100 pause");
        const qint32 held = r->d().Position();
        STEP(*r, "speed:1000", Paused, held);
        STEP(*r, "reset pause end", Stopped, 3000, 3000 - held, 30);
    }
};

QTEST_GUILESS_MAIN(TestMediaContract)
#include "tst_mediacontract.moc"

// The contract of MediaControl.h, kept alike by the fake device that window
// tests use and by the GStreamer device playing a real file in real time, into
// a measuring sink and through a real sound server.

#include "MediaRig.h"
#include "TestFiles.h"
#include "TestMedia.h"

#include "media/OutputKeeper.h"

#include <QTemporaryDir>

using enum DeviceMode;

class TestMediaContract : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    const QString wav_ = TestMedia::generate(dir_.path(), TestMedia::Kind::Wav);
    SoundServer server_;
    std::unique_ptr<MediaRig> r_; // the device of this run, with the 4 s file open

private slots:
    void initTestCase_data()
    {
        QTest::addColumn<int>("rig");
        QTest::newRow("fake") << 0;
        QTest::newRow("gstreamer") << 1;
        QTest::newRow("sound server") << 2;
    }
    void initTestCase()
    {
        QString why;
        QVERIFY2(server_.start(&why), qPrintable(why));
        server_.useForThisProcess();
        // As the program does at start-up, in time for the server to settle.
        OutputKeeper::keepOpen();
        QTest::qWait(2500);
    }
    void init()
    {
        QFETCH_GLOBAL(int, rig);
        r_ = rig == 2 ? std::make_unique<MediaRig>(server_) : std::make_unique<MediaRig>(rig == 1);
        r_->fake.addMedia(wav_, 4000);
        QVERIFY(r_->open(wav_));
        STEP(*r_, "", Stopped, 0);
    }

    // From and To hold for one play; without them a play starts where the
    // device stands and runs to the end. Pause toggles, and a resumed play
    // keeps its end. The workspace parks a replay's end with To = length,
    // play, pause: nothing may be heard then. Paused where it stopped, the
    // device plays on to the end of the media. A file that cannot be played
    // leaves the device not open, and every command harmless.
    void playAndPause()
    {
        STEP(*r_, "from:1000 to:1800 play", Playing, 1000, 0);
        STEP(*r_, "end", Stopped, 1800, 800);
        STEP(*r_, "reset play end", Stopped, 4000, 2200);
        STEP(*r_, "reset from:2000 to:2000 play", Stopped, 2000, 0); // over at once
        // A new play cuts the running one off: forget what was heard only once
        // it has, or a busy machine lets the old play's next buffer count.
        STEP(*r_, "from:0 to:600 play wait:300 from:0 to:600 play reset end", Stopped, 600, 600);
        r_->run("reset from:500 to:1500 play wait:300 pause");
        const qint32 pausedAt = r_->d().Position();
        STEP(*r_, "wait:300", Paused, pausedAt, pausedAt - 500, 60);
        STEP(*r_, "pause end", Stopped, 1500, 1000);
        STEP(*r_, "to:4000 play pause wait:300", Paused, 1500, 1000);
        STEP(*r_, "pause end", Stopped, 4000, 3500);
        STEP(*r_, "pause pause end", Stopped, 4000, 3500); // paused at the end of the media
        QVERIFY(!r_->open(dir_.filePath("missing.wav")));
        STEP(*r_, "play pause close close", NotOpen, 0);
    }

    // A jump moves a playing or paused device, keeping its mode and its end;
    // a stopped device stays. The speed (0.5x to 2.0x) holds for every play
    // until changed; changed while playing or paused, it takes effect at
    // once, from the same position to the same end. Positions are the
    // media's at every speed.
    void jumpAndSpeed()
    {
        STEP(*r_, "from:1000 to:2000 play wait:300 reset jump:1200", Playing, 1200, -1, 40);
        STEP(*r_, "end", Stopped, 2000, 800, 50);
        STEP(*r_, "jump:500", Stopped, 2000, 800, 50);
        STEP(*r_, "reset pause jump:0 wait:300", Paused, 0, 0);
        STEP(*r_, "pause end", Stopped, 4000, 4000);

        r_->run("reset speed:100 from:1000 to:1400 play wait:400 pause");
        QCOMPARE(r_->d().Speed(), int(MediaControl::MinimumSpeed));
        // Resumed on a fresh sound-server stream, the stretcher starts over:
        // the pause may cost up to a stretch window (under 50 ms of media).
        STEP(*r_, "wait:200 pause end", Stopped, 1400, 800, r_->monitor ? 100 : 24);
        STEP(*r_, "reset from:1000 to:1400 play end", Stopped, 1400, 800, 24);

        r_->run("from:1000 to:2000 play wait:400");
        const qint32 changedAt = r_->d().Position();
        STEP(*r_, "reset speed:9000", Playing, changedAt, -1, 40);
        QCOMPARE(r_->d().Speed(), int(MediaControl::MaximumSpeed));
        STEP(*r_, "end", Stopped, 2000, (2000 - changedAt) / 2, 50);

        r_->run("from:2000 to:3000 play wait:100 pause");
        const qint32 held = r_->d().Position();
        STEP(*r_, "speed:1000", Paused, held);
        STEP(*r_, "reset pause end", Stopped, 3000, 3000 - held, 30);
    }

    // A recording cut short while it plays stops where its sound ends and
    // says so, keeping its length; so does a play on from there.
    void cutShortWhilePlaying()
    {
        const QString cut = TestMedia::writeFile(dir_.path(), "cut.wav", TestFiles::read(wav_));
        r_->fake.addMedia(cut, 4000);
        QVERIFY(r_->open(cut));
        r_->run("reset play wait:100");
        if (r_->gst) // the last 1.5 s of 48 kHz 16-bit mono sound
            QVERIFY(QFile::resize(cut, QFileInfo(cut).size() - 144000));
        else
            r_->fake.cutShort(2500);
        STEP(*r_, "end", Stopped, 2500, 2500, 30);
        QVERIFY(r_->d().endedEarlyAt() == 2500 && r_->d().Length() == 4000);
        STEP(*r_, "pause pause end", Stopped, 2500, 2500, 30);
    }
};

QTEST_GUILESS_MAIN(TestMediaContract)
#include "tst_mediacontract.moc"

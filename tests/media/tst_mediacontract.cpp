// The contract the workspace relies on, checked on the real GStreamer device
// and on the fake that window tests use, so that the two cannot drift apart.

#include "FakeMediaControl.h"
#include "TestMedia.h"
#include "media/GstMediaControl.h"
#include "tools/SoundMeter.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// A device, a playable 4 s file for it, a way to let time pass, and an ear.
class Rig
{
public:
    virtual ~Rig() = default;
    virtual MediaControl& device() = 0;
    virtual QString playableFile() const = 0;
    virtual void elapse(int ms) = 0;
    virtual qint64 heardMs() const = 0;
    virtual void resetHeard() = 0;

    void open(const QString& path)
    {
        device().setFileName(path);
        device().setCommand("close");
        device().setCommand("open");
    }
    void play(qint32 from, qint32 to)
    {
        device().setFrom(from);
        device().setTo(to);
        device().setCommand("play");
    }
};

class FakeRig final : public Rig
{
public:
    FakeRig() { fake_.addMedia("/recordings/interview.wav", 4000); }
    MediaControl& device() override { return fake_; }
    QString playableFile() const override { return "/recordings/interview.wav"; }
    void elapse(int ms) override { fake_.advance(ms); }
    qint64 heardMs() const override { return fake_.playedMs(); }
    void resetHeard() override { fake_.resetPlayed(); }

private:
    FakeMediaControl fake_;
};

class GstRig final : public Rig
{
public:
    explicit GstRig(QString path) : path_(std::move(path)) {}
    MediaControl& device() override { return control_; }
    QString playableFile() const override { return path_; }
    void elapse(int ms) override { QTest::qWait(ms); }
    qint64 heardMs() const override { return (meter_.heardUs() + 500) / 1000; }
    void resetHeard() override { meter_.reset(); }

private:
    QString path_;
    SoundMeter meter_;
    GstMediaControl control_{[this] {
        return meter_.createSink();
    }};
};

// Real playback needs a little room on a busy machine.
constexpr int Slack = 400;

#define VERIFY_HEARD(rig, expectedMs)                                                              \
    QVERIFY2(                                                                                      \
        qAbs((rig)->heardMs() - (expectedMs)) <= 5,                                                \
        qPrintable(QString("heard %1 ms, expected %2").arg((rig)->heardMs()).arg(expectedMs)))

// Heard within `percent` of what a stretch at its speed lasts.
#define VERIFY_HEARD_WITHIN(rig, expectedMs, percent)                                              \
    QVERIFY2(                                                                                      \
        qAbs((rig)->heardMs() - (expectedMs)) <= qMax(5, (expectedMs) * (percent) / 100),          \
        qPrintable(QString("heard %1 ms, expected %2").arg((rig)->heardMs()).arg(expectedMs)))

} // namespace

class TestMediaContract : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    QString wav_;

    std::unique_ptr<Rig> rig(const QString& kind) const
    {
        if (kind == "fake")
            return std::make_unique<FakeRig>();
        return std::make_unique<GstRig>(wav_);
    }

    static void addRigs()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("fake") << "fake";
        QTest::newRow("gstreamer") << "gstreamer";
    }

private slots:
    void initTestCase()
    {
        wav_ = TestMedia::generate(dir_.path(), TestMedia::Kind::Wav);
        QVERIFY(!wav_.isEmpty());
    }

    void openFailsWithLengthZero_data() { addRigs(); }
    void openFailsWithLengthZero()
    {
        QFETCH(QString, kind);
        auto r = rig(kind);
        QCOMPARE(r->device().mode(), DeviceMode::NotOpen);
        r->device().setCommand("close");
        r->open(dir_.filePath("no-such-file.wav"));
        QCOMPARE(r->device().Length(), 0);
        QCOMPARE(r->device().mode(), DeviceMode::NotOpen);
        r->device().setCommand("play");
        r->device().setCommand("pause");
        QCOMPARE(r->device().mode(), DeviceMode::NotOpen);
        QCOMPARE(r->device().Position(), 0);
    }

    // From and To hold for one play; without them a play starts where the
    // device stands and runs to the end of the media.
    void stretchStopsExactlyAtTo_data() { addRigs(); }
    void stretchStopsExactlyAtTo()
    {
        QFETCH(QString, kind);
        auto r = rig(kind);
        r->open(r->playableFile());
        QCOMPARE(r->device().mode(), DeviceMode::Stopped);
        QCOMPARE(r->device().Position(), 0);
        QCOMPARE(r->device().Length(), 4000);

        r->play(1000, 1800);
        QCOMPARE(r->device().mode(), DeviceMode::Playing);
        QCOMPARE(r->device().Position(), 1000);
        r->elapse(400);
        QVERIFY(r->device().Position() > 1000 && r->device().Position() < 1800);
        r->elapse(400 + Slack);
        QCOMPARE(r->device().mode(), DeviceMode::Stopped);
        QCOMPARE(r->device().Position(), 1800);
        VERIFY_HEARD(r, 800);

        r->resetHeard();
        r->device().setCommand("play");
        r->elapse(2200 + Slack);
        QCOMPARE(r->device().mode(), DeviceMode::Stopped);
        QCOMPARE(r->device().Position(), 4000);
        VERIFY_HEARD(r, 2200);

        // From alone: to the end.
        r->resetHeard();
        r->device().setFrom(3700);
        r->device().setCommand("play");
        r->elapse(300 + Slack);
        QCOMPARE(r->device().Position(), 4000);
        VERIFY_HEARD(r, 300);

        // A play whose end is not after its start is over at once.
        r->play(2000, 2000);
        QCOMPARE(r->device().mode(), DeviceMode::Stopped);
        QCOMPARE(r->device().Position(), 2000);

        // Played again while playing, a stretch starts over.
        r->play(1000, 1600);
        r->elapse(300);
        r->resetHeard();
        r->play(1000, 1600);
        r->elapse(600 + Slack);
        QCOMPARE(r->device().Position(), 1600);
        VERIFY_HEARD(r, 600);
    }

    // The toggle, and the sequences the workspace uses around a replay.
    void pauseToggles_data() { addRigs(); }
    void pauseToggles()
    {
        QFETCH(QString, kind);
        auto r = rig(kind);
        r->open(r->playableFile());
        r->play(500, 1500);
        r->elapse(300);
        r->device().setCommand("pause");
        QCOMPARE(r->device().mode(), DeviceMode::Paused);
        const qint32 pausedAt = r->device().Position();
        r->elapse(1500);
        QCOMPARE(r->device().mode(), DeviceMode::Paused);
        QCOMPARE(r->device().Position(), pausedAt);

        // Resumes the same play, with the same end.
        r->device().setCommand("pause");
        QCOMPARE(r->device().mode(), DeviceMode::Playing);
        r->elapse(1500 - pausedAt + Slack);
        QCOMPARE(r->device().mode(), DeviceMode::Stopped);
        QCOMPARE(r->device().Position(), 1500);

        // A stopped device pauses where it stands; the end of a replay is
        // To = length, play, pause: paused at the section end. Nothing may
        // be heard meanwhile: the stretch's end left the pipeline playing.
        r->resetHeard();
        r->device().setCommand("pause");
        QCOMPARE(r->device().mode(), DeviceMode::Paused);
        QCOMPARE(r->device().Position(), 1500);
        r->device().setTo(r->device().Length());
        r->device().setCommand("play");
        r->device().setCommand("pause");
        QCOMPARE(r->device().mode(), DeviceMode::Paused);
        r->elapse(300);
        QCOMPARE(r->device().Position(), 1500);
        VERIFY_HEARD(r, 0);

        // Continue plays on to the end of the media.
        r->resetHeard();
        r->device().setCommand("pause");
        r->elapse(2500 + Slack);
        QCOMPARE(r->device().mode(), DeviceMode::Stopped);
        QCOMPARE(r->device().Position(), 4000);
        VERIFY_HEARD(r, 2500);

        // At the end of the media, pause and resume settle at the end.
        r->device().setCommand("pause");
        QCOMPARE(r->device().mode(), DeviceMode::Paused);
        QCOMPARE(r->device().Position(), 4000);
        r->device().setCommand("pause");
        r->elapse(Slack);
        QCOMPARE(r->device().mode(), DeviceMode::Stopped);
        QCOMPARE(r->device().Position(), 4000);
    }

    // The speed holds for every play until changed; changed while playing
    // or paused, it takes effect at once, from the same position to the same
    // end. Positions are the media's at every speed.
    void speedHoldsAcrossPlays_data() { addRigs(); }
    void speedHoldsAcrossPlays()
    {
        QFETCH(QString, kind);
        auto r = rig(kind);
        r->open(r->playableFile());
        r->device().setSpeed(500);
        QCOMPARE(r->device().Speed(), 500);
        r->resetHeard();
        r->play(1000, 1400);
        r->elapse(400);
        QVERIFY2(qAbs(r->device().Position() - 1200) <= 60,
                 qPrintable(QString::number(r->device().Position())));

        // Paused and resumed: the same speed, the same end, and the whole
        // stretch heard once.
        r->device().setCommand("pause");
        const qint32 pausedAt = r->device().Position();
        r->elapse(200);
        QCOMPARE(r->device().Position(), pausedAt);
        r->device().setCommand("pause");
        r->elapse((1400 - pausedAt) * 2 + Slack);
        QCOMPARE(r->device().mode(), DeviceMode::Stopped);
        QCOMPARE(r->device().Position(), 1400);
        VERIFY_HEARD_WITHIN(r, 800, 3);

        // A replay, and a play from where a seek let go, keep the speed.
        r->resetHeard();
        r->play(1000, 1400);
        r->elapse(800 + Slack);
        QCOMPARE(r->device().Position(), 1400);
        VERIFY_HEARD_WITHIN(r, 800, 3);

        // Faster while playing: from the same place to the same end.
        r->play(1000, 2000);
        r->elapse(400);
        const qint32 changedAt = r->device().Position();
        r->resetHeard();
        r->device().setSpeed(2000);
        QCOMPARE(r->device().mode(), DeviceMode::Playing);
        QVERIFY2(qAbs(r->device().Position() - changedAt) <= 40,
                 qPrintable(QString("%1 after %2").arg(r->device().Position()).arg(changedAt)));
        r->elapse((2000 - changedAt) / 2 + Slack);
        QCOMPARE(r->device().mode(), DeviceMode::Stopped);
        QCOMPARE(r->device().Position(), 2000);
        VERIFY_HEARD_WITHIN(r, (2000 - changedAt) / 2, 6);

        // Changed while paused, the speed is the resumed play's.
        r->play(2000, 2600);
        r->elapse(100);
        r->device().setCommand("pause");
        const qint32 held = r->device().Position();
        r->device().setSpeed(MediaControl::NormalSpeed);
        QCOMPARE(r->device().mode(), DeviceMode::Paused);
        QCOMPARE(r->device().Position(), held);
        r->resetHeard();
        r->device().setCommand("pause");
        r->elapse(2600 - held + Slack);
        QCOMPARE(r->device().Position(), 2600);
        VERIFY_HEARD_WITHIN(r, 2600 - held, 3);

        // The device's range is 0.5x to 2.0x.
        r->device().setSpeed(100);
        QCOMPARE(r->device().Speed(), int(MediaControl::MinimumSpeed));
        r->device().setSpeed(9000);
        QCOMPARE(r->device().Speed(), int(MediaControl::MaximumSpeed));
    }

    // A jump moves a playing or paused device and keeps its mode and its
    // end; a stopped device stays where it is.
    void jumpKeepsModeAndEnd_data() { addRigs(); }
    void jumpKeepsModeAndEnd()
    {
        QFETCH(QString, kind);
        auto r = rig(kind);
        r->open(r->playableFile());
        r->play(1000, 2000);
        r->elapse(500);
        // Counted from before the jump: the sound after it may start at once.
        r->resetHeard();
        r->device().jumpTo(1200);
        QCOMPARE(r->device().mode(), DeviceMode::Playing);
        QVERIFY2(qAbs(r->device().Position() - 1200) <= 40,
                 qPrintable(QString::number(r->device().Position())));
        r->elapse(800 + Slack);
        QCOMPARE(r->device().mode(), DeviceMode::Stopped);
        QCOMPARE(r->device().Position(), 2000);
        VERIFY_HEARD_WITHIN(r, 800, 3);

        r->device().jumpTo(500);
        QCOMPARE(r->device().mode(), DeviceMode::Stopped);
        QCOMPARE(r->device().Position(), 2000);

        r->play(2000, 3000);
        r->elapse(200);
        r->device().setCommand("pause");
        r->device().jumpTo(0);
        QCOMPARE(r->device().mode(), DeviceMode::Paused);
        QCOMPARE(r->device().Position(), 0);
        r->elapse(300);
        QCOMPARE(r->device().Position(), 0);
        r->device().setCommand("pause");
        r->elapse(3000 + Slack);
        QCOMPARE(r->device().Position(), 3000);
    }

    void statusUpdatesEvery100ms_data() { addRigs(); }
    void statusUpdatesEvery100ms()
    {
        QFETCH(QString, kind);
        auto r = rig(kind);
        QSignalSpy updates(&r->device(), &MediaControl::StatusUpdate);
        r->elapse(1000);
        QVERIFY2(updates.count() >= 8 && updates.count() <= 11,
                 qPrintable(QString::number(updates.count())));
        r->open(r->playableFile());
        r->play(0, 4000);
        r->device().setCommand("pause");
        updates.clear();
        r->elapse(500);
        QVERIFY2(updates.count() >= 4 && updates.count() <= 6,
                 qPrintable(QString::number(updates.count())));
    }
};

QTEST_GUILESS_MAIN(TestMediaContract)
#include "tst_mediacontract.moc"

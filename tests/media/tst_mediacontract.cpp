// The contract the workspace relies on, checked on the real GStreamer device
// and on the fake that window tests use, so that the two cannot drift apart.

#include "FakeMediaControl.h"
#include "TestMedia.h"
#include "media/GstMediaControl.h"
#include "media/SoundMeter.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// A device, a playable 4 s file for it, and a way to let time pass.
class Rig
{
public:
    virtual ~Rig() = default;
    virtual MediaControl& device() = 0;
    virtual QString playableFile() const = 0;
    virtual void elapse(int ms) = 0;

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

private:
    QString path_;
    SoundMeter meter_;
    GstMediaControl control_{[this] {
        return meter_.createSink();
    }};
};

// Real playback needs a little room on a busy machine.
constexpr int Slack = 400;

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
        QCOMPARE(r->device().Mode(), int(MediaControl::NotOpen));
        r->device().setCommand("close");
        r->open(dir_.filePath("no-such-file.wav"));
        QCOMPARE(r->device().Length(), 0);
        QCOMPARE(r->device().Mode(), int(MediaControl::NotOpen));
        r->device().setCommand("play");
        r->device().setCommand("pause");
        QCOMPARE(r->device().Mode(), int(MediaControl::NotOpen));
        QCOMPARE(r->device().Position(), 0);
    }

    void stretchStopsExactlyAtTo_data() { addRigs(); }
    void stretchStopsExactlyAtTo()
    {
        QFETCH(QString, kind);
        auto r = rig(kind);
        r->open(r->playableFile());
        QCOMPARE(r->device().Mode(), int(MediaControl::Stopped));
        QCOMPARE(r->device().Position(), 0);
        QCOMPARE(r->device().Length(), 4000);

        r->play(1000, 1800);
        QCOMPARE(r->device().Mode(), int(MediaControl::Playing));
        r->elapse(400);
        QVERIFY(r->device().Position() > 1000 && r->device().Position() < 1800);
        r->elapse(400 + Slack);
        QCOMPARE(r->device().Mode(), int(MediaControl::Stopped));
        QCOMPARE(r->device().Position(), 1800);

        // From and To were for that play only: this one runs from where the
        // device stands to the end.
        r->device().setCommand("play");
        r->elapse(2200 + Slack);
        QCOMPARE(r->device().Mode(), int(MediaControl::Stopped));
        QCOMPARE(r->device().Position(), 4000);
    }

    void pauseToggles_data() { addRigs(); }
    void pauseToggles()
    {
        QFETCH(QString, kind);
        auto r = rig(kind);
        r->open(r->playableFile());
        r->play(500, 1500);
        r->elapse(300);
        r->device().setCommand("pause");
        QCOMPARE(r->device().Mode(), int(MediaControl::Paused));
        const qint32 pausedAt = r->device().Position();
        r->elapse(1500);
        QCOMPARE(r->device().Mode(), int(MediaControl::Paused));
        QCOMPARE(r->device().Position(), pausedAt);

        // Resumes the same play, with the same end.
        r->device().setCommand("pause");
        QCOMPARE(r->device().Mode(), int(MediaControl::Playing));
        r->elapse(1500 - pausedAt + Slack);
        QCOMPARE(r->device().Mode(), int(MediaControl::Stopped));
        QCOMPARE(r->device().Position(), 1500);

        // A stopped device pauses where it stands; the end of a replay is
        // To = length, play, pause.
        r->device().setCommand("pause");
        QCOMPARE(r->device().Mode(), int(MediaControl::Paused));
        QCOMPARE(r->device().Position(), 1500);
        r->device().setTo(r->device().Length());
        r->device().setCommand("play");
        r->device().setCommand("pause");
        QCOMPARE(r->device().Mode(), int(MediaControl::Paused));
        r->elapse(300);
        QCOMPARE(r->device().Position(), 1500);
        r->device().setCommand("pause");
        r->elapse(2500 + Slack);
        QCOMPARE(r->device().Mode(), int(MediaControl::Stopped));
        QCOMPARE(r->device().Position(), 4000);
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

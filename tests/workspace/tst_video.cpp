// The picture of a video recording follows the device: the frame shown is
// the one at the position it reports, after a replay, a pause, a jump and a
// seek, and while it plays, at every speed. Nothing of the picture is
// decoded while the window is hidden.

#include "TestMedia.h"

#include "media/GstMediaControl.h"
#include "workspace/VideoWindow.h"

#include <gst/gst.h>

#include <QTemporaryDir>
#include <QTest>

class TestVideo : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    QString video_;

    // How far, in frames of 40 ms, the frame shown lies from the device's
    // position.
    static int framesOff(VideoWindow& window, const MediaControl& device)
    {
        const int shown = TestMedia::frameNumber(window.grab().toImage());
        return shown < 0 ? 1000 : qAbs(shown - device.Position() / 40);
    }

private slots:
    void initTestCase()
    {
        video_ = TestMedia::numberedVideo(dir_.path(), "numbered.mp4", 12, {192, 108});
        QVERIFY(!video_.isEmpty());
    }

    void framesAtThePosition_data()
    {
        QTest::addColumn<int>("speed");
        QTest::newRow("1.0x") << 1000;
        QTest::newRow("2.0x") << 2000;
    }
    void framesAtThePosition()
    {
        QFETCH(int, speed);
        GstMediaControl device;
        device.setFileName(video_);
        device.command(DeviceCommand::Open);
        QVERIFY(device.hasPicture());
        device.setSpeed(speed);
        VideoWindow window(device, nullptr);
        connect(&device, &MediaControl::StatusUpdate, &window, &VideoWindow::follow);
        window.resize(384, 300); // letterboxed above and below
        window.setMedia(video_, true);
        window.show();
        QVERIFY(window.isDecoding());
        const auto play = [&](qint32 from, qint32 to) {
            device.setFrom(from);
            device.setTo(to);
            device.command(DeviceCommand::Play);
            window.follow();
        };
        const auto showsPosition = [&](const char* after) {
            QTRY_VERIFY2_WITH_TIMEOUT(framesOff(window, device) <= 1, after, 3000);
        };

        play(1000, 2000); // a replay, to its end
        QTRY_VERIFY_WITH_TIMEOUT(device.mode() == DeviceMode::Stopped, 5000);
        QCOMPARE(device.Position(), 2000);
        showsPosition("a replay ended");

        play(6000, 11000); // a row further on, paused while it plays
        // Playing, the picture keeps up: never behind for long.
        for (int i = 0; i < 4; ++i) {
            QTest::qWait(150);
            QTRY_VERIFY2_WITH_TIMEOUT(framesOff(window, device) <= 2, "playing", 1000);
        }
        device.command(DeviceCommand::Pause);
        showsPosition("paused");
        device.jumpTo(device.Position() - 1500);
        window.follow();
        showsPosition("jumped back");
        play(3000, 4000); // a seek back
        device.command(DeviceCommand::Pause);
        showsPosition("sought back");

        // Hidden, the picture is not decoded, neither for the window nor for
        // the sound.
        QVERIFY(!device.usesElement("avdec_h264"));
        window.hide();
        QVERIFY(!window.isDecoding());
    }

    // A picture without sound plays in silence on its own timeline, its
    // plays stopping where they were asked to; a sound without a picture
    // says so in the window.
    void pictureOrSoundAlone()
    {
        const QString silent =
            TestMedia::numberedVideo(dir_.path(), "silent.mp4", 4, {192, 108}, false);
        GstMediaControl device;
        device.setFileName(silent);
        device.command(DeviceCommand::Open);
        QVERIFY(qAbs(device.Length() - 4000) <= 40);
        QVERIFY(device.hasPicture());
        QCOMPARE(device.soundOutput(), SoundOutput::Heard);
        VideoWindow window(device, nullptr);
        window.setMedia(silent, true);
        window.show();
        device.setFrom(1000);
        device.setTo(2000);
        device.command(DeviceCommand::Play);
        QTRY_VERIFY_WITH_TIMEOUT(device.mode() == DeviceMode::Stopped, 5000);
        QCOMPARE(device.Position(), 2000);
        window.follow();
        QTRY_VERIFY(framesOff(window, device) <= 1);

        const QString sound = TestMedia::generate(dir_.path(), TestMedia::Kind::M4a);
        device.setFileName(sound);
        device.command(DeviceCommand::Open);
        QVERIFY(!device.hasPicture());
        window.setMedia(sound, false);
        QVERIFY(!window.isDecoding());
        QCOMPARE(window.note(), "This recording has no picture.");
    }

    // A picture that no decoder installed can read: the sound plays as
    // usual, and the window says why there is no picture.
    void pictureUnreadable()
    {
        gst_init(nullptr, nullptr);
        QList<QPair<GstPluginFeature*, guint>> decoders;
        for (const char* name : {"avdec_h264", "openh264dec"}) {
            if (GstPluginFeature* decoder = gst_registry_lookup_feature(gst_registry_get(), name)) {
                decoders.append({decoder, gst_plugin_feature_get_rank(decoder)});
                gst_plugin_feature_set_rank(decoder, GST_RANK_NONE); // no longer chosen
            }
        }
        QVERIFY(!decoders.isEmpty());
        GstMediaControl device;
        device.setFileName(video_);
        device.command(DeviceCommand::Open);
        QVERIFY(device.Length() > 0);
        QVERIFY(device.hasPicture());
        VideoWindow window(device, nullptr);
        window.setMedia(video_, true);
        window.show();
        QTRY_COMPARE(window.note(),
                     "The picture of this recording cannot be shown. Its sound plays as usual.");
        device.setFrom(0);
        device.setTo(500);
        device.command(DeviceCommand::Play);
        QTRY_VERIFY_WITH_TIMEOUT(device.mode() == DeviceMode::Stopped, 5000);
        QCOMPARE(device.Position(), 500);
        for (const auto& [decoder, rank] : decoders) {
            gst_plugin_feature_set_rank(decoder, rank);
            gst_object_unref(decoder);
        }
    }
};

QTEST_MAIN(TestVideo)
#include "tst_video.moc"

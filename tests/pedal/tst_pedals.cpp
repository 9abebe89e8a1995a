#include "InputFolders.h"
#include "TestWindow.h"
#include "Unprivileged.h"

#include "controls/AquaButton.h"
#include "controls/ProblemBar.h"
#include "pedal/FootPedalDialog.h"
#include "pedal/FootPedals.h"
#include "pedal/InputEvents.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <linux/input.h>
#include <unistd.h>

namespace {

const QString Media = "/recordings/interview.wav";
constexpr quint16 VecVendor = 0x05f3, VecProduct = 0x00ff;

struct PedalWindow : TestWindow
{
    InputFolders folders;
    PedalWindow()
    {
        device.addMedia(Media, 60000);
        w.setMediaFile(Media);
    }
    void watch() { w.pedals().watch(folders.devFolder(), folders.sysFolder()); }
    int rows() { return w.table().rowCount(); }
};

void forgetSettings()
{
    QSettings(QStringLiteral("Kelvane"), QStringLiteral("Kelvane")).clear();
}

} // namespace

class TestPedals : public QObject
{
    Q_OBJECT

private slots:
    void init() { forgetSettings(); }
    void pedalsPressTheKeys();
    void devicesComeAndGo();
    void learnedMapping();
    void pedalNotAllowed();
};

// Left, middle and right of a known pedal are Jump Back, F11 and F12, as the
// keys, whichever window has the focus; held down, the middle one plays
// until it is let go once the user asks for that.
void TestPedals::pedalsPressTheKeys()
{
    PedalWindow t;
    auto& [device, prompts, w, c] = static_cast<TestWindow&>(t);
    const int pedal = t.folders.plug(3, VecVendor, VecProduct, "VEC  VEC USB Footpedal");
    QVERIFY(pedal >= 0);
    t.watch();
    QCOMPARE(w.pedals().devices().size(), 1);
    QVERIFY(w.pedals().isReading(w.pedals().devices().first()));

    QVERIFY(InputFolders::send(
        pedal, {{BTN_1, 1}, {BTN_1, 2}, {BTN_1, 2}, {BTN_1, 0}})); // repeats are no presses
    QTRY_COMPARE(device.mode(), DeviceMode::Playing);
    QTest::qWait(50);
    QCOMPARE(device.commands().count("play"), 1);
    device.advance(5000);
    w.Timer1_Timer();
    QVERIFY(InputFolders::send(pedal, {{BTN_0, 1}, {BTN_0, 0}}));
    QTRY_COMPARE(device.Position(), 2000);
    // A record split between two reads still counts.
    const QByteArray press = InputFolders::records({{BTN_1, 1}});
    QCOMPARE(::write(pedal, press.constData(), 10), 10);
    QTest::qWait(20);
    QCOMPARE(device.mode(), DeviceMode::Playing);
    QCOMPARE(::write(pedal, press.constData() + 10, size_t(press.size() - 10)),
             ssize_t(press.size() - 10));
    QTRY_COMPARE(device.mode(), DeviceMode::Paused);
    w.Timer1_Timer();
    QCOMPARE(c.cmdPlay->Caption(), QString("Continue (F11)"));
    QTest::keyClicks(c.txtScript, "first");
    QVERIFY(InputFolders::send(pedal, {{BTN_1, 0}, {BTN_2, 1}, {BTN_2, 0}}));
    QTRY_COMPARE(w.cycle().phase(), CaptureCycle::Phase::Replaying);
    QCOMPARE(c.txtScript->toPlainText(), QString("first"));
    device.advance(3000);
    w.Timer1_Timer();

    // Hold to play: a press plays (here a Continue, which keeps the text), a
    // release pauses, closing the next section.
    PedalMapping hold = w.pedals().mapping(w.pedals().devices().first());
    hold.holdToPlay = true;
    w.pedals().preview(w.pedals().devices().first(), hold);
    QVERIFY(InputFolders::send(
        pedal, {{BTN_1, 1}, {BTN_1, 2}, {BTN_1, 2}})); // held: the repeats are no release
    QTRY_COMPARE(t.rows(), 2);
    QCOMPARE(device.mode(), DeviceMode::Playing);
    QCOMPARE(w.table().cell(0, SectionTableModel::TextColumn), QString("first"));
    device.advance(1500);
    w.Timer1_Timer();
    QVERIFY(InputFolders::send(pedal, {{BTN_1, 0}}));
    QTRY_COMPARE(device.mode(), DeviceMode::Paused);
    w.Timer1_Timer();
    QCOMPARE(w.cycle().sectionEnd() - w.cycle().sectionStart(), 1500);
    QCOMPARE(t.rows(), 2);
    QVERIFY(c.txtScript->toPlainText().isEmpty());
    // A release while paused does not start the sound.
    QVERIFY(InputFolders::send(pedal, {{BTN_1, 0}}));
    QTest::qWait(50);
    QCOMPARE(device.mode(), DeviceMode::Paused);
    // Unplugged while held down, the pedal is let go.
    QVERIFY(InputFolders::send(pedal, {{BTN_1, 1}}));
    QTRY_COMPARE(device.mode(), DeviceMode::Playing);
    t.folders.unplug(3, pedal);
    QTRY_COMPARE(device.mode(), DeviceMode::Paused);
}

// A pedal plugged in later is read; an unplugged one is let go, and found
// again when it comes back. Other devices are read only once picked.
void TestPedals::devicesComeAndGo()
{
    PedalWindow t;
    auto& [device, prompts, w, c] = static_cast<TestWindow&>(t);
    const int keyboard = t.folders.plug(1, 0x046d, 0xc31c, "USB Keyboard");
    t.watch();
    QCOMPARE(w.pedals().devices().size(), 1);
    QVERIFY(!w.pedals().isReading(w.pedals().devices().first()));

    int pedal = t.folders.plug(4, VecVendor, VecProduct, "VEC  VEC USB Footpedal");
    QTRY_COMPARE(w.pedals().devices().size(), 2);
    QTRY_VERIFY(w.pedals().isReading(w.pedals().devices().last()));
    QCOMPARE(device.mode(), DeviceMode::NotOpen);
    QVERIFY(InputFolders::send(pedal, {{BTN_1, 1}}));
    QTRY_COMPARE(device.mode(), DeviceMode::Playing);

    t.folders.unplug(4, pedal);
    QTRY_COMPARE(w.pedals().devices().size(), 1);
    pedal = t.folders.plug(5, VecVendor, VecProduct, "VEC  VEC USB Footpedal");
    QTRY_VERIFY(w.pedals().devices().size() == 2 &&
                w.pedals().isReading(w.pedals().devices().last()));
    QVERIFY(InputFolders::send(pedal, {{BTN_1, 1}}));
    QTRY_COMPARE(device.mode(), DeviceMode::Paused);

    // The pedal's end closes while its node stays: it is let go at once.
    ::close(pedal);
    QTRY_VERIFY(!w.pedals().isReading(w.pedals().devices().last()));

    PedalMapping picked = w.pedals().mapping(w.pedals().devices().first());
    picked.use = true;
    w.pedals().preview(w.pedals().devices().first(), picked);
    QVERIFY(w.pedals().isReading(w.pedals().devices().first()));
    QVERIFY(InputFolders::send(keyboard, {{BTN_1, 1}}));
    QTRY_COMPARE(device.mode(), DeviceMode::Playing);
    ::close(keyboard);
}

// The dialog learns a pedal from its press, kept per device in the user's
// settings on OK; Cancel goes back to what was kept. Pedals drive nothing
// while it is open.
void TestPedals::learnedMapping()
{
    PedalWindow t;
    auto& [device, prompts, w, c] = static_cast<TestWindow&>(t);
    const int pedal = t.folders.plug(2, VecVendor, VecProduct, "VEC  VEC USB Footpedal");
    t.watch();
    {
        FootPedalDialog dialog(w.pedals(), &w);
        dialog.show();
        auto* list = dialog.findChild<QListWidget*>("devices");
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->text(), QString("VEC VEC USB Footpedal (05f3:00ff): foot pedal"));
        QCOMPARE(list->currentRow(), 0);
        QCOMPARE(dialog.findChild<QLabel*>("key1")->text(), QString("Button 2"));
        QTest::mouseClick(dialog.findChild<QPushButton*>("learn0"), Qt::LeftButton);
        QVERIFY(InputFolders::send(pedal, {{KEY_F13, 1}, {KEY_F13, 0}}));
        QTRY_COMPARE(dialog.findChild<QLabel*>("key0")->text(), QString("F13"));
        QVERIFY(dialog.findChild<QLabel*>("note")->text().isEmpty());
        // A key that types is learned, with a warning; it leaves the action it
        // stood for.
        QTest::mouseClick(dialog.findChild<QPushButton*>("learn2"), Qt::LeftButton);
        QVERIFY(InputFolders::send(pedal, {{KEY_A, 1}, {KEY_A, 0}}));
        QTRY_COMPARE(dialog.findChild<QLabel*>("key2")->text(), QString("A"));
        QVERIFY(dialog.findChild<QLabel*>("note")->text().contains("also types \"A\""));
        QTest::mouseClick(dialog.findChild<QPushButton*>("learn1"), Qt::LeftButton);
        QVERIFY(InputFolders::send(pedal, {{KEY_A, 1}, {BTN_1, 1}}));
        QTRY_COMPARE(dialog.findChild<QLabel*>("key1")->text(), QString("A"));
        QCOMPARE(dialog.findChild<QLabel*>("key2")->text(), QString("none"));
        dialog.findChild<QCheckBox*>("holdToPlay")->setChecked(true);
        QCOMPARE(device.mode(), DeviceMode::NotOpen);
        dialog.accept();
    }
    FootPedals fresh;
    fresh.watch(t.folders.devFolder(), t.folders.sysFolder());
    const PedalMapping kept = fresh.mapping(fresh.devices().first());
    QCOMPARE(QList<int>({kept.jumpBack, kept.playPause, kept.replay}),
             QList<int>({KEY_F13, KEY_A, -1}));
    QVERIFY(kept.holdToPlay);
    {
        FootPedalDialog dialog(w.pedals(), &w);
        QTest::mouseClick(dialog.findChild<QPushButton*>("learn0"), Qt::LeftButton);
        QVERIFY(InputFolders::send(pedal, {{KEY_F11, 1}}));
        QTRY_COMPARE(dialog.findChild<QLabel*>("key0")->text(), QString("F11"));
        QVERIFY(dialog.findChild<QLabel*>("note")->text().contains("each press would count twice"));
        dialog.reject();
    }
    QCOMPARE(w.pedals().mapping(w.pedals().devices().first()), kept);
    QVERIFY(InputFolders::send(pedal, {{KEY_A, 1}}));
    QTRY_COMPARE(device.mode(), DeviceMode::Playing);
    device.advance(4000); // no status tick: the release pauses all the same
    QVERIFY(InputFolders::send(pedal, {{KEY_F13, 1}, {KEY_A, 0}}));
    QTRY_COMPARE(device.mode(), DeviceMode::Paused);
    QCOMPARE(device.Position(), 1000);
    ::close(pedal);
}

// A pedal this user may not read is named in the window's bar and the
// dialog, with how to allow it, until it can be read.
void TestPedals::pedalNotAllowed()
{
    if (Unprivileged::runningAsRoot()) {
        QVERIFY(Unprivileged::rerun("pedalNotAllowed"));
        return;
    }
    PedalWindow t;
    auto& [device, prompts, w, c] = static_cast<TestWindow&>(t);
    QCOMPARE(t.folders.plug(7, VecVendor, VecProduct, "VEC  VEC USB Footpedal", 0), -1);
    t.watch();
    const QString node = t.folders.node(7);
    QVERIFY(c.problemBar->text().contains("VEC VEC USB Footpedal (05f3:00ff) at " + node +
                                          " cannot be used: this user may not read it"));
    QVERIFY(c.problemBar->text().contains("\"uaccess\""));
    {
        FootPedalDialog dialog(w.pedals(), &w);
        QVERIFY(dialog.findChild<QListWidget*>("devices")->item(0)->text().endsWith(
            ": may not be read"));
        QCOMPARE(dialog.findChild<QLabel*>("note")->text(), w.pedals().notAllowedText());
    }
    // Allowed, as the system does when its rule applies.
    QVERIFY(QFile::setPermissions(node, QFile::ReadOwner | QFile::WriteOwner));
    const int pedal = ::open(QFile::encodeName(node).constData(), O_RDWR | O_NONBLOCK);
    QVERIFY(pedal >= 0);
    QCOMPARE(t.folders.plug(8, 0x046d, 0xc31c, "USB Keyboard") >= 0, true);
    QTRY_VERIFY(c.problemBar->isHidden());
    QVERIFY(w.pedals().isReading(w.pedals().devices().first()));
    QVERIFY(InputFolders::send(pedal, {{BTN_1, 1}}));
    QTRY_COMPARE(device.mode(), DeviceMode::Playing);
}

QTEST_MAIN(TestPedals)
#include "tst_pedals.moc"

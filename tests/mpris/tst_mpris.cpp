#include "TestWindow.h"

#include "mpris/MprisService.h"
#include "workspace/SectionGrid.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDialog>
#include <QLabel>
#include <QLoggingCategory>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

// The window on a session bus of the test's own, as the desktop's media keys
// and player applets reach it: a second connection calls every method and
// reads every property, and hears what the program sends.

namespace {

const QString Media = "/recordings/interview.wav";
const QString Root = "org.mpris.MediaPlayer2", Player = "org.mpris.MediaPlayer2.Player";
const QString Properties = "org.freedesktop.DBus.Properties";

// A window with the recording named, not yet played, and the service on it.
struct Rig : TestWindow
{
    MprisService mpris;
    explicit Rig(const QDBusConnection& bus) : mpris(w, bus)
    {
        device.addMedia(Media, 60000);
        prompts.scriptFiles({Media});
        w.menuOpen_Click();
    }
};

} // namespace

class TestMpris : public QObject
{
    Q_OBJECT

public slots:
    // What the client hears.
    void changed(const QString&, const QVariantMap& properties, const QStringList&)
    {
        heard_.changes << properties.keys();
        heard_.values.insert(properties);
    }
    void seeked(qlonglong position) { heard_.seeks << position; }

private slots:
    void initTestCase()
    {
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        QVERIFY(daemon_.waitForReadyRead(10000));
        const QString address = QString::fromUtf8(daemon_.readLine()).trimmed();
        program_ = QDBusConnection::connectToBus(address, "program");
        client_ = QDBusConnection::connectToBus(address, "client");
        QVERIFY(program_.isConnected() && client_.isConnected());
        QVERIFY(client_.connect(MprisService::ServiceName, MprisService::ObjectPath, Properties,
                                "PropertiesChanged", this,
                                SLOT(changed(QString, QVariantMap, QStringList))));
        QVERIFY(client_.connect(MprisService::ServiceName, MprisService::ObjectPath, Player,
                                "Seeked", this, SLOT(seeked(qlonglong))));
    }
    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus("program");
        QDBusConnection::disconnectFromBus("client");
        daemon_.kill();
        daemon_.waitForFinished();
    }
    void init() { heard_ = {}; }

    void propertiesFollowTheWindow();
    void methodsPressTheKeys();
    void withoutTheName();

private:
    // A call as the desktop makes it, answered while the test's event loop runs.
    QDBusMessage call(const QString& interface, const QString& method,
                      const QVariantList& args = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(
            MprisService::ServiceName, MprisService::ObjectPath, interface, method);
        message.setArguments(args);
        return client_.call(message, QDBus::BlockWithGui);
    }
    QVariantMap all(const QString& interface)
    {
        const QDBusMessage reply = call(Properties, "GetAll", {interface});
        return qdbus_cast<QVariantMap>(reply.arguments().value(0));
    }
    QVariant get(const QString& name)
    {
        const QDBusMessage reply = call(Properties, "Get", {Player, name});
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    void set(const QString& name, double value)
    {
        call(Properties, "Set", {Player, name, QVariant::fromValue(QDBusVariant(value))});
    }
    QDBusObjectPath track()
    {
        return qdbus_cast<QVariantMap>(get("Metadata"))["mpris:trackid"].value<QDBusObjectPath>();
    }

    QProcess daemon_;
    QDBusConnection program_{QString()}, client_{QString()};
    struct
    {
        QList<QStringList> changes; // the names of the properties each signal says changed
        QVariantMap values;         // the last value sent of each
        QList<qlonglong> seeks;     // the positions sent by Seeked
    } heard_;
};

void TestMpris::propertiesFollowTheWindow()
{
    TestWindow t;
    auto& [device, prompts, w, c] = t;
    const MprisService mpris(w, program_);
    QVERIFY(mpris.isRegistered());
    QCOMPARE(client_.interface()->serviceOwner(MprisService::ServiceName).value(),
             program_.baseService());
    // Both interfaces' properties, by name in order.
    const QVariantMap root = all(Root);
    QCOMPARE(root.keys(), QStringList({"CanQuit", "CanRaise", "DesktopEntry", "HasTrackList",
                                       "Identity", "SupportedMimeTypes", "SupportedUriSchemes"}));
    QCOMPARE(root.values(), QVariantList({false, true, "kelvane", false, "Kelvane", QStringList(),
                                          QStringList()}));
    call(Root, "Quit");
    call(Root, "Raise");
    QVERIFY(w.isVisible());
    // No recording: no track, and nothing to play.
    QVariantMap player = all(Player);
    QCOMPARE(qdbus_cast<QVariantMap>(player.take("Metadata")),
             QVariantMap({{"mpris:trackid", QVariant::fromValue(QDBusObjectPath(
                                                "/org/mpris/MediaPlayer2/TrackList/NoTrack"))}}));
    QCOMPARE(player.keys(),
             QStringList({"CanControl", "CanGoNext", "CanGoPrevious", "CanPause", "CanPlay",
                          "CanSeek", "LoopStatus", "MaximumRate", "MinimumRate", "PlaybackStatus",
                          "Position", "Rate", "Shuffle", "Volume"}));
    QCOMPARE(player.values(), QVariantList({true, false, false, false, false, false, "None", 2.0,
                                            0.5, "Stopped", 0LL, 1.0, false, 1.0}));
    // Named, played, paused: each change is sent once, alone, as the window shows it.
    device.addMedia(Media, 60000);
    prompts.scriptFiles({Media});
    w.menuOpen_Click();
    QTRY_COMPARE(heard_.changes.value(0),
                 QStringList({"CanGoPrevious", "CanPause", "CanPlay", "CanSeek", "Metadata"}));
    w.menuPlay_Click();
    device.advance(2500);
    w.Timer1_Timer();
    QTRY_COMPARE(heard_.values.value("PlaybackStatus"), QVariant("Playing"));
    const QVariantMap metadata = qdbus_cast<QVariantMap>(get("Metadata"));
    QCOMPARE(
        QVariantList({metadata["mpris:length"], metadata["xesam:title"], metadata["xesam:url"]}),
        QVariantList({60000000LL, c.lblMediaFile->text(), "file:///recordings/interview.wav"}));
    QCOMPARE(qdbus_cast<QVariantMap>(heard_.values.value("Metadata")), metadata);
    QCOMPARE(get("Position"), QVariant(qlonglong(device.Position()) * 1000));
    w.menuPlay_Click();
    w.Timer1_Timer();
    QCOMPARE(get("PlaybackStatus"), QVariant("Paused"));
    QTRY_COMPARE(heard_.values.value("PlaybackStatus"), QVariant("Paused"));
    // Rate and Volume are the speed and volume keys'; a rate of 0 pauses.
    const qsizetype before = heard_.changes.size();
    w.Timer1_Timer();
    set("Rate", 1.5);
    set("Volume", 0.5);
    QTRY_COMPARE(heard_.changes.mid(before), QList<QStringList>({{"Rate"}, {"Volume"}}));
    QCOMPARE(QList<int>({device.Speed(), device.Volume()}), QList<int>({1500, 50}));
    QCOMPARE(c.lblSpeed->text() + " " + c.lblVolume->text(), QString("Speed 1.5x Volume 50%"));
    QCOMPARE(QVariantList({heard_.values["Rate"], heard_.values["Volume"]}),
             QVariantList({1.5, 0.5}));
    set("Rate", 9.0);
    set("Volume", -1.0);
    QCOMPARE(QList<int>({device.Speed(), device.Volume()}), QList<int>({2000, 0}));
    w.menuPlay_Click(); // Continue
    w.Timer1_Timer();
    set("Rate", 0.0);
    QCOMPARE(device.mode(), DeviceMode::Paused);
    QCOMPARE(device.Speed(), 2000);
}

void TestMpris::methodsPressTheKeys()
{
    Rig t(program_);
    auto& [device, prompts, w, c] = static_cast<TestWindow&>(t);
    // F11 as PlayPause: capture, pause, continue. Play and Pause act only where they would
    // start or stop the sound; Next and OpenUri do nothing.
    call(Player, "Pause");
    call(Player, "PlayPause");
    device.advance(2500);
    w.Timer1_Timer();
    call(Player, "Play");
    call(Player, "Next");
    call(Player, "OpenUri", {"file:///recordings/other.wav"});
    QCOMPARE(device.commands(), QStringList({"close", "close", "open", "play"}));
    call(Player, "Stop");
    w.Timer1_Timer();
    call(Player, "Pause");
    QCOMPARE(device.mode(), DeviceMode::Paused);
    // A seek back leaves a closed section alone, and goes no further than an open one's start.
    call(Player, "Seek", {-1000000LL});
    QCOMPARE(device.Position(), 2500);
    call(Player, "Play");
    QCOMPARE(c.oGrid->text(2, 0), QString("2500"));
    device.advance(1000);
    call(Player, "Seek", {-3000000LL});
    QCOMPARE(device.Position(), 2500);
    device.advance(2000);
    call(Player, "Seek", {-1000000LL});
    QCOMPARE(device.Position(), 3500);
    // Previous replays the closed section; a seek forward and a position go as the seek bar.
    call(Player, "PlayPause");
    w.Timer1_Timer();
    call(Player, "Previous");
    QCOMPARE(QList<qint32>({device.From(), device.To(), device.Position()}),
             QList<qint32>({2500, 3500, 2500}));
    call(Player, "Seek", {400000LL});
    QCOMPARE(QList<qint32>({device.From(), device.To()}), QList<qint32>({2900, 3500}));
    QCOMPARE(c.lblCurrent->text(), QString("00:00:02"));
    call(Player, "SetPosition", {QVariant::fromValue(track()), 1000000LL});
    QCOMPARE(QList<qint32>({device.From(), device.To()}), QList<qint32>({1000, 2500}));
    QCOMPARE(c.lblCurrent->text(), QString("00:00:01"));
    QTRY_COMPARE(heard_.seeks, QList<qlonglong>({2500000, 3500000, 2500000, 2900000, 1000000}));
    // Another track's id, or a place outside the recording, is ignored.
    call(Player, "SetPosition", {QVariant::fromValue(QDBusObjectPath("/org/kelvane/other")), 0LL});
    call(Player, "SetPosition", {QVariant::fromValue(track()), 61000000LL});
    QCOMPARE(device.From(), 1000);
    QCOMPARE(c.oGrid->rows(), 3);
    QVERIFY(c.txtScript->toPlainText().isEmpty() && !prompts.unexpected);
    // While one of the program's questions waits, no key reaches the window, nor does a call.
    const QStringList sent = device.commands();
    device.advance(500);
    QDialog question(&w);
    question.setModal(true);
    question.show();
    for (const char* method : {"PlayPause", "Pause", "Stop", "Previous"})
        call(Player, method);
    call(Player, "Seek", {-1000000LL});
    call(Player, "Seek", {1000000LL});
    call(Player, "SetPosition", {QVariant::fromValue(track()), 0LL});
    set("Rate", 1.5);
    set("Volume", 0.5);
    QCOMPARE(device.commands(), sent);
    QCOMPARE(QList<qint32>({device.Position(), device.From(), device.Speed(), device.Volume()}),
             QList<qint32>({1500, 1000, 1000, 100}));
    question.close();
    call(Player, "Previous"); // the section from its start
    QCOMPARE(device.Position(), 0);
}

// The name taken by another program, or no bus at all: the window runs on without the service.
void TestMpris::withoutTheName()
{
    QLoggingCategory::setFilterRules("kelvane.mpris.debug=true");
    QVERIFY(client_.registerService(MprisService::ServiceName));
    {
        Rig t(program_);
        QVERIFY(!t.mpris.isRegistered());
        QCOMPARE(client_.interface()->serviceOwner(MprisService::ServiceName).value(),
                 client_.baseService());
    }
    QVERIFY(client_.unregisterService(MprisService::ServiceName));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("no media keys: no session bus.*"));
    Rig t(QDBusConnection::connectToBus("unix:path=/nonexistent", "none"));
    QVERIFY(!t.mpris.isRegistered());
    // Registered again once the name is free.
    Rig again(program_);
    QVERIFY(again.mpris.isRegistered());
}

QTEST_MAIN(TestMpris)
#include "tst_mpris.moc"

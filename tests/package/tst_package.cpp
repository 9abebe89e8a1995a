#include "ProgramUnderTest.h"
#include "TestFiles.h"
#include "TestMedia.h"
#include "XServer.h"

#include "storage/ProjectFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QXmlStreamReader>

namespace {

// Runs `program` to its end: its output, prefixed "failed" unless it exited 0 in time.
QString run(const QString& program, const QStringList& args)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    const bool ok = process.waitForFinished(120000) && process.exitCode() == 0 &&
                    process.exitStatus() == QProcess::NormalExit;
    process.kill();
    const QString output = QString::fromLocal8Bit(process.readAll());
    return ok ? output : "failed: " + program + ' ' + args.join(' ') + '\n' + output;
}

// The keys of a desktop entry (its only group).
QMap<QString, QString> desktopEntry(const QByteArray& text)
{
    QMap<QString, QString> keys;
    for (const QString& line : QString::fromUtf8(text).split('\n'))
        if (line.contains('=') && !line.startsWith('#'))
            keys.insert(line.section('=', 0, 0).trimmed(), line.section('=', 1).trimmed());
    return keys;
}

} // namespace

// The Debian package as a user gets it: built by scripts/package, unpacked
// into a folder of its own, and run from there.
class TestPackage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void controlNamesWhatTheProgramNeeds();
    void installedProgramOpensItsOwnGuide();
    void desktopFindsProgramIconAndProjectFiles();

private:
    QTemporaryDir work_;
    QString deb_;
    QString root_; // where the package is unpacked; its programs are in usr/bin
};

void TestPackage::initTestCase()
{
    QVERIFY(work_.isValid());
    // cpack stages and writes into a folder of this test's own, beside `make package`.
    const QString out = work_.filePath("deb");
    const QString package = run(KELVANE_SOURCE_DIR "/scripts/package", {KELVANE_BUILD_DIR, out});
    QVERIFY2(!package.startsWith("failed"), qPrintable(package));
    const QStringList debs = QDir(out).entryList({"*.deb"}, QDir::Files);
    QCOMPARE(debs.size(), 1);
    QVERIFY2(debs.first().startsWith(QStringLiteral("kelvane_" KELVANE_VERSION_STRING "_")),
             qPrintable(debs.first()));
    deb_ = QDir(out).filePath(debs.first());
    QVERIFY(QDir().mkpath(work_.filePath("root")));
    root_ = QFileInfo(work_.filePath("root")).canonicalFilePath();
    const QString unpack = run("dpkg-deb", {"-x", deb_, root_});
    QVERIFY2(!unpack.startsWith("failed"), qPrintable(unpack));
}

void TestPackage::controlNamesWhatTheProgramNeeds()
{
    const QString fields =
        run("dpkg-deb", {"--field", deb_, "Package", "Version", "Section", "Depends"});
    QVERIFY2(fields.startsWith("Package: kelvane\nVersion: " KELVANE_VERSION_STRING
                               "\nSection: sound\n"),
             qPrintable(fields));
    const QString depends = fields.section("Depends: ", 1).section(u'\n', 0, 0);
    QStringList names;
    for (const QString& item : depends.split(u',', Qt::SkipEmptyParts))
        names << item.trimmed().section(u' ', 0, 0);
    // Loaded at run time only, so named by hand ...
    for (const char* name :
         {"gstreamer1.0-plugins-base", "gstreamer1.0-plugins-good", "gstreamer1.0-plugins-bad",
          "gstreamer1.0-plugins-ugly", "gstreamer1.0-libav", "gstreamer1.0-pulseaudio",
          "qt6-qpa-plugins", "fonts-liberation", "xdg-utils"})
        QVERIFY2(names.contains(QLatin1String(name)), name);
    // ... and the linked libraries found by dpkg-shlibdeps.
    for (const char* name : {"libqt6widgets6", "libgstreamer1.0-0", "libc6"})
        QVERIFY2(names.contains(QLatin1String(name)), qPrintable(depends));
}

// The installed program opens a project named on its command line, as the
// desktop's menu entry passes it, finds its help pages beside its own bin
// folder and hands the user guide to the desktop's launcher when F1 is pressed.
void TestPackage::installedProgramOpensItsOwnGuide()
{
    const QString program = root_ + "/usr/bin/kelvane";
    const QString guide = root_ + "/usr/share/kelvane/help/user-guide.html";
    QVERIFY(QFileInfo(program).isExecutable());
    // The guide is there with the style sheet it links.
    const QString html = QString::fromUtf8(TestFiles::read(guide));
    const QRegularExpressionMatch css =
        QRegularExpression(QStringLiteral(R"re(<link rel="stylesheet" href="([^"]+)")re"))
            .match(html);
    QVERIFY2(css.hasMatch(), "the guide links its style sheet");
    QVERIFY(QFileInfo(QFileInfo(guide).dir().filePath(css.captured(1))).isFile());
    XServer x;
    QVERIFY2(x.start(), qPrintable(x.error()));
    QTemporaryDir home;
    ProgramUnderTest kelvane(x, home.path());
    // Stands in for the desktop's xdg-open: records the address it is given.
    const QString opened = home.filePath("opened.txt");
    const QString launcher = home.filePath("bin/xdg-open");
    QVERIFY(QDir(home.path()).mkpath("bin"));
    QVERIFY(TestFiles::write(launcher,
                             "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + opened.toUtf8() + "'\n"));
    QVERIFY(QFile::setPermissions(launcher, QFile::ReadOwner | QFile::ExeOwner));
    kelvane.environment().insert("PATH",
                                 home.filePath("bin") + ':' + kelvane.environment().value("PATH"));
    // A project of one section over a short recording.
    const QString media = TestMedia::generate(home.path(), TestMedia::Kind::Wav, 2);
    QVERIFY(!media.isEmpty());
    const QString project = home.filePath("interview.kvprj");
    QVERIFY(TestFiles::write(
        project, projectFileBytes({media, {{"0", "1000", "00:00:00", "00:00:01", "Hello."}}})));
    QVERIFY(kelvane.start(program, {project}));
    const QString window = kelvane.waitForWindow("Kelvane " + project, 30000);
    QVERIFY2(!window.isEmpty(), "the installed program shows the project it was given");
    kelvane.key("F1");
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(opened).size() > 0, 10000);
    QTest::qWait(300); // a second, wrong address would come as quickly
    QCOMPARE(QString::fromUtf8(TestFiles::read(opened)),
             QUrl::fromLocalFile(guide).toString() + u'\n');
    // Nothing was asked: the main window is still the only one.
    QCOMPARE(kelvane.process().state(), QProcess::Running);
    QCOMPARE(x.visibleWindows(kelvane.pid()), QStringList{window});
}

// The menu entry starts the installed program and shows the installed icon;
// the project files it lists are known to the desktop by name and content.
void TestPackage::desktopFindsProgramIconAndProjectFiles()
{
    const QString share = root_ + "/usr/share";
    const QString desktopFile = share + "/applications/kelvane.desktop";
    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    QVERIFY2(!validator.isEmpty(), "desktop-file-validate (desktop-file-utils) is installed");
    const QString validate = run(validator, {desktopFile});
    QVERIFY2(!validate.startsWith("failed"), qPrintable(validate));
    const QMap<QString, QString> entry = desktopEntry(TestFiles::read(desktopFile));
    QCOMPARE(entry.value("Type"), QString("Application"));
    QCOMPARE(entry.value("Name"), QString("Kelvane"));
    QCOMPARE(entry.value("Exec"), QString("kelvane %f"));
    QVERIFY(QFileInfo(root_ + "/usr/bin/kelvane").isExecutable());
    const QString icon = share + "/icons/hicolor/scalable/apps/" + entry.value("Icon") + ".svg";
    QXmlStreamReader svg(TestFiles::read(icon));
    QVERIFY2(svg.readNextStartElement(), qPrintable(icon));
    QCOMPARE(svg.name(), QString("svg"));
    QVERIFY(!svg.attributes().value("viewBox").isEmpty());
    while (!svg.atEnd())
        svg.readNext();
    QVERIFY2(!svg.hasError(), qPrintable(svg.errorString()));
    // The package's MIME folder as a desktop sees it; no MIME type was asked
    // for before, so the database reads it now.
    qputenv("XDG_DATA_DIRS", (share + ":/usr/share").toUtf8());
    const QStringList types = entry.value("MimeType").split(u';', Qt::SkipEmptyParts);
    QCOMPARE(types, QStringList{"application/x-kelvane-project"});
    const QMimeDatabase mime;
    const QMimeType project = mime.mimeTypeForName(types.first());
    QVERIFY2(project.isValid(), "the package defines the type its menu entry lists");
    QCOMPARE(project.comment(), QString("Kelvane project"));
    QVERIFY(project.inherits("text/plain"));
    QCOMPARE(mime.mimeTypeForFile("interview.kvprj", QMimeDatabase::MatchExtension), project);
    // A file the program writes is known by its content too, under any name.
    const QByteArray bytes =
        projectFileBytes({"interview.mp3", {{"0", "1.5", QString(), QString(), "Good morning."}}});
    QCOMPARE(mime.mimeTypeForData(bytes), project);
    QCOMPARE(mime.mimeTypeForData(QByteArray(bytes).replace("\r\n", "\n")), project);
    QVERIFY(mime.mimeTypeForData(QByteArray("kv project files\r\n")) != project);
    QVERIFY(mime.mimeTypeForData(QByteArray("a kv project file\r\n")) != project);
    // The user at the seat may read the known foot pedals: the tag is set
    // before 73-seat-late.rules turns it into access.
    const QDir rules(root_ + "/lib/udev/rules.d");
    QCOMPARE(rules.entryList(QDir::Files), QStringList{"70-kelvane-foot-pedals.rules"});
    QVERIFY(QString::fromUtf8(TestFiles::read(rules.filePath("70-kelvane-foot-pedals.rules")))
                .contains("SUBSYSTEM==\"input\", KERNEL==\"event*\", ATTRS{idVendor}==\"05f3\", "
                          "ATTRS{idProduct}==\"00ff\", TAG+=\"uaccess\"\n"));
}

QTEST_MAIN(TestPackage)
#include "tst_package.moc"

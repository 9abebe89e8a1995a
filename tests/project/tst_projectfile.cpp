#include "TestFiles.h"
#include "Unprivileged.h"

#include "storage/FileAccess.h"
#include "storage/ProjectFile.h"
#include "storage/RecoveryFile.h"
#include "storage/TextEncoding.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

using Cells = SectionTableModel::Cells;

QByteArray lines(std::initializer_list<QByteArray> items)
{
    QByteArray bytes;
    for (const QByteArray& line : items)
        bytes += line + "\r\n";
    return bytes;
}

} // namespace

class TestProjectFile : public QObject
{
    Q_OBJECT

private slots:
    void roundTripsByteForByte();
    void freshWorkspaceFile();
    void textsKeepEveryCharacter_data();
    void textsKeepEveryCharacter();
    void headerRules();
    void malformedFilesLoadWhatTheyHold();
    void writesReplaceFilesWhole();
    void writeFailuresLeaveTheOldFile();
    void readOnlyAndUnreadableFiles();
    void recoveryFileHoldsTheProjectAndItsPath();
};

void TestProjectFile::roundTripsByteForByte()
{
    // Two sections, the second the open capture section without text.
    const QByteArray file =
        lines({"kv project file", "C:\\media\\interview.wav",
               "0<|S|>12500<|S|>00:00:00<|S|>00:00:12<|S|>Good morning and welcome.",
               "12500<|S|>19800<|S|>00:00:12<|S|>00:00:19<|S|>"});
    const std::optional<ProjectContent> content = readProjectFileBytes(file);
    QVERIFY(content);
    QCOMPARE(content->mediaFile, QString("C:\\media\\interview.wav"));
    QCOMPARE(content->rows.size(), size_t(2));
    QCOMPARE(content->rows[0],
             (Cells{"0", "12500", "00:00:00", "00:00:12", "Good morning and welcome."}));
    QCOMPARE(content->rows[1], (Cells{"12500", "19800", "00:00:12", "00:00:19", ""}));
    QCOMPARE(projectFileBytes(*content), file);

    // Cells are kept as they stand, numbers or not; the text may hold the
    // separator, which the first four separators leave in the text.
    const ProjectContent odd{"", {{"x", "", "00:99:00", "-5", "yes<|S|>no<|S|>"}}};
    const QByteArray written = projectFileBytes(odd);
    QCOMPARE(written,
             lines({"kv project file", "", "x<|S|><|S|>00:99:00<|S|>-5<|S|>yes<|S|>no<|S|>"}));
    QCOMPARE(readProjectFileBytes(written)->rows, odd.rows);
}

void TestProjectFile::freshWorkspaceFile()
{
    const ProjectContent fresh{"", {Cells{}}};
    const QByteArray bytes = projectFileBytes(fresh);
    QCOMPARE(bytes, QByteArray("kv project file\r\n\r\n<|S|><|S|><|S|><|S|>\r\n"));
    const std::optional<ProjectContent> back = readProjectFileBytes(bytes);
    QVERIFY(back);
    QCOMPARE(back->mediaFile, QString());
    QCOMPARE(back->rows, fresh.rows);
}

void TestProjectFile::textsKeepEveryCharacter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes"); // how the file must hold the text

    QTest::newRow("ascii") << QString("plain words, 100% ascii")
                           << QByteArray("plain words, 100% ascii");
    QTest::newRow("windows-1252") << QString("Café – «naïve» “quotes” €5 œuvre ™ Ÿ")
                                  << QByteArray("Caf\xE9 \x96 \xABna\xEFve\xBB \x93quotes\x94 \x80"
                                                "5 \x9Cuvre \x99 \x9F");
    QTest::newRow("polish") << QString("Zażółć gęślą jaźń")
                            << QString("Zażółć gęślą jaźń").toUtf8();
    QTest::newRow("greek") << QString("Καλημέρα σας") << QString("Καλημέρα σας").toUtf8();
    QTest::newRow("chinese") << QString("你好，欢迎") << QString("你好，欢迎").toUtf8();
    QTest::newRow("emoji") << QString("ok 👍") << QByteArray("ok \xF0\x9F\x91\x8D");
    // Windows-1252 text whose bytes (C3 A9) would read back as UTF-8 "é".
    QTest::newRow("utf-8 lookalike") << QString("Ã©") << QByteArray("\xC3\x83\xC2\xA9");
}

void TestProjectFile::textsKeepEveryCharacter()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    const ProjectContent content{"/media/talk.wav",
                                 {Cells{"0", "1", "00:00:00", "00:00:00", text}}};
    const QByteArray file = projectFileBytes(content);
    QCOMPARE(file, lines({"kv project file", "/media/talk.wav",
                          "0<|S|>1<|S|>00:00:00<|S|>00:00:00<|S|>" + bytes}));
    const std::optional<ProjectContent> back = readProjectFileBytes(file);
    QVERIFY(back);
    QCOMPARE(back->rows, content.rows);
    QCOMPARE(encodeText(text), bytes);
    QCOMPARE(decodeText(bytes), text);
}

void TestProjectFile::headerRules()
{
    const QByteArray row = "0<|S|>1<|S|>00:00:00<|S|>00:00:00<|S|>a\r\n";
    for (const QByteArray& rejected :
         {QByteArray(), QByteArray("\r\n"), QByteArray("kv project file \r\n\r\n") + row,
          QByteArray("KV project file\r\n\r\n") + row, QByteArray(" kv project file\r\n"),
          QByteArray("kv project\r\n"), QByteArray("\xEF\xBB\xBFkv project file\r\n\r\n") + row,
          QByteArray("\r\nkv project file\r\n"), QByteArray("kv project file\xC3")}) {
        QVERIFY2(!readProjectFileBytes(rejected), rejected.constData());
        // The file's first bytes are enough to tell.
        QVERIFY2(!beginsProjectFile(rejected.left(ProjectSignatureSize)), rejected.constData());
    }

    // The exact header is enough; a file that ends early still has its one
    // capture row, and the header without a line end is a whole line.
    for (const QByteArray& early :
         {QByteArray("kv project file"), QByteArray("kv project file\r\n"),
          QByteArray("kv project file\r\nnot a path at all\r\n"),
          QByteArray("kv project file\n\n\n\r\n")}) {
        const std::optional<ProjectContent> content = readProjectFileBytes(early);
        QVERIFY2(content, early.constData());
        QVERIFY(beginsProjectFile(early.left(ProjectSignatureSize)));
        QCOMPARE(content->rows, std::vector<Cells>{Cells{}});
    }
    QCOMPARE(readProjectFileBytes("kv project file\r\nnot a path at all\r\n")->mediaFile,
             QString("not a path at all"));
}

void TestProjectFile::malformedFilesLoadWhatTheyHold()
{
    // Line ends of every kind, a missing final one, an empty line, short
    // lines: every line is one row, missing cells are empty. Blank lines
    // after the last row are no rows.
    const QByteArray bytes = "kv project file\n/m.wav\r"
                             "0<|S|>5<|S|>00:00:00<|S|>00:00:05<|S|>one\r\n"
                             "\n"
                             "5<|S|>9\r"
                             "9<|S|>12<|S|>00:00:09<|S|>00:00:12<|S|>last\r\n\r\n\n";
    const std::optional<ProjectContent> content = readProjectFileBytes(bytes);
    QVERIFY(content);
    QCOMPARE(content->mediaFile, QString("/m.wav"));
    const std::vector<Cells> expected = {{"0", "5", "00:00:00", "00:00:05", "one"},
                                         {},
                                         {"5", "9", "", "", ""},
                                         {"9", "12", "00:00:09", "00:00:12", "last"}};
    QCOMPARE(content->rows, expected);

    // A last byte that could begin a UTF-8 character is Windows-1252 text.
    QCOMPARE(readProjectFileBytes("kv project file\r\n\r\n<|S|><|S|><|S|><|S|>un caf\xE9")
                 ->rows.back()[4],
             QString("un café"));

    // Bytes that are not UTF-8 read as Windows-1252, every one of them, and
    // are written back unchanged.
    QByteArray allBytes;
    for (int b = 0x20; b < 0x100; ++b)
        allBytes += char(b);
    const QByteArray file = lines({"kv project file", "", "<|S|><|S|><|S|><|S|>" + allBytes});
    const std::optional<ProjectContent> legacy = readProjectFileBytes(file);
    QVERIFY(legacy);
    QCOMPARE(legacy->rows.back()[4].size(), allBytes.size());
    QCOMPARE(legacy->rows.back()[4].right(3), QString("ýþÿ"));
    QCOMPARE(projectFileBytes(*legacy), file);
}

void TestProjectFile::writesReplaceFilesWhole()
{
    QTemporaryDir folder;
    const QString path = folder.filePath("work.kvprj");
    QVERIFY(!writeWholeFile(path, "first version, rather long\r\n"));
    QCOMPARE(TestFiles::read(path), QByteArray("first version, rather long\r\n"));
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    QVERIFY(!writeWholeFile(path, "second\r\n"));
    QCOMPARE(TestFiles::read(path), QByteArray("second\r\n"));
    QCOMPARE(QFile::permissions(path), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                           QFile::WriteUser | QFile::ReadGroup);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{"work.kvprj"});

    QByteArray bytes;
    QVERIFY(!readWholeFile(path, bytes));
    QCOMPARE(bytes, QByteArray("second\r\n"));
}

void TestProjectFile::writeFailuresLeaveTheOldFile()
{
    QTemporaryDir folder;
    QVERIFY(TestFiles::write(folder.filePath("work.kvprj"), "old content\r\n"));

    // A folder that is not there.
    const std::optional<QString> missing =
        writeWholeFile(folder.filePath("gone/work.kvprj"), "new\r\n");
    QVERIFY(missing);
    QVERIFY2(missing->contains("No such file or directory"), qPrintable(*missing));

    // Devices and pipes are refused, never written or read: they would
    // swallow the bytes, or block waiting for the other end.
    const QString pipe = folder.filePath("pipe");
    QCOMPARE(mkfifo(pipe.toLocal8Bit().constData(), 0600), 0);
    QByteArray bytes;
    for (const QString& path : {QString("/dev/full"), QString("/dev/null"), pipe}) {
        const std::optional<QString> write = writeWholeFile(path, "new\r\n");
        QVERIFY2(write && write->contains("not a regular file"), qPrintable(path));
        const std::optional<QString> read = readWholeFile(path, bytes);
        QVERIFY2(read && read->contains("not a regular file"), qPrintable(path));
    }
    QVERIFY(readWholeFile(folder.path(), bytes)); // a folder
    QVERIFY(readWholeFile(folder.filePath("absent.kvprj"), bytes));

    // A full disk: a write that runs out of room halfway (a file size limit
    // stands in for the disk) must leave the old content and no stray file.

    std::optional<QString> tooBig;
    {
        const TestFiles::DiskFull full(64);
        QVERIFY(full.active());
        tooBig = writeWholeFile(folder.filePath("work.kvprj"), QByteArray(1000, 'x'));
    }
    QVERIFY(tooBig);
    QVERIFY2(tooBig->contains("too large"), qPrintable(*tooBig));
    QCOMPARE(TestFiles::read(folder.filePath("work.kvprj")), QByteArray("old content\r\n"));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{"work.kvprj"});
}

void TestProjectFile::readOnlyAndUnreadableFiles()
{
    if (Unprivileged::runningAsRoot()) {
        QVERIFY(Unprivileged::rerun("readOnlyAndUnreadableFiles"));
        return;
    }
    QTemporaryDir folder;
    const QString readOnly = folder.filePath("read-only.kvprj");
    QVERIFY(TestFiles::write(readOnly, "kept\r\n"));
    QVERIFY(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ReadUser));
    const std::optional<QString> refused = writeWholeFile(readOnly, "new\r\n");
    QVERIFY(refused);
    QVERIFY2(refused->contains("not writable"), qPrintable(*refused));
    QCOMPARE(TestFiles::read(readOnly), QByteArray("kept\r\n"));

    const QString unreadable = folder.filePath("secret.kvprj");
    QVERIFY(TestFiles::write(unreadable, "kv project file\r\n"));
    QVERIFY(QFile::setPermissions(unreadable, QFile::WriteOwner));
    QByteArray bytes;
    const std::optional<QString> denied = readWholeFile(unreadable, bytes);
    QVERIFY(denied);
    QVERIFY2(denied->contains("Permission denied"), qPrintable(*denied));
}

void TestProjectFile::recoveryFileHoldsTheProjectAndItsPath()
{
    const ProjectContent content{"/media/talk.wav",
                                 {{"0", "1500", "00:00:00", "00:00:01", "café"}}};
    const QByteArray project = projectFileBytes(content);

    // Any name fits on the path's line: blanks, a line break, non-ASCII.
    const QString path = QString::fromUtf8("/home/me/Über talk\n#1.kvprj");
    const QByteArray bytes = recoveryFileBytes(path, content);
    QCOMPARE(bytes, "kv recovery file\r\n"
                    "file:///home/me/%C3%9Cber%20talk%0A%231.kvprj\r\n" +
                        project);
    std::optional<RecoveredWork> work = readRecoveryFileBytes(bytes);
    QVERIFY(work);
    QCOMPARE(work->projectFile, path);
    QCOMPARE(work->content.mediaFile, content.mediaFile);
    QCOMPARE(work->content.rows, content.rows);

    // Work without a project file.
    QCOMPARE(recoveryFileBytes("", content), "kv recovery file\r\n\r\n" + project);
    work = readRecoveryFileBytes("kv recovery file\r\n\r\n" + project);
    QVERIFY(work);
    QCOMPARE(work->projectFile, QString());
    QCOMPARE(work->content.rows, content.rows);

    // Anything else is no recovery file.
    for (const QByteArray& other :
         QList<QByteArray>{project, "kv recovery file\r\n", "",
                           "kv recovery file\r\nhttp://host/talk.kvprj\r\n" + project,
                           "kv recovery file\r\n\r\nkv project fil\r\n"})
        QVERIFY2(!readRecoveryFileBytes(other), other.constData());
}

QTEST_GUILESS_MAIN(TestProjectFile)
#include "tst_projectfile.moc"

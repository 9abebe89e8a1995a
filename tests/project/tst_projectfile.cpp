#include "Unprivileged.h"

#include "project/FileAccess.h"
#include "project/ProjectFile.h"
#include "project/TextEncoding.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {

using Cells = SectionTableModel::Cells;

QByteArray lines(std::initializer_list<QByteArray> items)
{
    QByteArray bytes;
    for (const QByteArray& line : items)
        bytes += line + "\r\n";
    return bytes;
}

QByteArray readBack(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeRaw(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
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
    QTest::addColumn<QByteArray>("encoding"); // how the file must hold it

    QTest::newRow("ascii") << QString("plain words, 100% ascii") << QByteArray("1252");
    QTest::newRow("windows-1252") << QString("Café – «naïve» “quotes” €5 œuvre ™")
                                  << QByteArray("1252");
    QTest::newRow("polish") << QString("Zażółć gęślą jaźń") << QByteArray("utf-8");
    QTest::newRow("greek") << QString("Καλημέρα σας") << QByteArray("utf-8");
    QTest::newRow("chinese") << QString("你好，欢迎") << QByteArray("utf-8");
    QTest::newRow("emoji") << QString("ok 👍") << QByteArray("utf-8");
    // Windows-1252 text whose bytes would read back as UTF-8 "é".
    QTest::newRow("utf-8 lookalike") << QString("Ã©") << QByteArray("utf-8");
}

void TestProjectFile::textsKeepEveryCharacter()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, encoding);
    const ProjectContent content{"/media/" + text + ".wav",
                                 {Cells{"0", "1", "00:00:00", "00:00:00", text}}};
    const QByteArray bytes = projectFileBytes(content);
    const QByteArray expected = encoding == "utf-8" ? text.toUtf8() : encodeText(text);
    QVERIFY(bytes.contains(expected));
    if (encoding == "1252")
        QCOMPARE(bytes.size(),
                 2 * text.size() +
                     qsizetype(strlen("kv project file\r\n/media/.wav\r\n0<|S|>1<|S|>00:00:00<|S|>"
                                      "00:00:00<|S|>\r\n")));
    const std::optional<ProjectContent> back = readProjectFileBytes(bytes);
    QVERIFY(back);
    QCOMPARE(back->mediaFile, content.mediaFile);
    QCOMPARE(back->rows, content.rows);
}

void TestProjectFile::headerRules()
{
    const QByteArray row = "0<|S|>1<|S|>00:00:00<|S|>00:00:00<|S|>a\r\n";
    for (const QByteArray& rejected :
         {QByteArray(), QByteArray("\r\n"), QByteArray("kv project file \r\n\r\n") + row,
          QByteArray("KV project file\r\n\r\n") + row, QByteArray(" kv project file\r\n"),
          QByteArray("kv project\r\n"), QByteArray("\xEF\xBB\xBFkv project file\r\n\r\n") + row,
          QByteArray("\r\nkv project file\r\n")})
        QVERIFY2(!readProjectFileBytes(rejected), rejected.constData());

    // The exact header is enough; a file that ends early still has its one
    // capture row, and the header without a line end is a whole line.
    for (const QByteArray& early :
         {QByteArray("kv project file"), QByteArray("kv project file\r\n"),
          QByteArray("kv project file\r\nnot a path at all\r\n")}) {
        const std::optional<ProjectContent> content = readProjectFileBytes(early);
        QVERIFY2(content, early.constData());
        QCOMPARE(content->rows, std::vector<Cells>{Cells{}});
    }
    QCOMPARE(readProjectFileBytes("kv project file\r\nnot a path at all\r\n")->mediaFile,
             QString("not a path at all"));
}

void TestProjectFile::malformedFilesLoadWhatTheyHold()
{
    // Line ends of every kind, a missing final one, an empty line, short
    // lines: every line is one row, missing cells are empty.
    const QByteArray bytes = "kv project file\n/m.wav\r"
                             "0<|S|>5<|S|>00:00:00<|S|>00:00:05<|S|>one\r\n"
                             "\n"
                             "5<|S|>9\r"
                             "9<|S|>12<|S|>00:00:09<|S|>00:00:12<|S|>last";
    const std::optional<ProjectContent> content = readProjectFileBytes(bytes);
    QVERIFY(content);
    QCOMPARE(content->mediaFile, QString("/m.wav"));
    const std::vector<Cells> expected = {{"0", "5", "00:00:00", "00:00:05", "one"},
                                         {},
                                         {"5", "9", "", "", ""},
                                         {"9", "12", "00:00:09", "00:00:12", "last"}};
    QCOMPARE(content->rows, expected);

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
    QCOMPARE(readBack(path), QByteArray("first version, rather long\r\n"));
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    QVERIFY(!writeWholeFile(path, "second\r\n"));
    QCOMPARE(readBack(path), QByteArray("second\r\n"));
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
    QVERIFY(writeRaw(folder.filePath("work.kvprj"), "old content\r\n"));

    // A folder that is not there.
    const std::optional<QString> missing =
        writeWholeFile(folder.filePath("gone/work.kvprj"), "new\r\n");
    QVERIFY(missing);
    QVERIFY2(missing->contains("No such file or directory"), qPrintable(*missing));

    // A full disk: the device that is always full, and a regular file whose
    // write runs out of room halfway (a file size limit stands in for the
    // disk), which must leave the old content and no stray file behind.
    const std::optional<QString> full = writeWholeFile("/dev/full", "new\r\n");
    QVERIFY(full);
    QVERIFY2(full->contains("No space left on device"), qPrintable(*full));

    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 4096;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::optional<QString> tooBig =
        writeWholeFile(folder.filePath("work.kvprj"), QByteArray(100000, 'x'));
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
    QVERIFY(tooBig);
    QVERIFY2(tooBig->contains("too large"), qPrintable(*tooBig));
    QCOMPARE(readBack(folder.filePath("work.kvprj")), QByteArray("old content\r\n"));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{"work.kvprj"});

    QByteArray bytes;
    QVERIFY(readWholeFile(folder.filePath("absent.kvprj"), bytes));
    QVERIFY(readWholeFile(folder.path(), bytes)); // a folder
}

void TestProjectFile::readOnlyAndUnreadableFiles()
{
    if (Unprivileged::runningAsRoot()) {
        QVERIFY(Unprivileged::rerun("readOnlyAndUnreadableFiles"));
        return;
    }
    QTemporaryDir folder;
    const QString readOnly = folder.filePath("read-only.kvprj");
    QVERIFY(writeRaw(readOnly, "kept\r\n"));
    QVERIFY(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ReadUser));
    const std::optional<QString> refused = writeWholeFile(readOnly, "new\r\n");
    QVERIFY(refused);
    QVERIFY2(refused->contains("not writable"), qPrintable(*refused));
    QCOMPARE(readBack(readOnly), QByteArray("kept\r\n"));

    const QString unreadable = folder.filePath("secret.kvprj");
    QVERIFY(writeRaw(unreadable, "kv project file\r\n"));
    QVERIFY(QFile::setPermissions(unreadable, QFile::WriteOwner));
    QByteArray bytes;
    const std::optional<QString> denied = readWholeFile(unreadable, bytes);
    QVERIFY(denied);
    QVERIFY2(denied->contains("Permission denied"), qPrintable(*denied));
}

QTEST_GUILESS_MAIN(TestProjectFile)
#include "tst_projectfile.moc"

#include "TestFiles.h"
#include "Unprivileged.h"

#include "storage/FileAccess.h"
#include "storage/Paths.h"
#include "storage/RecoveryFile.h"

#include <QDateTime>
#include <QLockFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using Cells = SectionTableModel::Cells;

class TestStorage : public QObject
{
    Q_OBJECT
    QTemporaryDir data;

private slots:
    // A data folder made afresh for every run, as a new user's would be.
    void initTestCase() { qputenv("XDG_DATA_HOME", QFile::encodeName(data.path())); }
    void projectFiles();
    void recoveryFiles();
    void writesAndFailures();
    void paths();
};

void TestStorage::projectFiles()
{
    // Windows-1252 unless a character lacks there or the bytes read as UTF-8.
    const std::pair<QString, QByteArray> texts[] = {
        {"yes<|S|>no<|S|>", "yes<|S|>no<|S|>"},
        {"Café – «naïve» “quotes” €5 œuvre ™ Ÿ \u0081",
         "Caf\xE9 \x96 \xABna\xEFve\xBB \x93quotes\x94 \x80"
         "5 \x9Cuvre \x99 \x9F \x81"},
        {"€5 Zażółć 你好 👍", QString("€5 Zażółć 你好 👍").toUtf8()},
        {"Ã©", "\xC3\x83\xC2\xA9"}};
    for (const auto& [text, bytes] : texts) {
        const ProjectContent content{"/m.wav", {{"0", "12", "0:00", "0:12", text}, {"x", "-5"}}};
        const QByteArray file = projectFileBytes(content);
        QCOMPARE(file, "kv project file\r\n/m.wav\r\n0<|S|>12<|S|>0:00<|S|>0:12<|S|>" + bytes +
                           "\r\nx<|S|>-5<|S|><|S|><|S|>\r\n");
        const std::optional<ProjectContent> back = readProjectFileBytes(file);
        QVERIFY(back && back->mediaFile == "/m.wav" && back->rows == content.rows);
    }
    // The first line must be the header exactly; its first bytes tell.
    for (const char* other : {"", "\r\n", "kv project file \r\n", "KV project file\r\n",
                              " kv project file", "kv project\r\n", "\xEF\xBB\xBFkv project file",
                              "\r\nkv project file", "kv project file\xC3"})
        QVERIFY(!readProjectFileBytes(other) &&
                !beginsProjectFile(QByteArray(other).left(ProjectSignatureSize)));
    // Any line end, missing cells, a last byte that could begin UTF-8.
    const std::optional<ProjectContent> mixed =
        readProjectFileBytes("kv project file\n/m.wav\r0<|S|>5<|S|><|S|><|S|>one\r\n\n5<|S|>9\r"
                             "<|S|><|S|><|S|><|S|>caf\xE9");
    const std::vector<Cells> rows = {
        {"0", "5", "", "", "one"}, {}, {"5", "9"}, {"", "", "", "", "café"}};
    QVERIFY(mixed && mixed->mediaFile == "/m.wav" && mixed->rows == rows);
    for (const char* early : {"kv project file", "kv project file\r\n\r\n\n\r"})
        QVERIFY(readProjectFileBytes(early).value().rows == std::vector{Cells()});
}

void TestStorage::recoveryFiles()
{
    const ProjectContent content{"/m.wav", {{"0", "1500", "0:00", "0:01", "café"}}};
    const QByteArray project = projectFileBytes(content);
    // Any name fits on the path's line: blanks, a line break, non-ASCII.
    const QString path = QString::fromUtf8("/home/Über talk\n#1");
    const std::pair<QString, QByteArray> names[] = {{path, "file:///home/%C3%9Cber%20talk%0A%231"},
                                                    {"", ""}};
    for (const auto& [name, address] : names) {
        const QByteArray bytes = recoveryFileBytes(name, content);
        QCOMPARE(bytes, "kv recovery file\r\n" + address + "\r\n" + project);
        const std::optional<RecoveredWork> work = readRecoveryFileBytes(bytes);
        QVERIFY(work && work->projectFile == name && work->content.rows == content.rows);
    }
    for (const QByteArray& other : {project, "kv recovery file\r\nhttp://h/x\r\n" + project})
        QVERIFY(!readRecoveryFileBytes(other));
    // Another program's lock, however old, keeps this one off the copy.
    const QString copy = recoveryFilePath(), folder = QFileInfo(copy).path();
    QFile lock(folder + "/recovery.lock");
    QLockFile held(lock.fileName());
    QVERIFY(QDir().mkpath(folder) && held.tryLock(0));
    const QByteArray theirs = TestFiles::read(lock.fileName());
    held.unlock();
    QVERIFY(TestFiles::write(lock.fileName(), theirs) && TestFiles::write(copy, "theirs") &&
            lock.open(QIODevice::ReadOnly) &&
            lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                             QFileDevice::FileModificationTime));
    QVERIFY(claimRecoveryFile() && writeRecoveryFile(path, content));
    removeRecoveryFile();
    QCOMPARE(TestFiles::read(copy), QByteArray("theirs"));
    // Then it is this one's, in a folder kept private even if opened up.
    QVERIFY(lock.remove());
    for (int write = 0; write < 2; ++write) {
        QVERIFY(QFile::setPermissions(folder, QFile::Permissions(0x7755)));
        QVERIFY(!writeRecoveryFile(path, content));
        QCOMPARE(QFile::permissions(folder) & 0x77, QFile::Permissions());
    }
    QCOMPARE(TestFiles::read(copy), recoveryFileBytes(path, content));
}

// File permissions do not stop root: as root, this runs as "nobody".
void TestStorage::writesAndFailures()
{
    if (Unprivileged::runningAsRoot()) {
        QVERIFY(Unprivileged::rerun("writesAndFailures"));
        return;
    }
    QTemporaryDir dir;
    const QString path = dir.filePath("work"), pipe = dir.filePath("pipe");
    const QString readOnly = dir.filePath("read-only"), secret = dir.filePath("secret");
    QByteArray bytes;
    QVERIFY(!writeWholeFile(path, "first, rather long\r\n"));
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    QVERIFY(!writeWholeFile(path, "second\r\n") && !readWholeFile(path, bytes));
    QVERIFY(bytes == "second\r\n");
    QCOMPARE(QFile::permissions(path) & 0x44, QFile::Permissions(QFile::ReadGroup)); // not umask's
    // A failure says why and changes nothing. A pipe or device would swallow
    // the bytes or block (only the test's own pipe is written: a faulty write
    // replaces it). A file size limit stands in for a full disk.
    QVERIFY(mkfifo(QFile::encodeName(pipe), 0600) == 0 && TestFiles::write(readOnly, "kept") &&
            TestFiles::write(secret, "") && QFile::setPermissions(secret, QFile::WriteOwner) &&
            QFile::setPermissions(readOnly, QFile::ReadOwner));
    QVERIFY(writeWholeFile(pipe, "x").value_or("").contains("not a regular file"));
    QVERIFY(writeWholeFile(readOnly, "x").value_or("").contains("not writable"));
    QVERIFY(writeWholeFile(dir.filePath("gone/x"), "x").value_or("").contains("No such file"));
    QVERIFY(TestFiles::DiskFull(64).active() && // till the end of this check
            writeWholeFile(path, QByteArray(1000, 'x')).value_or("").contains("too large"));
    QVERIFY(TestFiles::read(path) == "second\r\n" && TestFiles::read(readOnly) == "kept");
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"read-only", "secret", "work"}));
    for (const QString& source : {QString("/dev/null"), pipe, dir.path()})
        QVERIFY(readWholeFile(source, bytes).value_or("").contains("not a regular file"));
    QVERIFY(readWholeFile(secret, bytes).value_or("").contains("Permission denied"));
}

void TestStorage::paths()
{
    QCOMPARE(FileNameOfPath("/home/ann/talk.wav"), QString("talk.wav"));
    // A file, directly or through a link; no folder, hidden file or nothing.
    QTemporaryDir dir;
    const QString file = dir.filePath("a"), link = dir.filePath("b"), hidden = dir.filePath(".c");
    QVERIFY(TestFiles::write(file, "") && TestFiles::write(hidden, "") && QFile::link(file, link) &&
            QFile::link(dir.filePath("gone"), dir.filePath("dangling")));
    QVERIFY(FileExists(file) && FileExists(link));
    for (const QString& none : {hidden, dir.filePath("dangling"), dir.path(), QString()})
        QVERIFY2(!FileExists(none), qPrintable(none));
}

QTEST_GUILESS_MAIN(TestStorage)
#include "tst_storage.moc"

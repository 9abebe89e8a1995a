#include "TestFiles.h"
#include "Unprivileged.h"

#include "storage/EnvelopeCache.h"
#include "storage/FileAccess.h"
#include "storage/Paths.h"
#include "storage/RecoveryFile.h"

#include <QDateTime>
#include <QDir>
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
    // Data and cache folders made afresh for every run, as a new user's would be.
    void initTestCase()
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(data.filePath("cache")));
    }
    void projectAndRecoveryFiles();
    void filesOnDisk();
    void envelopeCache();
};

void TestStorage::projectAndRecoveryFiles()
{
    // Windows-1252 unless a character lacks there or the bytes read as UTF-8.
    // Separators after the fourth are part of the text.
    const std::pair<QString, QByteArray> texts[] = {
        {"a<|S|>é “€” Ÿ \u0081", "a<|S|>\xE9 \x93\x80\x94 \x9F \x81"},
        {"€ 你好 👍", QString("€ 你好 👍").toUtf8()},
        {"Ã©", "\xC3\x83\xC2\xA9"}};
    for (const auto& [text, bytes] : texts) {
        const ProjectContent content{"/m", {{"0", "12", "00:00:00", "00:00:00", text}}};
        const QByteArray file = projectFileBytes(content);
        QCOMPARE(file, "kv project file\r\n/m\r\n0<|S|>12<|S|>00:00:00<|S|>00:00:00<|S|>" + bytes +
                           "\r\n");
        QVERIFY(readProjectFileBytes(file).value().rows == content.rows);
    }
    // The first line must be the header exactly; its first bytes tell.
    for (const char* other :
         {"", "kv project file ", "KV project file", "\xEF\xBB\xBFkv project file"})
        QVERIFY(!readProjectFileBytes(other) &&
                !beginsProjectFile(QByteArray(other).left(ProjectSignatureSize)));
    // Any line end, missing cells, a byte that could begin UTF-8; blank lines
    // at the end hold no section, and no section at all is an empty one.
    const auto mixed =
        readProjectFileBytes("kv project file\n/m\r0<|S|>5\r\n\n<|S|><|S|><|S|><|S|>\xE9\r\n\n\r");
    QVERIFY(mixed && mixed->mediaFile == "/m" &&
            mixed->rows == std::vector<Cells>({{"0", "5"}, {}, {"", "", "", "", "é"}}));
    QVERIFY(readProjectFileBytes("kv project file").value().rows == std::vector{Cells()});
    // A stray byte garbles only its line. A line whose time cells the program
    // would not write keeps its words as a text-only row; a last one is
    // followed by an empty row, the capture section.
    const auto damaged = readProjectFileBytes(
        "kv project file\r\n/caf\xC3\xA9\r\n1<|S|>2<|S|>00:00:02<|S|>00:00:05 Good morning\n"
        "-5<|S|><|S|>-1:-5:59<|S|>99:59:00<|S|>a<|S|>b\r0<|S|>1<|S|>00:60:00<|S|>\n\xC9t\xE9<|S|>");
    QVERIFY(damaged && damaged->mediaFile == "/café" &&
            damaged->rows ==
                std::vector<Cells>({{"", "", "", "", "1 2 00:00:02 00:00:05 Good morning"},
                                    {"-5", "", "-1:-5:59", "99:59:00", "a<|S|>b"},
                                    {"", "", "", "", "0 1 00:60:00"},
                                    {"", "", "", "", "Été"},
                                    {}}) &&
            damaged->repairedRows == std::vector({0, 2, 3}));
    // Text whose Windows-1252 lines would read as UTF-8 goes out as UTF-8.
    const ProjectContent mojibake{"Ã©", {{"", "", "", "", "é"}}};
    QCOMPARE(projectFileBytes(mojibake),
             QByteArray("kv project file\r\nÃ©\r\n<|S|><|S|><|S|><|S|>é\r\n"));
    // A recovery copy's path line takes any name, a line break too, or none.
    const ProjectContent content{"/m", {{"0", "1500", "00:00:00", "00:00:01", "café"}}};
    const QString path = QString::fromUtf8("/home/Über talk\n#1");
    QCOMPARE(recoveryFileBytes(path, content),
             "kv recovery file\r\nfile:///home/%C3%9Cber%20talk%0A%231\r\n" +
                 projectFileBytes(content));
    for (const QString& name : {path, QString()}) {
        const auto work = readRecoveryFileBytes(recoveryFileBytes(name, content));
        QVERIFY(work && work->projectFile == name && work->content.rows == content.rows);
    }
    // Each program writes a copy of its own. Another's is not offered while
    // its lock is held, however old; once its program is gone, it is.
    QVERIFY(!writeRecoveryFile(path, content));
    const QString folder = QFileInfo(recoveryFilePath()).path(), theirs = folder + "/x.kvrec";
    QVERIFY(TestFiles::write(theirs, recoveryFileBytes({}, content)));
    QLockFile lock(folder + "/x.lock");
    QFile lockFile(lock.fileName());
    QVERIFY(lock.tryLock(0) && lockFile.open(QIODevice::ReadOnly));
    QVERIFY(
        lockFile.setFileTime(QDateTime::fromSecsSinceEpoch(1 << 30), QFile::FileModificationTime));
    QVERIFY(orphanedRecoveryFiles().empty());
    lock.unlock();
    const std::vector<OrphanedCopy> orphans = orphanedRecoveryFiles();
    QVERIFY(orphans.size() == 1 && orphans[0].path == theirs &&
            orphans[0].work->content.mediaFile == "/m");
    // The folder is kept private even if opened up.
    for (int write = 0; write < 2; ++write) {
        QVERIFY(QFile::setPermissions(folder, QFile::Permissions(0x7755)));
        QVERIFY(!writeRecoveryFile(path, content));
        QCOMPARE(QFile::permissions(folder) & 0x77, QFile::Permissions());
    }
}

// File permissions do not stop root: as root, this runs as "nobody".
void TestStorage::filesOnDisk()
{
    if (Unprivileged::runningAsRoot()) {
        QVERIFY(Unprivileged::rerun("filesOnDisk"));
        return;
    }
    QTemporaryDir dir;
    const QString path = dir.filePath("a"), pipe = dir.filePath("b"), hidden = dir.filePath(".c");
    const QString readOnly = dir.filePath("d"), link = dir.filePath("e");
    QByteArray bytes;
    QVERIFY(!writeWholeFile(path, "first, rather long\r\n") && !writeWholeFile(path, "second\r\n"));
    QVERIFY(!readWholeFile(path, bytes) && bytes == "second\r\n");
    // A failure says why and changes nothing; a pipe would block, a size limit is a full disk.
    QVERIFY(mkfifo(QFile::encodeName(pipe), 0600) == 0 && TestFiles::write(readOnly, "kept") &&
            QFile::setPermissions(readOnly, QFile::ReadOwner));
    QVERIFY(writeWholeFile(pipe, "x").value_or("").contains("not a regular file"));
    QVERIFY(writeWholeFile(readOnly, "x").value_or("").contains("not writable"));
    QVERIFY(TestFiles::DiskFull(64).active() && // till the end of this check
            writeWholeFile(path, QByteArray(1000, 'x')).value_or("").contains("too large"));
    QVERIFY(TestFiles::read(path) == "second\r\n" && TestFiles::read(readOnly) == "kept");
    // A copy before a rewrite takes a free name, as private as the file.
    QString copy;
    QVERIFY(TestFiles::write(path + ".bak", "older") && QFile::link("gone", path + ".1.bak"));
    QVERIFY(!keepBackupCopy(readOnly, copy) && TestFiles::read(copy) == "kept" &&
            QFile::permissions(copy) == QFile::permissions(readOnly));
    QVERIFY(!keepBackupCopy(path, copy) && copy == path + ".2.bak");
    QVERIFY(TestFiles::read(copy) == "second\r\n" && TestFiles::read(path + ".bak") == "older");
    QVERIFY(keepBackupCopy(pipe, copy).value_or("").contains("not a regular file"));
    for (const QString& source : {QString("/dev/null"), pipe, dir.path()})
        QVERIFY(readWholeFile(source, bytes).value_or("").contains("not a regular file"));
    // A file, directly or through a link; no hidden file, pipe, folder or nothing.
    QVERIFY(TestFiles::write(hidden, "") && QFile::link(path, link) && FileExists(link));
    for (const QString& none : {hidden, pipe, dir.path(), QString()})
        QVERIFY2(!FileExists(none), qPrintable(none));
    QCOMPARE(FileNameOfPath("/home/ann/talk.wav"), QString("talk.wav"));
}

// Kept for the recording as it is, whole: a changed recording, another
// length, a damaged or cut file is a miss. The least recently used go first.
void TestStorage::envelopeCache()
{
    QTemporaryDir dir;
    const QString media = dir.filePath("talk.wav"), other = dir.filePath("other.wav");
    std::vector<quint16> levels(2001);
    for (size_t i = 0; i < levels.size(); ++i)
        levels[i] = quint16(i * 977 % Envelope::FullScale);
    const Envelope envelope = Envelope::fromBuckets(10001, levels);
    QVERIFY(TestFiles::write(media, "sound") && TestFiles::write(other, "more sound"));
    QVERIFY(writeCachedEnvelope(media, Envelope(10001)) && !readCachedEnvelope(media, 10001));
    QVERIFY(!writeCachedEnvelope(media, envelope));
    QVERIFY(readCachedEnvelope(media, 10001).value().buckets() == levels);
    QVERIFY(!readCachedEnvelope(media, 10000) && !readCachedEnvelope(other, 10001));
    const QString cache = envelopeCacheFolder();
    const auto cached = [&cache] {
        return QDir(cache).entryList(QDir::Files);
    };
    QCOMPARE(cached(), QStringList()); // the one of another length went
    const auto change = [&](const std::function<void(QFile&)>& how) {
        QVERIFY(!writeCachedEnvelope(media, envelope) && cached().size() == 1);
        QFile file(cache + "/" + cached().value(0));
        QVERIFY(file.open(QIODevice::ReadWrite));
        how(file);
        file.close();
        QVERIFY(!readCachedEnvelope(media, 10001) && cached().isEmpty());
    };
    // Any byte flipped: signature, key, levels, hash.
    for (const qint64 from : {0, 30, -2000, -1})
        change([from](QFile& file) {
            char byte = 0;
            const qint64 at = from < 0 ? file.size() + from : from;
            file.seek(at), file.getChar(&byte), file.seek(at), file.putChar(char(~byte));
        });
    change([](QFile& file) { file.resize(file.size() - 2); });
    QVERIFY(!writeCachedEnvelope(media, envelope));
    QVERIFY(TestFiles::write(media, "sounds") && !readCachedEnvelope(media, 10001));
    QFile file(media);
    QVERIFY(
        !writeCachedEnvelope(media, envelope) && file.open(QIODevice::ReadWrite) &&
        file.setFileTime(QDateTime::currentDateTime().addSecs(-9), QFile::FileModificationTime));
    QVERIFY(!readCachedEnvelope(media, 10001));
    // Two stale files, then two more; the one read last is kept.
    QVERIFY(!writeCachedEnvelope(media, envelope) && !writeCachedEnvelope(other, envelope));
    QTest::qSleep(20);
    QVERIFY(readCachedEnvelope(media, 10001) && cached().size() == 4);
    trimEnvelopeCache(6000);
    QVERIFY(cached().size() == 1 && readCachedEnvelope(media, 10001));
}

QTEST_GUILESS_MAIN(TestStorage)
#include "tst_storage.moc"

#include "ProgramUnderTest.h"
#include "SanitizerBuild.h"
#include "TestFiles.h"
#include "TestMedia.h"
#include "XServer.h"

#include "tools/SinkMonitor.h"
#include "tools/SoundMeter.h"
#include "tools/SoundServer.h"
#include "tools/TimedNoise.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTime>

#include <algorithm>
#include <csignal>

namespace {

const QString Speech =
    "Good morning, and welcome to the interview. Today we talk about the harbour, the boats "
    "that come in at dawn, and the people who have worked there for forty years.";

// The words typed for each section, and the corrections made later.
const QString First = QString::fromUtf8("First words, café au lait.");
const QString Checked = " (checked)";
const QString Second = "Second: it's 5 o'clock & all's well!";
const QString Third = "Third one.";
const QString BeforeQuit = " Bye.";
const QString Fourth = "Fourth, to the end.";

struct Row
{
    int start, end;
    QString text;
};

QString clockTime(int ms)
{
    return QTime::fromMSecsSinceStartOfDay(ms / 1000 * 1000).toString("hh:mm:ss");
}

// The section bounds a project file holds, in order.
QList<Row> rowsOf(const QByteArray& file)
{
    QList<Row> rows;
    for (const QString& line : QString::fromLatin1(file).split("\r\n").mid(2))
        if (const QStringList cells = line.split("<|S|>"); cells.size() == 5)
            rows.append({cells[0].toInt(), cells[1].toInt(), cells[4]});
    return rows;
}

// The project file as it must be, byte for byte: the bounds the program chose,
// the texts the test typed, Windows-1252, CR LF after every line.
QByteArray projectFile(const QString& media, const QList<Row>& rows)
{
    QString text = "kv project file\r\n" + media + "\r\n";
    for (const Row& row : rows)
        text += QString("%1<|S|>%2<|S|>%3<|S|>%4<|S|>%5\r\n")
                    .arg(row.start)
                    .arg(row.end)
                    .arg(clockTime(row.start), clockTime(row.end), row.text);
    return text.toLatin1();
}

QByteArray transcript(const QList<Row>& rows)
{
    QString text;
    for (const Row& row : rows)
        text += clockTime(row.start) + " - " + clockTime(row.end) + ' ' + row.text + " \r\n";
    return (text + "\r\n").toLatin1();
}

// The seek bar in a picture of the main window: its top row is a long run of
// grey, green over the current section; the thumb is the blue triangle above.
struct SeekBar
{
    int left = -1, width = 0, top = 0, thumbCentre = -1;
};

SeekBar findSeekBar(const QImage& window)
{
    const auto barTop = [&window](int x, int y) {
        const QRgb p = window.pixel(x, y) & 0xFFFFFF;
        return p == 0xB4B4B4 || p == 0x6DA53B;
    };
    SeekBar bar;
    for (int y = 4; y < window.height() && bar.left < 0; ++y)
        for (int x = 0, run = 0; x < window.width() && bar.left < 0; ++x) {
            run = barTop(x, y) ? run + 1 : 0;
            if (run >= 200 && (x + 1 == window.width() || !barTop(x + 1, y)))
                bar = {x + 1 - run, run, y, -1};
        }
    int sum = 0, count = 0;
    for (int x = std::max(0, bar.left - 8); bar.left >= 0 && x < bar.left + bar.width + 8; ++x) {
        const QRgb p = window.pixel(std::min(x, window.width() - 1), bar.top - 4);
        if (qBlue(p) > qRed(p) + 60 && x < window.width()) {
            sum += x;
            ++count;
        }
    }
    bar.thumbCentre = count > 0 ? sum / count : -1;
    return bar;
}

// Pictures of the main window until the thumb, once seen moving, stands still:
// the bar as it then stands, and the leftmost place the thumb was seen at.
struct Played
{
    SeekBar bar;
    int leftmost = -1;
};

Played waitForPlaybackToStop(const ProgramUnderTest& kelvane, int ms = 20000)
{
    const QDeadlineTimer deadline(ms);
    SeekBar last = findSeekBar(kelvane.picture(kelvane.mainWindow()));
    int leftmost = last.thumbCentre;
    for (int still = 0, moved = 0; !deadline.hasExpired(); QTest::qWait(200)) {
        const SeekBar now = findSeekBar(kelvane.picture(kelvane.mainWindow()));
        leftmost = std::min(leftmost, now.thumbCentre);
        still = now.thumbCentre == last.thumbCentre ? still + 1 : 0;
        moved |= now.thumbCentre != last.thumbCentre;
        if (moved && still >= 3)
            return {now, leftmost};
        last = now;
    }
    return {};
}

// The one recovery copy in the home's data folder; "" when there is none.
QString recoveryCopy(const QString& home)
{
    const QDir data(home + "/.local/share/Kelvane");
    const QStringList copies = data.entryList({"*.kvrec"}, QDir::Files);
    return copies.size() == 1 ? data.filePath(copies[0]) : QString();
}

} // namespace

// The whole program driven through the X server only: a new transcription of
// speech, saved, exported and closed, then opened again and carried on to the end.
class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void transcribeSaveExportAndCarryOn();
    void unsavedWorkSurvivesAKill();

private:
    XServer x;
    SoundServer sound; // what the programs play is heard here
    QTemporaryDir folder;
    QString recording;
    int recordingMs = 0;
    int noiseSeconds = 0;
    QString screens;
    bool failed = false;
};

void TestEndToEnd::initTestCase()
{
    QVERIFY2(x.start(), qPrintable(x.error()));
    QVERIFY(x.mapKeysym("eacute"));
    QVERIFY(folder.isValid());
    QString why;
    QVERIFY2(sound.start(&why), qPrintable(why));
    // A recording of speech, as a person would transcribe it, over timed noise
    // that tells which moment of it was heard.
    const QString speech = folder.filePath("speech.wav");
    QCOMPARE(QProcess::execute("espeak-ng", {"-s", "150", "-w", speech, Speech}), 0);
    noiseSeconds = int(TestMedia::decodedLengthMs(speech) / 1000) + 1;
    const QString noise =
        TestMedia::writeFile(folder.path(), "noise.wav", TimedNoise::wavFile(noiseSeconds));
    recording = folder.filePath("interview.wav");
    QVERIFY(TestMedia::ffmpeg({"-i", speech, "-i", noise, "-filter_complex",
                               "[0]aresample=48000,volume=0.5[s];[s][1]amix=inputs=2:duration="
                               "longest:normalize=0",
                               "-ar", "48000", "-ac", "1", "-c:a", "pcm_s16le", recording}));
    recordingMs = int(TestMedia::decodedLengthMs(recording));
    QVERIFY2(recordingMs > 8000, "long enough for four sections");
    screens = QDir(KELVANE_E2E_SCREENS).absolutePath();
    QDir(screens).removeRecursively();
}

void TestEndToEnd::cleanup()
{
    // The pictures of a failed test stay, also while later tests pass.
    if (QTest::currentTestFailed()) {
        failed = true;
        qWarning("pictures of every step are kept in %s", qPrintable(screens));
    } else if (!failed) {
        QDir(screens).removeRecursively();
    }
}

void TestEndToEnd::transcribeSaveExportAndCarryOn()
{
    const QString home = folder.filePath("home");
    const QString project = home + "/Documents/harbour interview.kvprj";
    const QString exported = home + "/Documents/harbour transcript.txt";
    QList<Row> rows;
    {
        ProgramUnderTest kelvane(x, home);
        kelvane.keepPicturesIn(screens);
        kelvane.environment().insert("PULSE_SERVER", sound.address());
        // A sound server answers new streams at once only when the program's
        // first one, opened at start-up, has played for 2 s.
        const QDeadlineTimer settled(2500);
        QVERIFY2(kelvane.start(KELVANE_BINARY) && kelvane.waitForMainWindow(),
                 "the program shows its main window");
        const QString main = kelvane.mainWindow();
        kelvane.step("a second start is refused");
        ProgramUnderTest second(x, home);
        second.environment().insert("PULSE_SERVER", sound.address());
        QVERIFY(second.start(KELVANE_BINARY));
        const QString message = x.waitForWindow(second.pid(), "Kelvane");
        QVERIFY2(!message.isEmpty(), "the second program shows its message");
        QVERIFY(x.windowSize(message).width() < 600);
        x.xdotool({"windowfocus", "--sync", message});
        QTest::qWait(500); // the box takes no key in its first 400 ms
        x.xdotool({"key", "Return"});
        QVERIFY(second.process().waitForFinished(10000));
        QCOMPARE(second.process().exitCode(), 0);
        QCOMPARE(kelvane.process().state(), QProcess::Running);
        kelvane.focusMainWindow();
        kelvane.step("new project");
        kelvane.key("ctrl+n");
        QVERIFY(kelvane.chooseFile("Please select an Audio/Video file.", recording, main));
        // Heard from before the first play on; the keys that start a play, when pressed.
        SinkMonitor listener(sound, noiseSeconds);
        QVERIFY(listener.start());
        QList<qint64> playKeysNs;
        const auto play = [&](const char* key) {
            playKeysNs.append(SoundMeter::nowNs());
            kelvane.key(key);
        };
        kelvane.step("play");
        QTest::qWait(int(settled.remainingTime()));
        // F11 has started playing: after `ms`, F11 pauses and the words are typed.
        const auto closeSection = [&kelvane](int ms, const QString& name, const QString& words) {
            QTest::qWait(ms);
            kelvane.key("F11");
            kelvane.step(name + " section paused");
            kelvane.type(words);
        };
        play("F11");
        // A section is under way: the work has changed.
        QVERIFY2(kelvane.waitForCaption("Kelvane *", 60000), qPrintable(kelvane.caption()));
        closeSection(1800, "first", First);
        play("F11");
        closeSection(1800, "second", Second);
        // Sound was heard: no bar at the window's foot tells of its lack.
        const QImage afterPlays = kelvane.picture(main);
        QVERIFY((afterPlays.pixel(afterPlays.width() / 2, afterPlays.height() - 2) & 0xFFFFFF) !=
                0xFFECB3);
        const SeekBar paused = findSeekBar(afterPlays);
        // The waveform strip under the panels shows the recording's loudness and,
        // in the seek bar's green, the open section.
        int ink = 0, green = 0;
        for (int y = afterPlays.height() * 3 / 4; y < afterPlays.height(); ++y)
            for (int x = 0; x < afterPlays.width(); ++x) {
                const QRgb p = afterPlays.pixel(x, y) & 0xFFFFFF;
                ink += p == 0x4A4A4A;
                green += qGreen(p) > qRed(p) + 40 && qGreen(p) > qBlue(p) + 40;
            }
        QVERIFY2(ink > 2000 && green > 100, qPrintable(QString("%1 %2").arg(ink).arg(green)));
        QElapsedTimer replayClock;
        replayClock.start();
        play("F12");
        // The replay goes back to the section's start and ends at its end.
        const Played replay = waitForPlaybackToStop(kelvane);
        const qint64 normalReplayMs = replayClock.elapsed();
        QVERIFY2(replay.bar.left >= 0, "the replay ends");
        QVERIFY2(replay.leftmost < paused.thumbCentre - 20, "the replay went back");
        QVERIFY(qAbs(replay.bar.thumbCentre - paused.thumbCentre) <= 1);
        kelvane.step("second section replayed");
        // At half speed the replay lasts about one section longer, and ends at the same place.
        for (int press = 0; press < 5; ++press)
            kelvane.key("F9");
        replayClock.restart();
        play("F12");
        const Played slowReplay = waitForPlaybackToStop(kelvane);
        const qint64 slowerByMs = replayClock.elapsed() - normalReplayMs;
        kelvane.step("second section replayed at half speed");
        QVERIFY2(slowReplay.leftmost < paused.thumbCentre - 20, "the slow replay went back");
        QCOMPARE(slowReplay.bar.thumbCentre, replay.bar.thumbCentre);
        QVERIFY2(slowerByMs > 1300 && slowerByMs < 2600,
                 qPrintable(QString("half speed took %1 ms longer").arg(slowerByMs)));
        kelvane.key("shift+F10");
        play("F11");
        closeSection(1500, "third", Third);
        const qint64 playedNs = SoundMeter::nowNs();
        // Drag the thumb back into the first section: it becomes the current
        // one, is played from there, and what is typed now corrects it.
        const SeekBar bar = findSeekBar(kelvane.picture(main));
        QVERIFY2(bar.left >= 0 && bar.thumbCentre > bar.left + bar.width / 3,
                 "the seek bar and its thumb, past the first sections");
        const int y = bar.top - 5;
        const int target = bar.left + bar.width * 400 / recordingMs;
        kelvane.step("seek into the first section");
        kelvane.drag(main, {bar.thumbCentre, y}, {target, y});
        QVERIFY2(waitForPlaybackToStop(kelvane).bar.thumbCentre < bar.thumbCentre,
                 "the first section played from the chosen place to its end");
        kelvane.type(Checked);
        kelvane.step("save as a new project");
        kelvane.key("ctrl+s");
        QVERIFY(kelvane.chooseFile("Save Project", project, main));
        QVERIFY2(kelvane.waitForCaption("Kelvane " + project), "saved: no star");
        const QByteArray saved = TestFiles::read(project);
        rows = rowsOf(saved);
        QCOMPARE(rows.size(), 3);
        // Each section lasted about as long as the test let it play.
        for (const Row& row : rows)
            QVERIFY2(row.end - row.start >= 1000 && row.end - row.start <= 4000,
                     qPrintable(QStringLiteral("%1 to %2").arg(row.start).arg(row.end)));
        // What was heard: the first play and each Continue the very section it
        // closed, each starting where the last ended, and each replay, at normal
        // and at half speed, its section.
        const QList<SinkMonitor::Span> heard = listener.spans(playKeysNs[0], playedNs);
        const QList<Row> played = {rows[0], rows[1], rows[1], rows[1], rows[2]};
        double lastHeardMs = 0;
        for (qsizetype i = 0; i < played.size(); ++i) {
            // The monitor may place a sound up to 10 ms early.
            const auto span = std::find_if(heard.begin(), heard.end(), [&](const auto& s) {
                return s.startNs > playKeysNs[i] - 20'000'000;
            });
            QVERIFY2(span != heard.end(), qPrintable(QString::number(i)));
            const double delayMs = double(span->startNs - playKeysNs[i]) / 1e6;
            // Continue joins the capture play before it; replays join nothing.
            const bool replay = i == 2 || i == 3;
            const double joinMs = replay ? 0 : span->firstMs - lastHeardMs;
            if (!replay)
                lastHeardMs = span->lastMs;
            const QString measured = QString::asprintf(
                "play %lld: heard %.1f ms after its key, %+.1f to %+.1f ms off %d-%d, joins %+.1f",
                qlonglong(i), delayMs, span->firstMs - played[i].start,
                span->lastMs - played[i].end, played[i].start, played[i].end, joinMs);
            qInfo("%s", qPrintable(measured));
            // At half speed, within one window of the time stretcher.
            const double off = i == 3 ? 14 + 20 * 1.7 : 5;
            QVERIFY2(delayMs < delayBoundMs(300) && qAbs(span->firstMs - played[i].start) <= off &&
                         qAbs(span->lastMs - played[i].end) <= off && qAbs(joinMs) <= 5,
                     qPrintable(measured));
        }
        rows[0].text = First + Checked;
        rows[1].text = Second;
        rows[2].text = Third;
        QCOMPARE(saved, projectFile(recording, rows));
        kelvane.step("export");
        kelvane.key("ctrl+e");
        const QString exportWindow = kelvane.waitForWindow("Export Transcription Text");
        QVERIFY(!exportWindow.isEmpty());
        kelvane.click(exportWindow, {6330 / 15 + 60, 120 / 15 + 11}); // "Save As"
        QVERIFY(kelvane.chooseFile("Save", exported, exportWindow));
        // Written once the dialog has closed.
        QTRY_COMPARE_WITH_TIMEOUT(TestFiles::read(exported), transcript(rows), 10000);
        QVERIFY(x.closeWindow(exportWindow));
        kelvane.focusMainWindow();
        kelvane.step("change and close");
        kelvane.type(BeforeQuit);
        QVERIFY(kelvane.waitForCaption("Kelvane *" + project));
        QVERIFY(x.closeWindow(main));
        QVERIFY2(!kelvane.waitForMessage().isEmpty(), "the quit question");
        kelvane.step("quit question");
        kelvane.key("alt+y");
        QVERIFY2(kelvane.waitForEnd(), "the program ends after saving");
        QCOMPARE(kelvane.process().exitCode(), 0);
        rows[0].text += BeforeQuit;
        QCOMPARE(TestFiles::read(project), projectFile(recording, rows));
    }
    {
        ProgramUnderTest kelvane(x, home);
        kelvane.keepPicturesIn(screens);
        kelvane.environment().insert("PULSE_SERVER", sound.address());
        QVERIFY(kelvane.start(KELVANE_BINARY) && kelvane.waitForMainWindow());
        const QString main = kelvane.mainWindow();
        kelvane.step("open the project");
        kelvane.key("ctrl+o");
        QVERIFY(kelvane.chooseFile("Open Project", project, main));
        // The last section replays and waits at its end; F11 commits it and plays on.
        const SeekBar replayed = waitForPlaybackToStop(kelvane).bar;
        const int lastEnd = replayed.left + int(qint64(replayed.width) * rows[2].end / recordingMs);
        QVERIFY2(qAbs(replayed.thumbCentre - lastEnd) <= 2,
                 "paused at the end of the last section");
        kelvane.step("carry on");
        kelvane.key("F11");
        const SeekBar ended = waitForPlaybackToStop(kelvane).bar;
        QVERIFY2(qAbs(ended.thumbCentre - (ended.left + ended.width)) <= 2,
                 "played to the end of the recording");
        kelvane.step("end of the recording");
        kelvane.type(Fourth);
        kelvane.key("ctrl+s");
        QVERIFY(kelvane.waitForCaption("Kelvane " + project));
        QVERIFY(x.closeWindow(main));
        QVERIFY2(kelvane.waitForEnd(), "a saved project closes without a question");
    }
    // The sections tile the recording: from 0, in order, without gaps, to its end.
    const QByteArray final = TestFiles::read(project);
    const QList<Row> bounds = rowsOf(final);
    QCOMPARE(bounds.size(), 4);
    QCOMPARE(bounds[0].start, 0);
    for (qsizetype i = 0; i < bounds.size(); ++i) {
        QVERIFY2(bounds[i].end > bounds[i].start, qPrintable(QString::number(i)));
        if (i > 0)
            QCOMPARE(bounds[i].start, bounds[i - 1].end);
        if (i < 3)
            QCOMPARE(bounds[i].end, rows[i].end);
    }
    QVERIFY2(qAbs(bounds[3].end - recordingMs) <= 25,
             qPrintable(QStringLiteral("the last section ends at %1, the recording at %2")
                            .arg(bounds[3].end)
                            .arg(recordingMs)));
    rows.append({bounds[3].start, bounds[3].end, Fourth});
    QCOMPARE(final, projectFile(recording, rows));
    QVERIFY(final.contains("caf\xE9 au lait")); // Windows-1252
}

// Program A is killed with a section kept and more words typed since; program B,
// on another computer sharing the home, ends cleanly meanwhile and leaves A's copy
// alone. The next start offers it; typing does not answer that question.
void TestEndToEnd::unsavedWorkSurvivesAKill()
{
    const QString home = folder.filePath("killed");
    const QString project = home + "/Documents/recovered.kvprj";
    const QString words = QString::fromUtf8("Nothing is lost: café & 100% sure!");
    const QString since = "and typed since";
    int sectionEnd = 0;
    // A video this time: its window opens by itself, and takes no key.
    const QString video =
        TestMedia::numberedVideo(folder.path(), "interview.mp4", noiseSeconds, {192, 108});
    QVERIFY(!video.isEmpty());
    {
        ProgramUnderTest kelvane(x, home), other(x, home, home + "/runtime-b");
        kelvane.environment().insert("PULSE_SERVER", sound.address());
        other.environment().insert("PULSE_SERVER", sound.address());
        kelvane.keepPicturesIn(screens);
        const QDeadlineTimer settled(2500);
        QVERIFY(kelvane.start(KELVANE_BINARY) && kelvane.waitForMainWindow());
        kelvane.step("new project, never saved");
        kelvane.key("ctrl+n");
        QVERIFY(
            kelvane.chooseFile("Please select an Audio/Video file.", video, kelvane.mainWindow()));
        kelvane.step("play");
        QTest::qWait(int(settled.remainingTime()));
        kelvane.key("F11");
        QVERIFY2(kelvane.waitForCaption("Kelvane *", 60000), qPrintable(kelvane.caption()));
        const QString pictures = x.waitForWindow(kelvane.pid(), "Kelvane - Video");
        QVERIFY(!pictures.isEmpty());
        QTest::qWait(1500);
        kelvane.key("F11");
        QTRY_VERIFY(TestMedia::frameNumber(kelvane.picture(pictures)) > 25);
        kelvane.type(words);
        kelvane.key("F11");
        // Continue has kept the section in the recovery copy.
        QTest::qWait(1000);
        kelvane.type(since);
        const QString copy = recoveryCopy(home);
        QVERIFY(!copy.isEmpty() && rowsOf(TestFiles::read(copy)).size() == 2);
        sectionEnd = rowsOf(TestFiles::read(copy))[0].end;
        QVERIFY2(sectionEnd >= 1000, qPrintable(QString::number(sectionEnd)));
        QVERIFY(other.start(KELVANE_BINARY) && other.waitForMainWindow());
        QTest::qWait(1000); // the words typed last are a second old
        kelvane.step("killed");
        QVERIFY(::kill(pid_t(kelvane.process().processId()), SIGKILL) == 0);
        QVERIFY(kelvane.process().waitForFinished(5000));
        QCOMPARE(kelvane.process().exitStatus(), QProcess::CrashExit);
        QVERIFY(x.closeWindow(other.mainWindow()) && other.waitForEnd());
    }
    ProgramUnderTest kelvane(x, home);
    kelvane.keepPicturesIn(screens);
    kelvane.environment().insert("PULSE_SERVER", sound.address());
    QVERIFY(kelvane.start(KELVANE_BINARY) && kelvane.waitForMainWindow());
    const QString question = kelvane.waitForMessage();
    QVERIFY2(!question.isEmpty(), "the recovery question");
    kelvane.step("recovery question");
    kelvane.type("and now ");
    QVERIFY(kelvane.answer(question, "alt+y"));
    QVERIFY2(kelvane.waitForCaption("Kelvane *", 60000), "recovered, not saved");
    // Saved, the work shows every character typed, and the copy is no longer needed.
    kelvane.step("recovered");
    kelvane.key("ctrl+s");
    QVERIFY(kelvane.chooseFile("Save Project", project, kelvane.mainWindow()));
    QVERIFY(kelvane.waitForCaption("Kelvane " + project));
    const QList<Row> rows = rowsOf(TestFiles::read(project));
    QCOMPARE(rows.size(), 2);
    QCOMPARE(TestFiles::read(project),
             projectFile(video, {{0, sectionEnd, words}, {sectionEnd, rows[1].end, since}}));
    QVERIFY(recoveryCopy(home).isEmpty());
    // A second program opening the project warns that it is open here; Escape keeps out.
    ProgramUnderTest second(x, home, home + "/runtime-b");
    second.environment().insert("PULSE_SERVER", sound.address());
    QVERIFY(second.start(KELVANE_BINARY, {project}) && second.waitForMainWindow());
    const QString warning = second.waitForMessage();
    QVERIFY(!warning.isEmpty() && second.answer(warning, "Escape"));
    QTest::qWait(1000);
    QVERIFY(second.caption().trimmed() == "Kelvane" && x.closeWindow(second.mainWindow()));
    QVERIFY(second.waitForEnd());
    // Told to stop (a logout), it keeps what was typed last in a copy, and ends cleanly.
    kelvane.focusMainWindow();
    kelvane.type(" and more");
    QTest::qWait(200);
    QVERIFY(::kill(pid_t(kelvane.pid()), SIGTERM) == 0 && kelvane.waitForEnd());
    QCOMPARE(kelvane.process().exitCode(), 0);
    QCOMPARE(rowsOf(TestFiles::read(recoveryCopy(home))).value(1).text, since + " and more");
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"

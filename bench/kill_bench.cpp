// What survives when the program is ended from outside in the middle of a
// transcription: after a kill -9 at a random moment, nothing typed more than
// a second before it may be lost; after a SIGTERM, nothing typed before it.
//
// Each run starts the real program on a private X server in a home of its
// own (cleaned between runs), makes a new transcription of a 60-second
// recording (Ctrl+N, the recording chosen, F11) and drives a session of
// random steps as a person would: words typed, F11 (pause, then Continue,
// which commits the section), F12 (a replay), Ctrl+S (the first one names
// the project in the home's Documents) and pauses to think. A second thread
// sends the signal at a moment drawn uniformly over the session. The work a
// next start would get back is then read as the program reads it: the dead
// program's recovery copy with its journal applied, or else the project file
// last saved. Every word typed is unique, so the rows' texts, read in row
// order, must give the typed words in the order they were typed; a word
// whose typing had ended (xdotool had returned) more than a second before the
// signal must be among them.
//
// usage: kill_bench WORK_DIR [KILLS] [TERMS] [SESSION_SECONDS] [SEED]
//        KILLS runs end with SIGKILL (50), TERMS more with SIGTERM (5), each
//        at a moment within SESSION_SECONDS (12) of the first F11; SEED
//        repeats a series of sessions (the one used is printed). WORK_DIR
//        keeps the recording, the private home folder, the program's output,
//        kelvane-output.log, and a picture of the screen where a run could
//        not be set up (kill-screens).

#include "ProgramUnderTest.h"
#include "TestMedia.h"
#include "XServer.h"
#include "storage/ProjectFile.h"
#include "storage/RecoveryFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

// Xlib's macros (Status, None...) after every Qt header.
#include "XBench.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

using namespace xbench;

namespace {

constexpr double KeptWithinMs = 1000;
constexpr int RecordingSeconds = 60;

const char* const Vocabulary[] = {"harbour", "boats", "dawn",  "people", "worked", "forty",
                                  "years",   "tide",  "nets",  "market", "quay",   "weather",
                                  "engine",  "crew",  "storm", "morning"};

struct Word
{
    QString text;
    double typedMs = 0; // when xdotool had sent its last key
};

// One session with the program, from the first F11 to the signal.
struct Session
{
    const XServer& x;
    const ProgramUnderTest& program;
    std::mt19937& random;
    QString documents;
    double beganMs = nowMs();

    // Written by the signalling thread, `signalMs` before `signalled`.
    std::atomic<bool> signalled{false};
    double signalMs = 0;

    std::vector<Word> words{};
    // Every xdotool call that sent keys: when it began and when it returned.
    std::vector<std::pair<double, double>> keyCalls{};
    QString projectFile{}; // once the Save dialog has been answered
    QString steps{};       // what was done when, to repeat a loss by hand

    int below(int n) { return int(random() % unsigned(n)); }

    double send(const QStringList& args)
    {
        const double began = nowMs();
        x.xdotool(args);
        keyCalls.emplace_back(began, nowMs());
        return keyCalls.back().second;
    }
    void log(const QString& what)
    {
        steps += QString(" [%1] %2").arg((nowMs() - beganMs) / 1000, 0, 'f', 2).arg(what);
    }
    void key(const QString& keys)
    {
        log(keys);
        send({"key", "--clearmodifiers", keys});
    }
    void typeWord()
    {
        const QString word =
            Vocabulary[below(int(std::size(Vocabulary)))] + QString::number(words.size() + 1);
        log(word);
        words.push_back({word, send({"type", "--delay", "20", word + ' '})});
    }
    void think(int ms)
    {
        log(QString("think %1 ms").arg(ms));
        for (const double until = nowMs() + ms; !signalled && nowMs() < until;)
            sleepMs(20);
    }
    // Ctrl+S; the first time, the Save dialog is answered with a new file in
    // Documents, and the keys go back to the main window.
    void save()
    {
        key("ctrl+s");
        if (!projectFile.isEmpty())
            return;
        QString dialog;
        for (const double until = nowMs() + 15000;
             dialog.isEmpty() && !signalled && nowMs() < until;)
            dialog = x.waitForWindow(program.pid(), "Save Project", 200);
        if (dialog.isEmpty())
            return;
        projectFile = documents + "/session.kvprj";
        log("Save dialog answered with " + projectFile);
        program.focus(dialog);
        send({"key", "--clearmodifiers", "ctrl+a"});
        send({"type", "--delay", "20", projectFile});
        send({"key", "Return"});
        for (const double until = nowMs() + 10000;
             !signalled && nowMs() < until && x.visibleWindows(program.pid()).contains(dialog);)
            sleepMs(50);
        program.focusMainWindow();
    }
    void step()
    {
        const int roll = below(100);
        if (roll < 50) {
            for (int n = 1 + below(4); n > 0 && !signalled; --n)
                typeWord();
        } else if (roll < 65) {
            key("F11");
        } else if (roll < 73) {
            key("F12");
        } else if (roll < 79) {
            save();
        } else {
            think(300 + below(2200));
        }
    }
};

// The words of the work a next start would get back, the rows' texts in row
// order, and where they came from.
struct Recovered
{
    QString source;
    QStringList words;
    int rows = 0;
};

Recovered fromContent(const QString& source, const ProjectContent& content)
{
    Recovered recovered{source, {}, int(content.rows.size())};
    static const QRegularExpression space("\\s+");
    for (const SectionTableModel::Cells& cells : content.rows)
        recovered.words += cells[SectionTableModel::TextColumn].split(space, Qt::SkipEmptyParts);
    return recovered;
}

// As the next start finds it: a copy whose program is gone (its lock is
// free), the newest first; without one, the project file as last saved.
Recovered readRecovered(const QString& projectFile)
{
    const std::vector<OrphanedCopy> copies = orphanedRecoveryFiles();
    if (!copies.empty()) {
        const std::optional<RecoveredWork>& work = copies.front().work;
        if (!work)
            return {"a recovery copy that cannot be read: " + copies.front().failure, {}, 0};
        return fromContent(copies.size() == 1
                               ? QString("recovery copy")
                               : QString("newest of %1 recovery copies").arg(copies.size()),
                           work->content);
    }
    QFile file(projectFile);
    if (projectFile.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {"nothing", {}, 0};
    const std::optional<ProjectContent> content = readProjectFileBytes(file.readAll());
    if (!content)
        return {"a project file that cannot be read", {}, 0};
    return fromContent("project file", *content);
}

struct Outcome
{
    QString failure; // why the run measured nothing
    QString ended;
    QString source;
    int typed = 0;
    int recovered = 0;
    int rows = 0;
    int lost = 0;
    int lostOld = 0;             // typed more than a second before the signal
    double oldestLostAgeMs = -1; // -1: nothing lost
    double sinceLastKeyMs = -1;  // 0 while xdotool was sending keys; -1 before any
    bool disorder = false;       // a recovered word out of place
    QString steps;
};

// Compares what was typed before the signal with what came back.
void judge(const Session& session, const Recovered& back, Outcome& outcome)
{
    const double at = session.signalMs;
    outcome.source = back.source;
    outcome.rows = back.rows;
    outcome.steps = session.steps;
    for (const Word& word : session.words)
        outcome.typed += word.typedMs <= at;
    // The words come back in typing order; the last one may have been caught
    // half typed.
    const auto& typed = session.words;
    for (qsizetype i = 0; i < back.words.size() && !outcome.disorder; ++i) {
        if (size_t(i) < typed.size() && back.words[i] == typed[size_t(i)].text)
            ++outcome.recovered;
        else
            outcome.disorder = !(i + 1 == back.words.size() && size_t(i) < typed.size() &&
                                 typed[size_t(i)].text.startsWith(back.words[i]));
    }
    for (size_t i = size_t(outcome.recovered); i < typed.size() && typed[i].typedMs <= at; ++i) {
        ++outcome.lost;
        outcome.lostOld += typed[i].typedMs < at - KeptWithinMs;
        outcome.oldestLostAgeMs = std::max(outcome.oldestLostAgeMs, at - typed[i].typedMs);
    }
    double lastKey = -1;
    for (const auto& [began, ended] : session.keyCalls) {
        if (began <= at && ended > at)
            lastKey = at; // keys were being sent
        else if (ended <= at)
            lastKey = std::max(lastKey, ended);
    }
    outcome.sinceLastKeyMs = lastKey < 0 ? -1 : at - lastKey;
}

// One run: the program started in a cleaned home, a new transcription, the
// session, the signal, and what a next start would get back.
Outcome runOnce(const XServer& x, const QString& work, const QString& recording, int signal,
                double sessionMs, std::mt19937& random)
{
    const QString home = work + "/kill-home";
    QDir(home + "/.local/share/Kelvane").removeRecursively();
    QDir(home + "/Documents").removeRecursively();
    Outcome outcome;
    ProgramUnderTest program(x, home, work + "/kill-runtime");
    const auto failed = [&](const QString& why) {
        outcome.failure = why;
        program.keepPicturesIn(work + "/kill-screens");
        program.step(why);
        return outcome;
    };
    program.process().setProcessChannelMode(QProcess::MergedChannels);
    program.process().setStandardOutputFile(work + "/kelvane-output.log", QIODevice::Append);
    if (!program.start(KELVANE_BINARY) || !program.waitForMainWindow())
        return failed("no main window");
    program.key("ctrl+n");
    if (!program.chooseFile("Please select an Audio/Video file.", recording, program.mainWindow()))
        return failed("the recording could not be chosen");
    // An F11 pressed as the dialog closes is sometimes lost; a second one
    // pauses a transcription that was only slow to start, which a session
    // may begin with all the same.
    program.key("F11");
    if (!program.waitForCaption("Kelvane *", 10000))
        program.key("F11");
    if (!program.waitForCaption("Kelvane *", 60000))
        return failed("F11 did not start the transcription");

    Session session{x, program, random, home + "/Documents"};
    const double signalAt =
        session.beganMs + std::uniform_real_distribution<double>(0, sessionMs)(random);
    const pid_t pid = pid_t(program.pid());
    std::thread signaller([&session, signalAt, pid, signal] {
        sleepMs(signalAt - nowMs());
        session.signalMs = nowMs();
        ::kill(pid, signal);
        session.signalled = true;
    });
    while (!session.signalled)
        session.step();
    signaller.join();

    const bool finished = program.process().waitForFinished(15000);
    outcome.ended = !finished ? "still running"
                    : program.process().exitStatus() == QProcess::CrashExit
                        ? "killed"
                        : QString("exit code %1").arg(program.process().exitCode());
    judge(session, readRecovered(session.projectFile), outcome);
    outcome.steps +=
        QString(" [%1] signal").arg((session.signalMs - session.beganMs) / 1000, 0, 'f', 2);
    return outcome;
}

double percentile(std::vector<double> values, double share)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t rank = size_t(std::ceil(share * double(values.size())));
    return values[std::max<size_t>(rank, 1) - 1];
}

void printOutcome(const char* name, int number, const Outcome& outcome)
{
    const QString sinceLastKey =
        outcome.sinceLastKeyMs < 0 ? "none" : QString::number(outcome.sinceLastKeyMs, 'f', 0);
    std::printf("%s %2d: since_last_key_ms=%s typed=%d recovered=%d rows=%d from=%s lost=%d "
                "lost_older_than_1s=%d oldest_lost_age_ms=%.0f%s ended=%s\n",
                name, number, qPrintable(sinceLastKey), outcome.typed, outcome.recovered,
                outcome.rows, qPrintable(outcome.source), outcome.lost, outcome.lostOld,
                std::max(0.0, outcome.oldestLostAgeMs),
                outcome.disorder ? " WORDS OUT OF ORDER" : "", qPrintable(outcome.ended));
    if (outcome.lostOld > 0 || outcome.disorder)
        std::printf("  steps:%s\n", qPrintable(outcome.steps));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: kill_bench WORK_DIR [KILLS] [TERMS] [SESSION_SECONDS] [SEED]\n");
        return 2;
    }
    QCoreApplication application(argc, argv);
    const QString work = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const int kills = argc > 2 ? std::max(1, std::atoi(argv[2])) : 50;
    const int terms = argc > 3 ? std::max(0, std::atoi(argv[3])) : 5;
    const double sessionMs = 1000 * (argc > 4 ? std::max(1, std::atoi(argv[4])) : 12);
    const unsigned seed =
        argc > 5 ? unsigned(std::strtoul(argv[5], nullptr, 10)) : std::random_device()();
    std::mt19937 random(seed);
    std::printf("seed %u; sessions of up to %.0f s, the signal at a uniformly random moment\n",
                seed, sessionMs / 1000);

    // The recovery copies are found where the program keeps them.
    QCoreApplication::setApplicationName("Kelvane");
    qputenv("XDG_DATA_HOME", QFile::encodeName(work + "/kill-home/.local/share"));

    QDir().mkpath(work + "/kill-recording");
    QString recording = work + "/kill-recording/wav.wav";
    if (!QFile::exists(recording))
        recording =
            TestMedia::generate(work + "/kill-recording", TestMedia::Kind::Wav, RecordingSeconds);
    XServer x;
    if (recording.isEmpty() || !x.start()) {
        std::fprintf(stderr, "kill_bench: %s\n",
                     recording.isEmpty() ? "ffmpeg made no recording" : qPrintable(x.error()));
        return 1;
    }

    std::vector<double> oldestLost; // per kill, 0 when nothing was lost
    int killsWithOldLoss = 0, killWords = 0, killLost = 0, failures = 0;
    int termsWithLoss = 0, termWords = 0, termLost = 0, termsUnclean = 0;
    int measuredKills = 0, measuredTerms = 0;
    double largestLostAge = 0;
    for (int attempts = 0;
         (measuredKills < kills || measuredTerms < terms) && attempts < 2 * (kills + terms);
         ++attempts) {
        const bool killed = measuredKills < kills;
        const Outcome outcome =
            runOnce(x, work, recording, killed ? SIGKILL : SIGTERM, sessionMs, random);
        if (!outcome.failure.isEmpty()) {
            ++failures;
            std::printf("run not measured: %s\n", qPrintable(outcome.failure));
            continue;
        }
        const bool wrong = outcome.disorder;
        if (killed) {
            printOutcome("kill", ++measuredKills, outcome);
            oldestLost.push_back(std::max(0.0, outcome.oldestLostAgeMs));
            largestLostAge = std::max(largestLostAge, outcome.oldestLostAgeMs);
            killsWithOldLoss += outcome.lostOld > 0 || wrong;
            killWords += outcome.typed;
            killLost += outcome.lost;
        } else {
            printOutcome("term", ++measuredTerms, outcome);
            termsWithLoss += outcome.lost > 0 || wrong;
            termsUnclean += outcome.ended != "exit code 0";
            termWords += outcome.typed;
            termLost += outcome.lost;
        }
    }

    const double p95 = percentile(oldestLost, 0.95);
    std::printf("SIGKILL: kills=%d kills_with_loss_older_than_1s=%d largest_lost_age_ms=%.0f "
                "p95_oldest_lost_age_ms=%.0f (per kill, 0 when nothing was lost) words_typed=%d "
                "words_lost=%d\n",
                measuredKills, killsWithOldLoss, largestLostAge, p95, killWords, killLost);
    std::printf("SIGTERM: runs=%d runs_with_loss=%d words_typed=%d words_lost=%d "
                "not_ended_with_exit_code_0=%d; runs not measured: %d\n",
                measuredTerms, termsWithLoss, termWords, termLost, termsUnclean, failures);

    const std::string where =
        format("the real program under Xvfb, 60-s WAV, the signal within %.0f s of the first F11",
               sessionMs / 1000);
    printRow("Kills -9 losing a word typed more than 1 s before", format("0 of %d", kills),
             format("%d of %d", killsWithOldLoss, measuredKills),
             verdict(measuredKills >= kills && killsWithOldLoss == 0),
             format("oldest word lost: %.0f ms, 95th percentile per kill %.0f ms; %d words typed, "
                    "%d lost; %s",
                    largestLostAge, p95, killWords, killLost, where.c_str()));
    if (terms > 0)
        printRow("SIGTERM runs losing a word typed before the signal", "0",
                 format("%d of %d", termsWithLoss, measuredTerms),
                 verdict(measuredTerms >= terms && termsWithLoss == 0),
                 format("%d words typed, %d lost; %d runs not ended with exit code 0; %s",
                        termWords, termLost, termsUnclean, where.c_str()));
    return 0;
}

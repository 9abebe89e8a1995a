// What a listener hears through a real sound server (a private PulseAudio
// with a null sink, recorded from its monitor) in the transcription cycle:
// open a recording and let it sit, play from the start and pause, "type",
// resume and pause again, replay both sections, play from some point to a
// section end, play on and jump back 5 s. For every key that makes sound: how
// long until its first sound is heard, and which moment of the media the
// sound starts and ends at, read back from the timed noise the media is made
// of. On an idle sink and on one kept busy by another client, at 0.5x, 1.0x
// and 2.0x, in several formats; the first play is measured again after the
// recording sat open for 8 s. Prints one line per key, the worst figures per
// format and, at the end, the rows of the summary table; run by
// `make bench`.
//
// usage: heard_bench [FORMAT ...]   (wav mp3 m4a wma; all by default)

#include "BenchRow.h"
#include "TestMedia.h"

#include "media/GstMediaControl.h"
#include "tools/SinkMonitor.h"
#include "tools/SoundMeter.h"
#include "tools/SoundServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

namespace {

using Span = SinkMonitor::Span;

constexpr int MediaSeconds = 30;
constexpr int ListenMs = 3000;   // how long each play is listened to before its pause
constexpr int TypingMs = 2000;   // the pause between the first play and the resume
constexpr int SettleMs = 300;    // silence between two plays, so that each is heard apart
constexpr int GiveUpMs = 15000;  // a play unheard this long after its key is not heard at all
constexpr int JumpBackMs = 5000; // as the window's Jump Back key
constexpr int ShortSitMs = 1500;
constexpr int LongSitMs = 8000;
// The null sink renders a block ahead, so the monitor may date a sound up to
// about 10 ms before the key that caused it.
constexpr qint64 EarlyNs = 15'000'000;
constexpr double Unheard = std::numeric_limits<double>::infinity();
// Shorter sounds are clicks: too short to tell where in the media they are.
constexpr qint64 ClickNs = 2'000'000;
// The sound read at a time to tell which moment of the media it is, and a
// shorter one to find a jump inside a stretch.
constexpr qint64 ReadNs = 10'000'000;
constexpr qint64 ProbeNs = 5'000'000;
// A reading this far off the course of the rest of its stretch is not the
// media: a lossy coder's padding, or a sound too changed to recognise.
constexpr double OffCourseMs = 250;

constexpr double FirstPlayTargetMs = 50;
constexpr double LaterPlayTargetMs = 30;

// At 1.0x a section is heard from and to its very sample, give or take the
// monitor's 5 ms. A time stretcher works in windows (TempoFilter.cpp: search
// 14 ms, stride 20 ms, overlap 0.2), so at another speed a section may start
// or end up to one window away.
double placeTargetMs(int speed)
{
    const double rate = speed / 1000.0;
    return speed == MediaControl::NormalSpeed ? 5 : 14 + 20 * (1 + 0.2 + rate);
}

struct Format
{
    TestMedia::Kind kind;
    const char* label;
};

const Format Formats[] = {{TestMedia::Kind::Wav, "wav"},
                          {TestMedia::Kind::Mp3Cbr, "mp3"},
                          {TestMedia::Kind::M4a, "m4a"},
                          {TestMedia::Kind::Wma, "wma"}};

// A key that makes sound, where its sound should start and end in the media,
// and what was heard of it.
struct Key
{
    QString what;
    qint64 atNs = 0;
    double from = 0;
    double to = -1; // -1: it plays until it is paused
    QList<Span> heard;
    int clicks = 0;      // sounds too short to read their media time from
    bool inside = false; // a jump found inside a stretch of the play it left

    // The largest gap (+) or repeat (-) of media between two of its stretches.
    double brokenMs() const
    {
        double worst = 0;
        for (qsizetype i = 1; i < heard.size(); ++i)
            if (const double step = heard[i].firstMs - heard[i - 1].lastMs;
                std::abs(step) > std::abs(worst))
                worst = step;
        return worst;
    }

    double delayMs() const
    {
        return heard.isEmpty() ? Unheard : std::max<qint64>(0, heard.first().startNs - atNs) / 1e6;
    }
    // How far its first and last sound are from where it should start and
    // end, with the media heard `lagMs` behind the positions. Nothing lies
    // before the media's start: a play from there starts with the lag.
    double startOffMs(double lagMs) const
    {
        return heard.isEmpty() ? Unheard : heard.first().firstMs - std::max(0.0, from - lagMs);
    }
    double endOffMs(double lagMs) const
    {
        return heard.isEmpty() || to < 0 ? Unheard : heard.last().lastMs - (to - lagMs);
    }
};

// The worst of one figure, and where it was.
struct Worst
{
    double value = -1;
    QString where;

    void take(double candidate, const QString& at)
    {
        if (candidate > value) {
            value = candidate;
            where = at;
        }
    }
    bool measured() const { return value >= 0; }
};

// What is measured of each run of the cycle.
enum Figure
{
    FirstPlay, // key to first sound
    LaterPlay,
    Jump,
    Start, // |first heard media time - where the play starts|
    End,   // |last heard media time - where the play ends|, on plays with an end
    Tiling,
    Inside, // the largest gap or repeat between two stretches of one play
    FigureCount
};

// A lossy coder's output starts with the coder's own delay: unless the
// player takes it off, every position is heard as the media some
// milliseconds before it. The section figures take any such constant lag
// out, and it is reported on its own.
constexpr double LagUnknown = std::numeric_limits<double>::quiet_NaN();

// The worst of each figure over one run of the cycle, or over several.
struct Figures
{
    std::array<Worst, FigureCount> worst;
    bool jumpMissing = false;
    double lagMs = LagUnknown; // measured by this run, at 1.0x

    void add(const Figures& other, const QString& label)
    {
        for (int f = 0; f < FigureCount; ++f)
            if (other.worst[f].measured())
                worst[f].take(other.worst[f].value, label + " " + other.worst[f].where);
        jumpMissing = jumpMissing || other.jumpMissing;
    }
};

QString ms(double value)
{
    return std::isinf(value) ? QStringLiteral("nothing heard")
                             : QString("%1 ms").arg(value, 0, 'f', 1);
}

QString sinkName(bool busy)
{
    return busy ? QStringLiteral("busy sink") : QStringLiteral("idle sink");
}

QString speedName(int speed)
{
    return QString("%1x").arg(speed / 1000.0, 0, 'f', 1);
}

// One run of the cycle on one recording.
class Cycle
{
public:
    Cycle(SinkMonitor& monitor, const QString& path, int speed) : monitor_(monitor), speed_(speed)
    {
        device_.setFileName(path);
        device_.setSpeed(speed);
    }

    // Opens the recording, lets it sit `sitMs` and plays the first section;
    // with `whole`, the rest of the cycle too. False when it did not open.
    bool run(int sitMs, bool whole);
    // Prints what each key was heard as, and returns the worst of it. The
    // media's lag behind the positions is measured at 1.0x, and given for
    // the other speeds.
    Figures analyse(double placeTarget, double lagMs);

private:
    double rate() const { return speed_ / 1000.0; }
    Key& press(const QString& what, double from, double to);
    void listen(const Key& key, int ms);
    void pause();
    void replay(const QString& what, qint32 from, qint32 to);
    void attribute(const QList<Span>& spans);
    void findJump(Key& jump, Key& left);
    double mediaAt(qint64 atNs, qint64 forNs = ReadNs) const;
    void check(Span& span) const;
    double measureLag() const;
    double tiling() const;
    void print(const Key& key) const;

    SinkMonitor& monitor_;
    const int speed_;
    GstMediaControl device_;
    QList<Key> keys_;
    qint64 startNs_ = 0;
    QList<qint32> pauses_; // where the first play and the resume were paused
    double lagMs_ = 0;
};

Key& Cycle::press(const QString& what, double from, double to)
{
    keys_.append({what, SoundMeter::nowNs(), from, to, {}});
    return keys_.last();
}

// Plays on until `ms` after the key's sound was first heard, or gives up.
void Cycle::listen(const Key& key, int ms)
{
    QElapsedTimer clock;
    clock.start();
    qint64 heardNs = -1;
    while ((heardNs = monitor_.firstSoundNs(key.atNs - EarlyNs)) < 0 && clock.elapsed() < GiveUpMs)
        QTest::qWait(5);
    if (heardNs >= 0)
        QTest::qWait(
            int(std::max<qint64>(0, heardNs + ms * 1'000'000LL - SoundMeter::nowNs()) / 1'000'000));
}

// Pauses, as F11 does, and keeps where: the end of the section just heard.
void Cycle::pause()
{
    device_.command(DeviceCommand::Pause);
    pauses_.append(device_.Position());
}

// A stretch played as F12 replays a section, or as a click on a row plays
// from there: until the device stops at its end.
void Cycle::replay(const QString& what, qint32 from, qint32 to)
{
    device_.setFrom(from);
    device_.setTo(to);
    press(what, from, to);
    device_.command(DeviceCommand::Play);
    QElapsedTimer clock;
    clock.start();
    while (device_.mode() == DeviceMode::Playing &&
           clock.elapsed() < (to - from) / rate() + GiveUpMs)
        QTest::qWait(2);
    QTest::qWait(SettleMs);
}

bool Cycle::run(int sitMs, bool whole)
{
    monitor_.clear();
    startNs_ = SoundMeter::nowNs();
    device_.command(DeviceCommand::Open);
    const qint32 length = device_.Length();
    if (device_.mode() == DeviceMode::NotOpen || length < MediaSeconds * 1000 - 100)
        return false;
    QTest::qWait(sitMs);

    device_.setFrom(0);
    device_.setTo(length);
    press("first play", 0, -1);
    device_.command(DeviceCommand::Play);
    listen(keys_.last(), ListenMs);
    pause();
    if (!whole) {
        QTest::qWait(SettleMs);
        return true;
    }

    QTest::qWait(TypingMs);
    press("resume", pauses_[0], -1);
    device_.command(DeviceCommand::Pause); // a paused device resumes the same play
    listen(keys_.last(), ListenMs);
    pause();
    QTest::qWait(SettleMs);

    const qint32 first = pauses_[0];
    const qint32 second = pauses_[1];
    if (first > 0)
        replay("replay 1", 0, first);
    if (second > first) {
        replay("replay 2", first, second);
        replay("seek", first + (second - first) * 2 / 5, second);
    }

    // Plays on from the last pause (from 6 s at least, so that there is
    // something to jump back over) and jumps back while playing.
    const qint32 from = std::max(second, qint32(6000));
    device_.setFrom(from);
    device_.setTo(length);
    press("play on", from, -1);
    device_.command(DeviceCommand::Play);
    listen(keys_.last(), 1000);
    const qint32 at = device_.Position();
    press("jump back", std::max(0, at - JumpBackMs), -1);
    device_.jumpTo(at - JumpBackMs);
    QTest::qWait(1500);
    device_.command(DeviceCommand::Pause);
    QTest::qWait(SettleMs);
    return true;
}

// Each stretch of sound belongs to the last key before it. A jump's sound
// starts where the jump lands; what comes before that is the play it left.
void Cycle::attribute(const QList<Span>& spans)
{
    for (const Span& span : spans) {
        Key* owner = nullptr;
        for (Key& key : keys_)
            if (key.atNs <= span.startNs + EarlyNs)
                owner = &key;
        if (owner && owner->what == "jump back" && owner->heard.isEmpty() &&
            std::abs(span.firstMs - owner->from) > JumpBackMs / 2.0)
            owner = owner - 1;
        if (!owner)
            std::printf("  sound before the first key: %.1f .. %.1f ms of the media\n",
                        span.firstMs, span.lastMs);
        else if (span.endNs - span.startNs < ClickNs)
            ++owner->clicks;
        else
            owner->heard.append(span);
    }
}

// A jump heard without a silence before it lies inside the stretch of the
// play it left: where, after the key, the heard media leaves the play's
// course for the jump's. Found by reading 5 ms windows, halving the time
// between one read as the play's and one read as the jump's; the sound
// switches about half a window after the first read as the jump's.
void Cycle::findJump(Key& jump, Key& left)
{
    if (!jump.heard.isEmpty() || left.heard.isEmpty() || left.heard.last().endNs < jump.atNs)
        return;
    const Span stretch = left.heard.last();
    const auto isJumps = [&](qint64 at) {
        const double expected = jump.from + std::max<qint64>(0, at - jump.atNs) / 1e6 * rate();
        return std::abs(mediaAt(at, ProbeNs) - expected) < JumpBackMs / 2.0;
    };
    qint64 before = std::max(stretch.startNs, jump.atNs - EarlyNs);
    qint64 after = stretch.endNs - 2 * ProbeNs;
    if (after <= before || isJumps(before) || !isJumps(after))
        return;
    while (after - before > 500'000) {
        const qint64 middle = before + (after - before) / 2;
        (isJumps(middle) ? after : before) = middle;
    }
    const qint64 switchNs = after + ProbeNs / 2;
    const double landedMs = mediaAt(after + ProbeNs, ProbeNs) - ProbeNs / 2 / 1e6 * rate();
    jump.heard.append({switchNs, stretch.endNs, landedMs, stretch.lastMs, stretch.peak});
    jump.inside = true;
    Span& leftPart = left.heard.last();
    leftPart.endNs = switchNs;
    leftPart.lastMs = stretch.firstMs + (switchNs - stretch.startNs) / 1e6 * rate();
}

// The moment of the media heard at `atNs`, read from the sound that
// follows it; -1 in silence.
double Cycle::mediaAt(qint64 atNs, qint64 forNs) const
{
    const QList<Span> read = monitor_.spans(atNs, atNs + forNs);
    return read.isEmpty() ? -1 : read.first().firstMs;
}

// The first and last 10 ms of a stretch are read once: when that reading is
// off the course that the middle of the stretch sets, it is read again 10 ms
// further in, and taken back to the stretch's edge at the speed played.
void Cycle::check(Span& span) const
{
    if (span.endNs - span.startNs < 6 * ReadNs)
        return;
    const qint64 middleNs = span.startNs + (span.endNs - span.startNs) / 2;
    const double middle = mediaAt(middleNs);
    const auto offCourse = [&](double read, qint64 atNs) {
        return std::abs(read - (middle + (atNs - middleNs) / 1e6 * rate())) > OffCourseMs;
    };
    for (int step = 1; step <= 5 && offCourse(span.firstMs, span.startNs); ++step)
        span.firstMs = mediaAt(span.startNs + step * ReadNs) - step * ReadNs / 1e6 * rate();
    for (int step = 1; step <= 5 && offCourse(span.lastMs, span.endNs); ++step) {
        const qint64 endNs = span.endNs - step * ReadNs;
        const QList<Span> read = monitor_.spans(endNs - ReadNs, endNs);
        span.lastMs = read.isEmpty() ? -1 : read.last().lastMs + step * ReadNs / 1e6 * rate();
    }
}

// How far behind its positions the media is heard: the median over the
// plays that start inside the media, where the coder's padding is past.
double Cycle::measureLag() const
{
    QList<double> lags;
    for (const Key& key : keys_)
        if (key.from >= 1000 && !key.heard.isEmpty() && !key.inside)
            lags.append(key.from - key.heard.first().firstMs);
    if (lags.isEmpty())
        return LagUnknown;
    std::sort(lags.begin(), lags.end());
    const auto half = lags.size() / 2;
    const double lag = lags.size() % 2 ? lags[half] : (lags[half - 1] + lags[half]) / 2;
    // A coder's delay is a few tens of milliseconds; more is a misreading.
    return std::abs(lag) < 100 ? lag : LagUnknown;
}

// How far the sound of the first play and the resume is from covering the
// media from 0 to the last pause exactly once: the largest gap (+) or
// repeat (-) at the start, between two stretches and at each pause.
double Cycle::tiling() const
{
    if (keys_.size() < 2 || keys_[0].heard.isEmpty() || keys_[1].heard.isEmpty())
        return Unheard;
    double worst = std::abs(keys_[0].startOffMs(lagMs_));
    double end = 0;
    for (int k = 0; k < 2; ++k) {
        for (const Span& span : keys_[k].heard) {
            if (k > 0 || &span != &keys_[0].heard.first())
                worst = std::max(worst, std::abs(span.firstMs - end));
            end = span.lastMs;
        }
        worst = std::max(worst, std::abs(end - (pauses_[k] - lagMs_)));
    }
    return worst;
}

void Cycle::print(const Key& key) const
{
    std::printf("  %-10s at %6.3f s", qPrintable(key.what), (key.atNs - startNs_) / 1e9);
    if (key.heard.isEmpty()) {
        std::printf(": nothing heard%s\n", key.clicks ? ", only clicks" : "");
        return;
    }
    std::printf(": heard after %5.1f ms, %8.1f .. %8.1f ms of the media; start %+.1f",
                key.delayMs(), key.heard.first().firstMs, key.heard.last().lastMs,
                key.startOffMs(lagMs_));
    if (key.to >= 0)
        std::printf(", end %+.1f", key.endOffMs(lagMs_));
    for (int i = 0; i < std::min<int>(2, pauses_.size()); ++i)
        if (&key == &keys_[i])
            std::printf(", paused at %d (heard %+.1f)", pauses_[i],
                        key.heard.last().lastMs - (pauses_[i] - lagMs_));
    if (key.inside)
        std::printf(" (no silence before it: read from 5 ms windows, +-2.5 ms)");
    if (key.heard.size() > 1)
        std::printf("; %lld stretches, largest gap or repeat between them %+.1f ms",
                    qlonglong(key.heard.size()), key.brokenMs());
    if (key.clicks)
        std::printf("; %d click%s", key.clicks, key.clicks > 1 ? "s" : "");
    std::printf("\n");
    if (key.heard.size() > 1)
        for (const Span& span : key.heard)
            std::printf("      at %6.3f s for %6.1f ms: %8.1f .. %8.1f ms of the media\n",
                        (span.startNs - startNs_) / 1e9, (span.endNs - span.startNs) / 1e6,
                        span.firstMs, span.lastMs);
}

Figures Cycle::analyse(double placeTarget, double lagMs)
{
    attribute(monitor_.spans(startNs_));
    for (qsizetype i = 1; i < keys_.size(); ++i)
        if (keys_[i].what == "jump back")
            findJump(keys_[i], keys_[i - 1]);
    for (Key& key : keys_)
        for (Span& span : key.heard)
            check(span);
    Figures figures;
    if (speed_ == MediaControl::NormalSpeed)
        figures.lagMs = measureLag();
    lagMs_ = std::isnan(lagMs) ? figures.lagMs : lagMs;
    if (std::isnan(lagMs_))
        lagMs_ = 0;
    if (std::abs(lagMs_) >= 1)
        std::printf("  the media is heard %.1f ms behind its positions; the offsets below take "
                    "that out\n",
                    lagMs_);
    auto& worst = figures.worst;
    for (const Key& key : keys_) {
        print(key);
        if (key.what == "jump back") {
            if (key.heard.isEmpty())
                figures.jumpMissing = true;
            else
                worst[Jump].take(key.delayMs(), key.what);
            continue;
        }
        worst[&key == &keys_.first() ? FirstPlay : LaterPlay].take(key.delayMs(), key.what);
        worst[Start].take(std::abs(key.startOffMs(lagMs_)), key.what);
        if (key.to >= 0)
            worst[End].take(std::abs(key.endOffMs(lagMs_)), key.what);
        worst[Inside].take(std::abs(key.brokenMs()), key.what);
    }
    if (keys_.size() > 1) {
        worst[Tiling].take(tiling(), "first play + resume");
        std::printf("  first play + resume against 0 .. last pause: largest gap or repeat %s "
                    "(target %.0f ms)\n",
                    qPrintable(ms(worst[Tiling].value)), placeTarget);
    }
    return figures;
}

// Runs the cycle once more when the recording of the sink missed some of it
// (this process was held up for longer than the recording's buffer), up to
// three times. Nothing when the recording does not open.
std::optional<Figures> measure(SinkMonitor& monitor, const QString& path, int speed, int sitMs,
                               double lagMs)
{
    for (int attempt = 1;; ++attempt) {
        Cycle cycle(monitor, path, speed);
        if (!cycle.run(sitMs, sitMs == ShortSitMs)) {
            std::printf("  the recording did not open\n");
            return std::nullopt;
        }
        const qint64 lostNs = monitor.lostNs();
        if (lostNs > 0 && attempt < 3) {
            std::printf("  the recording of the sink missed %.0f ms (this process was held up): "
                        "once more\n",
                        lostNs / 1e6);
            continue;
        }
        if (lostNs > 0)
            std::printf("  the recording of the sink missed %.0f ms: these figures may be off\n",
                        lostNs / 1e6);
        return cycle.analyse(placeTargetMs(speed), lagMs);
    }
}

// One figure's row of the summary table: the worst over the formats.
void printFigureRow(Figure figure, const Figures& worst, const QString& conditions, int speed)
{
    struct Row
    {
        const char* name;
        double target; // 0: the stretcher's window at this speed; -1: none
    };
    static const Row Rows[FigureCount] = {
        {"Heard: first play after opening, key to first sound", FirstPlayTargetMs},
        {"Heard: later plays and resumes, key to first sound", LaterPlayTargetMs},
        {"Heard: Jump Back while playing, key to the new place heard", LaterPlayTargetMs},
        {"Heard: section start, off by", 0},
        {"Heard: section end of replays, off by", 0},
        {"Heard: first play + resume against 0 .. last pause, largest gap or repeat", 0},
        {"Heard: gap or repeat inside one play", -1},
    };
    const Row& row = Rows[figure];
    const Worst& measured = worst.worst[figure];
    if (!measured.measured()) {
        if (figure == Jump && worst.jumpMissing)
            printRow(row.name, "", "not found in the sound", "", conditions);
        return;
    }
    const double target = row.target == 0 ? placeTargetMs(speed) : row.target;
    QString targetText;
    if (target >= 0)
        targetText = QString("<= %1 ms").arg(target, 0, 'f', 0) +
                     (row.target == 0 && speed != MediaControl::NormalSpeed
                          ? QStringLiteral(" (one stretcher window)")
                          : QString());
    printRow(row.name, targetText, ms(measured.value) + " (" + measured.where + ")",
             target >= 0 ? rowVerdict(measured.value <= target) : QString(), conditions);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each line seen as it comes
    QList<Format> formats;
    for (const Format& format : Formats)
        if (argc < 2 || QCoreApplication::arguments().contains(format.label))
            formats.append(format);

    SoundServer server;
    QString why;
    if (!server.start(&why)) {
        std::fprintf(stderr, "heard_bench: no sound server: %s\n", qPrintable(why));
        return 1;
    }
    server.useForThisProcess();
    SinkMonitor monitor(server, MediaSeconds);
    if (!monitor.start()) {
        std::fprintf(stderr, "heard_bench: the sink's monitor cannot be recorded\n");
        return 1;
    }
    QTemporaryDir dir;
    QList<std::pair<Format, QString>> media;
    for (const Format& format : formats) {
        const QString folder = dir.filePath(format.label);
        QDir().mkpath(folder);
        const QString path =
            TestMedia::generate(folder, format.kind, MediaSeconds, TestMedia::Signal::TimedNoise);
        if (path.isEmpty())
            std::printf("# no %s recording: ffmpeg failed\n", format.label);
        else
            media.append({format, path});
    }

    const int speeds[] = {MediaControl::NormalSpeed, MediaControl::MinimumSpeed,
                          MediaControl::MaximumSpeed};
    // The runs under one set of conditions, each format's worst and the
    // worst over them.
    struct Group
    {
        int sitMs;
        bool busy;
        int speed;
        QList<std::pair<QString, Figures>> formats;
        Figures worst;

        QString conditions() const
        {
            return QString("%1, %2, opened %3 s before")
                .arg(sinkName(busy), speedName(speed))
                .arg(sitMs / 1000.0, 0, 'f', 1);
        }
    };
    QList<Group> groups;
    QMap<QString, double> lags; // how far behind its positions each format is heard
    for (const int sit : {ShortSitMs, LongSitMs}) {
        for (const bool busy : {false, true}) {
            server.keepBusy(busy);
            QTest::qWait(500);
            for (const int speed : speeds) {
                Group group{sit, busy, speed, {}, {}};
                for (const auto& [format, path] : media) {
                    std::printf("== %s, %s\n", qPrintable(group.conditions()), format.label);
                    const double lag = lags.value(format.label, LagUnknown);
                    const std::optional<Figures> figures = measure(monitor, path, speed, sit, lag);
                    if (!figures)
                        continue;
                    if (std::isnan(lag) && !std::isnan(figures->lagMs))
                        lags[format.label] = figures->lagMs;
                    group.formats.append({format.label, *figures});
                }
                groups.append(group);
            }
        }
    }
    server.keepBusy(false);

    static const char* const Names[FigureCount] = {
        "first play", "later plays", "jump back", "start", "end", "tiling", "inside a play"};
    std::printf("== the worst per format\n");
    QStringList labels;
    for (const auto& [format, path] : media)
        labels << format.label;
    for (Group& group : groups) {
        std::printf("%s:\n", qPrintable(group.conditions()));
        for (const auto& [label, figures] : group.formats) {
            QStringList parts;
            for (int f = 0; f < FigureCount; ++f)
                if (figures.worst[f].measured())
                    parts << QString("%1 %2 (%3)")
                                 .arg(Names[f], ms(figures.worst[f].value), figures.worst[f].where);
            if (figures.jumpMissing)
                parts << "jump back not found";
            std::printf("  %-4s %s\n", qPrintable(label), qPrintable(parts.join("; ")));
            group.worst.add(figures, label);
        }
    }
    for (int f = 0; f < FigureCount; ++f)
        for (const Group& group : groups)
            printFigureRow(Figure(f), group.worst,
                           group.conditions() + "; worst of " + labels.join(", "), group.speed);
    for (const auto& [label, lag] : lags.asKeyValueRange())
        printRow("Heard: media behind its positions (a coder's delay left in)", "<= 5 ms", ms(lag),
                 rowVerdict(std::abs(lag) <= 5),
                 label + ", 1.0x, idle sink; median over the plays from inside the media");
    server.keepBusy(false);
    return 0;
}

// Project file figures for long transcriptions: 32,767 and 100,000 sections
// of about 200 characters, once all Windows-1252 (accents such as é, ü, ’)
// and once with 1% of the sections holding a character that code page lacks,
// which makes the whole file UTF-8. For each it times writing the file (from
// the bytes and from a real window, as Save and the auto-saver do), reading
// it, and reading it into a shown window with the table painted; with
// 100,000 sections also the auto-saver's tick, one call being the longest
// stretch the window does not answer (over 100 ms is a freeze one notices
// while typing). Prints the median of several runs per figure and never
// fails on a slow machine; it fails only when a file or the table does not
// hold what was written.
//
// usage: QT_QPA_PLATFORM=offscreen project_bench [TEMP_PARENT_DIR]
//        (run by `make bench` through scripts/run-benchmarks)

#include "BenchRow.h"
#include "BenchSections.h"

#include "dialogs/Prompts.h"
#include "media/MediaControl.h"
#include "model/FormatTime.h"
#include "project/ProjectCommands.h"
#include "project/ProjectWorkspace.h"
#include "storage/FileAccess.h"
#include "storage/FileStamp.h"
#include "storage/ProjectFile.h"
#include "storage/RecoveryFile.h"
#include "workspace/FormMain.h"
#include "workspace/SectionGrid.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <random>
#include <vector>

namespace {

constexpr int Runs = 7;

// The window needs a device and someone to ask; neither is used here, and a
// question asked means that a save failed.
class SilentDevice final : public MediaControl
{
public:
    void command(DeviceCommand) override {}
    DeviceMode mode() const override { return DeviceMode::NotOpen; }
    void jumpTo(qint32) override {}
    qint32 Position() const override { return 0; }
    qint32 Length() const override { return 0; }
};

bool failed(const char* what, const QString& path)
{
    std::fprintf(stderr, "project_bench: %s: %s\n", what, qPrintable(path));
    return false;
}

// Puts other bytes in the file, so that a write that does not happen shows.
void makeStale(const QString& path)
{
    writeWholeFile(path, "stale");
}

bool holds(const QString& path, const QByteArray& bytes)
{
    QByteArray onDisk;
    return !readWholeFile(path, onDisk) && onDisk == bytes;
}

bool sameRows(const SectionGrid& grid, const ProjectContent& content)
{
    if (grid.rows() != int(content.rows.size()) + 1)
        return false;
    for (int row = 1; row < grid.rows(); ++row) {
        for (int column = 0; column < SectionTableModel::ColumnCount; ++column) {
            if (grid.text(row, column) != content.rows[row - 1][column])
                return false;
        }
    }
    return true;
}

// The medians of one project, for the summary table.
struct ProjectFigures
{
    double sizeMb = 0;
    double writeMs = 0;
    double windowWriteMs = 0;
    double recoveryMs = 0;
    double readShowMs = 0;
    double autosaveMedianMs = 0;
    double autosaveLongestMs = 0;
};

// Prints the figures of one project; false when what was read back is not
// what was written.
bool benchProject(const QString& dir, int sections, bool foreign, ProjectFigures& figures)
{
    const ProjectContent content = makeProject(sections, foreign);
    const QString label = QString("%1-%2").arg(sections).arg(foreign ? "utf8" : "cp1252");
    const QString path = dir + "/" + label + ".kvprj";
    const bool small = sections <= 32767;

    // Write: the bytes, then the file.
    std::vector<double> bytesMs, diskMs, writeMs;
    QByteArray bytes;
    for (int run = 0; run < Runs; ++run) {
        makeStale(path);
        bytesMs.push_back(timeMs([&] { bytes = projectFileBytes(content); }));
        diskMs.push_back(timeMs([&] { writeWholeFile(path, bytes); }));
        writeMs.push_back(bytesMs.back() + diskMs.back());
        if (!holds(path, bytes))
            return failed("the file was not written", path);
    }
    QStringDecoder utf8(QStringConverter::Utf8);
    const QString decoded = utf8.decode(bytes); // decodes when made a QString
    const char* encoding = utf8.hasError() ? "windows-1252" : "utf-8";
    const double sizeMb = bytes.size() / 1e6;
    std::printf("write_ms %-14s median=%.1f (bytes=%.1f disk=%.1f) size_mb=%.2f %s",
                qPrintable(label), median(writeMs), median(bytesMs), median(diskMs), sizeMb,
                encoding);
    if (small)
        std::printf(" target<50 %s", verdict(median(writeMs), 50));
    std::printf("\n");
    figures.sizeMb = sizeMb;
    figures.writeMs = median(writeMs);

    // Read: the file, then its rows.
    std::vector<double> fileMs, parseMs, readMs;
    std::optional<ProjectContent> read;
    for (int run = 0; run < Runs; ++run) {
        QByteArray fromDisk;
        read.reset(); // freeing the last rows is no part of reading
        fileMs.push_back(timeMs([&] { readWholeFile(path, fromDisk); }));
        parseMs.push_back(timeMs([&] { read = readProjectFileBytes(fromDisk); }));
        readMs.push_back(fileMs.back() + parseMs.back());
    }
    if (!read || read->rows != content.rows || read->mediaFile != content.mediaFile)
        return failed("the file does not read back as written", path);
    std::printf("read_ms %-15s median=%.1f (file=%.1f parse=%.1f) size_mb=%.2f\n",
                qPrintable(label), median(readMs), median(fileMs), median(parseMs), sizeMb);

    // Read and show: as Open Project does it, on an emptied, shown window,
    // until the table has been painted.
    SilentDevice device;
    CountingPrompts prompts;
    FormMain window(device, prompts);
    window.controls().TimerAutoSaver->stop(); // ticks are timed on their own below
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return failed("the window was not shown", path);
    SectionGrid& grid = *window.controls().oGrid;
    std::vector<double> showMs, fillMs, paintMs;
    fileMs.clear();
    parseMs.clear();
    for (int run = 0; run < Runs; ++run) {
        window.ResetWorkspace();
        QCoreApplication::processEvents();
        QByteArray fromDisk;
        fileMs.push_back(timeMs([&] { readWholeFile(path, fromDisk); }));
        parseMs.push_back(timeMs([&] { read = readProjectFileBytes(fromDisk); }));
        fillMs.push_back(timeMs([&] { fillWorkspace(window, path, std::move(*read)); }));
        paintMs.push_back(timeMs([&] {
            QCoreApplication::processEvents();
            grid.viewport()->repaint();
        }));
        showMs.push_back(fileMs.back() + parseMs.back() + fillMs.back() + paintMs.back());
    }
    if (!sameRows(grid, content))
        return failed("the table does not hold the file", path);
    std::printf("read_show_ms %-10s median=%.1f (file=%.1f parse=%.1f fill=%.1f paint=%.1f) "
                "size_mb=%.2f",
                qPrintable(label), median(showMs), median(fileMs), median(parseMs), median(fillMs),
                median(paintMs), sizeMb);
    if (small)
        std::printf(" target<150 %s", verdict(median(showMs), 150));
    std::printf("\n");
    figures.readShowMs = median(showMs);

    // Write from the window, as Save does it.
    std::vector<double> windowMs;
    for (int run = 0; run < Runs; ++run) {
        makeStale(path);
        FileStamp written;
        windowMs.push_back(timeMs([&] { WriteProjectFile(window, written); }));
        if (!holds(path, bytes))
            return failed("the window did not write the file", path);
    }
    std::printf("window_write_ms %-7s median=%.1f size_mb=%.2f", qPrintable(label),
                median(windowMs), sizeMb);
    if (small)
        std::printf(" target<50 %s", verdict(median(windowMs), 50));
    std::printf("\n");
    figures.windowWriteMs = median(windowMs);

    // The recovery copy of unsaved work, rewritten at every Continue.
    std::vector<double> recoveryMs;
    for (int run = 0; run < Runs; ++run) {
        makeStale(recoveryFilePath());
        window.markUnsaved();
        recoveryMs.push_back(timeMs([&] { window.project().keepRecoveryCopy(); }));
        if (QFileInfo(recoveryFilePath()).size() <= bytes.size())
            return failed("the recovery copy was not written", recoveryFilePath());
    }
    removeRecoveryFile();
    std::printf("recovery_copy_ms %-6s median=%.1f size_mb=%.2f", qPrintable(label),
                median(recoveryMs), sizeMb);
    if (small)
        std::printf(" target<50 %s", verdict(median(recoveryMs), 50));
    std::printf("\n");
    figures.recoveryMs = median(recoveryMs);

    // The auto-saver's tick: the window answers nothing while it runs.
    if (!small) {
        std::vector<double> tickMs;
        for (int run = 0; run < Runs; ++run) {
            makeStale(path);
            window.markUnsaved();
            tickMs.push_back(timeMs([&] { window.TimerAutoSaver_Timer(); }));
            if (window.state().isDirty || !holds(path, bytes))
                return failed("the auto-saver did not save the file", path);
        }
        const double longest = *std::max_element(tickMs.begin(), tickMs.end());
        std::printf("autosave_busy_ms %-6s median=%.1f max=%.1f (one tick, GUI thread busy) "
                    "target<100 %s\n",
                    qPrintable(label), median(tickMs), longest, verdict(longest, 100));
        figures.autosaveMedianMs = median(tickMs);
        figures.autosaveLongestMs = longest;
    }
    std::fflush(stdout);
    if (prompts.asked > 0)
        return failed("the window asked a question", path);
    return true;
}

// "Windows-1252 21 ms, UTF-8 15 ms"
QString bothEncodings(double cp1252, double utf8)
{
    return QString("Windows-1252 %1, UTF-8 %2").arg(duration(cp1252), duration(utf8));
}

// The rows of the summary table for one project size, both encodings in a
// row; a target is met when both meet it.
void printRows(int sections, const ProjectFigures& cp1252, const ProjectFigures& utf8)
{
    const bool small = sections <= 32767;
    const QString count = QLocale(QLocale::English).toString(sections);
    const QString conditions = QString("%1 sections of about 200 characters, %2 and %3 MB; "
                                       "median of %4")
                                   .arg(count)
                                   .arg(cp1252.sizeMb, 0, 'f', 1)
                                   .arg(utf8.sizeMb, 0, 'f', 1)
                                   .arg(Runs);
    const auto row = [&](const QString& figure, double target, double a, double b,
                         const QString& more) {
        const bool judged = small && target > 0;
        printRow(QString("%1, %2 sections").arg(figure, count),
                 judged ? QString("< %1 ms").arg(target) : QString(), bothEncodings(a, b),
                 judged ? rowVerdict(a < target && b < target) : QString(), conditions + more);
    };
    row("Project write (bytes and disk)", 50, cp1252.writeMs, utf8.writeMs, "");
    row("Save from the window", 50, cp1252.windowWriteMs, utf8.windowWriteMs, "");
    row("Recovery copy at a Continue", 50, cp1252.recoveryMs, utf8.recoveryMs,
        "; the whole unsaved workspace");
    row("Project read and show (parse, fill, paint)", 150, cp1252.readShowMs, utf8.readShowMs,
        "; on a shown window (offscreen platform)");
    if (!small) {
        const double longest = std::max(cp1252.autosaveLongestMs, utf8.autosaveLongestMs);
        printRow(QString("One auto-save tick, %1 sections").arg(count), "< 100 ms",
                 bothEncodings(cp1252.autosaveLongestMs, utf8.autosaveLongestMs),
                 rowVerdict(longest < 100),
                 QString("longest of %1 ticks, the window answers nothing meanwhile "
                         "(medians %2 and %3)")
                     .arg(Runs)
                     .arg(duration(cp1252.autosaveMedianMs), duration(utf8.autosaveMedianMs)));
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QTemporaryDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) + "/project_bench-XXXXXX"
                                     : QDir::tempPath() + "/project_bench-XXXXXX");
    if (!dir.isValid()) {
        std::fprintf(stderr, "project_bench: no temporary folder: %s\n",
                     qPrintable(dir.errorString()));
        return 1;
    }
    // The recovery copies go to a temporary folder, not the user's. It
    // outlives the recovery lock, which is held until the very end.
    static const QTemporaryDir data;
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    for (const int sections : {32767, 100000}) {
        ProjectFigures cp1252;
        ProjectFigures utf8;
        if (!benchProject(dir.path(), sections, false, cp1252) ||
            !benchProject(dir.path(), sections, true, utf8))
            return 1;
        printRows(sections, cp1252, utf8);
    }
    return 0;
}

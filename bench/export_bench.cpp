// Export figures for a long transcription of 100,000 sections of about 200
// characters: building the transcript text from the section table, and the
// export window's whole rebuild (text built, put in the text box, caret and
// view at the end, window repainted), which is what the user waits for when
// the window opens or a check box is clicked. For each option state it
// prints the median of several runs and never fails on a slow machine; it
// fails only when the text box does not hold the transcript.
//
// The text is about 45 MB in memory, and a build writes it into memory fresh
// from the system, whose first touch of every page costs what the machine
// makes it cost. A second figure builds into memory the process already has
// (the allocator keeps what it frees), which is the build's own work.
//
// usage: QT_QPA_PLATFORM=offscreen export_bench
//        (run by `make bench` through scripts/run-benchmarks)

#include "BenchRow.h"
#include "BenchSections.h"

#include "dialogs/Prompts.h"
#include "export/ExportText.h"
#include "export/FormExport.h"
#include "model/SectionTableModel.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPlainTextEdit>
#include <QTest>

#include <cstdio>

#include <malloc.h>

namespace {

constexpr int Runs = 7;
constexpr int Sections = 100000;

void fill(SectionTableModel& table, const ProjectContent& content)
{
    std::vector<SectionTableModel::Cells> rows;
    rows.reserve(content.rows.size());
    for (const auto& row : content.rows)
        rows.push_back({row[0], row[1], row[2], row[3], row[4]});
    table.loadRows(std::move(rows));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    SectionTableModel table;
    fill(table, makeProject(Sections, false));
    CountingPrompts prompts;
    FormExport window(table, prompts, QDir::tempPath());
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    const FormExport::Controls& c = window.controls();

    std::printf("export of %d sections\n", Sections);
    std::vector<double> warmMs;
    for (const bool timeStamps : {true, false}) {
        for (const bool lineBreaks : {true, false}) {
            const ExportOptions options{timeStamps, lineBreaks};
            std::vector<double> buildMs;
            std::vector<double> windowMs;
            QString text;
            for (int run = 0; run < Runs; ++run) {
                buildMs.push_back(timeMs([&] { text = exportText(table, options); }));
                c.chkTimeLine->setChecked(timeStamps);
                c.chkLineBreak->setChecked(lineBreaks);
                windowMs.push_back(timeMs([&] {
                    window.BuildExportText();
                    window.repaint();
                }));
            }
            if (c.txtText->toPlainText() != QString(text).replace("\r\n", "\n")) {
                std::fprintf(stderr, "export_bench: the text box does not hold the transcript\n");
                return 1;
            }
            std::printf("time_stamps=%-3s line_breaks=%-3s size_mb=%.1f build_ms median=%.1f "
                        "target<100 %s window_rebuild_ms median=%.1f\n",
                        timeStamps ? "on" : "off", lineBreaks ? "on" : "off", text.size() * 2 / 1e6,
                        median(buildMs), verdict(median(buildMs), 100), median(windowMs));
            const QString optionNames = QString("%1, %2").arg(
                timeStamps ? "time stamps" : "text only", lineBreaks ? "line breaks" : "one line");
            printRow("Export text build, 100,000 sections, " + optionNames, "< 100 ms",
                     duration(median(buildMs)), rowVerdict(median(buildMs) < 100),
                     QString("%1 MB of text; median of %2; whole rebuild of the export window "
                             "(text box set, caret at the end, painted) %3")
                         .arg(text.size() * 2 / 1e6, 0, 'f', 0)
                         .arg(Runs)
                         .arg(duration(median(windowMs))));
        }
    }

    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    for (int run = 0; run < Runs; ++run)
        warmMs.push_back(timeMs([&] { exportText(table, {true, true}); }));
    std::printf("time_stamps=on  line_breaks=on  build_ms in memory the process has: median=%.1f\n",
                median(warmMs));
    printRow("Export text build, in memory the process already has", "", duration(median(warmMs)),
             "", QString("time stamps, line breaks, 100,000 sections; median of %1").arg(Runs));
    return 0;
}

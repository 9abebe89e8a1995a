// The cost of the video window of the real program, driven on a private X
// server as a person would drive it (Ctrl+N, the recording's path typed into
// the file dialog, Return, F11): the whole program's processor time and
// memory while it plays a 60 s H.264 + AAC recording with the window that
// opens by itself shown, then the same once Ctrl+Shift+V has hidden it; and,
// to compare the hidden figures with, the same sound alone in an .m4a. The
// recordings are made once with ffmpeg in WORK_DIR: a moving test picture
// with a little grain in it, so that it does not compress to nothing, and a
// tone.
//
// usage: video_bench WORK_DIR [PLAY_SECONDS]
//        (run by `make bench` through scripts/run-benchmarks; WORK_DIR keeps
//        the recordings, the private home folder and the program's output,
//        video.log)

#include "ProgramUnderTest.h"
#include "XServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

// Xlib's macros (Status, None...) after every Qt header.
#include "ProgramDriver.h"
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>

using namespace xbench;

namespace {

constexpr double RecordingMs = 60000;

struct Use
{
    double cpuPercent = 0;
    double xServerCpuPercent = 0;
    double rssMb = 0; // the most seen
};

struct Run
{
    bool ok = false;
    std::string failure;
    Use shown;  // the video window shown; the only figures without a picture
    Use hidden; // the video window hidden with Ctrl+Shift+V
    bool endedDuringMeasure = false;
    bool moving = false; // the window's picture changed while it was measured
    std::string windowSize;
};

// A sum of the pixels of `window`, to tell whether its picture changes.
unsigned long long pictureSum(Display* display, Window window)
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes))
        return 0;
    XImage* image = XGetImage(display, window, 0, 0, unsigned(attributes.width),
                              unsigned(attributes.height), AllPlanes, ZPixmap);
    if (!image)
        return 0;
    unsigned long long sum = 0;
    const long bytes = long(image->bytes_per_line) * image->height;
    for (long i = 0; i < bytes; ++i)
        sum = sum * 31 + (unsigned char)image->data[i];
    XDestroyImage(image);
    return sum;
}

// Makes `name` in `folder` with ffmpeg unless it is there; its path, or ""
// when ffmpeg failed.
QString recording(const QString& folder, const QString& name, const QStringList& ffmpeg)
{
    const QString path = folder + "/" + name;
    if (QFile(path).size() > 0)
        return path;
    const QString partial = folder + "/partial-" + name;
    QProcess make;
    make.start("ffmpeg", QStringList{"-v", "error", "-y"} + ffmpeg + QStringList{partial});
    if (!make.waitForFinished(900000) || make.exitCode() != 0 || !QFile::rename(partial, path)) {
        std::fprintf(stderr, "video_bench: ffmpeg could not make %s: %s\n", qPrintable(name),
                     make.readAllStandardError().constData());
        return {};
    }
    return path;
}

// H.264 at `size` and 25 frames a second with AAC sound, 60 s.
QString video(const QString& folder, const QString& size, const QString& maxRate)
{
    return recording(folder, "video-" + size + ".mp4",
                     QString("-f lavfi -i testsrc2=size=%1:rate=25,noise=alls=8:allf=t "
                             "-f lavfi -i sine=frequency=440:sample_rate=48000 -t 60 "
                             "-c:v libx264 -preset veryfast -crf 23 -maxrate %2 -bufsize 8M "
                             "-pix_fmt yuv420p -c:a aac -b:a 128k -ac 2 -threads 1")
                         .arg(size, maxRate)
                         .split(' '));
}

struct Session : ProgramDriver
{
    int seconds;

    // The program's processor time (and the X server's, which draws the
    // picture) over `seconds`, in percent of one core, and its memory.
    Use measure(pid_t pid) const
    {
        const pid_t server = pid_t(x.pid());
        const ProcessUse from = processUse(pid);
        const ProcessUse serverFrom = processUse(server);
        const double began = nowMs();
        long mostRss = from.rssKb;
        for (int second = 0; second < seconds; ++second) {
            sleepMs(began + 1000.0 * (second + 1) - nowMs());
            mostRss = std::max(mostRss, processUse(pid).rssKb);
        }
        const double took = (nowMs() - began) / 1000;
        return {(processUse(pid).cpuSeconds - from.cpuSeconds) * 100 / took,
                (processUse(server).cpuSeconds - serverFrom.cpuSeconds) * 100 / took, mb(mostRss)};
    }

    // Starts the program, opens `path` with Ctrl+N and plays it with F11;
    // with `picture`, the video window is waited for, measured shown, hidden
    // with Ctrl+Shift+V and measured again.
    Run play(const QString& path, bool picture) const
    {
        Run run;
        const Window mainWindow = start(KELVANE_BINARY, &run.failure);
        if (!mainWindow)
            return run;
        const pid_t pid = pid_t(program.pid());
        sleepMs(1500);
        if (!chooseRecording(mainWindow, path.toStdString(), &run.failure))
            return run;
        sleepMs(500);
        const long long logFrom = fileSize(log);
        const double pressed = nowMs();
        key("F11");
        const Mapped window = picture ? waitForMap(display, "Kelvane - Video", 20000) : Mapped{};
        if (picture && !window.window)
            run.failure = "no window named \"Kelvane - Video\" was mapped";
        else if (waitForLogLine(log, logFrom, "envelope of", 120000).empty())
            run.failure = "the waveform strip's envelope was not found";
        if (!run.failure.empty()) {
            close(mainWindow);
            return run;
        }
        sleepMs(5000); // settled into playing
        const unsigned long long before = picture ? pictureSum(display, window.window) : 0;
        XWindowAttributes attributes;
        if (picture && XGetWindowAttributes(display, window.window, &attributes))
            run.windowSize = format("%dx%d", attributes.width, attributes.height);
        run.shown = measure(pid);
        run.moving = picture && pictureSum(display, window.window) != before;
        if (picture) {
            focus(mainWindow);
            key("ctrl+shift+v");
            if (!waitForUnmap(display, window.window, 5000)) {
                run.failure = "Ctrl+Shift+V on the main window left the video window mapped";
                close(mainWindow);
                return run;
            }
            sleepMs(2000); // the picture's pipeline closed
            run.hidden = measure(pid);
        }
        run.endedDuringMeasure = nowMs() - pressed > RecordingMs;
        close(mainWindow);
        run.ok = true;
        return run;
    }
};

std::string figures(const Use& use)
{
    return format("%.1f %% of one core, VmRSS %.1f MB (X server %.1f %%)", use.cpuPercent,
                  use.rssMb, use.xServerCpuPercent);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: video_bench WORK_DIR [PLAY_SECONDS]\n");
        return 2;
    }
    QCoreApplication application(argc, argv);
    const QString work = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 15;

    const QString media = work + "/video-media";
    QDir().mkpath(media);
    const QString small = video(media, "640x360", "1500k");
    const QString large = video(media, "1280x720", "4M");
    const QString sound = small.isEmpty()
                              ? QString()
                              : recording(media, "sound.m4a", {"-i", small, "-vn", "-c:a", "copy"});
    XServer x;
    Display* display = x.start() ? watchTopLevels(x.display().toStdString()) : nullptr;
    if (!display || large.isEmpty() || sound.isEmpty()) {
        std::fprintf(stderr, "video_bench: %s\n",
                     display ? "the recordings could not be made" : qPrintable(x.error()));
        return 1;
    }
    // A home in everyday use, as the other benchmarks of playing have it.
    ProgramUnderTest program(x, work + "/home", work + "/runtime");
    program.environment().remove("GST_REGISTRY");
    program.environment().insert("QT_LOGGING_RULES", "kelvane.media.info=true");
    program.process().setProcessChannelMode(QProcess::MergedChannels);
    program.process().setStandardOutputFile(work + "/video.log", QIODevice::Append);
    const Session session{{x, display, program, (work + "/video.log").toStdString()}, seconds};

    const Run alone = session.play(sound, false);
    if (alone.ok)
        std::printf("sound alone (AAC in .m4a): %s\n", figures(alone.shown).c_str());
    else
        std::printf("sound alone: not measured: %s\n", alone.failure.c_str());
    bool driven = alone.ok;
    for (const auto& [size, path, target] :
         {std::tuple{"640x360", small, 15.0}, {"1280x720", large, 30.0}}) {
        const Run run = session.play(path, true);
        driven = driven || run.ok;
        const std::string label = std::string(size) + " H.264 25 fps";
        const std::string conditions =
            format("60 s %s + AAC in .mp4, the real program under Xvfb, over %d s of playing%s",
                   label.c_str(), seconds,
                   run.endedDuringMeasure ? "; the recording ended during the measure" : "");
        if (!run.ok) {
            std::printf("%s: not measured: %s\n", label.c_str(), run.failure.c_str());
            printRow("Video window shown, " + label, format("<= %.0f %% of one core", target),
                     "not measured", "missed", run.failure);
            continue;
        }
        std::printf("%s: shown %s, the picture %s; hidden %s\n", label.c_str(),
                    figures(run.shown).c_str(), run.moving ? "moving" : "NOT moving",
                    figures(run.hidden).c_str());
        printRow("Video window shown, " + label, format("<= %.0f %% of one core", target),
                 figures(run.shown), verdict(run.shown.cpuPercent <= target),
                 conditions + "; the window as it opens by itself, " + run.windowSize +
                     ", its picture " + (run.moving ? "moving" : "NOT moving"));
        const std::string compared = alone.ok ? format("; the same sound alone %.1f %%, %.1f MB",
                                                       alone.shown.cpuPercent, alone.shown.rssMb)
                                              : std::string();
        printRow("Video window hidden (Ctrl+Shift+V), " + label, "", figures(run.hidden), "",
                 conditions + compared);
    }
    return driven ? 0 : 1;
}

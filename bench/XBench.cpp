#include "XBench.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <poll.h>
#include <sstream>
#include <unistd.h>

namespace xbench {

namespace {

// A window that goes away between two requests is no reason to stop: the
// program under test ends while the benchmark still looks at it.
int ignoreXError(Display*, XErrorEvent*)
{
    return 0;
}

std::string windowName(Display* display, Window window)
{
    char* name = nullptr;
    if (!XFetchName(display, window, &name) || !name)
        return {};
    std::string result = name;
    XFree(name);
    return result;
}

// Waits until the X connection has something to read, at most `ms`.
void waitForX(Display* display, double ms)
{
    if (XPending(display) > 0)
        return;
    pollfd fd{ConnectionNumber(display), POLLIN, 0};
    poll(&fd, 1, std::max(0, int(ms)));
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The number after `key` in a "Key:   value" file such as /proc/PID/status.
long long field(const std::string& text, const std::string& key)
{
    const std::size_t at = text.find("\n" + key);
    if (at == std::string::npos)
        return text.rfind(key, 0) == 0 ? std::atoll(text.c_str() + key.size()) : -1;
    return std::atoll(text.c_str() + at + 1 + key.size());
}

} // namespace

double nowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

void sleepMs(double ms)
{
    if (ms <= 0)
        return;
    timespec pause{};
    pause.tv_sec = time_t(ms / 1000);
    pause.tv_nsec = long((ms - double(pause.tv_sec) * 1000) * 1e6);
    while (nanosleep(&pause, &pause) != 0) {
    }
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double minimum(const std::vector<double>& values)
{
    return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

double maximum(const std::vector<double>& values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

std::string format(const char* pattern, ...)
{
    char buffer[1024];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(buffer, sizeof buffer, pattern, args);
    va_end(args);
    return buffer;
}

void printRow(const std::string& figure, const std::string& target, const std::string& measured,
              const std::string& verdict, const std::string& conditions)
{
    std::printf("@row\t%s\t%s\t%s\t%s\t%s\n", figure.c_str(), target.c_str(), measured.c_str(),
                verdict.c_str(), conditions.c_str());
    std::fflush(stdout);
}

Display* watchTopLevels(const std::string& name)
{
    Display* display = XOpenDisplay(name.c_str());
    if (!display)
        return nullptr;
    XSetErrorHandler(ignoreXError);
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, True);
    return display;
}

// Reads the server's events until one makes `matches` true; false on timeout.
bool waitForEvent(Display* display, double timeoutMs,
                  const std::function<bool(const XEvent&)>& matches)
{
    const double deadline = nowMs() + timeoutMs;
    while (nowMs() < deadline) {
        waitForX(display, deadline - nowMs());
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (matches(event))
                return true;
        }
    }
    return false;
}

Mapped waitForMap(Display* display, const std::string& prefix, double timeoutMs, Window except)
{
    Mapped mapped;
    waitForEvent(display, timeoutMs, [&](const XEvent& event) {
        const double at = nowMs();
        if (event.type != MapNotify || event.xmap.window == except ||
            windowName(display, event.xmap.window).rfind(prefix, 0) != 0)
            return false;
        mapped = {event.xmap.window, at};
        return true;
    });
    return mapped;
}

bool waitForUnmap(Display* display, Window window, double timeoutMs)
{
    return waitForEvent(display, timeoutMs, [window](const XEvent& event) {
        return (event.type == UnmapNotify && event.xunmap.window == window) ||
               (event.type == DestroyNotify && event.xdestroywindow.window == window);
    });
}

double waitForFirstPaint(Display* display, Window window, double timeoutMs)
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes))
        return -1;
    const int width = attributes.width;
    const int height = attributes.height;
    // Share of the pixels sampled that are no longer black; the window has
    // some black text, never much.
    const auto drawn = [&](int x, int y, int w, int h) {
        XImage* image =
            XGetImage(display, window, x, y, unsigned(w), unsigned(h), AllPlanes, ZPixmap);
        if (!image)
            return 0.0;
        int lit = 0;
        for (int j = 0; j < h; ++j) {
            for (int i = 0; i < w; ++i)
                lit += (XGetPixel(image, i, j) & 0xFFFFFF) != 0;
        }
        XDestroyImage(image);
        return double(lit) / (w * h);
    };
    const double deadline = nowMs() + timeoutMs;
    while (nowMs() < deadline) {
        if (drawn(0, height / 2, width, 1) > 0.75 && drawn(width / 3, 0, 1, height) > 0.75)
            return nowMs();
        sleepMs(0.5);
    }
    return -1;
}

ProcessUse processUse(pid_t pid)
{
    ProcessUse use;
    const std::string proc = "/proc/" + std::to_string(pid);
    const std::string stat = readFile(proc + "/stat");
    const std::size_t end = stat.rfind(')');
    if (end == std::string::npos)
        return use;
    // After the command's closing bracket: state is field 3, utime 14, stime 15.
    std::istringstream fields(stat.substr(end + 2));
    std::string value;
    long long utime = 0;
    long long stime = 0;
    for (int index = 3; index <= 15 && fields >> value; ++index) {
        if (index == 14)
            utime = std::atoll(value.c_str());
        else if (index == 15)
            stime = std::atoll(value.c_str());
    }
    use.cpuSeconds = double(utime + stime) / double(sysconf(_SC_CLK_TCK));
    const std::string status = readFile(proc + "/status");
    use.rssKb = long(field(status, "VmRSS:"));
    use.peakRssKb = long(field(status, "VmHWM:"));
    use.anonymousKb = long(field(status, "RssAnon:"));
    use.fileKb = long(field(status, "RssFile:"));
    use.readBytes = field(readFile(proc + "/io"), "rchar:");
    use.ok = use.rssKb > 0;
    return use;
}

bool hasMapped(pid_t pid, const std::string& name)
{
    std::istringstream maps(readFile("/proc/" + std::to_string(pid) + "/maps"));
    for (std::string line; std::getline(maps, line);) {
        if (line.size() >= name.size() &&
            line.compare(line.size() - name.size(), name.size(), name) == 0)
            return true;
    }
    return false;
}

bool holdsOpen(pid_t pid, const std::string& path)
{
    char resolved[PATH_MAX];
    if (!realpath(path.c_str(), resolved))
        return false;
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
    DIR* fds = opendir(folder.c_str());
    if (!fds)
        return false;
    bool found = false;
    while (dirent* entry = readdir(fds)) {
        char target[PATH_MAX];
        const ssize_t size =
            readlink((folder + "/" + entry->d_name).c_str(), target, sizeof target - 1);
        if (size > 0) {
            target[size] = 0;
            found = found || std::strcmp(target, resolved) == 0;
        }
    }
    closedir(fds);
    return found;
}

long long fileSize(const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : (long long)size;
}

std::string waitForLogLine(const std::string& path, long long offset, const std::string& needle,
                           double timeoutMs)
{
    const double deadline = nowMs() + timeoutMs;
    do {
        std::ifstream log(path);
        log.seekg(offset);
        for (std::string line; std::getline(log, line);)
            if (line.find(needle) != std::string::npos)
                return line;
        sleepMs(20);
    } while (nowMs() < deadline);
    return {};
}

} // namespace xbench

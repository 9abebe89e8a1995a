#pragma once

#include <X11/Xlib.h>

#include <string>
#include <sys/types.h>
#include <vector>

// What the benchmarks of the real program measure with: its windows seen as
// they are mapped and drawn, its use of the machine read from /proc, and the
// rows of the summary table. The X server and the program itself are run by
// the tests' harness (tests/support). Plain Xlib and POSIX, so that the
// measuring side adds as little as it can to what it measures.
namespace xbench {

// Milliseconds on the monotonic clock.
double nowMs();
void sleepMs(double ms);

double median(std::vector<double> values);
double minimum(const std::vector<double>& values);
double maximum(const std::vector<double>& values);

inline double mb(long kb)
{
    return double(kb) / 1024;
}

// printf into a std::string.
std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

// One row of the table that scripts/run-benchmarks prints at the end. An
// empty `verdict` means the figure has no target.
void printRow(const std::string& figure, const std::string& target, const std::string& measured,
              const std::string& verdict, const std::string& conditions);
inline const char* verdict(bool met)
{
    return met ? "met" : "missed";
}

// A connection to the X server `display` that hears every top-level window
// being mapped; null when the server cannot be reached.
Display* watchTopLevels(const std::string& display);

struct Mapped
{
    Window window = 0;
    double atMs = 0; // nowMs() when the map was seen
};

// Waits for a top-level window whose name starts with `prefix` to be mapped
// (other than `except`); a zero window when none was within `timeoutMs`.
Mapped waitForMap(Display* display, const std::string& prefix, double timeoutMs, Window except = 0);

// Waits for `window` to be unmapped or destroyed; false on timeout.
bool waitForUnmap(Display* display, Window window, double timeoutMs);

// Waits until most of a row and a column through `window` are no longer the
// black of the empty screen, i.e. the program has drawn its first picture;
// when (nowMs()), or a negative value on timeout.
double waitForFirstPaint(Display* display, Window window, double timeoutMs);

struct ProcessUse
{
    double cpuSeconds = 0;   // utime + stime of every thread
    long rssKb = 0;          // VmRSS
    long peakRssKb = 0;      // VmHWM
    long anonymousKb = 0;    // RssAnon: the process's own memory
    long fileKb = 0;         // RssFile: libraries and mapped files, mostly shared
    long long readBytes = 0; // rchar: every byte the process read
    bool ok = false;
};

ProcessUse processUse(pid_t pid);

// Whether `pid` has a file whose name ends in `name` mapped (a library).
bool hasMapped(pid_t pid, const std::string& name);

// Whether `pid` holds `path` open.
bool holdsOpen(pid_t pid, const std::string& path);

// The size of the file at `path`, 0 when there is none: where a log's new
// lines will start.
long long fileSize(const std::string& path);
// Waits for a line holding `needle` in the log at `path` past `offset`;
// the line (without its end), or "" on timeout.
std::string waitForLogLine(const std::string& path, long long offset, const std::string& needle,
                           double timeoutMs);

} // namespace xbench

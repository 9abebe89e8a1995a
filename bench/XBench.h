#pragma once

#include <X11/Xlib.h>

#include <string>
#include <sys/types.h>
#include <vector>

// What the benchmarks of the real program share: a private X server, the
// program started in a private home, its windows seen as they are mapped,
// its use of the machine read from /proc, and the rows of the summary table.
// Plain Xlib and POSIX, so that the measuring side adds as little as it can
// to what it measures.
namespace xbench {

// Milliseconds on the monotonic clock.
double nowMs();
void sleepMs(double ms);

double median(std::vector<double> values);
double minimum(const std::vector<double>& values);
double maximum(const std::vector<double>& values);

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

// A private Xvfb without a window manager (as in the tests), whose root
// window reports the mapping of every top-level window.
class PrivateX
{
public:
    PrivateX() = default;
    ~PrivateX();
    PrivateX(const PrivateX&) = delete;
    PrivateX& operator=(const PrivateX&) = delete;

    // false, with the reason in `error`, when the server does not start.
    bool start(std::string& error);
    Display* display() const { return display_; }
    const std::string& name() const { return name_; } // ":N"
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    Display* display_ = nullptr;
    std::string name_;
};

// The user's environment with the private X server, a private home and a
// private runtime folder (where the program keeps its one-copy lock).
std::vector<std::string> programEnvironment(const std::string& display, const std::string& home,
                                            const std::string& runtime);

// Starts `program` (looked up in PATH when it has no slash), its output
// appended to `outputFile` when one is given; -1 on failure.
pid_t spawn(const std::string& program, const std::vector<std::string>& args,
            const std::vector<std::string>& environment, const std::string& outputFile = {});

// The program under test as it is started each time: where it is, its
// environment, and the file its output goes to.
struct Program
{
    std::string path;
    std::vector<std::string> environment;
    std::string outputFile;
    std::string runtimeFolder; // made for this run; removed when it is done
};

inline pid_t spawn(const Program& program)
{
    return spawn(program.path, {}, program.environment, program.outputFile);
}

// Runs xdotool against `display` and waits for it; true when it succeeded.
bool xdotool(const std::string& display, const std::vector<std::string>& args);

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

// Asks `window` to close, as the close box of a window manager does.
void sendDeleteWindow(Display* display, Window window);

// Waits up to `timeoutMs` for `pid` to end; true when it did.
bool waitForExit(pid_t pid, double timeoutMs);

// Ends `pid` however it must: SIGTERM, then SIGKILL. Returns how: "SIGTERM"
// or "SIGKILL".
std::string terminate(pid_t pid);

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

// A fresh folder under `parent` that only its owner may enter; "" on failure.
std::string makePrivateFolder(const std::string& parent, const std::string& stem);

// Starts `x` and makes `program` the program at `binary` for a user of its
// own: a home and a runtime folder under `work`, its output in
// work/kelvane-output.log. False, with `error` set, when either cannot be had.
bool prepareProgram(const std::string& binary, const std::string& work, PrivateX& x,
                    Program& program, std::string& error);

} // namespace xbench

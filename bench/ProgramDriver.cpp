#include "ProgramUnderTest.h"
#include "XServer.h"

#include "ProgramDriver.h"

namespace xbench {

void ProgramDriver::xdotool(const QStringList& args) const
{
    x.xdotool(args);
}

void ProgramDriver::key(const std::string& keys) const
{
    xdotool({"key", QString::fromStdString(keys)});
}

void ProgramDriver::focus(Window window) const
{
    xdotool({"windowfocus", "--sync", QString::number(window)});
}

Window ProgramDriver::start(const char* binary, std::string* failure) const
{
    XSync(display, True);
    if (!program.start(binary)) {
        *failure = "the program does not start";
        return 0;
    }
    const Mapped shown = waitForMap(display, "Kelvane", 20000);
    if (!shown.window || waitForFirstPaint(display, shown.window, 10000) < 0) {
        *failure = "no main window";
        terminate();
        return 0;
    }
    return shown.window;
}

bool ProgramDriver::chooseRecording(Window mainWindow, const std::string& path,
                                    std::string* failure) const
{
    focus(mainWindow);
    key("ctrl+n");
    const Mapped dialog = waitForMap(display, "Please select", 10000);
    if (!dialog.window) {
        *failure = "Ctrl+N showed no file dialog";
        terminate();
        return false;
    }
    focus(dialog.window);
    sleepMs(300);
    xdotool({"type", "--delay", "10", QString::fromStdString(path)});
    sleepMs(300);
    bool closed = false;
    // A Return may only close the name box's completion list.
    for (int tries = 0; tries < 3 && !closed; ++tries) {
        key("Return");
        closed = waitForUnmap(display, dialog.window, 2000);
    }
    if (!closed) {
        *failure = "the file dialog did not take the path";
        terminate();
        return false;
    }
    focus(mainWindow);
    return true;
}

std::string ProgramDriver::close(Window mainWindow) const
{
    XSync(display, True);
    x.closeWindow(QString::number(mainWindow));
    const Mapped question = waitForMap(display, "Kelvane", 5000, mainWindow);
    if (question.window) {
        focus(question.window);
        sleepMs(500); // the box takes no key in its first 400 ms
        key("alt+n");
    }
    const std::string ended = program.end({}).toStdString();
    return ended == "closed" && question.window ? "closed, save question answered No" : ended;
}

std::string ProgramDriver::terminate() const
{
    return program.end({}, 0).toStdString();
}

} // namespace xbench

#pragma once

// Xlib's macros (Status, None...): after every Qt header, as XBench.h.
#include "XBench.h"

#include <QStringList>

#include <string>

class ProgramUnderTest;
class XServer;

namespace xbench {

// The real program on the bench's X server, driven as a person drives it:
// the steps every benchmark of a playing program takes.
struct ProgramDriver
{
    const XServer& x;
    Display* display;
    ProgramUnderTest& program;
    std::string log; // where the program's output goes

    void xdotool(const QStringList& args) const;
    void key(const std::string& keys) const;
    void focus(Window window) const;

    // Starts `binary` and waits for its main window to be drawn: the window,
    // or 0 with `failure` said (the program is then ended).
    Window start(const char* binary, std::string* failure) const;
    // New Transcription Project: Ctrl+N, `path` typed into the file dialog,
    // Return; then back on `mainWindow`. False, with `failure` said and the
    // program ended, when the dialog did not take the path.
    bool chooseRecording(Window mainWindow, const std::string& path, std::string* failure) const;
    // Ends the program through its close box, answering No to "save before
    // quit?"; how it ended.
    std::string close(Window mainWindow) const;
    // Ends it at once; how it ended.
    std::string terminate() const;
};

} // namespace xbench

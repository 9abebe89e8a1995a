#pragma once

#include "FakeMediaControl.h"
#include "ScriptedPrompts.h"

#include "workspace/FormMain.h"

// The main window on the fake device with scripted prompts; tests unpack it, as
// `auto& [device, prompts, w, c] = t;`.
struct TestWindow
{
    FakeMediaControl device;
    ScriptedPrompts prompts;
    FormMain w{device, prompts};
    const FormMain::Controls& c = w.controls();
};

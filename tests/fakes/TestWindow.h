#pragma once

#include "FakeMediaControl.h"
#include "ScriptedPrompts.h"

#include "workspace/FormMain.h"
#include "workspace/SectionGrid.h"

#include <QStringList>

// The main window on the fake device with scripted prompts. Tests unpack it:
//     TestWindow t;
//     auto& [device, prompts, w, c] = t;
struct TestWindow
{
    FakeMediaControl device;
    ScriptedPrompts prompts;
    FormMain w{device, prompts};
    const FormMain::Controls& c = w.controls();
};

// The texts of a table row's five cells.
inline QStringList rowCells(const SectionGrid& grid, int row)
{
    QStringList cells;
    for (int column = 0; column < grid.cols(); ++column)
        cells << grid.text(row, column);
    return cells;
}

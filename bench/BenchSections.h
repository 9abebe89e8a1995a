#pragma once

#include "dialogs/Prompts.h"
#include "storage/ProjectFile.h"

#include <QElapsedTimer>

#include <vector>

// What the benchmarks share: a long transcription to work on, and timing.

// Sections of 1.5 to 6 seconds one after another, with texts of about 200
// characters of English-like words; one word in twelve carries a
// Windows-1252 accent or quote, and with `foreign` one section in a hundred
// holds a word from outside that code page.
ProjectContent makeProject(int sections, bool foreign);

double median(std::vector<double> values);

// How long `work` takes.
template <typename Work> double timeMs(Work&& work)
{
    QElapsedTimer clock;
    clock.start();
    work();
    return clock.nsecsElapsed() / 1e6;
}

// Someone to ask who never answers Yes; a question asked means that
// something failed.
class CountingPrompts final : public Prompts
{
public:
    int asked = 0;
    Answer message(QWidget*, const QString&, Buttons buttons) override
    {
        ++asked;
        return safeAnswer(buttons);
    }
    int choose(QWidget*, const QString&, const QStringList&, int safeChoice) override
    {
        ++asked;
        return safeChoice;
    }
    QString chooseFile(QWidget*, const FileDialogRequest&) override
    {
        ++asked;
        return {};
    }
};

// "met" when `ms` is under the target, "MISSED" otherwise.
const char* verdict(double ms, double targetMs);

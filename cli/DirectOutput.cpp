#include "DirectOutput.h"

#include <cstdio>

#include "engine/ProgressPercent.h"

DirectOutput::DirectOutput(BatchTerminal& terminal, bool single, bool onTerminal)
    : terminal(terminal), single(single), onTerminal(onTerminal)
{
}

void DirectOutput::Line(const std::string& text)
{
    ClearPercent();
    terminal.Line(text);
}

void DirectOutput::ErrorLine(const std::string& text)
{
    ClearPercent();
    terminal.ErrorLine(text);
}

void DirectOutput::Progress(double fraction)
{
    if (!single) {
        terminal.Progress().Update(current, fraction);
        return;
    }
    const int percent = WholePercent(fraction);
    if (!onTerminal || percent == shownPercent)
        return;
    shownPercent = percent;
    std::fprintf(stderr, "\rConverting... %3d%%", percent);
    std::fflush(stderr);
}

void DirectOutput::ClearPercent()
{
    if (shownPercent < 0)
        return;
    std::fprintf(stderr, "\r%20s\r", "");
    shownPercent = -1;
}

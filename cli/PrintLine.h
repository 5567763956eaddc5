#pragma once

#include <cstdio>
#include <string>

// Prints text and a line end to out, with its control characters escaped (ControlEscaping.h):
// directory and file names reach the terminal as the log and the window show them.
void PrintLine(std::FILE* out, const std::string& text);

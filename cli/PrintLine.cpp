#include "PrintLine.h"

#include "logging/ControlEscaping.h"

void PrintLine(std::FILE* out, const std::string& text)
{
    std::fprintf(out, "%s\n", OrvText::EscapeControlsUtf8(text).c_str());
}

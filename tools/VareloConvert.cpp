// varelo-convert: converts recording directories to EDF+ from the command line, exactly as the
// window's button does after the folder browser; and whole trees of them, in parallel if asked.
#include "cli/ConvertCommand.h"
#include "logging/FreedMemory.h"

int main(int argc, char** argv)
{
    OrvSystem::KeepFreedMemory();
    return RunConvertCommand(argc, argv);
}

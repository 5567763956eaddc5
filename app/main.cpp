// varelo: the window that converts recording directories to EDF+ files.
#include "app/VareloApp.h"
#include "logging/FreedMemory.h"

int main(int argc, char** argv)
{
    if (const std::optional<int> status = VareloApp::AnswerWithoutWindow(argc, argv))
        return *status;
    OrvSystem::KeepFreedMemory();
    VareloApp application(argc, argv);
    return application.Run();
}

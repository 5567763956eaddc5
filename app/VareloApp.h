#pragma once

#include <QApplication>

#include <optional>

// The application: sets up Qt, shows the main window and runs it until it closes.
class VareloApp {
public:
    // argc and argv must outlive the object, as QApplication requires.
    VareloApp(int& argc, char** argv);
    VareloApp(const VareloApp&) = delete;
    VareloApp& operator=(const VareloApp&) = delete;

    // Help, version and usage errors need no display, so they are answered before Qt connects to
    // one, and so is a missing display: the exit status then (0, 2, or 1 without a display),
    // nothing when the window is to be shown.
    static std::optional<int> AnswerWithoutWindow(int argc, char** argv);

    // The program's exit status: 0, 1 when an unattended run failed, 2 for a usage error.
    int Run();

private:
    QApplication m_application;
};

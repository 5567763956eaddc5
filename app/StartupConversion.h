#pragma once

#include <QString>

#include "app/LaunchOptions.h"

class QMessageBox;
class VareloDlg;

// The conversion that --convert asks for, started once the window is up and run exactly as the
// button runs it after the folder browser. With a screenshot file it runs unattended: every box
// is answered without waiting, the result box after a picture of the window with the box over it
// has been saved, and the window closes when the run is over.
class StartupConversion {
public:
    StartupConversion(VareloDlg& dialog, const LaunchOptions& options);
    StartupConversion(const StartupConversion&) = delete;
    StartupConversion& operator=(const StartupConversion&) = delete;

    void Perform();
    // 0 when the conversion completed and the screenshot, if one was asked for, was saved.
    int ExitCode() const;

private:
    void AnswerBox(QMessageBox& box);
    bool SaveScreenshot(QMessageBox& box) const;

    VareloDlg& m_dialog;
    QString m_directory;
    QString m_screenshotFile;
    bool m_resultShown = false;
    bool m_completed = false;
    bool m_screenshotSaved = false;
};

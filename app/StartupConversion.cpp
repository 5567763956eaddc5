#include "app/StartupConversion.h"

#include <QFile>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>

#include <cstdio>

#include "app/VareloDlg.h"
#include "engine/ConversionRun.h"
#include "logging/TextConversion.h"

StartupConversion::StartupConversion(VareloDlg& dialog, const LaunchOptions& options)
    : m_dialog(dialog), m_directory(options.convertDirectory), m_screenshotFile(options.screenshotFile)
{
}

void StartupConversion::Perform()
{
    const bool unattended = !m_screenshotFile.isEmpty();
    if (unattended)
        m_dialog.SetBoxPresenter([this](QMessageBox& box) { AnswerBox(box); });
    m_dialog.ConvertDirectory(OrvText::Utf8ToWide(QFile::encodeName(m_directory).toStdString()));
    if (unattended)
        m_dialog.close();
}

int StartupConversion::ExitCode() const
{
    if (m_screenshotFile.isEmpty())
        return 0;  // the user has seen the result
    return m_resultShown && m_completed && m_screenshotSaved ? 0 : 1;
}

void StartupConversion::AnswerBox(QMessageBox& box)
{
    // Nobody is there to read the boxes, so what they say goes to the terminal.
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(box.windowTitle()), qUtf8Printable(box.text()));
    if (box.windowTitle() != VareloDlg::resultCaption)
        return;
    m_resultShown = true;
    m_completed = box.text() == QString::fromStdWString(ResultText(0));
    m_screenshotSaved = SaveScreenshot(box);
    if (!m_screenshotSaved)
        std::fprintf(stderr, "varelo: cannot save the screenshot to %s\n", qUtf8Printable(m_screenshotFile));
}

bool StartupConversion::SaveScreenshot(QMessageBox& box) const
{
    box.show();  // lays the box out, over the window or beside it where it has been placed
    const QPixmap window = m_dialog.grab();
    const QPixmap boxPicture = box.grab();
    const QRect windowArea(m_dialog.mapToGlobal(QPoint(0, 0)), m_dialog.size());
    const QRect boxArea(box.mapToGlobal(QPoint(0, 0)), box.size());
    const QRect whole = windowArea.united(boxArea);
    QPixmap picture(whole.size() * window.devicePixelRatio());
    picture.setDevicePixelRatio(window.devicePixelRatio());
    picture.fill(QColor(0x50, 0x50, 0x50));  // the desktop around them
    QPainter painter(&picture);
    painter.drawPixmap(windowArea.topLeft() - whole.topLeft(), window);
    painter.drawPixmap(boxArea.topLeft() - whole.topLeft(), boxPicture);
    painter.setPen(QColor(0x60, 0x60, 0x60));  // the box has no frame of its own without a window manager
    painter.drawRect(boxArea.translated(-whole.topLeft()).adjusted(0, 0, -1, -1));
    painter.end();
    box.hide();
    return picture.save(m_screenshotFile, "PNG");
}

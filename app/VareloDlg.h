#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QIcon>
#include <QString>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/ChannelsIdentificationDlg.h"
#include "app/RunResult.h"
#include "engine/ConversionRun.h"
#include "logging/LogFile.h"
#include "logging/MessageType.h"

class QAction;
class QCloseEvent;
class QMenu;
class QMenuBar;
class QMessageBox;
class QProgressBar;
class QPushButton;
class QDragEnterEvent;
class QDropEvent;
class QGroupBox;
class QPlainTextEdit;
class QResizeEvent;
class QTreeWidget;
class TraceViewer;
class QTreeWidgetItem;

// The main window: a button that converts a chosen recording directory, and a list that shows,
// one row per message, what the run reports (the latest 51). The run is the shared one that the
// command line uses too; this window is its frontend, and everything happens on the window's
// thread, with the window kept painted while the conversion goes on.
class VareloDlg : public QDialog, public ConversionFrontend {
    Q_OBJECT

public:
    // Asks for the directory to convert; an empty result means the user cancelled.
    using DirectoryChooser = std::function<QString(QWidget* parent, const QString& caption)>;
    // Shows a prepared box and returns once it has been dismissed.
    using BoxPresenter = std::function<void(QMessageBox& box)>;
    // Opens a folder in the desktop's file manager; false when it cannot.
    using FolderOpener = std::function<bool(const QString& folder)>;

    static inline const QString resultCaption = QStringLiteral("Conversion Results");

    VareloDlg();
    ~VareloDlg() override;
    VareloDlg(const VareloDlg&) = delete;
    VareloDlg& operator=(const VareloDlg&) = delete;

    // The folder browser and the boxes are the real dialogs unless these answer them instead.
    void SetDirectoryChooser(DirectoryChooser chooser);
    void SetBoxPresenter(BoxPresenter presenter);
    void SetFolderOpener(FolderOpener opener);

    // The button: asks for a directory and converts it; a cancelled browser does nothing at all.
    void OnBnClickedSelectDirectory();
    // Converts directory as the button does once the browser has returned it.
    void ConvertDirectory(const std::wstring& directory);
    void ScanDirectory();
    void RunConversion();

    void OnMessage(OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text) override;
    // The run under the wait cursor with the progress bar, its result in the "Conversion Results" box.
    void OnRunStarted() override;
    void OnProgress(double fraction) override;
    void OnResult(int result) override;
    void OnRunEnded() override;
    // The Options menu's item for the choice: "Options > Exact record timing".
    std::wstring ChoiceHint(ConversionChoice choice) const override;

protected:
    // A directory dropped onto the window converts as if chosen with the button.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // The message list and its frame take what the window gives beyond its first size.
    void resizeEvent(QResizeEvent* event) override;
    // Ignored while a conversion runs: the run ends with the result box, not with a vanished window.
    void closeEvent(QCloseEvent* event) override;
    // Escape: while a conversion runs, stops it as Cancel does; otherwise closes the window.
    void reject() override;

private:
    void CreateMenu();
    QAction* AddOption(QMenu* menu, const QString& text, const QString& key);
    // What the Options menu has ticked, with the channels and identification of its dialog.
    ConversionOptions ChosenOptions() const;
    // The Options menu's "Channels and Identification...": what it accepts holds for the window's
    // later conversions.
    void OnChannelsAndIdentification();
    void CreateControls(QWidget* client);
    void OnAbout();
    // Cancel: the conversion stops at its next data record and fails.
    void OnCancel();
    // Lets the window paint, resize and take Cancel while the conversion goes on.
    void KeepResponsive();
    // The progress bar and Cancel while a conversion runs; the button and the menus otherwise.
    void ShowRunControls(bool running);
    void ShowLogFileError(const std::wstring& caption, const std::wstring& text);
    void PresentBox(QMessageBox& box);
    // The verdict's details and the buttons to look at what was written.
    void AddResultDetails(QMessageBox& box);
    // Beside the window when the screen has room, so that the box leaves the list in sight.
    void PlaceBesideWindow(QMessageBox& box) const;
    void ShowMessageDetail(QTreeWidgetItem* row);
    // The trace viewer, over whatever is modal, with `file` when one is given.
    void ViewTraces(const QString& file);
    void CopySelectedMessages() const;
    void LayOutMessageLog();
    // VareloReport.json beside the log file, as varelo-convert writes it for the same options.
    void WriteReport(const ConversionRequest& request, int result, double wallSeconds);

    QIcon m_icon;
    std::wstring m_dataDirectory;
    std::vector<std::wstring> m_cscFiles;
    std::wstring m_eventFile;
    QTreeWidget* m_messageList = nullptr;  // the controls belong to the window, as Qt children
    LogFile m_logFile;
    QProgressBar* m_progressBar = nullptr;  // shown only while a conversion runs
    QPushButton* m_cancelButton = nullptr;  // likewise
    QPushButton* m_selectButton = nullptr;
    QMenuBar* m_menuBar = nullptr;
    QGroupBox* m_messageLog = nullptr;
    QPlainTextEdit* m_messageDetail = nullptr;  // the chosen row's whole text, to read and copy
    QAction* m_labOutput = nullptr;             // the Options menu's items, checkable
    QAction* m_exactTiming = nullptr;
    QAction* m_microvoltUnits = nullptr;
    QAction* m_verify = nullptr;
    // The channels and identification dialog's fields and the options they make; for this session
    // of the window only, empty at its start.
    ChannelsIdentificationDlg::Fields m_identificationFields;
    ConversionOptions m_identification;
    int m_shownPercent = -1;
    bool m_converting = false;
    bool m_cancelRequested = false;
    QElapsedTimer m_sinceEvents;  // since the window last handled its events during a run
    DirectoryChooser m_chooseDirectory;
    BoxPresenter m_presentBox;
    FolderOpener m_openFolder;
    RunResult m_runResult;
    TraceViewer* m_traceViewer = nullptr;  // made when first asked for
    ConversionSummary m_summary;           // of the last run
    // The last run's messages, for its report.
    std::vector<std::pair<OrvLogging::ORVB_MESSAGE_TYPE, std::wstring>> m_runMessages;
};

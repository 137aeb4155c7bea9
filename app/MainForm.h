#pragma once
// The main window. It wires the parts that do its jobs: MainFormControls
// builds the controls, WindowPlacement keeps the placement, readCommandLine
// reads the arguments, FileListModel (in TBaseForm) holds the rows and
// FileListController works on them, RunController runs the batch and
// ScheduleController the schedule timer. The window itself handles its events
// and passes its commands on.
#include "BaseForm.h"
#include "FileListController.h"
#include "RunController.h"
#include "ScheduleController.h"
#include "conversion/ProgressForm.h"
#include "conversion/Schedule.h"
#include "settings/ScheduleSettings.h"

#include <QEvent>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QTimer;
class QToolBar;
class QTreeWidget;

namespace vexlo::app {

// The private message that starts a command-line run once the window is shown.
inline constexpr QEvent::Type WM_AUTOCONVERT = static_cast<QEvent::Type>(QEvent::User + 261);

class TMainForm : public TBaseForm, public conversion::ProgressDisplay {
    Q_OBJECT
public:
    // `arguments`: the command line without the program name.
    explicit TMainForm(const std::vector<std::string>& arguments, QWidget* parent = nullptr);
    ~TMainForm() override;

    bool Silent = false;
    bool Busy = false;
    std::vector<std::string> ExistingFiles;
    settings::ScheduleSettings ScheduleSettings;
    std::unique_ptr<conversion::TProgressForm> Progress;
    // The small pictures of the file types shown in the list.
    TImageList imlFileIcon;

    // Injectable clock for the schedule (tests step through minutes).
    void setClock(conversion::Clock clock) { m_schedule.setClock(std::move(clock)); }
    // What a command-line run ended with: 0 completed, 1 aborted, -1 none.
    int commandLineResult() const { return m_run.commandLineResult(); }
    // The exit status of a silent start: 0 the run completed, 1 it was aborted
    // or failed, 2 nothing to do or a command-line error.
    int silentExitStatus() const { return m_run.silentExitStatus(); }

    // Commands.
    void btnAddFileClick();
    void btnRemoveFileClick();
    void btnConvertClick();
    void btnStopClick();
    void btnOpenClick();
    void btnSaveClick();
    void btnOptionsClick();
    void pmnOptionsClick();
    void pmnHelpClick();
    void mniFAQClick();
    void mniLisenceClick();
    void mniContactusClick();
    void mniHomepageClick();
    void mniAboutClick();
    void mniCloseClick();
    void pmnExitClick();
    void mniShowTextLabelClick();
    void Timer1Timer();

    // File list.
    bool SelectAndAddFiles();
    void AddMatchingFiles(const std::string& pattern);
    void WMDropFiles(const QStringList& localFiles);
    // Ctrl+V and the context menu's Paste: the files the clipboard names,
    // taken as a drop of them.
    void pmnPasteClick();
    void LoadSavedFileList();
    void StoreFileList();

    // Run.
    void RequestConversion();
    void CollectExistingFiles(std::vector<std::string>& list);
    void PrepareRun() override;
    void SetIdleState(bool Idle) override;
    void ConvertFiles() override;
    void ConversionCompleted();
    void ConversionAborted();
    void ApplyToolbarLabels();
    void LoadWindowPlacement();
    void SaveWindowPlacement();
    void ActivateApplication();
    void ParseCommandLine(const std::vector<std::string>& arguments);
    void FormResize();

signals:
    // The window has closed and no run is left on the stack: the program may end.
    void finished();

public:
    void setVisible(bool visible) override;

protected:
    // ProgressDisplay: what the progress reporter writes into the window.
    void setStatusPanelText(const std::string& text) override;
    void setCaption(const std::string& text) override;
    void setApplicationTitle(const std::string& text) override;
    void setProgressBarPosition(int position) override;
    void setFilesFinished(int finished, int total) override;

    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    QMenu* createPopupMenu() override;

private:
    friend class FileListController;
    friend class MainFormControls;
    friend class RunController;
    friend class WindowPlacement;

    // The controls, built by MainFormControls; outside the window's own parts
    // they are reached by their object names (the same names).
    QToolBar* ToolBar1 = nullptr;
    QToolBar* ToolBar2 = nullptr;
    QMenuBar* menuBar2 = nullptr;
    QTreeWidget* ListView1 = nullptr;
    QLabel* pnlPSPImage = nullptr;
    QTimer* Timer1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QMenu* mnuFile = nullptr;
    QMenu* mnuActions = nullptr;
    QMenu* mnuOptions = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction *btnAddFile = nullptr, *btnRemoveFile = nullptr, *btnConvert = nullptr, *btnStop = nullptr,
            *btnOptions = nullptr, *btnHelp = nullptr, *btnOpen = nullptr, *btnSave = nullptr;
    QAction *mniAddFile = nullptr, *mniRemoveFile = nullptr, *mniOpen = nullptr, *mniSave = nullptr,
            *mniClose = nullptr, *mniConvert = nullptr, *mniStop = nullptr, *mniPreference = nullptr,
            *mniShowTextLabel = nullptr, *mniHelp = nullptr, *mniFAQ = nullptr, *mniLisence = nullptr,
            *mniContactus = nullptr, *mniHomepage = nullptr, *mniAbout = nullptr;
    QAction *pmnAddFile = nullptr, *pmnPaste = nullptr, *pmnRemoveFile = nullptr, *pmnConvert = nullptr,
            *pmnStop = nullptr, *pmnOptions = nullptr, *pmnHelp = nullptr, *pmnExit = nullptr;

    bool addFile(const std::string& path) { return AddFileToList(imlFileIcon, ListView1, path); }
    // Shows a message box owned by the window; a silent start has no one to
    // answer it, so there the text goes to standard error and a question is
    // answered No.
    platform::MessageAnswer tellUser(const std::string& title, const std::string& text, platform::MessageIcon icon,
        platform::MessageButtons buttons);

    void FormCreate(const std::vector<std::string>& arguments);
    void FormShow();
    void FormClose();
    void updateRemoveCommands();
    void updatePasteCommand();
    void setIdleStatusText();
    void updatePictureVisibility();
    void PopupMenu1Popup();
    void openProgramDocument(const char* fileName);
    void armScheduleTimer(bool armed);
    void reportError(const std::exception& e);
    void finishSilentStart();

    bool m_shown = false;
    bool m_placed = false;
    bool m_closed = false;
    bool m_commandLineError = false;
    // A settings file that cannot be used as the user's own is reported once at start.
    void reportUnusableSettings();
    // The file-manager entries of an installed program: for a new user, once;
    // with the preference on, again when they are of an older form.
    void installShellExtensionAtStart();
    FileListController m_list{*this};
    RunController m_run{*this};
    ScheduleController m_schedule{this, ScheduleSettings};
};

} // namespace vexlo::app

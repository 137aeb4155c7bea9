#include "MainForm.h"
#include "base/Paths.h"
#include "base/Text.h"

#include "CommandLine.h"
#include "MainFormControls.h"
#include "WindowPlacement.h"
#include "dialogs/Artwork.h"
#include "integration/FileManagerActions.h"
#include "platform/AppTitle.h"
#include "platform/DesktopApps.h"
#include "platform/Product.h"
#include "platform/Services.h"
#include "dialogs/OptionForm.h"
#include "platform/UserFolders.h"
#include "settings/Catalogue.h"
#include "settings/RunSettings.h"
#include "settings/IniFile.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <filesystem>

namespace vexlo::app {

using conversion::RunMode;
using platform::MessageAnswer;
using platform::MessageButtons;
using platform::MessageIcon;
using platform::services;

namespace {

const char* const kMain = "Main";

} // namespace

// ------------------------------------------------------------------ creation

TMainForm::TMainForm(const std::vector<std::string>& arguments, QWidget* parent) : TBaseForm(parent)
{
    setObjectName("MainForm");
    FormCreate(arguments);
}

TMainForm::~TMainForm() { qApp->removeEventFilter(this); }

void TMainForm::FormCreate(const std::vector<std::string>& arguments)
{
    TBaseForm::FormCreate();
    Silent = false;
    setWindowTitle(product::kName);
    setWindowIcon(dialogs::programIcon());
    setMinimumSize(500, 200);
    resize(625, 446);

    MainFormControls(*this).build();

    Timer1 = m_schedule.timer();
    connect(Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);

    // Captions loaded when the window is created.
    mniHomepage->setText(QCoreApplication::translate("TMainForm", "Visit Vexlo Homepage"));
    mniAbout->setText(QCoreApplication::translate("TMainForm", "About Vexlo"));

    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct CursorGuard {
        ~CursorGuard() { QApplication::restoreOverrideCursor(); }
    } cursorGuard;

    setAcceptDrops(true);
    RunMode = RunMode::rmInteractive;
    Busy = false;
    ExistingFiles.clear();
    Progress = std::make_unique<conversion::TProgressForm>(*this);
    qApp->installEventFilter(this); // key preview (Esc)

    // Idle states at start-up; the schedule timer waits for the schedule.
    mniStop->setEnabled(false);
    pmnStop->setEnabled(false);
    StatusBar1->setPanelText(0, QCoreApplication::translate("TMainForm", "Ready"));
    try {
        if (arguments.empty())
            LoadSavedFileList();
        else
            ParseCommandLine(arguments);
    } catch (const std::exception& e) {
        m_commandLineError = !arguments.empty();
        reportError(e);
    }
    reportUnusableSettings();
    installShellExtensionAtStart();
    setIdleStatusText();
    updateRemoveCommands();
}

void TMainForm::reportUnusableSettings()
{
    const platform::SettingsPlacement placement = platform::settingsPlacementFor(platform::executablePath());
    if (placement.danglingLink.empty())
        return;
    std::string message = QCoreApplication::translate("TMainForm",
        "The settings file %s is a link to %s, which is not there. The link is left as it is; until its "
        "target is back, Vexlo uses the shipped output formats and saves no settings.")
                              .toStdString();
    // The second first, so that a "%s" in the first value stays as it is.
    const size_t first = message.find("%s");
    const size_t second = first == std::string::npos ? first : message.find("%s", first + 2);
    if (second != std::string::npos)
        message.replace(second, 2, placement.danglingLink);
    if (first != std::string::npos)
        message.replace(first, 2, placement.path);
    tellUser(product::kName, message, MessageIcon::Warning, MessageButtons::Ok);
}

void TMainForm::installShellExtensionAtStart()
{
    // The user's own settings without the key: nobody has chosen yet, and the
    // box shows the default (on), so the entries are installed. With the
    // preference on, entries that an earlier version wrote in an older form
    // (which start the program directly and fail once it is gone) are
    // written again; while they are current this costs one small read. A
    // user who switched them off is never touched.
    if (Silent)
        return;
    const platform::SettingsPlacement placement = platform::settingsPlacementFor(platform::executablePath());
    if (!placement.perUser || placement.readOnly)
        return;
    try {
        settings::IniFile file = settings::settingsFile();
        const settings::IniDocument doc = file.load();
        if (doc.value("Options", "UseShellExtension")) {
            if (!doc.readFlag("Options", "UseShellExtension", false)
                || !integration::userEntriesOutdated(integration::foldersFromEnvironment(), platform::programFolder()))
                return;
        } else {
            // Stored first, so that a failed write cannot install again at every start.
            file.writeFlag("Options", "UseShellExtension", true);
        }
    } catch (const settings::SettingsError&) {
        return;
    }
    settings::TOptionForm::SetShellExtension(true);
}

// ------------------------------------------------------------ window events

void TMainForm::showEvent(QShowEvent* event)
{
    TBaseForm::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TMainForm::setVisible(bool visible)
{
    if (visible && !m_placed) {
        // The stored placement is applied before the native window exists:
        // only then does a window manager take Left/Top as the position of
        // the frame, which is what SaveWindowPlacement stores.
        m_placed = true;
        try {
            LoadWindowPlacement();
        } catch (const std::exception& e) {
            reportError(e);
        }
    }
    // A silent start maps no window on any desktop: the showing steps run,
    // the window stays unmapped.
    if (visible && Silent) {
        if (!m_shown) {
            m_shown = true;
            FormShow();
        }
        return;
    }
    TBaseForm::setVisible(visible);
}

void TMainForm::FormShow()
{
    // A silent start always gets its request, which also ends it.
    if (RunMode == RunMode::rmCommandLineAuto || RunMode == RunMode::rmCommandLinePrompt || Silent)
        QCoreApplication::postEvent(this, new QEvent(WM_AUTOCONVERT));
    try {
        // LoadWindowPlacement has run just before (setVisible).
        armScheduleTimer(m_schedule.load());
    } catch (const std::exception& e) {
        reportError(e);
    }
    if (Silent)
        move(-1000, y());
    FormResize();
}

bool TMainForm::event(QEvent* event)
{
    if (event->type() == WM_AUTOCONVERT) {
        if (!Silent) {
            RequestConversion();
            return true;
        }
        try {
            if (!m_commandLineError
                && (RunMode == RunMode::rmCommandLineAuto || RunMode == RunMode::rmCommandLinePrompt))
                RequestConversion();
        } catch (const std::exception& e) {
            reportError(e);
        }
        finishSilentStart();
        return true;
    }
    const bool handled = TBaseForm::event(event);
    if ((event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) && pnlPSPImage) {
        // The desktop's theme changed (dark to light): the getting-started
        // panel follows the window's new colours.
        pnlPSPImage->setPixmap(dialogs::cachedGettingStartedPixmap(devicePixelRatioF(), palette()));
    }
    return handled;
}

void TMainForm::finishSilentStart()
{
    // Nobody can close an invisible window: whatever the request came to, the
    // program ends (a completed or aborted run may already have asked).
    if (!m_closed)
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (m_closed)
        return; // a second close request (a run's end and the user at once)
    m_closed = true;
    // A loop still on the stack starts no further file and asks the running
    // engine to end; the program ends once the loop has returned.
    const bool loopRunning = m_run.windowClosing();
    FormClose();
    if (!loopRunning)
        QMetaObject::invokeMethod(this, &TMainForm::finished, Qt::QueuedConnection);
}

void TMainForm::FormClose()
{
    if (Busy)
        ConversionAborted();
    // The list and the placement are stored independently: a failure of one
    // is reported and does not keep the other from being written.
    try {
        StoreFileList();
    } catch (const std::exception& e) {
        reportError(e);
    }
    try {
        SaveWindowPlacement();
    } catch (const std::exception& e) {
        reportError(e);
    }
}

void TMainForm::resizeEvent(QResizeEvent* event)
{
    TBaseForm::resizeEvent(event);
    FormResize();
}

void TMainForm::FormResize()
{
    if (!StatusBar1 || !pnlPSPImage)
        return;
    const QRect outer = frameGeometry();
    const int second = StatusBar1->panelWidth(1);
    const int first = outer.width() - second - 20;
    StatusBar1->setPanelWidth(0, first);
    StatusProgressBar->move(first + 2, StatusProgressBar->y());
    pnlPSPImage->move((outer.width() - pnlPSPImage->width()) / 2 - 10, outer.height() - pnlPSPImage->height() - 131);
    // Tested with the new place: after a resize in one step the old place may
    // lie anywhere (over the menu and toolbar, or below the window).
    updatePictureVisibility();
    pnlPSPImage->raise();
}

void TMainForm::updatePictureVisibility()
{
    if (!pnlPSPImage || !ListView1)
        return;
    const int listTop = ListView1->mapTo(this, QPoint(0, 0)).y();
    const bool show = pnlPSPImage->width() < frameGeometry().width() && ListView1->topLevelItemCount() == 0
        && listTop < pnlPSPImage->y() - 20;
    pnlPSPImage->setVisible(show);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyRelease: {
        // Key preview: Esc is consumed wherever the focus is in this window.
        auto* key = static_cast<QKeyEvent*>(event);
        auto* widget = qobject_cast<QWidget*>(watched);
        if (key->key() == Qt::Key_Escape && widget && widget->window() == this) {
            if (Busy)
                Progress->Cancel();
            return true;
        }
        break;
    }
    case QEvent::ShortcutOverride: {
        // Whether Ctrl+V has anything to add is known only now: the clipboard
        // and the files it names may have changed since the last look.
        auto* key = static_cast<QKeyEvent*>(event);
        auto* widget = qobject_cast<QWidget*>(watched);
        if (key->matches(QKeySequence::Paste) && widget && widget->window() == this)
            updatePasteCommand();
        break;
    }
    case QEvent::MouseButtonDblClick:
        if (watched == ListView1->viewport() || watched == pnlPSPImage) {
            SelectAndAddFiles();
            return true;
        }
        break;
    default:
        break;
    }
    return TBaseForm::eventFilter(watched, event);
}

void TMainForm::contextMenuEvent(QContextMenuEvent* event)
{
    PopupMenu1->exec(event->globalPos());
    event->accept();
}

QMenu* TMainForm::createPopupMenu() { return nullptr; }

void TMainForm::PopupMenu1Popup()
{
    // The rule governs the context menu's own Remove item, for as long as that
    // menu is open: a menu opened over an empty list or away from it offers no
    // removal. No item stays hidden after the menu has closed (a hidden item's
    // key would not act).
    pmnRemoveFile->setVisible(ListView1->topLevelItemCount() > 0 && ListView1->hasFocus());
    updatePasteCommand();
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TMainForm::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event)
{
    const QStringList files = FileListController::localFiles(*event->mimeData());
    event->acceptProposedAction();
    WMDropFiles(files);
}

void TMainForm::reportError(const std::exception& e)
{
    tellUser(product::kName, e.what(), MessageIcon::Error, MessageButtons::Ok);
}

MessageAnswer TMainForm::tellUser(
    const std::string& title, const std::string& text, MessageIcon icon, MessageButtons buttons)
{
    if (!Silent)
        return services().messages->show(this, title, text, icon, buttons);
    std::string line = text;
    for (size_t at = 0; (at = line.find_first_of("\r\n", at)) != std::string::npos;) {
        const size_t end = line.find_first_not_of("\r\n", at);
        line.replace(at, (end == std::string::npos ? line.size() : end) - at, " ");
        ++at;
    }
    std::fprintf(stderr, "vexlo: %s%s\n", line.c_str(),
        buttons == MessageButtons::YesNo ? " (answered No: nobody can answer a silent run)" : "");
    std::fflush(stderr);
    return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
}

// ------------------------------------------------------------- placement

void TMainForm::LoadWindowPlacement() { WindowPlacement::load(*this); }
void TMainForm::SaveWindowPlacement() { WindowPlacement::save(*this); }

void TMainForm::ApplyToolbarLabels() { MainFormControls::applyToolbarLabels(ToolBar1, mniShowTextLabel->isChecked()); }

void TMainForm::mniShowTextLabelClick()
{
    // The action has already toggled its check mark.
    settings::settingsFile().writeFlag(kMain, "ShowTextLabel", mniShowTextLabel->isChecked());
    ApplyToolbarLabels();
}

void TMainForm::ActivateApplication() { services().desktop->activate(this); }

// ------------------------------------------------------------ command line

void TMainForm::ParseCommandLine(const std::vector<std::string>& arguments)
{
    using Kind = CommandLineItem::Kind;
    clearList(ListView1);
    const CommandLineRequest request
        = readCommandLine(arguments, platform::programFolder(), paths::fromQString(QDir::currentPath()));
    CmdFormatIndex = request.formatIndex;
    CmdDestPath = request.destPath;
    for (const CommandLineItem& item : request.items) {
        switch (item.kind) {
        case Kind::AddFile:
            addFile(item.path);
            break;
        case Kind::AddPattern:
            AddMatchingFiles(item.path);
            break;
        case Kind::Unsupported: {
            const std::string message = text::replacePlaceholder(QCoreApplication::translate("TMainForm",
                                                                     "'%s'\r\n\r\nFile is not a supported video file, "
                                                                     "and can not be converted!")
                                                                     .toStdString(),
                item.path);
            const std::string title = QFile::encodeName(windowTitle()).toStdString();
            tellUser(title, message, MessageIcon::Error, MessageButtons::Ok);
            break;
        }
        case Kind::CreateFolder: {
            std::error_code ec;
            std::filesystem::create_directories(item.path, ec); // failure: still taken
            break;
        }
        case Kind::Silent:
            Silent = true;
            services().desktop->setNoTaskbarButton(this);
            break;
        }
    }
    if (request.error)
        throw std::runtime_error(*request.error);
    const settings::IniDocument doc
        = request.convertWithoutAsking() ? settings::settingsFile().load() : settings::IniDocument();
    if (request.convertWithoutAsking() && !doc.hasSection(settings::profileSectionName(request.formatIndex))
        && !settings::catalogueTitles(doc).empty()) {
        // A number the catalogue has no profile for would convert with no profile's values. (Without
        // any catalogue, as before the settings file exists, the loader's defaults are the profile.)
        const std::string message = QCoreApplication::translate("TMainForm", "unknown profile %s").toStdString();
        throw std::runtime_error(text::replacePlaceholder(message, std::to_string(request.formatIndex)));
    }
    RunMode = request.convertWithoutAsking() ? RunMode::rmCommandLineAuto : RunMode::rmCommandLinePrompt;
}

// -------------------------------------------------------------- file list

bool TMainForm::SelectAndAddFiles() { return m_list.selectAndAdd(); }
void TMainForm::AddMatchingFiles(const std::string& pattern) { m_list.addMatching(pattern); }
void TMainForm::WMDropFiles(const QStringList& localFiles) { m_list.drop(localFiles); }
void TMainForm::pmnPasteClick() { m_list.paste(); }
void TMainForm::updatePasteCommand() { m_list.updatePasteCommand(); }
void TMainForm::btnAddFileClick() { SelectAndAddFiles(); }
void TMainForm::btnRemoveFileClick() { m_list.removeSelected(); }
void TMainForm::updateRemoveCommands() { m_list.updateRemoveCommands(); }
void TMainForm::setIdleStatusText() { m_list.setIdleStatusText(); }
void TMainForm::LoadSavedFileList() { m_list.loadSaved(); }
void TMainForm::StoreFileList() { m_list.storeSaved(); }
void TMainForm::btnOpenClick() { LoadSavedFileList(); }
void TMainForm::btnSaveClick() { StoreFileList(); }

// ------------------------------------------------------------ conversion

void TMainForm::btnConvertClick()
{
    if (Busy)
        return;
    try {
        if (ListView1->topLevelItemCount() == 0) {
            if (RunMode == RunMode::rmCommandLineAuto)
                close();
            else
                SelectAndAddFiles();
        }
        if (ListView1->topLevelItemCount() > 0)
            RequestConversion();
    } catch (...) {
        Busy = false; // the Convert command ends such errors silently
    }
}

void TMainForm::btnStopClick()
{
    if (Busy)
        StopConversion();
}

void TMainForm::RequestConversion() { m_run.request(); }
void TMainForm::CollectExistingFiles(std::vector<std::string>& list) { m_run.collectExistingFiles(list); }
void TMainForm::PrepareRun() { m_run.prepare(); }
void TMainForm::ConvertFiles() { m_run.convertFiles(); }
void TMainForm::SetIdleState(bool Idle) { m_run.setIdleState(Idle); }
void TMainForm::ConversionCompleted() { m_run.completed(); }
void TMainForm::ConversionAborted() { m_run.aborted(); }

void TMainForm::Timer1Timer()
{
    if (Busy || m_run.inRun())
        return;
    if (m_schedule.due()) {
        RunMode = RunMode::rmScheduled;
        btnConvertClick();
    }
}

void TMainForm::armScheduleTimer(bool armed) { m_schedule.arm(armed && !Busy); }

// ---------------------------------------------------------- other commands

void TMainForm::btnOptionsClick()
{
    if (settings::ShowPreferencesDialog(this, ScheduleSettings))
        armScheduleTimer(m_schedule.load());
}

void TMainForm::pmnOptionsClick() { settings::ShowPreferencesDialog(this, ScheduleSettings); }

void TMainForm::openProgramDocument(const char* fileName)
{
    services().shell->openDocument(platform::programFolder() + fileName);
}

void TMainForm::pmnHelpClick() { services().shell->openDocument(platform::helpDocument(platform::programFolder())); }
void TMainForm::mniFAQClick() { openProgramDocument(product::kFaqFile); }
void TMainForm::mniLisenceClick() { openProgramDocument(product::kLicenseFile); }
void TMainForm::mniContactusClick() { services().shell->openDocument(std::string("mailto:") + product::kSupportMail); }
void TMainForm::mniHomepageClick() { services().shell->openDocument(product::kHomepage); }
void TMainForm::mniAboutClick() { ShowAboutBox(); }
void TMainForm::mniCloseClick() { close(); }
void TMainForm::pmnExitClick() { close(); }

void TMainForm::setStatusPanelText(const std::string& text)
{
    StatusBar1->setPanelText(0, QString::fromStdString(text));
}
void TMainForm::setCaption(const std::string& text) { setWindowTitle(QString::fromStdString(text)); }
void TMainForm::setApplicationTitle(const std::string& text)
{
    platform::setApplicationTitle(QString::fromStdString(text));
}
void TMainForm::setProgressBarPosition(int position) { StatusProgressBar->setValue(position); }
void TMainForm::setFilesFinished(int finished, int total) { m_run.fileStarting(finished, total); }

} // namespace vexlo::app

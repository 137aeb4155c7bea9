#include "MainForm.h"

#include "FileRules.h"
#include "dialogs/Artwork.h"
#include "platform/AppTitle.h"
#include "platform/Product.h"
#include "platform/DesktopApps.h"
#include "platform/Services.h"
#include "dialogs/ConvertOptionsForm.h"
#include "settings/IniFile.h"
#include "dialogs/OptionForm.h"
#include "shellutil/ConvertPublic.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace vexlo::app {

using conversion::RunMode;
using platform::MessageAnswer;
using platform::MessageButtons;
using platform::MessageIcon;
using platform::services;

namespace {

const char* const kMain = "Main";
const char* const kOptions = "Options";
const char* const kFileList = "FileList";

std::string toPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

std::string currentFolder()
{
    char buffer[4096];
    if (!getcwd(buffer, sizeof buffer))
        return "./";
    std::string folder(buffer);
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

// The toolbars stay in the band at the top: they can be moved within it, but
// neither floated nor docked at another edge.
void confineToTopBand(QToolBar* bar)
{
    bar->setAllowedAreas(Qt::TopToolBarArea);
    bar->setFloatable(false);
}

// With captions: the design size 50 x 52, wider where a caption needs it.
// Without: 39 x 39.
void sizeToolbarButtons(QToolBar* bar, bool labels)
{
    for (QAction* a : bar->actions()) {
        auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(a));
        if (!button)
            continue;
        if (labels) {
            button->setMinimumSize(0, 0);
            button->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
            button->setFixedSize(std::max(50, button->sizeHint().width()), 52);
        } else {
            button->setFixedSize(39, 39);
        }
    }
    bar->setMinimumHeight(labels ? 52 : 39);
}

// The default width of the Size column: the widest size text ("4768.37 MB")
// in the list's font, with the item margins.
int defaultSizeColumnWidth(const QTreeWidget* list)
{
    const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
    const int text = list->fontMetrics().horizontalAdvance(QStringLiteral("4768.37 MB"));
    return std::max(64, text + 2 * margin + 8);
}

std::string withTrailingSlash(std::string folder)
{
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

// The filters of the add-files dialog, in their order.
const std::vector<platform::FileFilter>& openDialogFilters()
{
    static const std::vector<platform::FileFilter> filters = {
        {"Video files (*.m2ts;*.mts;*.m2t;*.avi;*.mpeg;*.mpg;*.wmv;*.qt;*.mpm;*.mpv;*.mpa;*.mov;*.vob;*.mod;*.mp4)",
         "*.m2ts;*.mts;*.m2t;*.avi;*.mpeg;*.mpg;*.wmv;*.asf;*.qt;*.mpm;*.mpv;*.mpa;*.mov;*.vob;*.mod;*.mp4;*.3gp;*.3g2;*.dvr-ms;*.flv;*.swf;*.dv"},
        {"AVCHD files (*.m2ts;*.mts;*.m2t)", "*.m2ts;*.mts;*.m2t"},
        {"AVI files (*.avi)", "*.avi"},
        {"MPEG files (*.mpeg;*.mpg;*.mpm;*.mpv;*.mpa;*.mod)", "*.mpeg;*mpg;*.mpm;*.mpv;*.mpa;*.mod"},
        {"WMV files (*.wmv;*.asf;*.wma)", "*.wmv;*asf;*.wma"},
        {"Quick Time files (*.qt;*.mov)", "*.qt;*.mov"},
        {"VOB files (*.vob)", "*.vob"},
        {"MP4 files (*.mp4;*.3gp;*.3g2)", "*.mp4;*.3gp;*.3g2"},
        {"Flash video files (*.flv;*.swf)", "*.flv;*.swf"},
        {"All files (*.*)", "*.*"},
    };
    return filters;
}

} // namespace

// ------------------------------------------------------------------ creation

TMainForm::TMainForm(const std::vector<std::string>& arguments, QWidget* parent)
    : TBaseForm(parent), m_clock(conversion::systemClock())
{
    setObjectName("MainForm");
    FormCreate(arguments);
}

TMainForm::~TMainForm()
{
    qApp->removeEventFilter(this);
}

void TMainForm::FormCreate(const std::vector<std::string>& arguments)
{
    TBaseForm::FormCreate();
    Silent = false;
    setWindowTitle(product::kName);
    setWindowIcon(dialogs::programIcon());
    setMinimumSize(500, 200);
    resize(625, 446);

    createActions();
    createMenus();
    createToolbars();
    createList();

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(60000);
    connect(Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);

    // Captions loaded when the window is created.
    mniHomepage->setText(QStringLiteral("Visit Vexlo Homepage"));
    mniAbout->setText(QStringLiteral("About Vexlo"));

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
    StatusBar1->setPanelText(0, QStringLiteral("Ready"));
    try {
        if (arguments.empty())
            LoadSavedFileList();
        else
            ParseCommandLine(arguments);
    } catch (const std::exception& e) {
        m_commandLineError = !arguments.empty();
        reportError(e);
    }
    setIdleStatusText();
    updateRemoveCommands();
}

void TMainForm::createActions()
{
    const auto make = [this](const char* name, const QString& text) {
        auto* a = new QAction(text, this);
        a->setObjectName(name);
        return a;
    };
    // The button toolbar.
    btnAddFile = make("btnAddFile", "Add");
    btnRemoveFile = make("btnRemoveFile", "Remove");
    btnConvert = make("btnConvert", "Convert");
    btnStop = make("btnStop", "Stop");
    btnOptions = make("btnOptions", "Options");
    btnHelp = make("btnHelp", "Help");
    btnOpen = make("btnOpen", "Open");
    btnSave = make("btnSave", "Save");
    const std::pair<QAction*, const char*> hints[] = {
        {btnAddFile, "Open video files to convert (Ins)"},
        {btnRemoveFile, "Remove selected files (Ctrl + Del)"},
        {btnConvert, "Start Converting (F9)"},
        {btnStop, "Stop Converting"},
        {btnOptions, "Setting"},
        {btnHelp, "Help Tips"},
        {btnOpen, "Open a project"},
        {btnSave, "Save Current Project"},
    };
    for (const auto& [action, hint] : hints) {
        action->setToolTip(hint);
        action->setStatusTip(hint);
    }
    const std::pair<QAction*, const char*> icons[] = {
        {btnAddFile, "add"}, {btnRemoveFile, "remove"}, {btnConvert, "convert"}, {btnStop, "stop"},
        {btnOptions, "options"}, {btnHelp, "help"}, {btnOpen, "open"}, {btnSave, "save"},
    };
    for (const auto& [action, icon] : icons)
        action->setIcon(dialogs::toolbarIcon(icon));
    btnRemoveFile->setEnabled(false);
    btnStop->setVisible(false);
    btnOpen->setVisible(false);
    btnSave->setVisible(false);

    // The menu bar's menus. Key texts after a tab are shown, not bound.
    mniAddFile = make("mniAddFile", "&Add files...\tIns");
    mniRemoveFile = make("mniRemoveFile", "&Remove files\tCtrl+Del");
    mniRemoveFile->setEnabled(false);
    mniOpen = make("mniOpen", "&Open Project\tCtrl+O");
    mniSave = make("mniSave", "&Save Project...\tCtrl+S");
    mniClose = make("mniClose", "&Close");
    mniConvert = make("mniConvert", "&Convert\tF9");
    mniStop = make("mniStop", "S&top\tCtrl+T");
    mniPreference = make("mniPreference", "&Preferences");
    mniShowTextLabel = make("mniShowTextLabel", "Show &Text Label in Toolbar");
    mniShowTextLabel->setCheckable(true);
    mniShowTextLabel->setChecked(true);
    mniHelp = make("mniHelp", "&Help\tF1");
    mniFAQ = make("mniFAQ", "&FAQ...");
    mniLisence = make("mniLisence", "&License...");
    mniContactus = make("mniContactus", "Contact us...");
    mniHomepage = make("mniHomepage", "Visit Homepage");
    mniAbout = make("mniAbout", "About");

    // The context menu; its keys act whatever control has the focus.
    pmnAddFile = make("pmnAddFile", "A&dd File...");
    pmnAddFile->setShortcut(QKeySequence(Qt::Key_Insert));
    pmnRemoveFile = make("pmnRemoveFile", "&Remove File");
    pmnRemoveFile->setShortcut(QKeySequence(Qt::Key_Delete));
    pmnConvert = make("pmnConvert", "&Convert");
    pmnConvert->setShortcut(QKeySequence(Qt::Key_F9));
    pmnStop = make("pmnStop", "S&top");
    pmnStop->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    pmnOptions = make("pmnOptions", "&Options...");
    pmnOptions->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    pmnHelp = make("pmnHelp", "&Help");
    pmnHelp->setShortcut(QKeySequence(Qt::Key_F1));
    pmnExit = make("pmnExit", "&Close");
    for (QAction* a : {pmnAddFile, pmnRemoveFile, pmnConvert, pmnStop, pmnOptions, pmnHelp}) {
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a); // the keys work while the menu is closed
    }

    const auto on = [this](QAction* a, void (TMainForm::*handler)()) {
        connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    for (QAction* a : {btnAddFile, mniAddFile, pmnAddFile})
        on(a, &TMainForm::btnAddFileClick);
    for (QAction* a : {btnRemoveFile, mniRemoveFile, pmnRemoveFile})
        on(a, &TMainForm::btnRemoveFileClick);
    for (QAction* a : {btnConvert, mniConvert, pmnConvert})
        on(a, &TMainForm::btnConvertClick);
    for (QAction* a : {btnStop, mniStop, pmnStop})
        on(a, &TMainForm::btnStopClick);
    for (QAction* a : {btnOptions, mniPreference})
        on(a, &TMainForm::btnOptionsClick);
    on(pmnOptions, &TMainForm::pmnOptionsClick);
    for (QAction* a : {btnHelp, mniHelp, pmnHelp})
        on(a, &TMainForm::pmnHelpClick);
    for (QAction* a : {btnOpen, mniOpen})
        on(a, &TMainForm::btnOpenClick);
    for (QAction* a : {btnSave, mniSave})
        on(a, &TMainForm::btnSaveClick);
    on(mniClose, &TMainForm::mniCloseClick);
    on(pmnExit, &TMainForm::pmnExitClick);
    on(mniShowTextLabel, &TMainForm::mniShowTextLabelClick);
    on(mniFAQ, &TMainForm::mniFAQClick);
    on(mniLisence, &TMainForm::mniLisenceClick);
    on(mniContactus, &TMainForm::mniContactusClick);
    on(mniHomepage, &TMainForm::mniHomepageClick);
    on(mniAbout, &TMainForm::mniAboutClick);
}

void TMainForm::createMenus()
{
    const auto menu = [this](const char* name, const QString& title) {
        auto* m = new QMenu(title, this);
        m->setObjectName(name);
        return m;
    };
    mnuFile = menu("mnuFile", "&File");
    mnuFile->addActions({mniAddFile, mniRemoveFile});
    mnuFile->addSeparator();
    mnuFile->addActions({mniOpen, mniSave});
    mnuFile->addSeparator();
    mnuFile->addAction(mniClose);
    mnuActions = menu("mnuActions", "&Actions");
    mnuActions->addActions({mniConvert, mniStop});
    mnuOptions = menu("mnuOptions", "&Options");
    mnuOptions->addAction(mniPreference);
    mnuOptions->addSeparator();
    mnuOptions->addAction(mniShowTextLabel);
    mnuHelp = menu("mnuHelp", "&Help");
    mnuHelp->addActions({mniHelp, mniFAQ, mniLisence});
    mnuHelp->addSeparator();
    mnuHelp->addActions({mniContactus, mniHomepage});
    mnuHelp->addSeparator();
    mnuHelp->addAction(mniAbout);

    PopupMenu1 = menu("PopupMenu1", QString());
    PopupMenu1->addActions({pmnAddFile, pmnRemoveFile});
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(pmnConvert); // pmnStop exists for its key only
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(pmnOptions);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(pmnHelp);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(pmnExit);
    connect(PopupMenu1, &QMenu::aboutToShow, this, &TMainForm::PopupMenu1Popup);
    connect(PopupMenu1, &QMenu::aboutToHide, this, [this] { pmnRemoveFile->setVisible(true); });
}

void TMainForm::createToolbars()
{
    // Band 1: the menu bar. A real menu bar inside the band gives Alt with the
    // underlined letter and moving from menu to menu while one is open.
    ToolBar2 = new QToolBar(QStringLiteral("Menu"), this);
    ToolBar2->setObjectName("ToolBar2");
    ToolBar2->setMinimumHeight(23);
    menuBar2 = new QMenuBar(ToolBar2);
    menuBar2->setObjectName("PopupMenu2");
    menuBar2->setNativeMenuBar(false);
    for (QMenu* m : {mnuFile, mnuActions, mnuOptions, mnuHelp})
        menuBar2->addMenu(m);
    ToolBar2->addWidget(menuBar2);
    confineToTopBand(ToolBar2);
    addToolBar(Qt::TopToolBarArea, ToolBar2);
    addToolBarBreak(Qt::TopToolBarArea);

    // Band 2: the button toolbar.
    ToolBar1 = new QToolBar(QStringLiteral("Toolbar"), this);
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setIconSize(QSize(32, 32));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ToolBar1->setMinimumHeight(52);
    ToolBar1->addActions({btnAddFile, btnRemoveFile, btnOpen, btnSave});
    ToolBar1->addSeparator();
    ToolBar1->addActions({btnConvert, btnStop});
    ToolBar1->addSeparator();
    ToolBar1->addAction(btnOptions);
    ToolBar1->addSeparator();
    ToolBar1->addAction(btnHelp);
    for (QAction* a : ToolBar1->actions()) {
        if (auto* button = qobject_cast<QToolButton*>(ToolBar1->widgetForAction(a))) {
            button->setObjectName(a->objectName() + "Button");
            button->setAutoRaise(true);
        }
    }
    sizeToolbarButtons(ToolBar1, true);
    confineToTopBand(ToolBar1);
    addToolBar(Qt::TopToolBarArea, ToolBar1);
}

void TMainForm::createList()
{
    ListView1 = new QTreeWidget(this);
    ListView1->setObjectName("ListView1");
    ListView1->setColumnCount(3);
    ListView1->setHeaderLabels({"File Name", "Size", "Path"});
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setSortingEnabled(false);
    ListView1->setIconSize(QSize(16, 16));
    ListView1->setAllColumnsShowFocus(true);
    // A long path loses its middle, so the file's own name stays readable.
    ListView1->setTextElideMode(Qt::ElideMiddle);
    ListView1->header()->setStretchLastSection(false);
    ListView1->setColumnWidth(0, 200);
    ListView1->setColumnWidth(1, 64);
    ListView1->setColumnWidth(2, 250);
    ListView1->viewport()->installEventFilter(this);
    setCentralWidget(ListView1);
    connect(ListView1, &QTreeWidget::itemSelectionChanged, this, &TMainForm::updateRemoveCommands);
    // Whatever road adds or removes a row, the idle status text and the
    // getting-started picture follow the number of rows.
    const auto rowsChanged = [this] {
        setIdleStatusText();
        updatePictureVisibility();
    };
    connect(ListView1->model(), &QAbstractItemModel::rowsInserted, this, rowsChanged);
    connect(ListView1->model(), &QAbstractItemModel::rowsRemoved, this, rowsChanged);

    pnlPSPImage = new QLabel(this);
    pnlPSPImage->setObjectName("pnlPSPImage");
    pnlPSPImage->setPixmap(dialogs::gettingStartedPixmap());
    pnlPSPImage->setFixedSize(400, 210);
    pnlPSPImage->installEventFilter(this);
    pnlPSPImage->raise();
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
        const bool armed = settings::LoadSchedule(settings::settingsFile(), ScheduleSettings, m_clock());
        armScheduleTimer(armed);
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
    return TBaseForm::event(event);
}

void TMainForm::finishSilentStart()
{
    // Nobody can close an invisible window: whatever the request came to, the
    // program ends (a completed or aborted run may already have asked).
    if (!m_closed)
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

int TMainForm::silentExitStatus() const
{
    if (m_silentRunResult >= 0)
        return m_silentRunResult;
    return 2;
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (m_closed)
        return; // a second close request (a run's end and the user at once)
    m_closed = true;
    m_desktopRun.windowClosing();
    if (m_inRun) {
        // The loop starts no further file and asks the running engine to
        // cancel; the program ends once the loop has returned.
        m_closing = true;
    }
    FormClose();
    if (!m_inRun)
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
    pnlPSPImage->move((outer.width() - pnlPSPImage->width()) / 2 - 10,
                      outer.height() - pnlPSPImage->height() - 131);
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
    QStringList files;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            files << url.toLocalFile();
    }
    event->acceptProposedAction();
    WMDropFiles(files);
}

void TMainForm::reportError(const std::exception& e)
{
    tellUser(product::kName, e.what(), MessageIcon::Error, MessageButtons::Ok);
}

MessageAnswer TMainForm::tellUser(const std::string& title, const std::string& text, MessageIcon icon,
                                  MessageButtons buttons)
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
                 buttons == MessageButtons::YesNo ? " (answered No: nobody can answer a silent run)"
                                                  : "");
    std::fflush(stderr);
    return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
}

// ------------------------------------------------------------- placement

void TMainForm::LoadWindowPlacement()
{
    const settings::IniDocument doc = settings::settingsFile().load();
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect screenRect = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    // A stored size larger than the desktop (a damaged or hand-edited file)
    // would cost memory for nothing: it is bounded by the available area.
    const QRect available = screen ? screen->availableGeometry() : screenRect;
    const int width = std::clamp(doc.readInteger(kMain, "Width", 800), minimumWidth(),
                                 std::max(minimumWidth(), available.width()));
    const int height = std::clamp(doc.readInteger(kMain, "Height", 480), minimumHeight(),
                                  std::max(minimumHeight(), available.height()));
    int left = doc.readInteger(kMain, "Left", (screenRect.width() - width) / 2);
    int top = doc.readInteger(kMain, "Top", (screenRect.height() - height) / 2);
    if (!Silent) {
        // A placement that would leave the window entirely off every screen
        // comes back onto the primary screen.
        const QRect wanted(left, top, width, height);
        bool visible = false;
        for (QScreen* s : QGuiApplication::screens())
            visible = visible || s->geometry().intersects(wanted);
        if (!visible) {
            left = screenRect.x() + (screenRect.width() - width) / 2;
            top = screenRect.y() + (screenRect.height() - height) / 2;
        }
    }
    resize(width, height);
    move(left, top);
    if (doc.readFlag(kMain, "Maximized", false))
        setWindowState(windowState() | Qt::WindowMaximized);
    ListView1->setColumnWidth(0, doc.readInteger(kMain, "FileNameWidth", 200));
    ListView1->setColumnWidth(1, doc.readInteger(kMain, "SizeWidth", defaultSizeColumnWidth(ListView1)));
    ListView1->setColumnWidth(2, doc.readInteger(kMain, "PathWidth", 300));
    mniShowTextLabel->setChecked(doc.readFlag(kMain, "ShowTextLabel", true));
    ApplyToolbarLabels();
}

void TMainForm::SaveWindowPlacement()
{
    // A silent start showed no window: there is no placement to keep, and a
    // write that may fail (a read-only install) must not stop it from ending.
    if (Silent)
        return;
    const bool maximized = isMaximized();
    const QPoint position = pos();
    const QSize size = this->size();
    const int widths[3] = {ListView1->columnWidth(0), ListView1->columnWidth(1), ListView1->columnWidth(2)};
    settings::settingsFile().update([&](settings::IniDocument& doc) {
        doc.setValue(kMain, "Maximized", maximized ? "1" : "0");
        if (maximized)
            return; // the stored normal bounds stay as they were
        doc.setValue(kMain, "Left", std::to_string(position.x()));
        doc.setValue(kMain, "Top", std::to_string(position.y()));
        doc.setValue(kMain, "Width", std::to_string(size.width()));
        doc.setValue(kMain, "Height", std::to_string(size.height()));
        doc.setValue(kMain, "FileNameWidth", std::to_string(widths[0]));
        doc.setValue(kMain, "SizeWidth", std::to_string(widths[1]));
        doc.setValue(kMain, "PathWidth", std::to_string(widths[2]));
    });
}

void TMainForm::ApplyToolbarLabels()
{
    const bool labels = mniShowTextLabel->isChecked();
    ToolBar1->setToolButtonStyle(labels ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonIconOnly);
    // Labels shown again give the buttons their size of a start with labels,
    // not the 39 x 39 of the hidden labels with a sliver of each caption.
    sizeToolbarButtons(ToolBar1, labels);
}

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
    CmdFormatIndex = -1;
    CmdDestPath.clear();
    ListView1->clear();
    forgetAllRows();
    std::string current;
    bool filesOnly = false;
    for (const std::string& arg : arguments) {
        if (!filesOnly && arg == "--") {
            filesOnly = true;
            continue;
        }
        if (!filesOnly && arg.size() >= 4 && arg.find(':') == 3) {
            // Profile prefix "002:<folder>" or folder prefix "ADD:<folder>".
            const std::string prefix = arg.substr(0, 3);
            if (shellutil::asciiUpper(prefix) != "ADD")
                CmdFormatIndex = parseCommandLineNumber(prefix);
            current = arg.substr(4);
            if (current.empty())
                current = platform::programFolder();
            current = withTrailingSlash(current);
            continue;
        }
        if (!filesOnly && !arg.empty() && arg[0] == '-') {
            const std::string rest = arg.substr(1);
            if (shellutil::IsAllDigits(rest)) {
                CmdFormatIndex = parseCommandLineNumber(rest);
            } else if (shellutil::asciiUpper(rest) == "S") {
                Silent = true;
                services().desktop->setNoTaskbarButton(this);
            } else {
                std::error_code ec;
                std::filesystem::create_directories(rest, ec); // failure: still taken
                CmdDestPath = withTrailingSlash(rest);
            }
            continue;
        }
        // A file name or pattern. An absolute name stands as it is; a relative
        // one follows the last folder named, else the working folder.
        const std::string joined = (!arg.empty() && arg[0] == '/') ? arg : current + arg;
        if (!isSupportedVideoName(joined)) {
            tellUser(toPath(windowTitle()),
                     "'" + joined + "'\r\n\r\nFile is not a supported video file, and can not be converted!",
                     MessageIcon::Error, MessageButtons::Ok);
            continue;
        }
        if (joined.find_first_of("*?") != std::string::npos) {
            AddMatchingFiles(joined);
        } else {
            addFile(joined);
            // A name without a folder leaves the current folder unset, so the
            // next relative name is looked up in the working folder too.
            current = shellutil::folderPart(joined);
        }
    }
    RunMode = CmdFormatIndex >= 0 ? RunMode::rmCommandLineAuto : RunMode::rmCommandLinePrompt;
}

// -------------------------------------------------------------- file list

bool TMainForm::SelectAndAddFiles()
{
    auto file = settings::settingsFile();
    std::string folder = file.readText(kOptions, "LastPath", "");
    if (folder.empty())
        folder = shellutil::GetPersonalFolder();
    const auto chosen = services().fileDialogs->openFiles(
        this, "Please select the video files to convert", folder, openDialogFilters(), 0);
    if (!chosen)
        return false;
    for (const std::string& path : *chosen)
        addFile(path);
    setIdleStatusText();
    updatePictureVisibility();
    if (!chosen->empty())
        file.writeText(kOptions, "LastPath", shellutil::folderPart(chosen->front()));
    return true;
}

void TMainForm::AddMatchingFiles(const std::string& pattern)
{
    std::string folder = shellutil::folderPart(pattern);
    const std::string mask = pattern.substr(folder.size());
    if (folder.empty())
        folder = currentFolder();
    for (const std::string& name : matchingFileNames(folder, mask))
        addFile(folder + name);
    setIdleStatusText();
    updatePictureVisibility();
}

void TMainForm::WMDropFiles(const QStringList& localFiles)
{
    for (const QString& name : localFiles) {
        const std::string path = toPath(name);
        if (shellutil::fileExists(path) && isSupportedVideoName(path))
            addFile(path);
    }
    setIdleStatusText();
    updatePictureVisibility();
    ActivateApplication();
    if (ListView1->topLevelItemCount() > 0)
        QMetaObject::invokeMethod(this, &TMainForm::RequestConversion, Qt::QueuedConnection);
}

void TMainForm::btnAddFileClick() { SelectAndAddFiles(); }

void TMainForm::btnRemoveFileClick()
{
    if (Busy)
        return; // rows are never removed while a run reads them by position
    const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
    if (selected.isEmpty())
        return;
    for (QTreeWidgetItem* item : selected) {
        forgetRow(item->data(0, Qt::UserRole).toByteArray().toStdString());
        delete item;
    }
    setIdleStatusText();
    updateRemoveCommands();
    updatePictureVisibility();
}

void TMainForm::updateRemoveCommands()
{
    const bool any = !ListView1->selectedItems().isEmpty();
    mniRemoveFile->setEnabled(any);
    btnRemoveFile->setEnabled(any && !Busy);
    pmnRemoveFile->setEnabled(any && !Busy);
}

void TMainForm::setIdleStatusText()
{
    const int n = ListView1->topLevelItemCount();
    const QString text = n == 0 ? QStringLiteral("Ready") : QStringLiteral("%1 File(s) Ready").arg(n);
    setHint(text);
    if (!Busy)
        StatusBar1->setPanelText(0, text);
}

void TMainForm::LoadSavedFileList()
{
    const settings::IniDocument doc = settings::settingsFile().load();
    if (!doc.readFlag(kOptions, "SaveFileList", false))
        return;
    for (const std::string& key : doc.allKeys(kFileList))
        addFile(doc.readText(kFileList, key, ""));
    setIdleStatusText();
    updatePictureVisibility();
}

void TMainForm::StoreFileList()
{
    auto file = settings::settingsFile();
    if (!file.readFlag(kOptions, "SaveFileList", false))
        return;
    std::vector<std::string> paths;
    const int n = rowCount();
    paths.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        paths.push_back(rowPath(i));
    // One atomic write: the stored list is either wholly replaced or untouched.
    file.update([&](settings::IniDocument& doc) {
        doc.eraseSection(kFileList);
        for (size_t i = 0; i < paths.size(); ++i)
            doc.setValue(kFileList, std::to_string(i), paths[i], file.path());
    });
}

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

void TMainForm::CollectExistingFiles(std::vector<std::string>& list)
{
    list.clear();
    const int n = rowCount();
    for (int i = 0; i < n; ++i) {
        const std::string path = rowPath(i);
        if (!shellutil::fileExists(path)) {
            list.clear();
            tellUser(toPath(windowTitle()), "File is not found!\r\n" + path, MessageIcon::Error,
                     MessageButtons::Ok);
            return;
        }
        list.push_back(path);
    }
}

void TMainForm::RequestConversion()
{
    // One run at a time, whichever road asks. A window closed during a run is
    // no longer busy, but its loop still runs until the engine has ended.
    if (Busy || m_inRun)
        return;
    CollectExistingFiles(ExistingFiles);
    if (ExistingFiles.empty())
        return;
    const settings::IniDocument doc = settings::settingsFile().load();
    const bool doNotShowConfirm = doc.readFlag(kOptions, "DoNotShowConfirm", false);
    bool anyAudioFlag = false;
    for (const char* key : {"ConvertToMP3", "ConvertToVOX", "ConvertToOGG", "ConvertToWAV", "ConvertToWMA"}) {
        if (doc.readFlag(kOptions, key, false)) {
            anyAudioFlag = true;
            break;
        }
    }
    switch (RunMode) {
    case RunMode::rmCommandLineAuto:
    case RunMode::rmScheduled:
        PrepareRun();
        break;
    case RunMode::rmCommandLinePrompt:
        if (settings::ShowOutputFormatDialog(this))
            PrepareRun();
        else
            RunMode = RunMode::rmInteractive;
        break;
    case RunMode::rmInteractive:
        if ((doNotShowConfirm && anyAudioFlag) || settings::ShowOutputFormatDialog(this))
            PrepareRun();
        break;
    }
}

void TMainForm::PrepareRun()
{
    LoadRunSettings();
    if (RunMode == RunMode::rmCommandLineAuto) {
        if (!CmdDestPath.empty()) {
            RunSettings.ConvertToSamePath = false;
            RunSettings.DestPath = CmdDestPath;
        } else {
            RunSettings.ConvertToSamePath = true;
        }
        LoadProfileSettings(CmdFormatIndex);
    }
    SetIdleState(false);
    Progress->SetPosition(0);
    processPendingEvents();
    ConvertFiles();
}

void TMainForm::ConvertFiles()
{
    m_inRun = true;
    m_desktopRun.loopStarted();
    m_runModeAtStart = RunMode;
    conversion::ConversionJob job(*this, RunSettings, Silent ? 'S' : 'N');
    const conversion::JobResult result = job.run();
    m_inRun = false;
    m_desktopRun.loopEnded(result.converted);
    if (m_closing) {
        // The window was closed during the run and has already wound it up.
        m_commandLineResult = 1;
        m_silentRunResult = 1;
        QMetaObject::invokeMethod(this, &TMainForm::finished, Qt::QueuedConnection);
        return;
    }
    if (result.completed)
        ConversionCompleted();
    else
        ConversionAborted();
    if (result.error)
        throw std::runtime_error(*result.error);
}

void TMainForm::SetIdleState(bool Idle)
{
    for (QAction* a : {btnAddFile, btnOptions, btnHelp, pmnAddFile, pmnOptions, mniConvert, pmnConvert})
        a->setEnabled(Idle);
    btnConvert->setVisible(Idle);
    btnStop->setVisible(!Idle);
    mniStop->setEnabled(!Idle);
    pmnStop->setEnabled(!Idle);
    Busy = !Idle;
    updateRemoveCommands(); // busy: disabled; idle: they follow the selection
    armScheduleTimer(Idle);
    Progress->SetPosition(0);
    if (!Idle)
        StatusBar1->setSimplePanel(false); // the run's texts show in the panels
    StatusProgressBar->setVisible(!Idle);
    if (Idle)
        refreshStatusHint();
    m_desktopRun.setBusy(!Idle, Silent);
}

void TMainForm::armScheduleTimer(bool armed)
{
    if (armed && !Busy) {
        if (!Timer1->isActive()) {
            m_ticker.reset();
            Timer1->start();
        }
    } else {
        Timer1->stop();
    }
}

void TMainForm::ConversionCompleted()
{
    const conversion::RunMode mode = RunMode;
    SetIdleState(true);
    m_desktopRun.runEnded(true, RunSettings.ConvertToSamePath ? std::string() : RunSettings.DestPath, Silent);
    StatusBar1->setPanelText(0, QStringLiteral("Conversion completed!"));
    setHint(QStringLiteral("Conversion completed!"));
    armScheduleTimer(ScheduleSettings.ScheduleConvert);
    setWindowTitle(product::kName);
    platform::setApplicationTitle(product::kName);
    if (Silent && m_silentRunResult < 0)
        m_silentRunResult = 0;
    if (mode == RunMode::rmCommandLineAuto) {
        m_commandLineResult = 0;
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
    if (mode == RunMode::rmScheduled) {
        if (ScheduleSettings.ExitWhenDone)
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        if (ScheduleSettings.ShunDownWhenDone) {
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
            services().power->powerOff();
        }
    }
    RunMode = RunMode::rmInteractive;
}

void TMainForm::ConversionAborted()
{
    const conversion::RunMode mode = RunMode;
    SetIdleState(true);
    m_desktopRun.runEnded(false, RunSettings.ConvertToSamePath ? std::string() : RunSettings.DestPath, Silent);
    StatusBar1->setPanelText(0, QStringLiteral("Conversion aborted!"));
    setHint(QStringLiteral("Conversion aborted!"));
    RunMode = RunMode::rmInteractive;
    armScheduleTimer(ScheduleSettings.ScheduleConvert);
    setWindowTitle(product::kName);
    platform::setApplicationTitle(product::kName);
    if (Silent)
        m_silentRunResult = 1;
    if (mode == RunMode::rmCommandLineAuto)
        m_commandLineResult = 1;
}

void TMainForm::Timer1Timer()
{
    if (Busy || m_inRun)
        return;
    if (m_ticker.IsScheduleDue(ScheduleSettings, m_clock())) {
        Timer1->stop();
        RunMode = RunMode::rmScheduled;
        btnConvertClick();
    }
}

// ---------------------------------------------------------- other commands

void TMainForm::btnOptionsClick()
{
    if (settings::ShowPreferencesDialog(this, ScheduleSettings)) {
        const bool armed = settings::LoadSchedule(settings::settingsFile(), ScheduleSettings, m_clock());
        armScheduleTimer(armed);
    }
}

void TMainForm::pmnOptionsClick() { settings::ShowPreferencesDialog(this, ScheduleSettings); }

void TMainForm::openProgramDocument(const char* fileName)
{
    services().shell->openDocument(platform::programFolder() + fileName);
}

void TMainForm::pmnHelpClick()
{
    services().shell->openDocument(platform::helpDocument(platform::programFolder()));
}
void TMainForm::mniFAQClick() { openProgramDocument(product::kFaqFile); }
void TMainForm::mniLisenceClick() { openProgramDocument(product::kLicenseFile); }
void TMainForm::mniContactusClick()
{
    services().shell->openDocument(std::string("mailto:") + product::kSupportMail);
}
void TMainForm::mniHomepageClick() { services().shell->openDocument(product::kHomepage); }
void TMainForm::mniAboutClick() { ShowAboutBox(); }
void TMainForm::mniCloseClick() { close(); }
void TMainForm::pmnExitClick() { close(); }

// --------------------------------------------------------- host interfaces

int TMainForm::rowCount() const { return ListView1->topLevelItemCount(); }

std::string TMainForm::rowPath(int index) const
{
    const QTreeWidgetItem* item = ListView1->topLevelItem(index);
    return item ? item->data(0, Qt::UserRole).toByteArray().toStdString() : std::string();
}

void TMainForm::processPendingEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

MessageAnswer TMainForm::showMessage(const std::string& title, const std::string& text, MessageIcon icon,
                                     MessageButtons buttons)
{
    return tellUser(title, text, icon, buttons);
}

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
void TMainForm::setFilesFinished(int finished, int total) { m_desktopRun.filesFinished(finished, total); }

} // namespace vexlo::app

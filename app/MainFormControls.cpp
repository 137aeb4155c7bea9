#include "MainFormControls.h"

#include "MainForm.h"
#include "dialogs/Artwork.h"

#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QStyleOption>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <vector>

namespace vexlo::app {

namespace {

// The toolbars stay in the band at the top: they can be moved within it, but
// neither floated nor docked at another edge.
void confineToTopBand(QToolBar* bar)
{
    bar->setAllowedAreas(Qt::TopToolBarArea);
    bar->setFloatable(false);
}

// The height a button needs for its picture and, below it, one line of its
// caption inside its frame: 52 (the design) at the standard font.
int captionedButtonHeight(const QToolButton* button)
{
    QStyleOptionToolButton option;
    option.initFrom(button);
    const int frame = button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, button);
    const int caption = button->fontMetrics().size(Qt::TextShowMnemonic, button->text()).height();
    return 2 * frame + button->iconSize().height() + 4 + caption;
}

// With captions: the design size 50 x 52, wider and higher where a caption
// needs it in the desktop's font. Without: 39 x 39.
void sizeToolbarButtons(QToolBar* bar, bool labels)
{
    int height = labels ? 52 : 39;
    std::vector<QToolButton*> buttons;
    for (QAction* a : bar->actions()) {
        if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(a))) {
            buttons.push_back(button);
            if (labels)
                height = std::max(height, captionedButtonHeight(button));
        }
    }
    // One height for the whole row, the hidden Stop button's caption included.
    for (QToolButton* button : buttons) {
        if (labels) {
            button->setMinimumSize(0, 0);
            button->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
            button->setFixedSize(std::max(50, button->sizeHint().width()), height);
        } else {
            button->setFixedSize(39, 39);
        }
    }
    bar->setMinimumHeight(height);
}

} // namespace

MainFormControls::MainFormControls(TMainForm& form) : m_form(form) {}

void MainFormControls::build()
{
    createActions();
    createMenus();
    createToolbars();
    createList();
}

QAction* MainFormControls::makeAction(const char* name, const char* text)
{
    auto* a = new QAction(QCoreApplication::translate("TMainForm", text), &m_form);
    a->setObjectName(name);
    return a;
}

void MainFormControls::createActions()
{
    createToolbarActions();
    createMenuActions();
    createContextActions();
    connectActions();
}

// The button toolbar's commands, with their hints and pictures.
void MainFormControls::createToolbarActions()
{
    TMainForm& f = m_form;
    const auto make = [this](const char* name, const char* text) { return makeAction(name, text); };
    f.btnAddFile = make("btnAddFile", QT_TRANSLATE_NOOP("TMainForm", "Add"));
    f.btnRemoveFile = make("btnRemoveFile", QT_TRANSLATE_NOOP("TMainForm", "Remove"));
    f.btnConvert = make("btnConvert", QT_TRANSLATE_NOOP("TMainForm", "Convert"));
    f.btnStop = make("btnStop", QT_TRANSLATE_NOOP("TMainForm", "Stop"));
    f.btnOptions = make("btnOptions", QT_TRANSLATE_NOOP("TMainForm", "Options"));
    f.btnHelp = make("btnHelp", QT_TRANSLATE_NOOP("TMainForm", "Help"));
    f.btnOpen = make("btnOpen", QT_TRANSLATE_NOOP("TMainForm", "Open"));
    f.btnSave = make("btnSave", QT_TRANSLATE_NOOP("TMainForm", "Save"));
    const std::pair<QAction*, const char*> hints[] = {
        {f.btnAddFile, QT_TRANSLATE_NOOP("TMainForm", "Open video files to convert (Ins)")},
        {f.btnRemoveFile, QT_TRANSLATE_NOOP("TMainForm", "Remove selected files (Ctrl + Del)")},
        {f.btnConvert, QT_TRANSLATE_NOOP("TMainForm", "Start Converting (F9)")},
        {f.btnStop, QT_TRANSLATE_NOOP("TMainForm", "Stop Converting")},
        {f.btnOptions, QT_TRANSLATE_NOOP("TMainForm", "Setting")},
        {f.btnHelp, QT_TRANSLATE_NOOP("TMainForm", "Help Tips")},
        {f.btnOpen, QT_TRANSLATE_NOOP("TMainForm", "Open a project")},
        {f.btnSave, QT_TRANSLATE_NOOP("TMainForm", "Save Current Project")},
    };
    for (const auto& [action, hint] : hints) {
        const QString text = QCoreApplication::translate("TMainForm", hint);
        action->setToolTip(text);
        action->setStatusTip(text);
    }
    const std::pair<QAction*, const char*> icons[] = {
        {f.btnAddFile, "add"},
        {f.btnRemoveFile, "remove"},
        {f.btnConvert, "convert"},
        {f.btnStop, "stop"},
        {f.btnOptions, "options"},
        {f.btnHelp, "help"},
        {f.btnOpen, "open"},
        {f.btnSave, "save"},
    };
    for (const auto& [action, icon] : icons)
        action->setIcon(dialogs::toolbarIcon(icon));
    f.btnRemoveFile->setEnabled(false);
    f.btnStop->setVisible(false);
    f.btnOpen->setVisible(false);
    f.btnSave->setVisible(false);
}

// The menu bar's items. Key texts after a tab are shown, not bound.
void MainFormControls::createMenuActions()
{
    TMainForm& f = m_form;
    const auto make = [this](const char* name, const char* text) { return makeAction(name, text); };
    f.mniAddFile = make("mniAddFile", QT_TRANSLATE_NOOP("TMainForm", "&Add files...\tIns"));
    f.mniRemoveFile = make("mniRemoveFile", QT_TRANSLATE_NOOP("TMainForm", "&Remove files\tCtrl+Del"));
    f.mniRemoveFile->setEnabled(false);
    f.mniOpen = make("mniOpen", QT_TRANSLATE_NOOP("TMainForm", "&Open Project\tCtrl+O"));
    f.mniSave = make("mniSave", QT_TRANSLATE_NOOP("TMainForm", "&Save Project...\tCtrl+S"));
    f.mniClose = make("mniClose", QT_TRANSLATE_NOOP("TMainForm", "&Close"));
    f.mniConvert = make("mniConvert", QT_TRANSLATE_NOOP("TMainForm", "&Convert\tF9"));
    f.mniStop = make("mniStop", QT_TRANSLATE_NOOP("TMainForm", "S&top\tCtrl+T"));
    f.mniPreference = make("mniPreference", QT_TRANSLATE_NOOP("TMainForm", "&Preferences"));
    f.mniShowTextLabel = make("mniShowTextLabel", QT_TRANSLATE_NOOP("TMainForm", "Show &Text Label in Toolbar"));
    f.mniShowTextLabel->setCheckable(true);
    f.mniShowTextLabel->setChecked(true);
    f.mniHelp = make("mniHelp", QT_TRANSLATE_NOOP("TMainForm", "&Help\tF1"));
    f.mniFAQ = make("mniFAQ", QT_TRANSLATE_NOOP("TMainForm", "&FAQ..."));
    f.mniLisence = make("mniLisence", QT_TRANSLATE_NOOP("TMainForm", "&License..."));
    f.mniContactus = make("mniContactus", QT_TRANSLATE_NOOP("TMainForm", "Contact us..."));
    f.mniHomepage = make("mniHomepage", QT_TRANSLATE_NOOP("TMainForm", "Visit Homepage"));
    f.mniAbout = make("mniAbout", QT_TRANSLATE_NOOP("TMainForm", "About"));
}

// The context menu's items; their keys act whatever control has the focus.
void MainFormControls::createContextActions()
{
    TMainForm& f = m_form;
    const auto make = [this](const char* name, const char* text) { return makeAction(name, text); };
    f.pmnAddFile = make("pmnAddFile", QT_TRANSLATE_NOOP("TMainForm", "A&dd File..."));
    f.pmnAddFile->setShortcut(QKeySequence(Qt::Key_Insert));
    f.pmnPaste = make("pmnPaste", QT_TRANSLATE_NOOP("TMainForm", "&Paste"));
    f.pmnPaste->setShortcuts(QKeySequence::Paste);
    // Looked at when the menu opens, Ctrl+V is pressed or the clipboard changes.
    f.pmnPaste->setEnabled(false);
    f.pmnRemoveFile = make("pmnRemoveFile", QT_TRANSLATE_NOOP("TMainForm", "&Remove File"));
    // Del, and Ctrl+Del that the File menu and the button's hint show.
    f.pmnRemoveFile->setShortcuts({QKeySequence(Qt::Key_Delete), QKeySequence(Qt::CTRL | Qt::Key_Delete)});
    f.pmnConvert = make("pmnConvert", QT_TRANSLATE_NOOP("TMainForm", "&Convert"));
    f.pmnConvert->setShortcut(QKeySequence(Qt::Key_F9));
    f.pmnStop = make("pmnStop", QT_TRANSLATE_NOOP("TMainForm", "S&top"));
    f.pmnStop->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    f.pmnOptions = make("pmnOptions", QT_TRANSLATE_NOOP("TMainForm", "&Options..."));
    f.pmnOptions->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    f.pmnHelp = make("pmnHelp", QT_TRANSLATE_NOOP("TMainForm", "&Help"));
    f.pmnHelp->setShortcut(QKeySequence(Qt::Key_F1));
    f.pmnExit = make("pmnExit", QT_TRANSLATE_NOOP("TMainForm", "C&lose"));
    for (QAction* a : {f.pmnAddFile, f.pmnPaste, f.pmnRemoveFile, f.pmnConvert, f.pmnStop, f.pmnOptions, f.pmnHelp}) {
        a->setShortcutContext(Qt::WindowShortcut);
        f.addAction(a); // the keys work while the menu is closed
    }
}

// Each command's handler, whichever control or key reaches it.
void MainFormControls::connectActions()
{
    TMainForm& f = m_form;
    const auto on = [&f](QAction* a, void (TMainForm::*handler)()) {
        TMainForm* form = &f;
        QObject::connect(a, &QAction::triggered, form, [form, handler] { (form->*handler)(); });
    };
    for (QAction* a : {f.btnAddFile, f.mniAddFile, f.pmnAddFile})
        on(a, &TMainForm::btnAddFileClick);
    on(f.pmnPaste, &TMainForm::pmnPasteClick);
    QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, &f, &TMainForm::updatePasteCommand);
    for (QAction* a : {f.btnRemoveFile, f.mniRemoveFile, f.pmnRemoveFile})
        on(a, &TMainForm::btnRemoveFileClick);
    for (QAction* a : {f.btnConvert, f.mniConvert, f.pmnConvert})
        on(a, &TMainForm::btnConvertClick);
    for (QAction* a : {f.btnStop, f.mniStop, f.pmnStop})
        on(a, &TMainForm::btnStopClick);
    for (QAction* a : {f.btnOptions, f.mniPreference})
        on(a, &TMainForm::btnOptionsClick);
    on(f.pmnOptions, &TMainForm::pmnOptionsClick);
    for (QAction* a : {f.btnHelp, f.mniHelp, f.pmnHelp})
        on(a, &TMainForm::pmnHelpClick);
    for (QAction* a : {f.btnOpen, f.mniOpen})
        on(a, &TMainForm::btnOpenClick);
    for (QAction* a : {f.btnSave, f.mniSave})
        on(a, &TMainForm::btnSaveClick);
    on(f.mniClose, &TMainForm::mniCloseClick);
    on(f.pmnExit, &TMainForm::pmnExitClick);
    on(f.mniShowTextLabel, &TMainForm::mniShowTextLabelClick);
    on(f.mniFAQ, &TMainForm::mniFAQClick);
    on(f.mniLisence, &TMainForm::mniLisenceClick);
    on(f.mniContactus, &TMainForm::mniContactusClick);
    on(f.mniHomepage, &TMainForm::mniHomepageClick);
    on(f.mniAbout, &TMainForm::mniAboutClick);
}

void MainFormControls::createMenus()
{
    TMainForm& f = m_form;
    const auto menu = [&f](const char* name, const char* title) {
        auto* m = new QMenu(QCoreApplication::translate("TMainForm", title), &f);
        m->setObjectName(name);
        return m;
    };
    f.mnuFile = menu("mnuFile", QT_TRANSLATE_NOOP("TMainForm", "&File"));
    f.mnuFile->addActions({f.mniAddFile, f.mniRemoveFile});
    f.mnuFile->addSeparator();
    f.mnuFile->addActions({f.mniOpen, f.mniSave});
    f.mnuFile->addSeparator();
    f.mnuFile->addAction(f.mniClose);
    f.mnuActions = menu("mnuActions", QT_TRANSLATE_NOOP("TMainForm", "&Actions"));
    f.mnuActions->addActions({f.mniConvert, f.mniStop});
    f.mnuOptions = menu("mnuOptions", QT_TRANSLATE_NOOP("TMainForm", "&Options"));
    f.mnuOptions->addAction(f.mniPreference);
    f.mnuOptions->addSeparator();
    f.mnuOptions->addAction(f.mniShowTextLabel);
    f.mnuHelp = menu("mnuHelp", QT_TRANSLATE_NOOP("TMainForm", "&Help"));
    f.mnuHelp->addActions({f.mniHelp, f.mniFAQ, f.mniLisence});
    f.mnuHelp->addSeparator();
    f.mnuHelp->addActions({f.mniContactus, f.mniHomepage});
    f.mnuHelp->addSeparator();
    f.mnuHelp->addAction(f.mniAbout);

    f.PopupMenu1 = menu("PopupMenu1", "");
    f.PopupMenu1->addActions({f.pmnAddFile, f.pmnPaste, f.pmnRemoveFile});
    f.PopupMenu1->addSeparator();
    f.PopupMenu1->addAction(f.pmnConvert); // pmnStop exists for its key only
    f.PopupMenu1->addSeparator();
    f.PopupMenu1->addAction(f.pmnOptions);
    f.PopupMenu1->addSeparator();
    f.PopupMenu1->addAction(f.pmnHelp);
    f.PopupMenu1->addSeparator();
    f.PopupMenu1->addAction(f.pmnExit);
    QObject::connect(f.PopupMenu1, &QMenu::aboutToShow, &f, &TMainForm::PopupMenu1Popup);
    QObject::connect(f.PopupMenu1, &QMenu::aboutToHide, &f, [form = &f] { form->pmnRemoveFile->setVisible(true); });
}

void MainFormControls::createToolbars()
{
    TMainForm& f = m_form;
    // Band 1: the menu bar. A real menu bar inside the band gives Alt with the
    // underlined letter and moving from menu to menu while one is open.
    f.ToolBar2 = new QToolBar(QCoreApplication::translate("TMainForm", "Menu"), &f);
    f.ToolBar2->setObjectName("ToolBar2");
    f.ToolBar2->setMinimumHeight(23);
    f.menuBar2 = new QMenuBar(f.ToolBar2);
    f.menuBar2->setObjectName("PopupMenu2");
    f.menuBar2->setNativeMenuBar(false);
    for (QMenu* m : {f.mnuFile, f.mnuActions, f.mnuOptions, f.mnuHelp})
        f.menuBar2->addMenu(m);
    f.ToolBar2->addWidget(f.menuBar2);
    confineToTopBand(f.ToolBar2);
    f.addToolBar(Qt::TopToolBarArea, f.ToolBar2);
    f.addToolBarBreak(Qt::TopToolBarArea);

    // Band 2: the button toolbar.
    f.ToolBar1 = new QToolBar(QCoreApplication::translate("TMainForm", "Toolbar"), &f);
    f.ToolBar1->setObjectName("ToolBar1");
    f.ToolBar1->setIconSize(QSize(32, 32));
    f.ToolBar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    f.ToolBar1->setMinimumHeight(52);
    f.ToolBar1->addActions({f.btnAddFile, f.btnRemoveFile, f.btnOpen, f.btnSave});
    f.ToolBar1->addSeparator();
    f.ToolBar1->addActions({f.btnConvert, f.btnStop});
    f.ToolBar1->addSeparator();
    f.ToolBar1->addAction(f.btnOptions);
    f.ToolBar1->addSeparator();
    f.ToolBar1->addAction(f.btnHelp);
    for (QAction* a : f.ToolBar1->actions()) {
        if (auto* button = qobject_cast<QToolButton*>(f.ToolBar1->widgetForAction(a))) {
            button->setObjectName(a->objectName() + "Button");
            button->setAutoRaise(true);
        }
    }
    sizeToolbarButtons(f.ToolBar1, true);
    confineToTopBand(f.ToolBar1);
    f.addToolBar(Qt::TopToolBarArea, f.ToolBar1);
}

void MainFormControls::createList()
{
    TMainForm& f = m_form;
    f.ListView1 = new QTreeWidget(&f);
    f.ListView1->setObjectName("ListView1");
    f.ListView1->setAccessibleName(QCoreApplication::translate("TMainForm", "Files to convert"));
    f.ListView1->setColumnCount(3);
    f.ListView1->setHeaderLabels({QCoreApplication::translate("TMainForm", "File Name"),
        QCoreApplication::translate("TMainForm", "Size"), QCoreApplication::translate("TMainForm", "Path")});
    f.ListView1->setRootIsDecorated(false);
    f.ListView1->setUniformRowHeights(true);
    f.ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    f.ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    f.ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    f.ListView1->setSortingEnabled(false);
    f.ListView1->setIconSize(QSize(16, 16));
    f.ListView1->setAllColumnsShowFocus(true);
    // A long path loses its middle, so the file's own name stays readable.
    f.ListView1->setTextElideMode(Qt::ElideMiddle);
    f.ListView1->header()->setStretchLastSection(false);
    f.ListView1->setColumnWidth(0, 200);
    f.ListView1->setColumnWidth(1, 64);
    f.ListView1->setColumnWidth(2, 250);
    f.ListView1->viewport()->installEventFilter(&f);
    f.setCentralWidget(f.ListView1);
    QObject::connect(f.ListView1, &QTreeWidget::itemSelectionChanged, &f, &TMainForm::updateRemoveCommands);
    // Whatever road adds or removes a row, the idle status text and the
    // getting-started picture follow the number of rows.
    const auto rowsChanged = [form = &f] {
        form->setIdleStatusText();
        form->updatePictureVisibility();
    };
    QObject::connect(f.ListView1->model(), &QAbstractItemModel::rowsInserted, &f, rowsChanged);
    QObject::connect(f.ListView1->model(), &QAbstractItemModel::rowsRemoved, &f, rowsChanged);

    f.pnlPSPImage = new QLabel(&f);
    f.pnlPSPImage->setObjectName("pnlPSPImage");
    f.pnlPSPImage->setPixmap(dialogs::cachedGettingStartedPixmap(f.devicePixelRatioF(), f.ListView1->palette()));
    // A screen reader names the list and reads the picture's words.
    const std::vector<QString> words = dialogs::gettingStartedTexts();
    f.pnlPSPImage->setAccessibleName(words.front());
    f.pnlPSPImage->setAccessibleDescription(QStringList(words.begin() + 1, words.end()).join(QLatin1Char(' ')));
    f.pnlPSPImage->setFixedSize(400, 210);
    f.pnlPSPImage->installEventFilter(&f);
    f.pnlPSPImage->raise();
}

// The default width of the Size column: the widest size text ("4768.37 MB")
// in the list's font, with the item margins.
int MainFormControls::defaultSizeColumnWidth(const QTreeWidget* list)
{
    const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
    const int text = list->fontMetrics().horizontalAdvance(QStringLiteral("4768.37 MB"));
    return std::max(64, text + 2 * margin + 8);
}
void MainFormControls::applyToolbarLabels(QToolBar* bar, bool labels)
{
    bar->setToolButtonStyle(labels ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonIconOnly);
    // Labels shown again give the buttons their size of a start with labels,
    // not the 39 x 39 of the hidden labels with a sliver of each caption.
    sizeToolbarButtons(bar, labels);
}

} // namespace vexlo::app

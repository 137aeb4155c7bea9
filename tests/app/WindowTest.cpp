// The main window as a whole: start-up and placement, the control states, the
// keys idle and busy, the toolbar labels, the resize layout, status hints, the
// document commands, the about box and the getting-started picture.
#include "AppTestSupport.h"
#include "app/VexloApplication.h"
#include "dialogs/Artwork.h"
#include "dialogs/PictureCache.h"
#include "support/MainWindowParts.h"

#include <QWindow>

#include <QEnterEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QStatusTipEvent>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTranslator>

namespace vexlo::test {
namespace {

class WindowTest : public AppTest {};

QToolButton* buttonOf(TMainForm& w, QAction* action)
{
    return qobject_cast<QToolButton*>(test::toolBarOf(w, "ToolBar1")->widgetForAction(action));
}

struct IdleStates {
    bool add, remove, convertVisible, stopVisible, options, help, pmnAdd, pmnRemove, pmnOptions, mniConvert, pmnConvert,
        mniStop, pmnStop, progressVisible, busy;
    bool operator==(const IdleStates&) const = default;
};

IdleStates statesOf(TMainForm& w)
{
    return {test::actionOf(w, "btnAddFile")->isEnabled(), test::actionOf(w, "btnRemoveFile")->isEnabled(),
        test::actionOf(w, "btnConvert")->isVisible(), test::actionOf(w, "btnStop")->isVisible(),
        test::actionOf(w, "btnOptions")->isEnabled(), test::actionOf(w, "btnHelp")->isEnabled(),
        test::actionOf(w, "pmnAddFile")->isEnabled(), test::actionOf(w, "pmnRemoveFile")->isEnabled(),
        test::actionOf(w, "pmnOptions")->isEnabled(), test::actionOf(w, "mniConvert")->isEnabled(),
        test::actionOf(w, "pmnConvert")->isEnabled(), test::actionOf(w, "mniStop")->isEnabled(),
        test::actionOf(w, "pmnStop")->isEnabled(), w.StatusProgressBar->isVisible(), w.Busy};
}

// With every row selected: what the idle and busy tables give.
constexpr IdleStates kIdleSelected{
    true, true, true, false, true, true, true, true, true, true, true, false, false, false, false};
constexpr IdleStates kBusySelected{
    false, false, false, true, false, false, false, false, false, false, false, true, true, true, true};

TEST_F(WindowTest, FreshStartIsCentred800x480WithDefaultColumnsLabelsAndIdleStates)
{
    auto w = open();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(w->size(), QSize(800, 480));
    EXPECT_EQ(w->pos(), QPoint((screen.width() - 800) / 2, (screen.height() - 480) / 2));
    EXPECT_EQ(w->windowTitle(), "Vexlo");
    EXPECT_EQ(test::fileListOf(*w)->columnWidth(0), 200);
    // The Size column fits the widest size text in the desktop's font; long
    // paths lose their middle, so the file's own name stays readable.
    EXPECT_GE(test::fileListOf(*w)->columnWidth(1),
        std::max(64, test::fileListOf(*w)->fontMetrics().horizontalAdvance("4768.37 MB") + 6));
    EXPECT_EQ(test::fileListOf(*w)->textElideMode(), Qt::ElideMiddle);
    EXPECT_EQ(test::fileListOf(*w)->columnWidth(2), 300);
    EXPECT_EQ(test::fileListOf(*w)->headerItem()->text(0), "File Name");
    EXPECT_EQ(test::fileListOf(*w)->headerItem()->text(2), "Path");
    EXPECT_TRUE(test::actionOf(*w, "mniShowTextLabel")->isChecked());
    EXPECT_EQ(test::toolBarOf(*w, "ToolBar1")->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    EXPECT_EQ(buttonOf(*w, test::actionOf(*w, "btnAddFile"))->size(), QSize(50, 52));
    EXPECT_EQ(panel0(*w), "Ready");
    EXPECT_EQ(w->hint(), "Ready");
    EXPECT_EQ(w->RunMode, RunMode::rmInteractive);
    EXPECT_FALSE(test::partOf<QTimer>(*w, "Timer1")->isActive());
    IdleStates noSelection = kIdleSelected;
    noSelection.remove = noSelection.pmnRemove = false;
    EXPECT_EQ(statesOf(*w), noSelection);
    EXPECT_FALSE(test::actionOf(*w, "mniRemoveFile")->isEnabled());
    EXPECT_FALSE(test::actionOf(*w, "btnOpen")->isVisible());
    EXPECT_FALSE(test::actionOf(*w, "btnSave")->isVisible());
    EXPECT_EQ(test::actionOf(*w, "mniHomepage")->text(), "Visit Vexlo Homepage");
    EXPECT_EQ(test::actionOf(*w, "mniAbout")->text(), "About Vexlo");
    EXPECT_TRUE(test::pictureOf(*w)->isVisible()) << "the getting-started picture shows over an empty list";
    EXPECT_EQ(w->StatusBar1->panelWidth(1), 200);
}

TEST_F(WindowTest, MaximisedCloseWritesOnlyMaximizedAndNextStartRestoresThenMaximises)
{
    ini("[Main]\nLeft=40\nTop=30\nWidth=640\nHeight=420\nFileNameWidth=150\n");
    {
        auto w = open();
        EXPECT_EQ(w->pos(), QPoint(40, 30)) << "Left and Top place the outer frame";
        EXPECT_EQ(w->size(), QSize(640, 420));
        EXPECT_EQ(test::fileListOf(*w)->columnWidth(0), 150);
        w->showMaximized();
        ASSERT_TRUE(waitFor([&] { return w->isMaximized(); }));
        ASSERT_TRUE(closeAndWait(*w));
    }
    EXPECT_EQ(iniValue("Main", "Maximized"), "1");
    EXPECT_EQ(iniValue("Main", "Left"), "40");
    EXPECT_EQ(iniValue("Main", "Width"), "640");
    EXPECT_EQ(iniValue("Main", "FileNameWidth"), "150");
    EXPECT_EQ(iniValue("Main", "PathWidth"), "<absent>");

    auto again = open();
    EXPECT_TRUE(waitFor([&] { return again->isMaximized(); }));
    EXPECT_EQ(again->normalGeometry().size(), QSize(640, 420));
    again->showNormal();
    EXPECT_TRUE(waitFor([&] { return again->size() == QSize(640, 420); }));
}

TEST_F(WindowTest, NormalCloseWritesBoundsAndColumns)
{
    ini("[Main]\nLeft=20\nTop=25\nWidth=700\nHeight=400\n");
    {
        // A start and a close without changes write back what was read (no creep).
        auto w = open();
        ASSERT_TRUE(closeAndWait(*w));
        EXPECT_EQ(iniDoc().readInteger("Main", "Left", -1), 20);
        EXPECT_EQ(iniDoc().readInteger("Main", "Top", -1), 25);
        EXPECT_EQ(iniDoc().readInteger("Main", "Width", -1), 700);
    }
    auto w = open();
    w->move(20, 25);
    w->resize(700, 400);
    test::fileListOf(*w)->setColumnWidth(1, 90);
    ASSERT_TRUE(closeAndWait(*w));
    const auto doc = iniDoc();
    EXPECT_EQ(doc.readText("Main", "Maximized", "?"), "0");
    EXPECT_EQ(doc.readInteger("Main", "Left", -1), 20);
    EXPECT_EQ(doc.readInteger("Main", "Top", -1), 25);
    EXPECT_EQ(doc.readInteger("Main", "Width", -1), 700);
    EXPECT_EQ(doc.readInteger("Main", "Height", -1), 400);
    EXPECT_EQ(doc.readInteger("Main", "SizeWidth", -1), 90);
    EXPECT_EQ(doc.readInteger("Main", "PathWidth", -1), 300);
}

TEST_F(WindowTest, SilentWindowIsNeverShownAndWritesNothingAtClose)
{
    ini("[Main]\nLeft=5000\nTop=10\nMaximized=1\n");
    auto w = open({"-S"});
    EXPECT_TRUE(w->Silent);
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(w->windowHandle() && w->windowHandle()->isVisible());
    ASSERT_EQ(tp.desktop.noTaskbarWindows.size(), 1u);
    EXPECT_EQ(tp.desktop.noTaskbarWindows[0], w.get());
    // With nothing to convert the silent start ends by itself.
    ASSERT_TRUE(waitFor([&] { return finishedCount == 1; }));
    EXPECT_EQ(w->silentExitStatus(), 2);
    EXPECT_EQ(iniText(), "[Main]\nLeft=5000\nTop=10\nMaximized=1\n");
}

TEST_F(WindowTest, StoredSizeIsBoundedByTheScreen)
{
    ini("[Main]\nWidth=20000\nHeight=99999\n");
    auto w = open();
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(w->width(), available.width());
    EXPECT_LE(w->height(), available.height());
    EXPECT_GE(w->width(), 500);
}

TEST_F(WindowTest, OffScreenPlacementComesBackOntoTheScreen)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    for (const char* placement : {"Left=5000\nTop=5000", "Left=-3000\nTop=10", "Left=10\nTop=-2000"}) {
        ini(std::string("[Main]\nWidth=600\nHeight=300\n") + placement + "\n");
        auto w = open();
        EXPECT_TRUE(screen.intersects(w->frameGeometry())) << placement;
        EXPECT_EQ(w->size(), QSize(600, 300)) << placement;
    }
    // A window partly off the screen comes wholly onto it; the stored place
    // stays the user's as long as the window is not moved.
    ini("[Main]\nWidth=600\nHeight=300\nLeft=-100\nTop=20\n");
    auto w = open();
    EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(w->geometry()));
    EXPECT_EQ(w->pos().y(), 20);
    w->close();
    EXPECT_EQ(iniDoc().readInteger("Main", "Left", 0), -100);
}

TEST_F(WindowTest, UnreadableSettingsStartWithTheDefaults)
{
    static const char binary[] = "[Main]\nWidth=\0\xff\xfe\nHeight=99999999999\n";
    const std::string hostile[] = {
        std::string(binary, sizeof binary - 1),
        "[Main\nWidth=10\n[Main]]\nLeft=abc\n",
        "[Main]\nWidth=" + std::string(3 << 20, '9') + "\n",
        "\xef\xbb\xbf[Main]\r\nShowTextLabel=maybe\r\n[Main]\r\nShowTextLabel=0\r\n",
    };
    for (const std::string& bytes : hostile) {
        ini(bytes);
        auto w = open();
        // The default 800 x 480, its frame fitted into the screen.
        EXPECT_EQ(w->height(), 480);
        EXPECT_NEAR(w->width(), 800, 8);
        EXPECT_TRUE(tp.messages.shown.empty()) << tp.messages.shown.front().text;
    }
}

TEST_F(WindowTest, LabelToggleGives39x39ButtonsAndPersists)
{
    {
        auto w = open();
        test::actionOf(*w, "mniShowTextLabel")->trigger();
        EXPECT_FALSE(test::actionOf(*w, "mniShowTextLabel")->isChecked());
        EXPECT_EQ(test::toolBarOf(*w, "ToolBar1")->toolButtonStyle(), Qt::ToolButtonIconOnly);
        for (QAction* a :
            {test::actionOf(*w, "btnAddFile"), test::actionOf(*w, "btnConvert"), test::actionOf(*w, "btnHelp")})
            EXPECT_EQ(buttonOf(*w, a)->size(), QSize(39, 39)) << a->objectName().toStdString();
        EXPECT_EQ(iniValue("Main", "ShowTextLabel"), "0") << "written at once";
        saveScreenshot(w.get(), "main-window-labels-hidden");
        ASSERT_TRUE(closeAndWait(*w));
    }
    {
        auto w = open();
        EXPECT_FALSE(test::actionOf(*w, "mniShowTextLabel")->isChecked());
        EXPECT_EQ(test::toolBarOf(*w, "ToolBar1")->toolButtonStyle(), Qt::ToolButtonIconOnly);
        EXPECT_EQ(buttonOf(*w, test::actionOf(*w, "btnAddFile"))->size(), QSize(39, 39));
        // Showing the labels again gives the buttons of a start with labels,
        // not 39 x 39 with a sliver of each caption.
        test::actionOf(*w, "mniShowTextLabel")->trigger();
        EXPECT_EQ(test::toolBarOf(*w, "ToolBar1")->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        EXPECT_EQ(iniValue("Main", "ShowTextLabel"), "1");
        EXPECT_EQ(buttonOf(*w, test::actionOf(*w, "btnAddFile"))->size(), QSize(50, 52));
        QToolButton* remove = buttonOf(*w, test::actionOf(*w, "btnRemoveFile"));
        EXPECT_GE(remove->width(), remove->fontMetrics().horizontalAdvance("Remove")) << "caption not cut";
        EXPECT_EQ(remove->height(), 52);
    }
}

TEST_F(WindowTest, ResizeKeepsSecondPanelAndMovesProgressBar)
{
    auto w = open();
    for (int width : {500, 640, 1000}) {
        w->resize(width, 300);
        ASSERT_TRUE(waitFor([&] { return w->width() == width; }));
        // The layout follows the outer width (the frame included).
        const int outer = w->frameGeometry().width();
        EXPECT_EQ(w->StatusBar1->panelWidth(1), 200);
        EXPECT_EQ(w->StatusBar1->panelWidth(0), outer - 220);
        EXPECT_EQ(w->StatusProgressBar->x(), outer - 218);
        EXPECT_EQ(w->StatusProgressBar->width(), 195);
        EXPECT_EQ(test::pictureOf(*w)->x(), (outer - 400) / 2 - 10);
        EXPECT_EQ(test::pictureOf(*w)->y(), w->frameGeometry().height() - 210 - 131);
    }
    w->resize(300, 100);
    EXPECT_GE(w->width(), 500) << "minimum size 500 x 200";
    EXPECT_GE(w->height(), 200);
}

TEST_F(WindowTest, StatusHintsFollowTheControlsWhileIdleOnly)
{
    const std::string dir = folder("clips");
    auto w = open();
    QToolButton* add = buttonOf(*w, test::actionOf(*w, "btnAddFile"));
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(add, &enter);
    EXPECT_TRUE(w->StatusBar1->simplePanel());
    EXPECT_EQ(w->StatusBar1->simpleText(), " Open video files to convert (Ins)");
    QStatusTipEvent none(QString{});
    QApplication::sendEvent(test::fileListOf(*w)->viewport(), &none);
    EXPECT_EQ(w->StatusBar1->simpleText(), " Ready");
    QEnterEvent enterConvert(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(buttonOf(*w, test::actionOf(*w, "btnConvert")), &enterConvert);
    EXPECT_EQ(w->StatusBar1->simpleText(), " Start Converting (F9)");

    // While busy the status bar is left alone.
    ini(kDirectRun);
    installEngine({"target sleep=400"});
    test::addFile(*w, clip(dir + "a.m2ts"));
    bool simpleAfterHover = true;
    bool simpleDuring = true;
    QString panelDuring;
    whenEngineStarts(1, [&] {
        simpleDuring = w->StatusBar1->simplePanel();
        QEnterEvent e(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(buttonOf(*w, test::actionOf(*w, "btnStop")), &e);
        simpleAfterHover = w->StatusBar1->simplePanel();
        panelDuring = panel0(*w);
    });
    w->btnConvertClick();
    // A run switches to the panels, where its progress text shows, and hints
    // no longer change the status bar.
    EXPECT_FALSE(simpleDuring);
    EXPECT_TRUE(panelDuring.startsWith("Converting...")) << panelDuring.toStdString();
    EXPECT_FALSE(simpleAfterHover) << "a hint does not take the status bar while busy";
    ASSERT_EQ(engineCalls().size(), 1u);
}

TEST_F(WindowTest, DocumentAndAddressCommandsGoThroughTheShell)
{
    auto w = open();
    struct Case {
        QAction* action;
        std::string expected;
    };
    const std::string bin = tp.programFolder();
    const Case cases[] = {
        {test::actionOf(*w, "btnHelp"), bin + "Vexlo.chm"},
        {test::actionOf(*w, "mniHelp"), bin + "Vexlo.chm"},
        {test::actionOf(*w, "pmnHelp"), bin + "Vexlo.chm"},
        {test::actionOf(*w, "mniFAQ"), bin + "faq.htm"},
        {test::actionOf(*w, "mniLisence"), bin + "license.txt"},
        {test::actionOf(*w, "mniContactus"), "mailto:support@vexlo.example"},
        {test::actionOf(*w, "mniHomepage"), "http://www.vexlo.example/"},
    };
    for (const Case& c : cases) {
        tp.shell.opened.clear();
        c.action->trigger();
        ASSERT_EQ(tp.shell.opened.size(), 1u) << c.action->objectName().toStdString();
        EXPECT_EQ(tp.shell.opened[0], c.expected);
    }
    EXPECT_TRUE(tp.messages.shown.empty()) << "missing documents give no message of our own";
}

TEST_F(WindowTest, AboutBoxAndPreferencesOpenModally)
{
    auto w = open();
    ModalAnswerer answer(false);
    test::actionOf(*w, "mniAbout")->trigger();
    ASSERT_EQ(answer.seen, 1);
    EXPECT_EQ(answer.classes[0], "vexlo::dialogs::TAboutForm");
    test::actionOf(*w, "mniPreference")->trigger();
    test::actionOf(*w, "pmnOptions")->trigger();
    ASSERT_EQ(answer.seen, 3);
    EXPECT_EQ(answer.classes[1], "vexlo::settings::TOptionForm");
    EXPECT_EQ(answer.classes[2], "vexlo::settings::TOptionForm");
}

TEST_F(WindowTest, KeysWhileIdle)
{
    const std::string dir = folder("clips");
    auto w = open();
    activate(*w);
    int stops = 0;
    QObject::connect(test::actionOf(*w, "pmnStop"), &QAction::triggered, [&] { ++stops; });

    QTest::keyClick(w.get(), Qt::Key_Insert);
    EXPECT_EQ(tp.fileDialogs.openCalls.size(), 1u) << "Ins adds files";

    tp.fileDialogs.nextOpenFiles.push_back(std::vector<std::string>{clip(dir + "a.m2ts"), clip(dir + "b.m2ts")});
    QTest::keyClick(test::fileListOf(*w), Qt::Key_Insert);
    ASSERT_EQ(test::rowCount(*w), 2);
    select(*w, {0});
    QTest::keyClick(test::fileListOf(*w), Qt::Key_Delete);
    EXPECT_EQ(rows(*w), std::vector<std::string>{dir + "b.m2ts"}) << "Del removes the selection";

    {
        ModalAnswerer answer(false);
        QTest::keyClick(w.get(), Qt::Key_O, Qt::ControlModifier);
        ASSERT_EQ(answer.seen, 1) << "Ctrl+O opens the preferences, not Open Project";
        EXPECT_EQ(answer.classes[0], "vexlo::settings::TOptionForm");
        activate(*w);
        QTest::keyClick(w.get(), Qt::Key_F9);
        ASSERT_EQ(answer.seen, 2) << "F9 converts: the output dialog opens";
        EXPECT_EQ(answer.classes[1], "vexlo::settings::TConvertOptionsForm");
    }
    activate(*w);
    QTest::keyClick(w.get(), Qt::Key_T, Qt::ControlModifier);
    EXPECT_EQ(stops, 0) << "Ctrl+T does nothing while idle";
    QTest::keyClick(w.get(), Qt::Key_F1);
    EXPECT_EQ(tp.shell.opened, std::vector<std::string>{tp.programFolder() + "Vexlo.chm"});
}

TEST_F(WindowTest, KeysAndStatesWhileBusy)
{
    const std::string dir = folder("clips");
    ini(kDirectRun);
    installEngine({"target sleep=900"});
    auto w = open();
    activate(*w);
    test::addFile(*w, clip(dir + "a.m2ts"));
    test::addFile(*w, clip(dir + "b.m2ts"));
    select(*w, {0, 1});
    EXPECT_EQ(statesOf(*w), kIdleSelected);
    EXPECT_EQ(panel0(*w), "2 File(s) Ready") << "every road that adds a row updates the status";
    EXPECT_FALSE(test::pictureOf(*w)->isVisible()) << "the picture lies only over an empty list";
    saveScreenshot(w.get(), "main-window-idle-rows");

    int stops = 0;
    QObject::connect(test::actionOf(*w, "pmnStop"), &QAction::triggered, [&] { ++stops; });
    IdleStates busy{};
    bool menuRemoveEnabled = false;
    size_t dialogsBefore = 0, dialogsAfterKeys = 0, dialogsAfterMenu = 0;
    std::vector<std::string> rowsDuring;
    int modalsDuring = 0;
    whenEngineStarts(1, [&] {
        busy = statesOf(*w);
        menuRemoveEnabled = test::actionOf(*w, "mniRemoveFile")->isEnabled();
        saveScreenshot(w.get(), "main-window-busy");
        ModalAnswerer answer(false);
        dialogsBefore = tp.fileDialogs.openCalls.size();
        for (auto [key, mod] : {std::pair{Qt::Key_F9, Qt::NoModifier}, {Qt::Key_Insert, Qt::NoModifier},
                 {Qt::Key_Delete, Qt::NoModifier}, {Qt::Key_O, Qt::ControlModifier}}) {
            QTest::keyClick(test::fileListOf(*w), key, mod);
        }
        dialogsAfterKeys = tp.fileDialogs.openCalls.size();
        // Every road of Remove does nothing while busy.
        test::actionOf(*w, "mniRemoveFile")->trigger();
        test::actionOf(*w, "pmnRemoveFile")->trigger();
        test::actionOf(*w, "btnRemoveFile")->trigger();
        w->btnRemoveFileClick();
        rowsDuring = rows(*w);
        // F1, Ctrl+T and the File, Options and Help menus still work.
        QTest::keyClick(w.get(), Qt::Key_F1);
        QTest::keyClick(w.get(), Qt::Key_T, Qt::ControlModifier);
        test::actionOf(*w, "mniAddFile")->trigger();
        dialogsAfterMenu = tp.fileDialogs.openCalls.size();
        test::actionOf(*w, "mniPreference")->trigger();
        test::actionOf(*w, "mniFAQ")->trigger();
        deliverPostedEvents();
        modalsDuring = answer.seen;
    });
    w->btnConvertClick();

    EXPECT_EQ(busy, kBusySelected);
    EXPECT_TRUE(menuRemoveEnabled) << "the File menu's Remove follows the selection only";
    EXPECT_EQ(dialogsAfterKeys, dialogsBefore) << "Ins does nothing while busy";
    EXPECT_EQ(rowsDuring, (std::vector<std::string>{dir + "a.m2ts", dir + "b.m2ts"}));
    EXPECT_EQ(modalsDuring, 1) << "only the preferences from the Options menu; F9 and Ctrl+O do nothing";
    EXPECT_EQ(stops, 1) << "Ctrl+T runs Stop while busy";
    EXPECT_EQ(dialogsAfterMenu, dialogsBefore + 1) << "the File menu's Add works while busy";
    // F1 waited for the round between the two files, the menu's FAQ did not.
    EXPECT_EQ(
        tp.shell.opened, (std::vector<std::string>{tp.programFolder() + "faq.htm", tp.programFolder() + "Vexlo.chm"}));
    EXPECT_EQ(engineCalls().size(), 2u) << "one run, both files";
    select(*w, {0, 1});
    EXPECT_EQ(statesOf(*w), kIdleSelected);
    EXPECT_EQ(panel0(*w), "Conversion completed!");
}

// The status bar shows the current state whatever the pointer did last: a
// hint shown for the window's own text follows every change of the rows, and
// the panels come back when the pointer leaves the window.
TEST_F(WindowTest, StatusHintFollowsTheRowsAndLeavesWithThePointer)
{
    const std::string dir = folder("clips");
    tp.fileDialogs.nextOpenFiles.push_back(std::vector<std::string>{dir + "c.m2ts"});
    auto w = open();
    for (const char* name : {"a.m2ts", "b.m2ts", "c.m2ts"})
        clip(dir + name);
    test::addFile(*w, dir + "a.m2ts");
    test::addFile(*w, dir + "b.m2ts");
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(w.get(), &enter);
    QStatusTipEvent buttonHint(QStringLiteral("Remove selected files (Ctrl + Del)"));
    QApplication::sendEvent(w.get(), &buttonHint);
    QStatusTipEvent none(QString{});
    QApplication::sendEvent(w.get(), &none);
    EXPECT_EQ(w->StatusBar1->simpleText(), " 2 File(s) Ready");
    select(*w, {0});
    QTest::keyClick(test::fileListOf(*w), Qt::Key_Delete);
    EXPECT_EQ(w->StatusBar1->simpleText(), " 1 File(s) Ready") << "not the count before the removal";
    w->btnAddFileClick();
    EXPECT_EQ(w->StatusBar1->simpleText(), " 2 File(s) Ready");
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(w.get(), &leave);
    EXPECT_FALSE(w->StatusBar1->simplePanel()) << "no hint outside the window: the panels";
    EXPECT_EQ(panel0(*w), "2 File(s) Ready");
}

// The getting-started picture is placed, then tested: a resize in one step
// never leaves it where the old size put it.
TEST_F(WindowTest, PictureFollowsOneStepResizes)
{
    auto w = open();
    const auto overList = [&] {
        const QRect list(test::fileListOf(*w)->mapTo(w.get(), QPoint(0, 0)), test::fileListOf(*w)->size());
        return list.contains(test::pictureOf(*w)->geometry());
    };
    struct Step {
        QSize size;
        bool shown;
    };
    for (const Step& s : {Step{{1200, 900}, true}, Step{{500, 200}, false}, Step{{900, 600}, true},
             Step{{500, 200}, false}, Step{{640, 480}, true}}) {
        w->resize(s.size);
        ASSERT_TRUE(waitFor([&] { return w->size() == s.size; }));
        EXPECT_EQ(test::pictureOf(*w)->isVisible(), s.shown) << s.size.width() << "x" << s.size.height();
        if (s.shown) {
            EXPECT_TRUE(overList()) << s.size.width() << "x" << s.size.height();
        }
    }
}

// Where the user last right-clicked never hides a menu item.
TEST_F(WindowTest, RemoveFilesNeverVanishesFromTheFileMenu)
{
    const std::string dir = folder("clips");
    auto w = open();
    test::fileListOf(*w)->clearFocus();
    emit test::menuOf(*w, "PopupMenu1")->aboutToShow();
    EXPECT_FALSE(test::actionOf(*w, "pmnRemoveFile")->isVisible())
        << "the open context menu offers no removal over an empty list";
    emit test::menuOf(*w, "PopupMenu1")->aboutToHide();
    test::addFile(*w, clip(dir + "a.m2ts"));
    select(*w, {0});
    EXPECT_TRUE(test::actionOf(*w, "mniRemoveFile")->isVisible());
    EXPECT_TRUE(test::actionOf(*w, "mniRemoveFile")->isEnabled());
    EXPECT_TRUE(test::actionOf(*w, "pmnRemoveFile")->isVisible());
    QTest::keyClick(test::fileListOf(*w), Qt::Key_Delete);
    EXPECT_EQ(test::rowCount(*w), 0) << "Del acts through the context menu's item";
}

TEST_F(WindowTest, ToolbarsAreConfinedToTheTopBand)
{
    auto w = open();
    for (QToolBar* bar : {test::toolBarOf(*w, "ToolBar1"), test::toolBarOf(*w, "ToolBar2")}) {
        EXPECT_EQ(bar->allowedAreas(), Qt::TopToolBarArea) << bar->objectName().toStdString();
        EXPECT_FALSE(bar->isFloatable());
        EXPECT_EQ(w->toolBarArea(bar), Qt::TopToolBarArea);
    }
}

// A saved list written by hand with quotes around a path.
TEST_F(WindowTest, SavedListPathInQuotesIsRestored)
{
    const std::string dir = folder("clips");
    clip(dir + "with space.m2ts");
    ini("[Options]\r\nSaveFileList=1\r\n[FileList]\r\n0=\"" + dir + "with space.m2ts\"\r\n");
    auto w = open();
    EXPECT_EQ(rows(*w), (std::vector<std::string>{dir + "with space.m2ts"}));
    ASSERT_TRUE(closeAndWait(*w));
    // Lines the program adds to a CRLF file end in CRLF.
    const std::string text = iniText();
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
        ASSERT_TRUE(at > 0 && text[at - 1] == '\r') << text;
}

} // namespace
} // namespace vexlo::test

namespace vexlo::test {
namespace {

// A dark desktop theme (Fusion with a dark palette, as qt6ct sets it): the
// getting-started panel is drawn on the list's background, not on white;
// a light one keeps its light panel. Sampled where the panel shows no words.
TEST_F(WindowTest, GettingStartedPanelFollowsTheDesktopsPalette)
{
    QPalette dark;
    for (const auto& [role, colour] : {std::pair{QPalette::Window, QColor(0x2b, 0x2b, 0x2b)},
             {QPalette::WindowText, QColor(0xe0, 0xe0, 0xe0)}, {QPalette::Base, QColor(0x1e, 0x1e, 0x1e)},
             {QPalette::AlternateBase, QColor(0x2d, 0x2d, 0x2d)}, {QPalette::Text, QColor(0xe0, 0xe0, 0xe0)},
             {QPalette::Button, QColor(0x35, 0x35, 0x35)}, {QPalette::ButtonText, QColor(0xe0, 0xe0, 0xe0)},
             {QPalette::Highlight, QColor(0x2a, 0x82, 0xda)}, {QPalette::Mid, QColor(0x50, 0x50, 0x50)}})
        dark.setColor(role, colour);
    const QPalette standard = QApplication::palette();
    struct Case {
        const char* name;
        QPalette palette;
        bool dark;
    };
    for (const Case& c : {Case{"dark", dark, true}, Case{"light", standard, false}}) {
        SCOPED_TRACE(c.name);
        QApplication::setPalette(c.palette);
        auto w = open();
        QLabel* panel = test::pictureOf(*w);
        ASSERT_TRUE(panel->isVisible());
        const QImage picture = panel->grab().toImage();
        // Inside the frame, left of the steps; below the drop zone; inside it.
        for (const QPoint at : {QPoint(8, 100), QPoint(200, 203), QPoint(372, 190)}) {
            const int lightness = picture.pixelColor(at).lightness();
            if (c.dark)
                EXPECT_LT(lightness, 80) << at.x() << "," << at.y();
            else
                EXPECT_GT(lightness, 200) << at.x() << "," << at.y();
        }
        saveScreenshot(w.get(), std::string("main-window-palette-") + c.name);
    }
    QApplication::setPalette(standard);
    // The panel follows a change of the theme while the window is open.
    auto w = open();
    QApplication::setPalette(dark);
    deliverPostedEvents();
    EXPECT_LT(test::pictureOf(*w)->grab().toImage().pixelColor(8, 100).lightness(), 80);
    QApplication::setPalette(standard);
}

} // namespace
} // namespace vexlo::test

namespace vexlo::test {
namespace {

// The getting-started picture of an earlier start is shown only when it was
// drawn for this start's key: another language, scale or palette, or a
// damaged file, is drawn anew and replaces it.
TEST_F(WindowTest, GettingStartedPictureComesFromTheCacheOnlyWhenItFits)
{
    const dialogs::PictureCache cache; // below the test's $XDG_CACHE_HOME
    const QString name = QStringLiteral("getting-started");
    const fs::path file = cache.path(name).toStdString();
    auto first = open();
    const qreal scale = first->devicePixelRatioF();
    const QPalette palette = test::fileListOf(*first)->palette();
    first.reset();
    const QImage drawn = dialogs::gettingStartedPixmap(scale, palette).toImage();
    const QByteArray key = dialogs::gettingStartedKey(scale, palette);
    QPalette dark = palette;
    dark.setColor(QPalette::Base, Qt::black);
    struct Shouting : QTranslator {
        bool isEmpty() const override { return false; }
        QString translate(const char*, const char* source, const char*, int) const override
        {
            return QString::fromUtf8(source).toUpper();
        }
    } shouting;
    QCoreApplication::installTranslator(&shouting);
    const QByteArray otherLanguage = dialogs::gettingStartedKey(scale, palette);
    QCoreApplication::removeTranslator(&shouting);
    const auto flipByte = [&] {
        std::string bytes = readFile(file.string());
        bytes[bytes.size() / 2] ^= 0x40;
        writeFile(file.string(), bytes);
    };
    const auto cutShort = [&] { fs::resize_file(file, fs::file_size(file) - 1000); };
    struct Case {
        const char* name;
        QByteArray key;
        std::function<void()> damage;
        bool used;
    };
    const Case cases[] = {
        {"same key", key, {}, true},
        {"another language", otherLanguage, {}, false},
        {"another scale", dialogs::gettingStartedKey(scale * 2, palette), {}, false},
        {"another palette", dialogs::gettingStartedKey(scale, dark), {}, false},
        {"damaged", key, flipByte, false},
        {"cut short", key, cutShort, false},
    };
    QImage marker(drawn.size(), QImage::Format_ARGB32_Premultiplied);
    marker.fill(Qt::red);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(cache.store(name, c.key, marker));
        if (c.damage)
            c.damage();
        const QImage shown = test::pictureOf(*open())->pixmap().toImage();
        if (c.used) {
            EXPECT_EQ(shown.pixelColor(100, 100), QColor(Qt::red));
        } else {
            EXPECT_EQ(shown, drawn);
            EXPECT_EQ(cache.load(name, key, drawn.size()), drawn) << "the drawn picture replaces the old file";
        }
    }
    // The kept picture is the drawn one to the pixel.
    EXPECT_EQ(test::pictureOf(*open())->pixmap().toImage(), drawn);
}

// The toolbars' overflow pictures, asked of the style only when drawn, are
// the style's own at every scale, mode and direction.
TEST(DeferredOverflowIconStyle, PicturesAreTheStylesOwn)
{
    const QString desktopStyle = QApplication::style()->name();
    const std::unique_ptr<QStyle> reference(QStyleFactory::create(desktopStyle));
    app::DeferredOverflowIconStyle deferred(QStyleFactory::create(desktopStyle));
    struct Case {
        QStyle::StandardPixmap which;
        Qt::LayoutDirection direction;
        qreal scale;
        QIcon::Mode mode;
    };
    const Case cases[] = {
        {QStyle::SP_ToolBarHorizontalExtensionButton, Qt::LeftToRight, 1.0, QIcon::Normal},
        {QStyle::SP_ToolBarHorizontalExtensionButton, Qt::RightToLeft, 1.0, QIcon::Normal},
        {QStyle::SP_ToolBarHorizontalExtensionButton, Qt::LeftToRight, 2.0, QIcon::Active},
        {QStyle::SP_ToolBarVerticalExtensionButton, Qt::LeftToRight, 1.5, QIcon::Disabled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.which) * 1000 + int(c.direction) * 100 + int(c.scale * 10) + int(c.mode));
        QStyleOption option;
        option.direction = c.direction;
        const QIcon mine = deferred.standardIcon(c.which, &option, nullptr);
        const QIcon theirs = reference->standardIcon(c.which, &option, nullptr);
        EXPECT_EQ(mine.pixmap(QSize(16, 16), c.scale, c.mode).toImage(),
            theirs.pixmap(QSize(16, 16), c.scale, c.mode).toImage());
        // Drawn through QIcon::paint on a scaled surface.
        const auto painted = [&](const QIcon& icon) {
            QImage surface(QSize(24, 24) * c.scale, QImage::Format_ARGB32_Premultiplied);
            surface.setDevicePixelRatio(c.scale);
            surface.fill(Qt::white);
            QPainter painter(&surface);
            icon.paint(&painter, QRect(2, 2, 20, 20), Qt::AlignCenter, c.mode);
            painter.end();
            return surface;
        };
        EXPECT_EQ(painted(mine), painted(theirs));
    }
}

// In a window too narrow for its toolbar, the overflow button looks the same
// under the program's style as under the desktop's.
TEST_F(WindowTest, OverflowButtonLooksTheSameUnderTheDeferringStyle)
{
    const auto narrow = [&] {
        auto w = open();
        QToolBar* bar = test::toolBarOf(*w, "ToolBar1");
        bar->setMaximumWidth(220);
        deliverPostedEvents();
        QWidget* overflow = bar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"));
        EXPECT_TRUE(overflow && overflow->isVisible());
        return bar->grab().toImage();
    };
    const QString desktopStyle = QApplication::style()->name();
    const QImage plain = narrow();
    QApplication::setStyle(new app::DeferredOverflowIconStyle(QStyleFactory::create(desktopStyle)));
    const QImage deferred = narrow();
    QApplication::setStyle(QStyleFactory::create(desktopStyle));
    EXPECT_EQ(plain, deferred);
}

} // namespace
} // namespace vexlo::test

// The main window and its dialogs on a real X server (Xvfb), with the openbox
// window manager or without one (run-on-xvfb starts both): the real pointer
// and keys come from xdotool, pictures are taken from the screen.
#include "FakeEngine.h"
#include "support/MainWindowParts.h"
#include "app/MainForm.h"
#include "support/TestDoubles.h"
#include "dialogs/ConvertOptionsForm.h"
#include "settings/IniFile.h"
#include "dialogs/OptionForm.h"
#include "support/LayoutChecks.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QScreen>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleOption>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QWindow>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <optional>
#include <sys/wait.h>

namespace vexlo::test {
namespace {

namespace fs = std::filesystem;
using app::TMainForm;
using namespace std::chrono_literals;

bool underWindowManager() { return qgetenv("VEXLO_WINDOW_MANAGER") == "openbox"; }

QString run(const QString& program, const QStringList& args) { return toolOutput(program, args); }

void xdo(const QStringList& args) { run(QStringLiteral("xdotool"), args); }

void pointerTo(const QPoint& global)
{
    xdo({"mousemove", "--sync", QString::number(global.x()), QString::number(global.y())});
}

// Moves the pointer and waits until the program has seen it arrive there (a
// drag reacts to the move events, not to where the pointer is).
void pointerToAndSeen(const QPoint& global)
{
    class MoveWatch : public QObject {
    public:
        QPoint last{-1, -1};
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::MouseMove)
                last = static_cast<QMouseEvent*>(e)->globalPosition().toPoint();
            return false;
        }
    } watch;
    qApp->installEventFilter(&watch);
    pointerTo(global);
    waitFor([&] { return (watch.last - global).manhattanLength() <= 1; }, 1s);
    qApp->removeEventFilter(&watch);
}

// Until the window manager has framed the window; at once without one.
bool waitForFrame(const QWidget* w)
{
    return waitFor([&] { return !underWindowManager() || w->frameGeometry() != w->geometry(); }, 3s);
}

QPoint centreOf(const QWidget* w) { return w->mapToGlobal(w->rect().center()); }

// What the status bar shows on screen: the simple text when its label is
// visible, else the first panel.
QString shownStatus(const TMainForm& w)
{
    const auto* simple = w.StatusBar1->findChild<QLabel*>("StatusSimplePanel");
    const auto* panel = w.StatusBar1->findChild<QLabel*>("StatusPanel0");
    if (simple->isVisible() && !panel->isVisible())
        return "simple:" + simple->text();
    if (panel->isVisible() && !simple->isVisible())
        return "panels:" + panel->text();
    return "both or none";
}

// A picture of what the screen shows of the window, its frame included.
void screenshot(QWidget* w, const std::string& name)
{
    waitForFrame(w);
    w->repaint();
    const QRect r = w->frameGeometry();
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height());
    shot.save(QStringLiteral(VEXLO_SCREENSHOT_DIR "/desktop-") + QString::fromStdString(name) + ".png");
}

class DesktopTest : public ::testing::Test {
protected:
    platform::TestPlatform tp;

    // A short real clip: a source whose conversion can be checked.
    std::string file(const std::string& name)
    {
        const std::string path = tp.root() + "clips/" + name;
        writeClip(path);
        return path;
    }
    void ini(const std::string& text) { writeFile(tp.settingsPath(), text); }
    settings::IniDocument iniDoc() const { return settings::IniDocument::parse(readFile(tp.settingsPath())); }

    std::unique_ptr<TMainForm> open()
    {
        auto w = std::make_unique<TMainForm>(std::vector<std::string>{});
        w->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        w->activateWindow();
        static_cast<void>(QTest::qWaitForWindowActive(w.get(), 3000)); // not every window manager activates it
        EXPECT_TRUE(waitForFrame(w.get()));
        return w;
    }
    static QToolButton* buttonOf(const TMainForm& w, QAction* a)
    {
        return qobject_cast<QToolButton*>(test::toolBarOf(w, "ToolBar1")->widgetForAction(a));
    }
};

// ------------------------------------------------------------ status bar

TEST_F(DesktopTest, StatusTextAfterHoverThenDeleteAndAfterLeavingTheWindow)
{
    auto w = open();
    for (const char* name : {"a.m2ts", "b.m2ts", "c.m2ts"})
        test::addFile(*w, file(name));
    screenshot(w.get(), "main-idle");

    pointerTo(centreOf(buttonOf(*w, test::actionOf(*w, "btnAddFile"))));
    EXPECT_TRUE(waitFor([&] { return shownStatus(*w) == "simple: Open video files to convert (Ins)"; }, 3s))
        << shownStatus(*w).toStdString();
    QTreeWidgetItem* first = test::fileListOf(*w)->topLevelItem(0);
    const QRect row = test::fileListOf(*w)->visualItemRect(first);
    pointerTo(test::fileListOf(*w)->viewport()->mapToGlobal(row.center()));
    xdo({"click", "1"});
    ASSERT_TRUE(waitFor([&] { return first->isSelected(); }, 3s));
    EXPECT_EQ(shownStatus(*w), "simple: 3 File(s) Ready");

    xdo({"key", "Delete"});
    ASSERT_TRUE(waitFor([&] { return test::rowCount(*w) == 2; }, 3s));
    EXPECT_EQ(shownStatus(*w), "simple: 2 File(s) Ready") << "the count on screen follows the rows";
    screenshot(w.get(), "main-after-removal");

    // Away from the window: no hint, the panels come back.
    const QRect frame = w->frameGeometry();
    pointerTo(QPoint(frame.right() + 120, frame.bottom() + 60));
    EXPECT_TRUE(waitFor([&] { return shownStatus(*w) == "panels:2 File(s) Ready"; }, 3s))
        << shownStatus(*w).toStdString();
}

TEST_F(DesktopTest, RunFromTheToolbarShowsItsProgressInThePanels)
{
    ini("[Options]\nDoNotShowConfirm=1\nConvertToMP3=1\nConvertToSamePath=1\n");
    installFakeEngine(tp);
    setFakeEngineScript(tp, {"target sleep=700", "target sleep=700"});
    auto w = open();
    test::addFile(*w, file("a.m2ts"));
    test::addFile(*w, file("b.m2ts"));
    pointerTo(centreOf(buttonOf(*w, test::actionOf(*w, "btnConvert"))));
    ASSERT_TRUE(waitFor([&] { return shownStatus(*w) == "simple: Start Converting (F9)"; }, 3s));

    std::vector<QString> seen;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (w->Busy) {
            seen.push_back(shownStatus(*w));
            if (seen.size() == 3)
                screenshot(w.get(), "main-busy");
        }
    });
    probe.start(150);
    xdo({"click", "1"});
    ASSERT_TRUE(waitFor([&] { return fakeEngineCalls(tp).size() == 2 && !w->Busy; }, 20s));
    probe.stop();
    ASSERT_FALSE(seen.empty());
    bool progressShown = false;
    for (const QString& s : seen) {
        EXPECT_TRUE(s.startsWith("panels:")) << s.toStdString();
        progressShown = progressShown || s.startsWith("panels:Converting... (");
    }
    EXPECT_TRUE(progressShown);
    // Idle again with the pointer still on the toolbar: the hint shows again.
    EXPECT_TRUE(waitFor([&] { return shownStatus(*w).startsWith("simple: "); }, 3s)) << shownStatus(*w).toStdString();
    EXPECT_EQ(w->StatusBar1->panelText(0), "Conversion completed!");
}

// ------------------------------------------------------ layout and menus

TEST_F(DesktopTest, LabelsHiddenAndShownAgainGiveFullSizeButtons)
{
    auto w = open();
    const QSize fresh = buttonOf(*w, test::actionOf(*w, "btnRemoveFile"))->size();
    for (int i = 0; i < 2; ++i) {
        // Options menu, then its item by its underlined letter.
        xdo({"key", "alt+o"});
        ASSERT_TRUE(waitFor([&] { return test::menuOf(*w, "mnuOptions")->isVisible(); }, 3s));
        xdo({"key", "t"});
        ASSERT_TRUE(waitFor([&] { return !test::menuOf(*w, "mnuOptions")->isVisible(); }, 3s));
        deliverPostedEvents(); // the toolbar's new layout
        if (i == 0) {
            waitFor([&] { return buttonOf(*w, test::actionOf(*w, "btnAddFile"))->size() == QSize(39, 39); }, 3s);
            EXPECT_EQ(buttonOf(*w, test::actionOf(*w, "btnAddFile"))->size(), QSize(39, 39));
            screenshot(w.get(), "main-labels-hidden");
        }
    }
    EXPECT_TRUE(test::actionOf(*w, "mniShowTextLabel")->isChecked());
    waitFor(
        [&] {
            return test::toolBarOf(*w, "ToolBar1")->height() == test::toolBarOf(*w, "ToolBar1")->sizeHint().height();
        },
        3s);
    EXPECT_EQ(buttonOf(*w, test::actionOf(*w, "btnAddFile"))->size(), QSize(50, 52));
    EXPECT_EQ(buttonOf(*w, test::actionOf(*w, "btnRemoveFile"))->size(), fresh);
    EXPECT_EQ(test::toolBarOf(*w, "ToolBar1")->height(), test::toolBarOf(*w, "ToolBar1")->sizeHint().height());
    screenshot(w.get(), "main-labels-shown-again");
}

TEST_F(DesktopTest, GettingStartedPictureAfterOneStepResizes)
{
    if (!underWindowManager())
        GTEST_SKIP() << "maximising needs a window manager";
    ini("[Main]\nWidth=500\nHeight=200\nLeft=40\nTop=40\nMaximized=1\n");
    auto w = open();
    ASSERT_TRUE(waitFor([&] { return w->isMaximized() && w->width() > 900; }, 3s));
    const auto insideList = [&] {
        const QRect list(test::fileListOf(*w)->mapTo(w.get(), QPoint(0, 0)), test::fileListOf(*w)->size());
        return list.contains(test::pictureOf(*w)->geometry());
    };
    // Restoring from maximised: one step down to 500 x 200.
    w->showNormal();
    ASSERT_TRUE(waitFor([&] { return !w->isMaximized() && w->width() == 500; }, 3s));
    deliverPostedEvents(); // the layout's reaction to the resize
    EXPECT_TRUE(!test::pictureOf(*w)->isVisible() || insideList()) << "never over the menu and toolbar";
    screenshot(w.get(), "main-500x200");
    // And one step up again.
    w->resize(900, 640);
    ASSERT_TRUE(waitFor([&] { return w->width() == 900; }, 3s));
    deliverPostedEvents();
    EXPECT_TRUE(test::pictureOf(*w)->isVisible()) << "the empty list shows the picture";
    EXPECT_TRUE(insideList());
    screenshot(w.get(), "main-grown");
}

TEST_F(DesktopTest, RemoveFilesStaysInTheFileMenuAfterARightClickOnTheEmptyList)
{
    auto w = open();
    pointerTo(centreOf(test::fileListOf(*w)->viewport()));
    // The context menu runs its own loop: look at it, then close it, from there.
    bool contextMenuSeen = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (test::menuOf(*w, "PopupMenu1")->isVisible()) {
            contextMenuSeen = true;
            xdo({"key", "Escape"});
        }
    });
    closer.start(200);
    xdo({"click", "3"});
    ASSERT_TRUE(waitFor([&] { return contextMenuSeen && !test::menuOf(*w, "PopupMenu1")->isVisible(); }, 5s));
    closer.stop();

    test::addFile(*w, file("a.m2ts"));
    const QRect row = test::fileListOf(*w)->visualItemRect(test::fileListOf(*w)->topLevelItem(0));
    pointerTo(test::fileListOf(*w)->viewport()->mapToGlobal(row.center()));
    xdo({"click", "1"});
    ASSERT_TRUE(waitFor([&] { return test::fileListOf(*w)->topLevelItem(0)->isSelected(); }, 3s));
    xdo({"key", "alt+f"});
    ASSERT_TRUE(waitFor([&] { return test::menuOf(*w, "mnuFile")->isVisible(); }, 3s));
    EXPECT_TRUE(test::actionOf(*w, "mniRemoveFile")->isVisible());
    EXPECT_TRUE(test::actionOf(*w, "mniRemoveFile")->isEnabled());
    EXPECT_FALSE(test::menuOf(*w, "mnuFile")->actionGeometry(test::actionOf(*w, "mniRemoveFile")).isEmpty());
    EXPECT_TRUE(test::actionOf(*w, "pmnRemoveFile")->isVisible()) << "the context menu's item is back for its key";
    xdo({"key", "Escape"});
    // (A key pressed while the menu still shows would go to the menu.)
    ASSERT_TRUE(waitFor([&] { return !test::menuOf(*w, "mnuFile")->isVisible(); }, 3s));
    // Del acts through the context menu's item.
    xdo({"key", "Delete"});
    EXPECT_TRUE(waitFor([&] { return test::rowCount(*w) == 0; }, 3s));

    // So does Ctrl+Del, the key the File menu and the button's hint show.
    test::addFile(*w, file("b.m2ts"));
    test::addFile(*w, file("c.m2ts"));
    pointerTo(test::fileListOf(*w)->viewport()->mapToGlobal(
        test::fileListOf(*w)->visualItemRect(test::fileListOf(*w)->topLevelItem(1)).center()));
    xdo({"click", "1"});
    ASSERT_TRUE(waitFor([&] { return test::fileListOf(*w)->topLevelItem(1)->isSelected(); }, 3s));
    xdo({"key", "ctrl+Delete"});
    EXPECT_TRUE(waitFor([&] { return test::rowCount(*w) == 1; }, 3s));
    EXPECT_EQ(test::rowPath(*w, 0), file("b.m2ts"));
}

// Ctrl+V with a file manager's copy on the clipboard of another program
// (xclip owns it: the URIs cross the X server): the rows of a drop, and the
// output dialog asks for a run.
TEST_F(DesktopTest, CtrlVPastesTheFilesAnotherProgramCopied)
{
    ASSERT_FALSE(QStandardPaths::findExecutable("xclip").isEmpty()) << "xclip is missing (scripts/deps installs it)";
    const std::string a = file("my clip.m2ts"), b = file("b 100%.m2ts");
    auto w = open();
    QProcess owner;
    owner.start("xclip", {"-quiet", "-selection", "clipboard", "-target", "text/uri-list"});
    ASSERT_TRUE(owner.waitForStarted());
    for (const std::string& p : {a, b})
        owner.write(QUrl::fromLocalFile(QString::fromStdString(p)).toEncoded() + "\r\n");
    owner.closeWriteChannel();
    EXPECT_TRUE(waitFor([&] { return test::actionOf(*w, "pmnPaste")->isEnabled(); }, 5s))
        << "the clipboard's owner changed";
    // The output dialog runs its own loop: a picture, then Esc, from there.
    bool asked = false;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (asked || !dialog || !dialog->isVisible())
            return;
        asked = true;
        screenshot(w.get(), "main-pasted");
        xdo({"key", "Escape"});
    });
    answer.start(100);
    xdo({"key", "ctrl+v"});
    ASSERT_TRUE(waitFor([&] { return test::rowCount(*w) == 2; }, 5s));
    EXPECT_EQ(test::rowPath(*w, 0), a);
    EXPECT_EQ(test::rowPath(*w, 1), b);
    EXPECT_TRUE(waitFor([&] { return asked && !QApplication::activeModalWidget(); }, 5s)) << "a run was asked for";
    owner.kill();
    owner.waitForFinished();
}

TEST_F(DesktopTest, ToolbarsStayInTheTopBand)
{
    auto w = open();
    for (QToolBar* bar : {test::toolBarOf(*w, "ToolBar1"), test::toolBarOf(*w, "ToolBar2")}) {
        // Drag the bar by its handle to the bottom edge, then out of the window.
        QStyleOptionToolBar option;
        option.initFrom(bar);
        const int handle = bar->style()->pixelMetric(QStyle::PM_ToolBarHandleExtent, &option, bar);
        const QPoint grip = bar->mapToGlobal(QPoint(std::max(2, handle / 2), bar->height() / 2));
        const QRect frame = w->frameGeometry();
        const QRect list(test::fileListOf(*w)->mapToGlobal(QPoint(0, 0)), test::fileListOf(*w)->size());
        for (const QPoint target : {QPoint(list.center().x(), list.bottom() - 4),
                 QPoint(list.left() + 4, list.center().y()), QPoint(frame.right() + 150, frame.bottom() + 150)}) {
            pointerTo(grip);
            xdo({"mousedown", "1"});
            for (int step = 1; step <= 10; ++step)
                pointerToAndSeen(grip + (target - grip) * step / 10);
            xdo({"mouseup", "1"});
            waitFor([&] { return !bar->isFloating(); }, 1s);
            EXPECT_EQ(w->toolBarArea(bar), Qt::TopToolBarArea) << bar->objectName().toStdString();
            EXPECT_FALSE(bar->isFloating())
                << bar->objectName().toStdString() << " to " << target.x() << "," << target.y();
        }
    }
    screenshot(w.get(), "main-after-toolbar-drags");
}

TEST_F(DesktopTest, DialogScreenshots)
{
    auto w = open();
    // The installed catalogue's titles in the output format lists. Nothing
    // reads cut off in the desktop's font, on any page.
    writeFile(tp.settingsPath(), readFile(VEXLO_SOURCE_DIR "/data/vexlo.ini"));
    {
        settings::TConvertOptionsForm dialog(w.get());
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        EXPECT_EQ(cutOffTexts(&dialog), std::vector<std::string>{});
        screenshot(&dialog, "output-dialog");
    }
    {
        settings::TOptionForm dialog(w.get(), &w->ScheduleSettings);
        dialog.LoadPreferences();
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        auto* pages = dialog.findChild<QTabWidget*>();
        ASSERT_NE(pages, nullptr);
        for (int i = 0; i < pages->count(); ++i) {
            pages->setCurrentIndex(i);
            deliverPostedEvents();
            EXPECT_EQ(cutOffTexts(&dialog), std::vector<std::string>{}) << "page " << i;
            screenshot(&dialog, "preferences-" + std::to_string(i));
        }
        // The whole dialog lies on the screen.
        EXPECT_TRUE(dialog.screen()->availableGeometry().contains(dialog.frameGeometry()));
    }
}

// ------------------------------------------------------------- placement

// The built program, started and closed 20 times: it reopens exactly where it
// was, under a window manager and without one.
TEST_F(DesktopTest, PlacementHoldsOverTwentySessions)
{
    fs::copy_file(binDir() + "/vexlo", tp.programFolder() + "vexlo", fs::copy_options::overwrite_existing);
    ini("[Main]\nLeft=130\nTop=170\nWidth=640\nHeight=420\n");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", QString::fromStdString(tp.root() + "home"));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(tp.root() + "home/.config"));
    env.insert("VEXLO_REGISTRY", QString::fromStdString(tp.registryRoot()));
    for (int session = 0; session < 20; ++session) {
        QProcess vexlo;
        vexlo.setProcessEnvironment(env);
        vexlo.start(QString::fromStdString(tp.programFolder() + "vexlo"), {});
        ASSERT_TRUE(vexlo.waitForStarted());
        const QString id = run("xdotool",
            {"search", "--sync", "--onlyvisible", "--pid", QString::number(vexlo.processId()), "--name", "^Vexlo$"})
                               .section('\n', 0, 0);
        ASSERT_FALSE(id.isEmpty()) << "session " << session;
        if (session == 0 || session == 19) {
            // The client lies inside the frame: its top is at or below Top.
            int x = 0, y = 0;
            waitFor(
                [&] {
                    const QString info = run("xwininfo", {"-id", id});
                    y = info.section("Absolute upper-left Y:", 1).section('\n', 0, 0).trimmed().toInt();
                    x = info.section("Absolute upper-left X:", 1).section('\n', 0, 0).trimmed().toInt();
                    return y >= 170 && x >= 130;
                },
                3s);
            EXPECT_GE(y, 170) << "session " << session;
            EXPECT_GE(x, 130) << "session " << session;
            if (!underWindowManager()) {
                EXPECT_EQ(y, 170);
                EXPECT_EQ(x, 130);
            }
        }
        ::kill(static_cast<pid_t>(vexlo.processId()), SIGTERM); // closes as the close box does
        ASSERT_TRUE(vexlo.waitForFinished(10000));
        const settings::IniDocument doc = iniDoc();
        ASSERT_EQ(doc.readInteger("Main", "Left", -1), 130) << "session " << session;
        ASSERT_EQ(doc.readInteger("Main", "Top", -1), 170) << "session " << session;
        ASSERT_EQ(doc.readInteger("Main", "Width", -1), 640) << "session " << session;
        ASSERT_EQ(doc.readInteger("Main", "Height", -1), 420) << "session " << session;
    }
}

// A stored height as tall as the screen (saved at a smaller display scale, or
// a window that filled the screen): the frame, title bar and bottom edge, lies
// on the screen from the first picture of the window on, and then fills the
// screen's height.
TEST_F(DesktopTest, PlacementFitsTheFrameOfAWindowAsTallAsTheScreen)
{
    if (!underWindowManager())
        GTEST_SKIP() << "the frame comes from a window manager";
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    ini("[Main]\nLeft=100\nTop=0\nWidth=700\nHeight=" + std::to_string(screen.height()) + "\n");
    auto w = std::make_unique<TMainForm>(std::vector<std::string>{});
    // The frame when the window is first exposed: the manager has framed it.
    // (Watched from the application: the native window comes with show().)
    class FirstExpose : public QObject {
    public:
        QWidget* widget = nullptr;
        std::optional<QRect> frame;
        bool eventFilter(QObject* o, QEvent* e) override
        {
            if (e->type() == QEvent::Expose && !frame && o == widget->windowHandle())
                frame = widget->windowHandle()->frameGeometry();
            return false;
        }
    } first;
    first.widget = w.get();
    qApp->installEventFilter(&first);
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    qApp->removeEventFilter(&first);
    ASSERT_TRUE(first.frame.has_value());
    EXPECT_TRUE(screen.contains(*first.frame)) << "first frame " << first.frame->y() << "+" << first.frame->height();
    EXPECT_TRUE(waitForFrame(w.get()));
    EXPECT_TRUE(waitFor([&] { return w->frameGeometry().height() == screen.height(); }, 3s))
        << "frame " << w->frameGeometry().y() << "+" << w->frameGeometry().height();
    EXPECT_EQ(w->frameGeometry().top(), screen.top());
    screenshot(w.get(), "main-as-tall-as-the-screen");
    w->close();
    EXPECT_EQ(iniDoc().readInteger("Main", "Height", -1), screen.height()) << "the stored size is kept";
}

// A silent run shows nothing on screen, stored maximised or not, under a
// window manager (which would pull a window at x = -1000 back onto the
// screen) and without one.
TEST_F(DesktopTest, SilentRunMapsNoWindow)
{
    fs::copy_file(binDir() + "/vexlo", tp.programFolder() + "vexlo", fs::copy_options::overwrite_existing);
    const std::string clip = file("a.m2ts");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", QString::fromStdString(tp.root() + "home"));
    env.insert("VEXLO_REGISTRY", QString::fromStdString(tp.registryRoot()));
    for (const char* stored : {"[Main]\nMaximized=1\n", "[Main]\nMaximized=0\nLeft=20\nTop=20\n"}) {
        SCOPED_TRACE(stored);
        ini(stored);
        installFakeEngine(tp); // the script counts calls from here
        setFakeEngineScript(tp, {"target sleep=1500"});
        QProcess vexlo;
        vexlo.setProcessEnvironment(env);
        vexlo.start(QString::fromStdString(tp.programFolder() + "vexlo"), {"-S", "-0", QString::fromStdString(clip)});
        ASSERT_TRUE(vexlo.waitForStarted());
        int polls = 0;
        while (vexlo.state() == QProcess::Running && polls < 12) {
            const QString shown
                = run("xdotool", {"search", "--onlyvisible", "--pid", QString::number(vexlo.processId())});
            EXPECT_TRUE(shown.isEmpty()) << "mapped: " << shown.toStdString();
            ++polls;
            QTest::qWait(100);
        }
        EXPECT_GT(polls, 3) << "the run lasted long enough to be seen: " << vexlo.readAllStandardError().toStdString();
        // The polls above may already have seen it end.
        if (vexlo.state() != QProcess::NotRunning) {
            ASSERT_TRUE(vexlo.waitForFinished(30000));
        }
        EXPECT_EQ(vexlo.exitCode(), 0);
    }
}

} // namespace
} // namespace vexlo::test

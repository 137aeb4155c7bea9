// The run's progress window under the offscreen platform: shown for the
// whole run, the file (n of N) and its percentage, Cancel, "Stop after this
// file", the main window taking no input meanwhile, and its texts whole at
// larger fonts.
#include "AppTestSupport.h"
#include "app/RunProgressWindow.h"
#include "support/LayoutChecks.h"

#include <QPushButton>

namespace vexlo::test {
namespace {

using app::RunProgressWindow;

class RunProgressTest : public AppTest {
protected:
    static RunProgressWindow* progressWindow()
    {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* p = qobject_cast<RunProgressWindow*>(w); p && p->isVisible())
                return p;
        }
        return nullptr;
    }
};

TEST_F(RunProgressTest, OneWindowForTheWholeRunShowsTheFileAndItsPercentage)
{
    const std::string dir = folder("v");
    ini(kDirectRun);
    installEngine({"target sleep=100", "target percent=40 sleep=700", "target sleep=100"});
    auto w = open();
    for (const char* n : {"a", "b", "c"})
        test::addFile(*w, clip(dir + n + ".m2ts"));
    std::set<RunProgressWindow*> windows;
    QString title, count, percent, remaining;
    int bar = -1;
    QByteArray engineWindowWanted;
    QTimer probe;
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (RunProgressWindow* p = progressWindow())
            windows.insert(p);
        RunProgressWindow* p = progressWindow();
        if (!p || engineCalls().size() != 2 || p->lblPercent->text() != "40%" || !title.isEmpty())
            return;
        title = p->windowTitle();
        count = p->lblFileCount->text();
        percent = p->lblPercent->text();
        bar = p->ProgressBar1->value();
        engineWindowWanted = qgetenv("TREVOK_NO_WINDOW");
        saveScreenshot(p, "run-progress-window");
        waitFor([&] { return !p->lblRemaining->text().contains("--"); }, std::chrono::seconds(2));
        remaining = p->lblRemaining->text();
    });
    probe.start();
    w->btnConvertClick();
    probe.stop();
    EXPECT_EQ(windows.size(), 1u) << "one window for the three files";
    EXPECT_EQ(title, "Converting b.m2ts");
    EXPECT_EQ(count, "File 2 of 3");
    EXPECT_EQ(percent, "40%");
    EXPECT_EQ(bar, 40);
    EXPECT_TRUE(remaining.startsWith("Remaining: 00:00:0")) << remaining.toStdString();
    EXPECT_EQ(engineWindowWanted, "1") << "the engine shows no window of its own";
    EXPECT_EQ(progressWindow(), nullptr) << "closed at the run's end";
    EXPECT_FALSE(qEnvironmentVariableIsSet("TREVOK_NO_WINDOW"));
    EXPECT_EQ(panel0(*w), "Conversion completed!");

    // A silent run shows none.
    const std::string d = clip(dir + "d.m2ts");
    bool shown = false;
    QTimer silentProbe;
    silentProbe.setInterval(5);
    QObject::connect(&silentProbe, &QTimer::timeout, [&] { shown = shown || progressWindow(); });
    silentProbe.start();
    auto silent = open({"-S", "-0", d});
    ASSERT_TRUE(waitFor([&] { return finishedCount == 1; }, std::chrono::seconds(20)));
    EXPECT_FALSE(shown);
}

// Cancel, in either way, ends the run at once as the engine's own Cancel
// did: the engine is asked to end, its part file goes, the source stays.
TEST_F(RunProgressTest, CancelEndsTheRunAndKeepsTheSource)
{
    const std::string dir = folder("v");
    for (const bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox ? "close box" : "Cancel");
        ini(std::string(kDirectRun) + "DeleteSourceWhenDone=1\n");
        installEngine({"target sleep=20000", "target"});
        auto w = open();
        for (const char* n : {"a", "b"})
            test::addFile(*w, clip(dir + n + ".m2ts"));
        bool mainTookInput = false;
        whenEngineStarts(1, [&] {
            RunProgressWindow* p = progressWindow();
            ASSERT_NE(p, nullptr);
            // The main window takes no input meanwhile: a click on a row of
            // its list and a key there select nothing.
            QTreeWidget* list = test::fileListOf(*w);
            list->clearSelection();
            QTest::mouseClick(
                list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(1)).center());
            QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
            mainTookInput = !list->selectedItems().empty();
            if (closeBox)
                p->close();
            else
                QTest::mouseClick(p->btnCancel, Qt::LeftButton);
        });
        const auto started = std::chrono::steady_clock::now();
        w->btnConvertClick();
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5))
            << "the engine was not waited for";
        EXPECT_FALSE(mainTookInput);
        EXPECT_EQ(engineCalls().size(), 1u) << "no further file";
        EXPECT_EQ(panel0(*w), "Conversion aborted!");
        EXPECT_TRUE(fs::exists(dir + "a.m2ts"));
        EXPECT_FALSE(fs::exists(dir + "a.mp4"));
        EXPECT_FALSE(fs::exists(dir + ".a.part.mp4"));
        EXPECT_TRUE(tp.messages.shown.empty()) << "a cancelled file is no failure to tell";
        EXPECT_EQ(progressWindow(), nullptr);
    }
}

TEST_F(RunProgressTest, StopAfterThisFileKeepsItsResultAndEndsTheRun)
{
    const std::string dir = folder("v");
    ini(std::string(kDirectRun) + "DeleteSourceWhenDone=1\n");
    installEngine({"target sleep=600", "target", "target"});
    auto w = open();
    for (const char* n : {"a", "b", "c"})
        test::addFile(*w, clip(dir + n + ".m2ts"));
    QString pressed;
    whenEngineStarts(1, [&] {
        RunProgressWindow* p = progressWindow();
        ASSERT_NE(p, nullptr);
        QTest::mouseClick(p->btnStopAfter, Qt::LeftButton);
        pressed = p->btnStopAfter->text();
        EXPECT_TRUE(p->btnCancel->isEnabled()) << "Cancel stays at hand";
        saveScreenshot(p, "run-progress-stopping");
    });
    w->btnConvertClick();
    EXPECT_EQ(pressed, "Stopping after this file");
    EXPECT_EQ(engineCalls().size(), 1u);
    EXPECT_TRUE(fs::exists(dir + "a.mp4")) << "the file finished";
    EXPECT_TRUE(fs::exists(dir + "a.m2ts")) << "as after the engine's own stop, the source is kept";
    EXPECT_FALSE(fs::exists(dir + "b.mp4"));
    EXPECT_EQ(panel0(*w), "Conversion aborted!");
    EXPECT_TRUE(tp.messages.shown.empty());
}

TEST_F(RunProgressTest, TextsShowWholeAtLargerFonts)
{
    const QFont standard = QApplication::font();
    for (const double scale : {1.0, 1.5, 2.0}) {
        SCOPED_TRACE(scale);
        QFont font = standard;
        font.setPointSizeF(standard.pointSizeF() * scale);
        QApplication::setFont(font);
        QWidget mainWindow;
        RunProgressWindow p(&mainWindow);
        p.fileStarting(12, 345, "/v/" + std::string(80, 'x') + ".m2ts");
        p.engineTick(100);
        p.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&p));
        p.btnStopAfter->click();
        for (const std::string& fault : cutOffTexts(&p))
            ADD_FAILURE() << fault;
        EXPECT_LE(p.width(), 700 * scale) << "a long name does not widen the window";
        if (scale == 2.0)
            saveScreenshot(&p, "run-progress-font-2x");
    }
    QApplication::setFont(standard);
}

} // namespace
} // namespace vexlo::test

// The schedule through the window: Timer1 with an injected clock, the
// after-run actions, and a schedule that fires on an empty list or a missing
// file.
#include "AppTestSupport.h"
#include "support/MainWindowParts.h"

namespace vexlo::test {
namespace {

const QDateTime kDue(QDate(2024, 5, 1), QTime(22, 30, 12)); // a Wednesday

class ScheduleTest : public AppTest {
protected:
    void schedule(bool exitWhenDone, bool shutDown, const std::string& extra = {})
    {
        ini("[Options]\nScheduleConvert=1\nStartConvertingAt=" + settings::formatIniTime(QTime(22, 30))
            + "\nExitWhenDone=" + (exitWhenDone ? "1" : "0") + "\nShunDownWhenDone=" + (shutDown ? "1" : "0") + "\n"
            + extra);
    }
    std::unique_ptr<TMainForm> openAt(const QDateTime& now)
    {
        auto w = create();
        m_now = now;
        w->setClock([this] { return m_now; });
        w->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        return w;
    }
    QDateTime m_now;
};

TEST_F(ScheduleTest, AfterRunActions)
{
    struct Case {
        const char* name;
        bool exitWhenDone, shutDown;
        const char* engine;
        bool closes;
        int powerOffs;
    };
    const Case cases[] = {
        {"exit when done", true, false, "", true, 0},
        {"shut down when done", false, true, "", true, 1},
        {"aborted run does neither", true, true, "target flag=1", false, 0},
        {"no action chosen", false, false, "", false, 0},
    };
    const std::string dir = folder("s");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        schedule(c.exitWhenDone, c.shutDown);
        installEngine({c.engine});
        tp.power.powerOffCalls = 0;
        const int finishedBefore = finishedCount;
        auto w = openAt(kDue.addSecs(-60));
        test::addFile(*w, clip(dir + "a.m2ts"));
        EXPECT_TRUE(test::partOf<QTimer>(*w, "Timer1")->isActive());
        EXPECT_EQ(test::partOf<QTimer>(*w, "Timer1")->interval(), 60000);
        w->Timer1Timer(); // 22:29: not yet
        EXPECT_TRUE(engineCalls().empty());
        m_now = kDue;
        ModalAnswerer dialogs(false);
        w->Timer1Timer();
        EXPECT_EQ(engineCalls().size(), 1u);
        EXPECT_EQ(dialogs.seen, 0) << "a scheduled run shows no output dialog";
        deliverPostedEvents();
        EXPECT_EQ(finishedCount > finishedBefore, c.closes);
        EXPECT_EQ(w->isVisible(), !c.closes);
        EXPECT_EQ(tp.power.powerOffCalls, c.powerOffs);
        EXPECT_EQ(w->RunMode, RunMode::rmInteractive);
        // The same start minute never fires twice.
        if (!c.closes) {
            EXPECT_TRUE(test::partOf<QTimer>(*w, "Timer1")->isActive()) << "re-armed from the schedule after the run";
            w->Timer1Timer();
            EXPECT_EQ(engineCalls().size(), 1u);
        }
    }
}

TEST_F(ScheduleTest, ManualRunWithTheSameSettingsHasNoAfterRunAction)
{
    schedule(true, true, "DoNotShowConfirm=1\nConvertToMP3=1\n");
    installEngine();
    auto w = openAt(kDue.addSecs(-3600));
    test::addFile(*w, clip(folder("m") + "a.m2ts"));
    w->btnConvertClick();
    EXPECT_EQ(engineCalls().size(), 1u);
    deliverPostedEvents();
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(tp.power.powerOffCalls, 0);
}

TEST_F(ScheduleTest, EmptyListWhenItFiresOpensTheAddDialog)
{
    schedule(true, false);
    installEngine();
    auto w = openAt(kDue);
    w->Timer1Timer();
    EXPECT_EQ(tp.fileDialogs.openCalls.size(), 1u);
    EXPECT_FALSE(test::partOf<QTimer>(*w, "Timer1")->isActive());
    EXPECT_EQ(w->RunMode, RunMode::rmScheduled);
    EXPECT_TRUE(engineCalls().empty());

    // Files chosen the next time are converted at once, without the output dialog.
    tp.fileDialogs.nextOpenFiles.push_back(std::vector<std::string>{clip(folder("n") + "a.m2ts")});
    ModalAnswerer dialogs(false);
    w->btnConvertClick();
    EXPECT_EQ(engineCalls().size(), 1u);
    EXPECT_EQ(dialogs.seen, 0);
    EXPECT_TRUE(waitFor([&] { return finishedCount == 1; }, std::chrono::seconds(5))) << "ExitWhenDone";
}

TEST_F(ScheduleTest, MissingFileWhenItFiresThenTheNextConvertRunsScheduled)
{
    schedule(true, false);
    installEngine();
    const std::string dir = folder("x");
    auto w = openAt(kDue);
    test::addFile(*w, clip(dir + "a.m2ts"));
    fs::rename(dir + "a.m2ts", dir + "away.m2ts");
    w->Timer1Timer();
    ASSERT_EQ(tp.messages.shown.size(), 1u);
    EXPECT_EQ(tp.messages.shown[0].text, "File is not found!\r\n" + dir + "a.m2ts");
    EXPECT_FALSE(test::partOf<QTimer>(*w, "Timer1")->isActive());
    EXPECT_EQ(w->RunMode, RunMode::rmScheduled);
    EXPECT_TRUE(engineCalls().empty());

    fs::rename(dir + "away.m2ts", dir + "a.m2ts");
    ModalAnswerer dialogs(false);
    w->btnConvertClick();
    EXPECT_EQ(dialogs.seen, 0);
    EXPECT_EQ(engineCalls().size(), 1u);
    EXPECT_TRUE(waitFor([&] { return finishedCount == 1; }, std::chrono::seconds(5)));
}

TEST_F(ScheduleTest, RealTimerTickStartsTheRun)
{
    schedule(false, false);
    installEngine();
    auto w = openAt(kDue);
    test::addFile(*w, clip(folder("t") + "a.m2ts"));
    test::partOf<QTimer>(*w, "Timer1")->setInterval(30);
    test::partOf<QTimer>(*w, "Timer1")->start();
    int ticks = 0;
    QObject::connect(test::partOf<QTimer>(*w, "Timer1"), &QTimer::timeout, [&] { ++ticks; });
    EXPECT_TRUE(waitFor([&] { return engineCalls().size() == 1 && !w->Busy; }, std::chrono::seconds(10)));
    // Ticks within the same minute start nothing more.
    const int ticksAfterRun = ticks;
    test::partOf<QTimer>(*w, "Timer1")->setInterval(1);
    test::partOf<QTimer>(*w, "Timer1")->start();
    EXPECT_TRUE(waitFor([&] { return ticks >= ticksAfterRun + 3; }, std::chrono::seconds(10)));
    EXPECT_EQ(engineCalls().size(), 1u) << "not again within the same minute";
}

} // namespace
} // namespace vexlo::test

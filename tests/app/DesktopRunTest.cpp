// The desktop session around a run, through the window with the recording
// double: the computer is kept awake from the start to every kind of end (and
// released before a power-off), the taskbar follows the finished files, and a
// notification announces the end only when the window is not active and the
// run is not silent.
#include "AppTestSupport.h"
#include "support/MainWindowParts.h"
#include "app/VexloApplication.h"

#include <QWidget>

#include <csignal>

namespace vexlo::test {
namespace {

using Progress = std::vector<std::pair<double, bool>>;
const std::vector<std::string> kHeldOnce{"inhibit", "allow"};

class DesktopRunTest : public AppTest {
protected:
    platform::RecordingDesktopSession& session() { return tp.session; }

    // Another top-level window takes the focus, as when the user works in
    // another program.
    void lookElsewhere()
    {
        m_other = std::make_unique<QWidget>();
        m_other->resize(200, 100);
        m_other->show();
        m_other->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_other.get()));
    }

    // Samples whether the computer is kept awake while the engine runs.
    struct HeldProbe {
        explicit HeldProbe(platform::RecordingDesktopSession& s)
        {
            timer.setInterval(5);
            QObject::connect(&timer, &QTimer::timeout, [&s, this] {
                ++samples;
                if (!s.held)
                    ++unheld;
            });
            timer.start();
        }
        QTimer timer;
        int samples = 0;
        int unheld = 0;
    };

    std::unique_ptr<QWidget> m_other;
};

TEST_F(DesktopRunTest, HeldFromStartToEndAndTaskbarFollowsTheFinishedFiles)
{
    const std::string dir = folder("v");
    ini(kDirectRun);
    installEngine({"target sleep=150", "target sleep=150", "target sleep=150", "target", "target"});
    auto w = open();
    activate(*w);
    for (const char* n : {"a", "b", "c"})
        test::addFile(*w, clip(dir + n + ".m2ts"));
    {
        HeldProbe probe(session());
        w->btnConvertClick();
        EXPECT_GT(probe.samples, 20);
        EXPECT_EQ(probe.unheld, 0) << "the computer was allowed to sleep while a file converted";
    }
    EXPECT_EQ(panel0(*w), "Conversion completed!");
    EXPECT_FALSE(session().held);
    EXPECT_EQ(session().log, kHeldOnce) << "an active window gets no notification";
    EXPECT_EQ(session().progress, (Progress{{0.0, true}, {1.0 / 3, true}, {2.0 / 3, true}, {1.0, true}, {1.0, false}}));

    // The progress window gave the focus back when it closed.
    EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));

    // A second run holds anew, never two at once, and starts its bar at 0.
    session().progress.clear();
    select(*w, {0});
    w->btnRemoveFileClick();
    w->btnConvertClick();
    EXPECT_EQ(session().log, (std::vector<std::string>{"inhibit", "allow", "inhibit", "allow"}));
    EXPECT_EQ(session().doubleHolds, 0);
    EXPECT_EQ(session().progress, (Progress{{0.0, true}, {0.5, true}, {1.0, true}, {1.0, false}}));
}

TEST_F(DesktopRunTest, RequestsDuringARunHoldNothingTwice)
{
    const std::string dir = folder("v");
    ini(kDirectRun);
    installEngine({"target sleep=300", "", ""});
    auto w = open();
    test::addFile(*w, clip(dir + "a.m2ts"));
    test::addFile(*w, clip(dir + "b.m2ts"));
    whenEngineStarts(1, [&] {
        w->WMDropFiles({QString::fromStdString(clip(dir + "c.m2ts"))});
        w->btnConvertClick();
        QCoreApplication::postEvent(w.get(), new QEvent(app::WM_AUTOCONVERT));
    });
    w->btnConvertClick();
    deliverPostedEvents();
    EXPECT_EQ(session().doubleHolds, 0);
    EXPECT_EQ(session().log, kHeldOnce);
}

TEST_F(DesktopRunTest, EveryEndReleases)
{
    struct Case {
        const char* name;
        std::vector<std::string> engine;
        bool removeEngine;
        const char* panel;
    };
    const Case cases[] = {
        {"completed", {"target", "target"}, false, "Conversion completed!"},
        {"cancelled in the engine", {"target", "target flag=2"}, false, "Conversion aborted!"},
        {"stopped after a file", {"target flag=1"}, false, "Conversion aborted!"},
        {"engine crashed", {"target", "crash"}, false, "Conversion aborted!"},
        {"engine exits with an error", {"flag=2 exit=1"}, false, "Conversion aborted!"},
        {"unreadable AbortFlag", {"target flag=x7"}, false, "Conversion aborted!"},
        {"engine missing", {}, true, "Conversion aborted!"},
    };
    const std::string dir = folder("v");
    ini(kDirectRun);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string engine = installEngine(c.engine);
        if (c.removeEngine)
            fs::remove(engine);
        session().log.clear();
        auto w = open();
        test::addFile(*w, clip(dir + "a.m2ts"));
        test::addFile(*w, clip(dir + "b.m2ts"));
        try {
            w->btnConvertClick();
        } catch (...) {}
        EXPECT_EQ(panel0(*w).toStdString(), c.panel);
        EXPECT_FALSE(session().held);
        EXPECT_EQ(session().log, kHeldOnce);
        tp.messages.shown.clear();
    }
}

TEST_F(DesktopRunTest, NoBoxWaitsWhileTheComputerIsKeptAwake)
{
    // A box about a run that cannot go on, or about its files at the end, may
    // wait all night for its OK: the computer may sleep and the taskbar shows
    // no run while it waits.
    const std::string dir = folder("v");
    ini(kDirectRun);
    struct Case {
        const char* name;
        std::vector<std::string> engine;
    };
    for (const Case& c : {Case{"engine crashed", {"target", "crash"}}, Case{"no report", {"target noflag"}},
             Case{"a file failed its check", {"target=0", "target"}}}) {
        SCOPED_TRACE(c.name);
        installEngine(c.engine);
        session().log.clear();
        session().progress.clear();
        std::vector<bool> heldAtBox;
        std::vector<bool> progressShownAtBox;
        tp.messages.onShow = [&](const platform::ShownMessage&) {
            heldAtBox.push_back(session().held);
            progressShownAtBox.push_back(!session().progress.empty() && session().progress.back().second);
        };
        auto w = open();
        test::addFile(*w, clip(dir + "a.m2ts"));
        test::addFile(*w, clip(dir + "b.m2ts"));
        w->btnConvertClick();
        tp.messages.onShow = nullptr;
        ASSERT_EQ(heldAtBox.size(), 1u);
        EXPECT_FALSE(heldAtBox[0]) << "the inhibitor is released before the box";
        EXPECT_FALSE(progressShownAtBox[0]) << "the taskbar shows no run behind the box";
        EXPECT_EQ(session().log, kHeldOnce);
        tp.messages.shown.clear();
    }
}

TEST_F(DesktopRunTest, ClosingOrTerminatingDuringARunReleasesWhenTheLoopReturns)
{
    for (const bool bySignal : {false, true}) {
        SCOPED_TRACE(bySignal ? "SIGTERM" : "close box");
        const std::string dir = folder(bySignal ? "t" : "c");
        ini(kDirectRun);
        installEngine({"target sleep=500", "target sleep=100"});
        session().log.clear();
        lookElsewhere();
        auto w = open();
        if (bySignal)
            app::closeOnTerminationSignals(w.get());
        test::addFile(*w, clip(dir + "a.m2ts"));
        test::addFile(*w, clip(dir + "b.m2ts"));
        bool heldAfterClose = false;
        whenEngineStarts(1, [&] {
            if (bySignal) {
                ::raise(SIGTERM);
                QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 2000);
            } else {
                w->close();
            }
            heldAfterClose = session().held;
        });
        const int before = finishedCount;
        w->btnConvertClick();
        ASSERT_TRUE(waitFor([&] { return finishedCount > before; }));
        EXPECT_TRUE(heldAfterClose) << "the engine was still converting";
        EXPECT_FALSE(session().held);
        EXPECT_EQ(session().log, kHeldOnce) << "the user ended the run: nothing to announce";
        EXPECT_TRUE(session().progress.empty() || !session().progress.back().second);
    }
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(s, &plain, nullptr);
}

TEST_F(DesktopRunTest, ReleasedBeforeThePowerOff)
{
    ini("[Options]\nShunDownWhenDone=1\n");
    installEngine({"target"});
    bool heldAtPowerOff = true;
    std::vector<std::string> logAtPowerOff;
    tp.power.onPowerOff = [&] {
        heldAtPowerOff = session().held;
        logAtPowerOff = session().log;
    };
    auto w = open();
    test::addFile(*w, clip(folder("v") + "a.m2ts"));
    w->ScheduleSettings.ShunDownWhenDone = true;
    w->RunMode = RunMode::rmScheduled;
    w->btnConvertClick();
    ASSERT_EQ(tp.power.powerOffCalls, 1);
    EXPECT_FALSE(heldAtPowerOff);
    EXPECT_EQ(logAtPowerOff, kHeldOnce);
}

TEST_F(DesktopRunTest, NotificationOnlyForAnInactiveWindowAndANonSilentRun)
{
    struct Case {
        const char* name;
        bool lookAway;                      // another window is active
        std::vector<std::string> arguments; // empty: an interactive run
        std::string settings;
        std::vector<std::string> engine;
        std::string title; // empty: no notification
        std::string body;
    };
    const std::string dir = folder("v");
    const std::string out = folder("out");
    const std::string a = clip(dir + "a.m2ts"), b = clip(dir + "b.m2ts"), c = clip(dir + "c.m2ts");
    const std::string sameFolder = kDirectRun;
    const std::string toOut
        = "[Options]\nDoNotShowConfirm=1\nConvertToMP3=1\nConvertToSamePath=0\nDestPath=" + out + "\n";
    const Case cases[] = {
        {"completed, looking elsewhere", true, {}, sameFolder, {}, "Conversion completed!", "3 of 3 files converted"},
        {"with a destination folder", true, {}, toOut, {}, "Conversion completed!", "3 of 3 files converted\n" + out},
        {"aborted at the second file", true, {}, sameFolder, {"target", "target flag=2"}, "Conversion aborted!",
            "1 of 3 files converted"},
        {"stopped after the second file", true, {}, sameFolder, {"target", "target flag=1"}, "Conversion aborted!",
            "2 of 3 files converted"},
        {"window active", false, {}, sameFolder, {}, "", ""},
        {"command line to a folder", true, {"-0", "-" + out, a, b, c}, "", {}, "Conversion completed!",
            "3 of 3 files converted\n" + out},
        {"silent command line", true, {"-S", "-0", a, b, c}, "", {}, "", ""},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        ini(k.settings);
        installEngine(k.engine);
        session().notifications.clear();
        session().log.clear();
        session().progress.clear();
        std::unique_ptr<TMainForm> w;
        if (k.arguments.empty()) {
            w = open();
            if (k.lookAway)
                lookElsewhere();
            else
                activate(*w);
            for (const std::string& f : {a, b, c})
                test::addFile(*w, f);
            w->btnConvertClick();
        } else {
            // Never shown, so never the active window; the request that
            // showing would post is posted here.
            w = create(k.arguments);
            QCoreApplication::postEvent(w.get(), new QEvent(app::WM_AUTOCONVERT));
            ASSERT_TRUE(waitFor([&] { return !session().log.empty() && !session().held; }));
        }
        if (k.title.empty()) {
            EXPECT_TRUE(session().notifications.empty());
        } else {
            ASSERT_EQ(session().notifications.size(), 1u);
            const platform::DesktopNotification& n = session().notifications[0];
            EXPECT_EQ(n.title, k.title);
            EXPECT_EQ(n.body, k.body);
            EXPECT_FALSE(n.icon.isNull()) << "the program icon";
            EXPECT_GE(n.icon.width(), 32);
        }
        EXPECT_EQ(w->Silent, session().progress.empty()) << "a silent run has no taskbar button to fill";
        m_other.reset();
    }
}

} // namespace
} // namespace vexlo::test

// The process launcher where no application object exists: a plain blocking
// wait. (With an application object, ConversionJobTest.cpp runs it.)
#include "FakeEngine.h"

#include "platform/ProcessLauncher.h"
#include "support/TestDoubles.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace vexlo;

namespace {

class Launcher : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(QCoreApplication::instance(), nullptr);
        engine = test::installFakeEngine(tp);
    }
    platform::ProcessResult launch(const std::vector<std::string>& args)
    {
        return platform::qtProcessLauncher()->runAndWait(engine, args, [this] { ++ticks; });
    }
    platform::TestPlatform tp;
    std::string engine;
    int ticks = 0;
};

TEST_F(Launcher, PassesTheArgumentVectorUntouched)
{
    const std::vector<std::string> args
        = {"a b", "", "\"q\" 'x'", "$(touch " + tp.root() + "shell)", "*", "\xff\x80", "semi;colon|bar"};
    const auto r = launch(args);
    EXPECT_TRUE(r.started);
    EXPECT_TRUE(r.normalExit);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(ticks, 1);
    const auto calls = test::fakeEngineCalls(tp);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], args);
    EXPECT_FALSE(std::filesystem::exists(tp.root() + "shell"));
}

TEST_F(Launcher, ReportsHowTheProcessEnded)
{
    test::setFakeEngineScript(tp, {"exit=3", "crash", "kill"});
    const auto exited = launch({"x"});
    EXPECT_TRUE(exited.started && exited.normalExit);
    EXPECT_EQ(exited.exitCode, 3);
    for (int i = 0; i < 2; ++i) {
        const auto died = launch({"x"});
        EXPECT_TRUE(died.started);
        EXPECT_FALSE(died.normalExit);
    }
}

TEST_F(Launcher, KeepsTheEndOfTheStandardErrorAndPassesItOn)
{
    // 300 lines of 20 bytes: more than the tail kept, more than one read.
    std::string words;
    for (int i = 0; i < 300; ++i)
        words += "say=line_" + std::to_string(1000 + i) + "_of_300 ";
    test::setFakeEngineScript(tp, {words + "say=could_not_read_x exit=2"});
    ::fflush(stderr);
    testing::internal::CaptureStderr();
    const auto r = launch({"x"});
    const std::string passedOn = testing::internal::GetCapturedStderr();
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.errorOutput.size(), platform::ProcessResult::kErrorOutputTail);
    EXPECT_TRUE(r.errorOutput.ends_with("line 1299 of 300\ntrevok: could not read x\n")) << r.errorOutput;
    EXPECT_NE(passedOn.find("trevok: line 1000 of 300\n"), std::string::npos);
    EXPECT_TRUE(passedOn.ends_with(r.errorOutput));
}

// The run checks and keeps the last result while the next engine runs: that
// work must happen while the program runs, and when it fails the program
// must end before the failure goes on (no engine left converting unwatched).
TEST_F(Launcher, WorkBesideTheProgramRunsWhileItRuns)
{
    using Clock = std::chrono::steady_clock;
    const std::string go = tp.root() + "go";
    const std::string request = tp.root() + "a.mts|" + tp.root() + "a.mp4";
    // The program waits (at most a minute) for the file that the work beside
    // it writes.
    test::setFakeEngineScript(tp, {"waitfor=go say=went", "sleep=60000"});
    int beside = 0;
    auto start = Clock::now();
    const auto r
        = platform::qtProcessLauncher()->runAndWait(engine, {request}, {}, [&] { ++beside, test::writeFile(go, "1"); });
    EXPECT_EQ(beside, 1);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));

    start = Clock::now();
    EXPECT_THROW(platform::qtProcessLauncher()->runAndWait(
                     engine, {request}, {}, [] { throw std::runtime_error("the last result's check failed"); }),
        std::runtime_error);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));
}

TEST_F(Launcher, ReportsAProgramThatCannotStart)
{
    for (const std::string& program :
        {tp.root() + "missing", tp.root(), std::string("vexlo-no-such-program"), tp.root() + "\xff-missing"}) {
        const auto r = platform::qtProcessLauncher()->runAndWait(program, {"x"}, {});
        EXPECT_FALSE(r.started) << program;
        EXPECT_FALSE(r.error.empty());
    }
    // Not executable.
    test::writeFile(tp.root() + "plain", "data");
    EXPECT_FALSE(platform::qtProcessLauncher()->runAndWait(tp.root() + "plain", {}, {}).started);
}

} // namespace

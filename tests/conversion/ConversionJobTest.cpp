// The batch loop: target names, the engine argument, the AbortFlag, and whole
// runs through the real launcher and the scripted fake engine.
#include "FakeEngine.h"
#include "FakeHost.h"

#include "conversion/ConversionJob.h"
#include "support/TestDoubles.h"
#include "support/TestSupport.h"

#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>

using namespace vexlo;
using conversion::ConversionJob;
using conversion::JobResult;
using platform::MessageAnswer;
using platform::MessageButtons;
using platform::MessageIcon;

namespace {

bool exists(const std::string& path) { return std::filesystem::exists(path); }

// ---------------------------------------------------------------------------
// Target names

struct TargetCase {
    std::string source;
    bool samePath;
    std::string dest;
    std::string fileType;
    std::string expected;
};

TEST(TargetFileName, FollowsTheNamingRule)
{
    const TargetCase cases[] = {
        {"/v/a.m2ts", true, "", ".mp4", "/v/a.mp4"},
        {"/v/clip.mp4", true, "", ".mp4", "/v/clip_New.mp4"},
        {"/V/CLIP.MP4", true, "", ".mp4", "/V/CLIP_New.mp4"},
        {"/v/clip", true, "", ".mp4", "/v/clip.mp4"},
        {"/v/a.m2ts", false, "/out/", ".mp4", "/out/a.mp4"},
        {"/v/a.m2ts", false, "/out", ".mp4", "/out/a.mp4"},
        {"/v/a.mp4", false, "/v/", ".mp4", "/v/a_New.mp4"},
        {"/v/A.MP4", false, "/v/", ".mp4", "/v/A_New.mp4"},
        {"/v.d/clip", true, "", ".avi", "/v.d/clip.avi"},
        {"/v/a.b.m2ts", true, "", ".avi", "/v/a.b.avi"},
        {"/v/c:d.mts", false, "/o:x/", ".3gp", "/o:x/c:d.3gp"},
        {"/v/\xc3\xa4/a.mp4", false, "/v/\xc3\x84/", ".mp4", "/v/\xc3\x84/a.mp4"}, // only ASCII folds
        {"/v/a.m2ts", true, "", "", "/v/a"},
    };
    for (const auto& c : cases) {
        settings::RunSettings rs;
        rs.ConvertToSamePath = c.samePath;
        rs.DestPath = c.dest;
        rs.FileType = c.fileType;
        EXPECT_EQ(conversion::targetFileName(c.source, rs), c.expected) << c.source << " -> " << c.dest;
    }
}

// ---------------------------------------------------------------------------
// The engine argument

TEST(EngineArgument, DefaultsGiveTheDocumentedText)
{
    const settings::RunSettings rs;
    EXPECT_EQ(conversion::buildEngineArgument("/v/a.m2ts", conversion::targetFileName("/v/a.m2ts", rs), rs, 'N'),
        "/v/a.m2ts|/v/a.mp4||320|240|512|0|2|128|44100|ACC|0|N");
}

TEST(EngineArgument, PlacesEveryField)
{
    settings::RunSettings rs;
    rs.VideoFormat = "h264";
    rs.FrameWidth = -1;
    rs.FrameHeight = 1080;
    rs.VideoBitrate = 4000;
    rs.FrameRate = "29.976";
    rs.ChannelCount = 0;
    rs.AudioBitrate = 192;
    rs.SampleRate = 48000;
    rs.AudioFormat = "aac";
    rs.IsPSP = 1;
    EXPECT_EQ(conversion::buildEngineArgument("/s \"x\".mts", "/t.mp4", rs, 'S'),
        "/s \"x\".mts|/t.mp4|h264|-1|1080|4000|29.976|0|192|48000|aac|1|S");
}

// ---------------------------------------------------------------------------
// ReadAbortFlag

TEST(ReadAbortFlag, ReadsDecimalTextAndRefusesTheRest)
{
    platform::TestPlatform tp;
    auto& reg = *tp.registry;
    EXPECT_EQ(conversion::ReadAbortFlag(reg), 0) << "missing key";
    EXPECT_TRUE(reg.keyExists(platform::Hive::CurrentUser, platform::kAbortFlagKey)) << "reading creates the key";

    const std::pair<std::string, std::optional<int32_t>> cases[] = {
        {"", 0},
        {"0", 0},
        {"1", 1},
        {"2", 2},
        {"3", 3},
        {"-1", -1},
        {"+5", 5},
        {"007", 7},
        {" 2\n", 2},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", std::nullopt},
        {"abc", std::nullopt},
        {"1x", std::nullopt},
        {"0x10", std::nullopt},
        {"$1F", std::nullopt},
        {"-", std::nullopt},
        {"+-1", std::nullopt},
        {"1 2", std::nullopt},
        {std::string("1\0", 2), std::nullopt},
        {"\xff\xfe", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        ASSERT_TRUE(reg.writeValue(platform::Hive::CurrentUser, platform::kAbortFlagKey, "", text));
        EXPECT_EQ(conversion::ReadAbortFlag(reg), expected) << "'" << text << "'";
    }
}

// ---------------------------------------------------------------------------
// Finding the engine

TEST(FindEngine, ProgramFolderFirstThenPath)
{
    platform::TestPlatform tp;
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    const std::string onPath = tp.root() + "path-bin/";
    test::writeFile(onPath + "trevok", "#!/bin/false\n");
    std::filesystem::permissions(onPath + "trevok", std::filesystem::perms::owner_all);
    ::setenv("PATH", (tp.root() + "empty:" + onPath).c_str(), 1);

    EXPECT_EQ(conversion::findEngine(), onPath + "trevok");
    test::installFakeEngine(tp);
    EXPECT_EQ(conversion::findEngine(), tp.programFolder() + "trevok");
    ::setenv("PATH", (tp.root() + "empty").c_str(), 1);
    std::filesystem::remove(tp.programFolder() + "trevok");
    EXPECT_EQ(conversion::findEngine(), "trevok");
    ::setenv("PATH", oldPath.c_str(), 1);
}

// ---------------------------------------------------------------------------
// Whole runs

class ConversionRun : public ::testing::Test {
protected:
    void SetUp() override { test::installFakeEngine(tp); }

    // Sources <root>src/f1.m2ts ... fN.m2ts with some bytes.
    void addSources(int count)
    {
        for (int i = 1; i <= count; ++i) {
            const std::string path = tp.root() + "src/f" + std::to_string(i) + ".m2ts";
            test::writeFile(path, "source bytes");
            host.rows.push_back(path);
        }
    }
    std::string targetOf(int row) const { return conversion::targetFileName(host.rows.at(row), rs); }
    JobResult run(char marker = 'N')
    {
        ConversionJob job(host, host.installedServices(), rs, marker);
        return job.run();
    }
    size_t engineCalls() const { return test::fakeEngineCalls(tp).size(); }
    void script(const std::vector<std::string>& lines) { test::setFakeEngineScript(tp, lines); }

    platform::TestPlatform tp;
    test::FakeHost host;
    settings::RunSettings rs;
};

TEST_F(ConversionRun, HandsTheEngineOneArgumentPerFile)
{
    host.rows = {"/v/a.m2ts", "/v/b c \"q\".mts"};
    const JobResult r = run();
    EXPECT_TRUE(r.completed);
    EXPECT_FALSE(r.error);
    const auto calls = test::fakeEngineCalls(tp);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], std::vector<std::string>{"/v/a.m2ts|/v/a.mp4||320|240|512|0|2|128|44100|ACC|0|N"});
    EXPECT_EQ(
        calls[1], std::vector<std::string>{"/v/b c \"q\".mts|/v/b c \"q\".mp4||320|240|512|0|2|128|44100|ACC|0|N"});
    EXPECT_EQ(host.pendingEventRounds, 2) << "once per file, before the launch";
    EXPECT_TRUE(tp.messages.shown.empty());
}

TEST_F(ConversionRun, SilentMarkerAndDestinationFolder)
{
    rs.ConvertToSamePath = false;
    rs.DestPath = tp.root() + "out/";
    addSources(1);
    EXPECT_TRUE(run('S').completed);
    const auto calls = test::fakeEngineCalls(tp);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0][0], host.rows[0] + "|" + tp.root() + "out/f1.mp4||320|240|512|0|2|128|44100|ACC|0|S");
}

TEST_F(ConversionRun, NamesThatAreNotUtf8ReachTheEngineUnchanged)
{
    const std::string odd = tp.root() + "src/\xff\xfe clip\x80.m2ts";
    test::writeFile(odd, "x");
    host.rows = {odd};
    EXPECT_TRUE(run().completed);
    const auto calls = test::fakeEngineCalls(tp);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0][0], conversion::buildEngineArgument(odd, targetOf(0), rs, 'N'));
    EXPECT_TRUE(exists(targetOf(0)));
    // The temporary folder's own clean-up cannot name these files.
    std::filesystem::remove(odd);
    std::filesystem::remove(targetOf(0));
}

TEST_F(ConversionRun, OpticalDestinationIsRefusedBeforeAnyLaunch)
{
    rs.ConvertToSamePath = false;
    rs.DestPath = tp.root() + "cdrom/out/";
    tp.mountInfo = "20 1 8:1 / / rw,relatime - ext4 /dev/sda1 rw\n"
                   "40 20 11:0 / "
        + tp.root() + "cdrom ro,relatime - iso9660 /dev/sr0 ro\n";
    addSources(2);
    const JobResult r = run();
    EXPECT_FALSE(r.completed);
    EXPECT_EQ(engineCalls(), 0u);
    ASSERT_EQ(tp.messages.shown.size(), 1u);
    const auto& m = tp.messages.shown[0];
    EXPECT_EQ(m.title, "Invalid Output Folder");
    EXPECT_EQ(m.text,
        "Output folder is CD-ROM and read only!\r\n\r\n  " + tp.root()
            + "cdrom/out/\r\n\r\nPlease click \"Options\" button to specify a valid "
              "output folder first.");
    EXPECT_EQ(m.icon, MessageIcon::Error);
    EXPECT_EQ(m.buttons, MessageButtons::Ok);
}

TEST_F(ConversionRun, OverwriteQuestionAtTheThirdOfFive)
{
    for (const MessageAnswer answer : {MessageAnswer::No, MessageAnswer::Yes}) {
        SCOPED_TRACE(answer == MessageAnswer::No ? "No" : "Yes");
        test::installFakeEngine(tp);
        tp.messages.shown.clear();
        host.rows.clear();
        rs.PromptOverwrite = true;
        addSources(5);
        for (int i = 0; i < 5; ++i)
            std::filesystem::remove(targetOf(i));
        test::writeFile(targetOf(2), "old");
        script({"flag=0", "flag=0", "flag=0", "flag=0", "flag=0"}); // the engine writes no target
        tp.messages.nextAnswers = {answer};

        const JobResult r = run();
        ASSERT_EQ(tp.messages.shown.size(), 1u);
        EXPECT_EQ(tp.messages.shown[0].title, "Overwrite");
        EXPECT_EQ(tp.messages.shown[0].text,
            "Target file already existing!\r\n  '" + targetOf(2) + "'\r\n\r\n do you want to overwrite?");
        EXPECT_EQ(tp.messages.shown[0].icon, MessageIcon::Question);
        EXPECT_EQ(tp.messages.shown[0].buttons, MessageButtons::YesNo);
        EXPECT_EQ(r.completed, answer == MessageAnswer::Yes);
        EXPECT_EQ(engineCalls(), answer == MessageAnswer::Yes ? 5u : 2u);
    }
}

TEST_F(ConversionRun, ExistingTargetWithoutPromptGoesToTheEngine)
{
    addSources(2);
    test::writeFile(targetOf(0), "old");
    EXPECT_TRUE(run().completed);
    EXPECT_EQ(engineCalls(), 2u);
    EXPECT_TRUE(tp.messages.shown.empty());
    EXPECT_TRUE(exists(host.rows[0]) && exists(host.rows[1])) << "sources stay without the preference";
}

struct FlagCase {
    const char* name;
    std::string secondCall; // script of the second of five files
    bool delWhenCanceled;
    size_t calls;
    bool completed;
    bool secondTargetKept;
};

TEST_F(ConversionRun, AbortFlagDecidesAfterEachFile)
{
    const FlagCase cases[] = {
        {"3 stops, completed", "target flag=3", false, 2, true, true},
        {"7 stops, completed", "target flag=7", true, 2, true, true},
        {"-1 goes on", "target flag=-1", false, 5, true, true},
        {"empty goes on", "target flag=", false, 5, true, true},
        {"1 stops, aborted", "target flag=1", true, 2, false, true},
        {"2 keeps the target", "target flag=2", false, 2, false, true},
        {"2 deletes the target", "target flag=2", true, 2, false, false},
        {"not a number fails the file", "target flag=abc", true, 2, false, false},
        {"a non-zero exit status fails the file", "target flag=0 exit=3", true, 2, false, false},
        {"a non-zero exit status keeps the target", "target flag=0 exit=1", false, 2, false, true},
        {"an engine that reports nothing leaves the earlier 0 stale", "target noflag", true, 2, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::installFakeEngine(tp);
        host.rows.clear();
        addSources(5);
        rs.DelFileWhenCanceled = c.delWhenCanceled;
        rs.DeleteSourceWhenDone = true;
        script({"", c.secondCall});

        const JobResult r = run();
        EXPECT_EQ(engineCalls(), c.calls);
        EXPECT_EQ(r.completed, c.completed);
        EXPECT_EQ(exists(targetOf(1)), c.secondTargetKept);
        EXPECT_FALSE(exists(host.rows[0])) << "the first source was converted";
        const bool secondGoesOn = c.calls == 5;
        EXPECT_EQ(exists(host.rows[1]), !secondGoesOn) << "the second source";
        EXPECT_EQ(r.error.has_value(), c.secondCall == "target flag=abc");
        if (r.error) {
            EXPECT_EQ(*r.error, "'abc' is not a valid integer value");
        }
    }
}

TEST_F(ConversionRun, FailuresWithoutTheEnginesOwnReportAreToldAndKeepTheSource)
{
    const std::pair<std::string, std::string> cases[] = {
        {"target noflag", "ended without reporting its result"},
        {"target flag=0 exit=3", "failed with exit status 3"},
        {"target crash", "stopped unexpectedly"},
    };
    for (const auto& [how, told] : cases) {
        SCOPED_TRACE(how);
        test::installFakeEngine(tp);
        tp.messages.shown.clear();
        host.rows.clear();
        addSources(2);
        rs.DeleteSourceWhenDone = true;
        script({how});
        EXPECT_FALSE(run().completed);
        EXPECT_EQ(engineCalls(), 1u);
        EXPECT_TRUE(exists(host.rows[0]));
        ASSERT_EQ(tp.messages.shown.size(), 1u);
        EXPECT_NE(tp.messages.shown[0].text.find(told), std::string::npos) << tp.messages.shown[0].text;
        EXPECT_NE(tp.messages.shown[0].text.find(host.rows[0]), std::string::npos);
    }
    // The engine's own failure report (2 with status 2) is not told again.
    test::installFakeEngine(tp);
    tp.messages.shown.clear();
    script({"flag=2 exit=2"});
    EXPECT_FALSE(run().completed);
    EXPECT_TRUE(tp.messages.shown.empty());
}

TEST_F(ConversionRun, NothingIsDeletedThatThisEngineRunDidNotWrite)
{
    rs.DeleteSourceWhenDone = true;
    rs.DelFileWhenCanceled = true;
    addSources(1);
    const std::string older = targetOf(0);
    test::writeFile(older, "an earlier, complete conversion");

    // The engine refuses before writing (the source went away meanwhile): the
    // older conversion may be the only copy left.
    script({"flag=2 exit=2"});
    EXPECT_FALSE(run().completed);
    EXPECT_EQ(test::readFile(older), "an earlier, complete conversion");

    // The engine says "done" but wrote nothing: the source stays.
    test::installFakeEngine(tp);
    script({"flag=0"});
    EXPECT_TRUE(run().completed);
    EXPECT_TRUE(exists(host.rows[0]));
    EXPECT_EQ(test::readFile(older), "an earlier, complete conversion");

    // Rewritten by this run (same size, same inode, new time): a cancel
    // deletes it, a success lets the source go.
    test::installFakeEngine(tp);
    script({"target=31 flag=2 exit=2"});
    EXPECT_FALSE(run().completed);
    EXPECT_FALSE(exists(older));
    test::installFakeEngine(tp);
    script({"target flag=0"});
    EXPECT_TRUE(run().completed);
    EXPECT_FALSE(exists(host.rows[0]));
}

namespace {
// A registry whose AbortFlag cannot be removed (a folder the user cannot
// write): every other call goes to the real one.
class StuckFlagRegistry : public platform::Registry {
public:
    explicit StuckFlagRegistry(platform::Registry& real) : m_real(real) {}
    bool keyExists(platform::Hive h, std::string_view k) const override { return m_real.keyExists(h, k); }
    std::optional<std::string> readValue(platform::Hive h, std::string_view k, std::string_view n) const override
    {
        return m_real.readValue(h, k, n);
    }
    bool createKey(platform::Hive h, std::string_view k) override { return m_real.createKey(h, k); }
    bool writeValue(platform::Hive h, std::string_view k, std::string_view n, std::string_view t) override
    {
        return m_real.writeValue(h, k, n, t);
    }
    bool deleteValue(platform::Hive, std::string_view, std::string_view) override { return false; }

private:
    platform::Registry& m_real;
};
} // namespace

TEST_F(ConversionRun, AFlagThatCannotBeResetStopsBeforeTheEngine)
{
    rs.DeleteSourceWhenDone = true;
    addSources(2);
    tp.registry->writeValue(platform::Hive::CurrentUser, platform::kAbortFlagKey, "", "0");
    StuckFlagRegistry stuck(*tp.registry);
    platform::Services s = platform::services();
    s.registry = &stuck;
    const platform::Services previous = platform::installServices(s);
    const JobResult r = run();
    platform::installServices(previous);
    EXPECT_FALSE(r.completed);
    EXPECT_EQ(engineCalls(), 0u);
    EXPECT_TRUE(exists(host.rows[0]) && exists(host.rows[1]));
    ASSERT_EQ(tp.messages.shown.size(), 1u);
    EXPECT_NE(tp.messages.shown[0].text.find("cannot be reset"), std::string::npos);
}

TEST_F(ConversionRun, AStopRequestCancelsTheRunningEngineAndStartsNoOther)
{
    rs.DeleteSourceWhenDone = true;
    rs.DelFileWhenCanceled = true;
    addSources(3);
    script({"target sleep=20000"});
    bool stop = false;
    host.stopWhen = [&] { return stop; };
    host.onWaitTick = [&] { stop = host.waitTicks >= 2; };
    const auto started = std::chrono::steady_clock::now();
    const JobResult r = run();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15))
        << "the engine was asked to end, not waited for";
    EXPECT_FALSE(r.completed);
    EXPECT_EQ(engineCalls(), 1u);
    EXPECT_FALSE(exists(targetOf(0))) << "the cancelled file's unfinished target";
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(exists(host.rows[i]));
    EXPECT_TRUE(tp.messages.shown.empty()) << "a requested stop is no failure to report";
}

TEST_F(ConversionRun, SourceIsDeletedOnlyWhenATargetWasMade)
{
    rs.DeleteSourceWhenDone = true;
    addSources(4);
    script({"target", "target=0", "flag=0", "target=1"});
    EXPECT_TRUE(run().completed);
    EXPECT_FALSE(exists(host.rows[0]));
    EXPECT_TRUE(exists(host.rows[1])) << "empty target";
    EXPECT_TRUE(exists(host.rows[2])) << "no target";
    EXPECT_FALSE(exists(host.rows[3]));
}

TEST_F(ConversionRun, EngineThatCannotStartEndsTheRunAndDeletesNothing)
{
    rs.DeleteSourceWhenDone = true;
    rs.DelFileWhenCanceled = true;
    addSources(3);
    test::writeFile(targetOf(0), "earlier result");
    // A stale go-on value must not make the run look converted.
    tp.registry->writeValue(platform::Hive::CurrentUser, platform::kAbortFlagKey, "", "0");
    const std::string missing = tp.programFolder() + "no-such-engine";
    ConversionJob job(host, host.installedServices(), rs, 'N', missing);
    const JobResult r = job.run();
    EXPECT_FALSE(r.completed);
    ASSERT_EQ(tp.messages.shown.size(), 1u);
    EXPECT_EQ(tp.messages.shown[0].text, "The conversion engine could not be started:\r\n" + missing);
    EXPECT_EQ(tp.messages.shown[0].icon, MessageIcon::Error);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(exists(host.rows[i]));
    EXPECT_TRUE(exists(targetOf(0)));
}

TEST_F(ConversionRun, AbnormalEngineEndIsACancelledFile)
{
    for (const std::string how : {"target crash", "target kill", "target flag=0 crash"}) {
        for (const bool del : {false, true}) {
            SCOPED_TRACE(how + (del ? " delete" : " keep"));
            test::installFakeEngine(tp);
            host.rows.clear();
            addSources(3);
            rs.DeleteSourceWhenDone = true;
            rs.DelFileWhenCanceled = del;
            script({"", how});
            const JobResult r = run();
            EXPECT_FALSE(r.completed);
            EXPECT_EQ(engineCalls(), 2u);
            EXPECT_EQ(exists(targetOf(1)), !del);
            EXPECT_TRUE(exists(host.rows[1])) << "source of the crashed file";
            EXPECT_TRUE(exists(host.rows[2]));
            EXPECT_FALSE(exists(host.rows[0]));
        }
    }
}

TEST_F(ConversionRun, BarInANameIsRefusedBeforeLaunch)
{
    const std::string barred = tp.root() + "src/a|b.m2ts";
    test::writeFile(barred, "x");
    addSources(1);
    host.rows.push_back(barred);
    host.rows.push_back(host.rows[0]);
    const JobResult r = run();
    EXPECT_FALSE(r.completed);
    EXPECT_EQ(engineCalls(), 1u);
    ASSERT_EQ(tp.messages.shown.size(), 1u);
    EXPECT_EQ(tp.messages.shown[0].text,
        "'" + barred
            + "'\r\n\r\nThis file name contains \"|\", which the conversion engine "
              "cannot accept. Rename the file and convert it again.");
    EXPECT_EQ(tp.messages.shown[0].icon, MessageIcon::Error);

    // A destination folder with "|" gives such a target.
    test::installFakeEngine(tp);
    tp.messages.shown.clear();
    rs.ConvertToSamePath = false;
    rs.DestPath = tp.root() + "o|ut/";
    host.rows.resize(1);
    EXPECT_FALSE(run().completed);
    EXPECT_EQ(engineCalls(), 0u);
    ASSERT_EQ(tp.messages.shown.size(), 1u);
    EXPECT_EQ(tp.messages.shown[0].text.substr(0, tp.root().size() + 2), "'" + tp.root() + "o");
}

TEST_F(ConversionRun, ErrorInTheLoopStillEndsTheRun)
{
    addSources(3);
    host.failAtRow = 1;
    const JobResult r = run();
    ASSERT_TRUE(r.error);
    EXPECT_EQ(*r.error, "row 1 cannot be read");
    EXPECT_TRUE(r.completed) << "the AbortFlag of the first file said go on";
    EXPECT_EQ(engineCalls(), 1u);

    test::installFakeEngine(tp);
    script({"target flag=1"});
    EXPECT_FALSE(run().completed);
}

TEST_F(ConversionRun, WindowKeepsPaintingWhileTheEngineRuns)
{
    addSources(1);
    script({"target sleep=400 flag=0"});
    bool timerFired = false;
    QTimer::singleShot(50, [&] { timerFired = true; });
    EXPECT_TRUE(run().completed);
    EXPECT_TRUE(timerFired) << "the event loop runs during the wait";
    EXPECT_GE(host.waitTicks, 3);
}

TEST_F(ConversionRun, ErrorWhileWaitingWaitsForTheEngineFirst)
{
    rs.DeleteSourceWhenDone = true;
    addSources(2);
    script({"sleep=300 target flag=0"});
    host.onWaitTick = [] { throw std::runtime_error("painting failed"); };
    const JobResult r = run();
    ASSERT_TRUE(r.error);
    EXPECT_EQ(*r.error, "painting failed");
    EXPECT_EQ(host.waitTicks, 1) << "no further ticks once one failed";
    EXPECT_TRUE(exists(targetOf(0))) << "the engine ran to its end";
    EXPECT_EQ(engineCalls(), 1u);
    EXPECT_TRUE(exists(host.rows[0]));
}

TEST_F(ConversionRun, ProgressTextsOfTwoRuns)
{
    auto& shown = host.display.panel;
    std::vector<std::string> captionsWhileConverting;
    host.onPendingEvents = [&] { captionsWhileConverting.push_back(host.display.caption); };

    addSources(3);
    host.progress().SetPosition(0); // as the busy switch does
    EXPECT_TRUE(run().completed);
    host.progress().SetPosition(0); // back to idle
    EXPECT_EQ(shown,
        (std::vector<std::string>{"Converting... (0/0)", "Converting... (1/3 Finished)", "Converting... (2/3 Finished)",
            "Converting... (3/3 Finished)", "Converting... (3/3)"}));
    ASSERT_EQ(captionsWhileConverting.size(), 3u);
    EXPECT_EQ(captionsWhileConverting[1], "Converting... (2/3 Finished) - Vexlo");
    EXPECT_EQ(host.display.title, "Converting... Vexlo");

    shown.clear();
    host.rows.resize(2);
    host.progress().SetPosition(0);
    EXPECT_TRUE(run().completed);
    EXPECT_EQ(shown,
        (std::vector<std::string>{
            "Converting... (3/3)", "Converting... (1/2 Finished)", "Converting... (2/2 Finished)"}));
}

} // namespace

// ---------------------------------------------------------------------------
// The services a run is given

// Stands in for the engine: records what it was asked to run, writes the
// target and the go-on value into the registry it was made with.
class ScriptedLauncher : public platform::ProcessLauncher {
public:
    explicit ScriptedLauncher(platform::Registry& registry) : m_registry(registry) {}
    platform::ProcessResult runAndWait(
        const std::string& program, const std::vector<std::string>& arguments, const std::function<void()>&) override
    {
        calls.push_back({program, arguments});
        const std::string& a = arguments.at(0);
        const size_t from = a.find('|') + 1;
        test::writeFile(a.substr(from, a.find('|', from) - from), "converted");
        m_registry.writeValue(platform::Hive::CurrentUser, platform::kAbortFlagKey, "", "0");
        return {true, true, 0, {}};
    }
    std::vector<std::pair<std::string, std::vector<std::string>>> calls;

private:
    platform::Registry& m_registry;
};

TEST_F(ConversionRun, AsksOnlyTheRegistryAndLauncherItIsGiven)
{
    // The installed services would fail every file: no engine is installed
    // and their registry holds a stop value.
    tp.registry->writeValue(platform::Hive::CurrentUser, platform::kAbortFlagKey, "", "1");
    platform::FolderRegistry own(tp.root() + "own-registry");
    ScriptedLauncher launcher(own);
    rs.DeleteSourceWhenDone = true;
    addSources(2);

    ConversionJob job(host, {own, launcher}, rs, 'N', "/opt/engine/trevok");
    const JobResult r = job.run();

    EXPECT_TRUE(r.completed);
    EXPECT_EQ(r.converted, 2);
    ASSERT_EQ(launcher.calls.size(), 2u);
    EXPECT_EQ(launcher.calls[0].first, "/opt/engine/trevok");
    EXPECT_EQ(launcher.calls[1].second,
        std::vector<std::string>{conversion::buildEngineArgument(host.rows[1], targetOf(1), rs, 'N')});
    EXPECT_TRUE(tp.messages.shown.empty());
    EXPECT_FALSE(exists(host.rows[0])) << "a converted source is deleted";
    EXPECT_EQ(tp.registry->readValue(platform::Hive::CurrentUser, platform::kAbortFlagKey, ""), "1")
        << "the installed registry is left alone";
}

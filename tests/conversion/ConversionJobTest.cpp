// The batch loop: target names, the engine argument, the AbortFlag, and whole
// runs through the real launcher and the scripted fake engine.
#include "FakeEngine.h"
#include "FakeHost.h"

#include "conversion/ConversionJob.h"
#include "conversion/FileTransaction.h"
#include "conversion/MediaCheck.h"
#include "conversion/RunLock.h"
#include "support/TestDoubles.h"
#include "support/TestSupport.h"

#include <QTimer>
#include <fcntl.h>
#include <sys/stat.h>
#include <filesystem>
#include <functional>
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

TEST(TargetFileName, AnotherSpellingOfTheSourceIsTheSource)
{
    // "/v//", a link to the source's folder: the same file by another name.
    platform::TestPlatform tp;
    const std::string folder = tp.root() + "v/";
    test::writeFile(folder + "clip.mp4", "the only copy");
    std::filesystem::create_directory_symlink(folder, tp.root() + "link");
    settings::RunSettings rs;
    rs.ConvertToSamePath = false;
    rs.FileType = ".mp4";
    for (const std::string& dest : {tp.root() + "v//", tp.root() + "link/", tp.root() + "v/./"}) {
        rs.DestPath = dest;
        EXPECT_EQ(conversion::targetFileName(folder + "clip.mp4", rs), folder + "clip_New.mp4") << dest;
    }
}

// ---------------------------------------------------------------------------
// Part files and their commit

TEST(PartFile, CommitsWithoutReplacingAnotherWritersFile)
{
    platform::TestPlatform tp;
    const std::string target = tp.root() + "out/clip.mp4";
    std::filesystem::create_directories(tp.root() + "out");
    std::string why;
    bool taken = false;
    {
        conversion::PartFile part;
        ASSERT_TRUE(part.create(target, why)) << why;
        EXPECT_EQ(part.path(), tp.root() + "out/.clip.part.mp4");
        conversion::PartFile second;
        ASSERT_TRUE(second.create(target, why));
        EXPECT_EQ(second.path(), tp.root() + "out/.clip.part-2.mp4") << "a part name is never shared";
        test::writeFile(target, "appeared meanwhile");
        EXPECT_FALSE(part.commit(target, false, taken, why));
        EXPECT_TRUE(taken);
        EXPECT_EQ(test::readFile(target), "appeared meanwhile");
        // The engine replaced the part file by a file of its own: not ours.
        std::filesystem::remove(second.path());
        test::writeFile(second.path(), "someone else's");
        EXPECT_FALSE(second.stillOurs());
        second.discard();
        EXPECT_EQ(test::readFile(tp.root() + "out/.clip.part-2.mp4"), "someone else's");
        std::filesystem::remove(tp.root() + "out/.clip.part-2.mp4");
    }
    EXPECT_FALSE(exists(tp.root() + "out/.clip.part.mp4")) << "an uncommitted part file goes with its run";
    {
        conversion::PartFile part;
        ASSERT_TRUE(part.create(target, why));
        EXPECT_FALSE(part.folderIgnoresCase());
        EXPECT_TRUE(part.commit(target, true, taken, why)) << why;
    }
    EXPECT_EQ(test::readFile(target), "") << "committed files stay";
    EXPECT_EQ(conversion::numberedName(target, 2), tp.root() + "out/clip (2).mp4");
    EXPECT_EQ(conversion::incompleteName(target), tp.root() + "out/clip (incomplete).mp4");
}

// Each change differs from the pinned file in one respect only (times pinned
// with utimensat, whole seconds as FAT keeps them), so that every part of the
// comparison is needed.
TEST(PinnedSource, TellsAReplacedOrRewrittenSource)
{
    platform::TestPlatform tp;
    const std::string source = tp.root() + "00000.MTS";
    const auto setTimes = [&](const std::string& path, timespec modified) {
        const timespec times[2] = {modified, modified};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    };
    const timespec pinnedAt{1700000000, 0};
    struct Change {
        const char* what;
        std::function<void()> make;
    };
    const Change changes[] = {
        {"nothing", [] {}},
        {"another file under the name, same size and times",
            [&] {
                std::filesystem::rename(source, tp.root() + "kept.MTS");
                test::writeFile(source, "clip two");
                setTimes(source, pinnedAt);
            }},
        {"rewritten in place at the same size, a nanosecond later",
            [&] {
                test::writeFile(source, "clip two");
                setTimes(source, {pinnedAt.tv_sec, 1});
            }},
        {"touched two seconds later (whole-second times)",
            [&] {
                setTimes(source, {pinnedAt.tv_sec + 2, 0});
            }},
        {"grown, its time set back",
            [&] {
                test::writeFile(source, "clip one, and more");
                setTimes(source, pinnedAt);
            }},
        {"gone", [&] { std::filesystem::remove(source); }},
    };
    std::string why;
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        std::filesystem::remove(tp.root() + "kept.MTS");
        test::writeFile(source, "clip one");
        setTimes(source, pinnedAt);
        conversion::PinnedSource pinned;
        ASSERT_TRUE(pinned.pin(source, why));
        change.make();
        const bool same = std::string(change.what) == "nothing";
        EXPECT_EQ(pinned.unchanged(), same);
        EXPECT_EQ(conversion::deletePinnedSource(pinned, why), same);
        EXPECT_EQ(exists(source), !same && std::string(change.what) != "gone") << "a changed source is kept";
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

    // Sources <root>src/f1.m2ts ... fN.m2ts, each a short real clip.
    void addSources(int count)
    {
        for (int i = 1; i <= count; ++i) {
            const std::string path = tp.root() + "src/f" + std::to_string(i) + ".m2ts";
            test::writeClip(path);
            host.rows.push_back(path);
        }
    }
    std::string targetOf(int row) const { return conversion::targetFileName(host.rows.at(row), rs); }
    // What the engine is handed for a row: its own part file beside the target.
    std::string argumentOf(int row, char marker = 'N') const
    {
        return conversion::buildEngineArgument(
            host.rows.at(row), conversion::partFileName(targetOf(row), 1), rs, marker);
    }
    // No part file is left in the folder.
    static bool noPartFiles(const std::string& folder)
    {
        for (const auto& e : std::filesystem::directory_iterator(folder))
            if (e.path().filename().string().find(".part") != std::string::npos)
                return false;
        return true;
    }
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
    const std::string v = tp.root() + "v/";
    host.rows = {v + "a.m2ts", v + "b c \"q\".mts"};
    for (const auto& row : host.rows)
        test::writeClip(row);
    const JobResult r = run();
    EXPECT_TRUE(r.completed);
    EXPECT_FALSE(r.error);
    const auto calls = test::fakeEngineCalls(tp);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], std::vector<std::string>{v + "a.m2ts|" + v + ".a.part.mp4||320|240|512|0|2|128|44100|ACC|0|N"});
    EXPECT_EQ(calls[1],
        std::vector<std::string>{v + "b c \"q\".mts|" + v + ".b c \"q\".part.mp4||320|240|512|0|2|128|44100|ACC|0|N"});
    EXPECT_EQ(test::readFile(v + "a.mp4"), test::clipBytes()) << "the result under its final name";
    EXPECT_TRUE(exists(v + "b c \"q\".mp4"));
    EXPECT_TRUE(noPartFiles(v));
    EXPECT_EQ(host.pendingEventRounds, 2) << "once per file, before the launch";
    EXPECT_TRUE(tp.messages.shown.empty());
    EXPECT_TRUE(r.reports.empty());
}

TEST_F(ConversionRun, SilentMarkerAndDestinationFolder)
{
    rs.ConvertToSamePath = false;
    rs.DestPath = tp.root() + "out/";
    addSources(1);
    EXPECT_TRUE(run('S').completed);
    const auto calls = test::fakeEngineCalls(tp);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0][0], host.rows[0] + "|" + tp.root() + "out/.f1.part.mp4||320|240|512|0|2|128|44100|ACC|0|S");
    EXPECT_TRUE(exists(tp.root() + "out/f1.mp4"));
}

TEST_F(ConversionRun, NamesThatAreNotUtf8ReachTheEngineUnchanged)
{
    const std::string odd = tp.root() + "src/\xff\xfe clip\x80.m2ts";
    test::writeClip(odd);
    host.rows = {odd};
    EXPECT_TRUE(run().completed);
    const auto calls = test::fakeEngineCalls(tp);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0][0], argumentOf(0));
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
        EXPECT_EQ(test::readFile(targetOf(2)), answer == MessageAnswer::Yes ? test::clipBytes() : "old");
        EXPECT_TRUE(noPartFiles(tp.root() + "src"));
    }
}

TEST_F(ConversionRun, ExistingTargetWithoutPromptGoesToTheEngine)
{
    addSources(2);
    test::writeFile(targetOf(0), "old");
    EXPECT_TRUE(run().completed);
    EXPECT_EQ(engineCalls(), 2u);
    EXPECT_EQ(test::readFile(targetOf(0)), test::clipBytes()) << "a file from before the run is replaced";
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
        // A cancelled or failed file leaves nothing under the target name,
        // whatever DelFileWhenCanceled says.
        {"2 leaves no target", "target flag=2", false, 2, false, false},
        {"2 with DelFileWhenCanceled", "target flag=2", true, 2, false, false},
        {"not a number fails the file", "target flag=abc", true, 2, false, false},
        {"a non-zero exit status fails the file", "target flag=0 exit=5", true, 2, false, false},
        {"a non-zero exit status leaves no target", "target flag=0 exit=1", false, 2, false, false},
        {"an engine that reports nothing leaves the earlier 0 stale", "target noflag", true, 2, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::installFakeEngine(tp);
        std::filesystem::remove_all(tp.root() + "src");
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
        {"target flag=0 exit=5", "failed with exit status 5"},
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
    // The engine's own failure report (2 with status 2): a cancelled file
    // (the engine gives no reason) is not told; a failed one is, with the
    // reason the engine wrote on its standard error, which a desktop user
    // does not see.
    test::installFakeEngine(tp);
    tp.messages.shown.clear();
    script({"say=cancelled flag=2 exit=2"});
    EXPECT_FALSE(run().completed);
    EXPECT_TRUE(tp.messages.shown.empty());
    const std::pair<std::string, std::string> failures[] = {
        {"say=progress_5% say=could_not_convert_it:_ffmpeg_failed err=[in#0]_last_words say=progress_6%",
            "could not convert it: ffmpeg failed\n[in#0] last words"},
        {"say=the_target_is_the_source_file_itself", "the target is the source file itself"},
    };
    for (const auto& [words, reason] : failures) {
        SCOPED_TRACE(words);
        test::installFakeEngine(tp);
        tp.messages.shown.clear();
        script({words + " flag=2 exit=2"});
        EXPECT_FALSE(run().completed);
        EXPECT_EQ(engineCalls(), 1u);
        EXPECT_TRUE(exists(host.rows[0]));
        ASSERT_EQ(tp.messages.shown.size(), 1u);
        const std::string told = tp.messages.shown[0].text;
        EXPECT_NE(told.find("'" + host.rows[0] + "'\r\n\r\n" + reason + "\r\n\r\n"), std::string::npos) << told;
        EXPECT_EQ(told.find("progress"), std::string::npos) << told;
        EXPECT_NE(told.find("The source file was kept."), std::string::npos) << told;
    }
}

TEST_F(ConversionRun, NothingIsDeletedThatThisEngineRunDidNotWrite)
{
    rs.DeleteSourceWhenDone = true;
    rs.DelFileWhenCanceled = true;
    addSources(1);
    const std::string older = targetOf(0);
    test::writeFile(older, "an earlier, complete conversion");

    // The engine refuses before writing, or writes and is cancelled: the
    // older conversion may be the only copy left, and this run never wrote it.
    for (const char* how : {"flag=2 exit=2", "target flag=2 exit=2", "target=31 flag=2 exit=2"}) {
        SCOPED_TRACE(how);
        test::installFakeEngine(tp);
        script({how});
        EXPECT_FALSE(run().completed);
        EXPECT_EQ(test::readFile(older), "an earlier, complete conversion");
        EXPECT_TRUE(exists(host.rows[0]));
        EXPECT_TRUE(noPartFiles(tp.root() + "src"));
    }

    // The engine says "done" but wrote nothing: the source stays, and so
    // does the older conversion.
    test::installFakeEngine(tp);
    script({"flag=0"});
    const JobResult r = run();
    EXPECT_FALSE(r.completed) << "a file that was not converted is no success";
    EXPECT_TRUE(r.filesFailed);
    EXPECT_TRUE(exists(host.rows[0]));
    EXPECT_EQ(test::readFile(older), "an earlier, complete conversion");

    // A verified result replaces it, and only then the source goes.
    test::installFakeEngine(tp);
    script({"target flag=0"});
    EXPECT_TRUE(run().completed);
    EXPECT_EQ(test::readFile(older), test::clipBytes());
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
    script({"target", "target=0", "flag=0", "target=1", "target=half", "target"});
    addSources(5);
    test::writeClip(host.rows[4], 4); // half of it ends 2 s early
    host.rows.push_back(tp.root() + "src/unreadable.m2ts");
    test::writeFile(host.rows.back(), "no video");
    const JobResult r = run();
    EXPECT_FALSE(r.completed);
    EXPECT_TRUE(r.filesFailed);
    EXPECT_FALSE(exists(host.rows[0]));
    EXPECT_TRUE(exists(host.rows[1])) << "empty result";
    EXPECT_TRUE(exists(host.rows[2])) << "no result";
    EXPECT_TRUE(exists(host.rows[3])) << "a result that is no video";
    EXPECT_TRUE(exists(host.rows[4])) << "a result that ends early";
    EXPECT_TRUE(exists(host.rows[5])) << "a source that is no video";
    for (int i = 1; i <= 5; ++i)
        EXPECT_FALSE(exists(targetOf(i))) << "nothing broken under a target name: " << i;
    EXPECT_TRUE(noPartFiles(tp.root() + "src"));
    ASSERT_EQ(r.reports.size(), 5u);
    EXPECT_NE(r.reports[3].find("it ends before the source does"), std::string::npos) << r.reports[3];
    EXPECT_NE(r.reports[4].find("it does not read as a video file"), std::string::npos) << r.reports[4];
    ASSERT_EQ(tp.messages.shown.size(), 1u) << "one box at the end of the run";
    EXPECT_EQ(tp.messages.shown[0].icon, MessageIcon::Warning);
    EXPECT_NE(tp.messages.shown[0].text.find(host.rows[1]), std::string::npos);
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
            EXPECT_FALSE(exists(targetOf(1))) << "nothing unfinished under the target name";
            EXPECT_TRUE(noPartFiles(tp.root() + "src"));
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
    // The engine ends only once the window has had three ticks, however
    // loaded the machine is.
    script({"target waitfor=go flag=0"});
    bool timerFired = false;
    QTimer::singleShot(50, [&] { timerFired = true; });
    host.onWaitTick = [&] {
        if (host.waitTicks == 3)
            test::writeFile(tp.root() + "src/go", "");
    };
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
    EXPECT_FALSE(exists(targetOf(0))) << "an interrupted file leaves nothing under its name";
    EXPECT_TRUE(noPartFiles(tp.root() + "src"));
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
    platform::ProcessResult runAndWait(const std::string& program, const std::vector<std::string>& arguments,
        const std::function<void()>&, const std::function<void()>&) override
    {
        calls.push_back({program, arguments});
        const std::string& a = arguments.at(0);
        const size_t from = a.find('|') + 1;
        test::writeFile(a.substr(from, a.find('|', from) - from), test::readFile(a.substr(0, from - 1)));
        m_registry.writeValue(platform::Hive::CurrentUser, platform::kAbortFlagKey, "", "0");
        return {true, true, 0, {}, {}};
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
    EXPECT_EQ(launcher.calls[1].second, std::vector<std::string>{argumentOf(1)});
    EXPECT_TRUE(tp.messages.shown.empty());
    EXPECT_FALSE(exists(host.rows[0])) << "a converted source is deleted";
    EXPECT_EQ(tp.registry->readValue(platform::Hive::CurrentUser, platform::kAbortFlagKey, ""), "1")
        << "the installed registry is left alone";
}

// ---------------------------------------------------------------------------
// Nothing the user would miss is lost

// holiday.mov's result would take the name of holiday.mp4, the next row:
// it gets a free name, and both recordings end up in results.
TEST_F(ConversionRun, ASourceOfTheRunIsNeverATarget)
{
    rs.DeleteSourceWhenDone = true;
    const std::string d = tp.root() + "d/";
    test::writeClip(d + "holiday.mov", 1);
    test::writeClip(d + "holiday.mp4", 2);
    host.rows = {d + "holiday.mov", d + "holiday.mp4"};
    const JobResult r = run();
    EXPECT_EQ(test::readFile(d + "holiday (2).mp4"), test::clipBytes(1));
    EXPECT_EQ(test::readFile(d + "holiday_New.mp4"), test::clipBytes(2));
    EXPECT_FALSE(exists(d + "holiday.mov"));
    EXPECT_FALSE(exists(d + "holiday.mp4"));
    ASSERT_EQ(r.reports.size(), 1u);
    EXPECT_NE(r.reports[0].find("is one of the files this run converts"), std::string::npos) << r.reports[0];
    EXPECT_FALSE(r.filesFailed);
}

// The same clip listed again through a link to the card or as "./a.MTS" is
// converted once and skipped with a note; the run goes on.
TEST_F(ConversionRun, TheSameFileListedTwiceIsConvertedOnce)
{
    rs.DeleteSourceWhenDone = true;
    rs.ConvertToSamePath = false;
    rs.DestPath = tp.root() + "out/";
    const std::string card = tp.root() + "card/";
    test::writeClip(card + "a.MTS");
    test::writeClip(card + "c.MTS");
    std::filesystem::create_directory_symlink(card, tp.root() + "Card");
    host.rows = {card + "a.MTS", tp.root() + "Card/a.MTS", card + "./a.MTS", card + "c.MTS"};
    const JobResult r = run();
    EXPECT_TRUE(r.completed);
    EXPECT_EQ(engineCalls(), 2u);
    EXPECT_TRUE(exists(tp.root() + "out/a.mp4"));
    EXPECT_TRUE(exists(tp.root() + "out/c.mp4"));
    EXPECT_FALSE(exists(tp.root() + "out/a (2).mp4"));
    EXPECT_EQ(r.reports.size(), 2u);
    EXPECT_FALSE(r.filesFailed);
    EXPECT_TRUE(tp.messages.shown.size() == 1 && tp.messages.shown[0].icon == MessageIcon::Information);
}

// A file that cannot be converted stops the run, and the end report lists
// what was left; with "go on" every other file is converted, the failed one
// kept and told, and the run counts as failed.
TEST_F(ConversionRun, AFailedFileStopsTheRunOrIsPassedAsTheUserChose)
{
    for (const bool goOn : {false, true}) {
        SCOPED_TRACE(goOn ? "go on" : "stop");
        test::installFakeEngine(tp);
        std::filesystem::remove_all(tp.root() + "src");
        host.rows.clear();
        tp.messages.shown.clear();
        addSources(14);
        rs.DeleteSourceWhenDone = true;
        rs.ContinueOnError = goOn;
        script({"", "say=could_not_read_f2 flag=2 exit=2"});
        const JobResult r = run();
        EXPECT_FALSE(r.completed);
        EXPECT_TRUE(r.filesFailed);
        EXPECT_EQ(engineCalls(), goOn ? 14u : 2u);
        EXPECT_TRUE(exists(host.rows[1]));
        EXPECT_EQ(exists(host.rows[13]), !goOn);
        ASSERT_EQ(tp.messages.shown.size(), 1u) << "one box at the end";
        const std::string told = tp.messages.shown[0].text;
        EXPECT_NE(told.find("could not read f2"), std::string::npos) << told;
        const size_t listed = told.find("These 12 files were not converted:");
        EXPECT_EQ(listed != std::string::npos, !goOn) << told;
        if (!goOn) {
            EXPECT_NE(told.find(host.rows[2], listed), std::string::npos);
            EXPECT_NE(told.find("... and 2 more"), std::string::npos) << told;
            EXPECT_EQ(told.find(host.rows[12], listed), std::string::npos) << "ten names at most";
        }
    }
}

// The engine converted what the source gave, but not all of it: the source
// stays whatever the AbortFlag asked for the run, and the converted part is
// kept.
TEST_F(ConversionRun, WhatTheEngineCouldNotReadWholeKeepsItsSource)
{
    struct Case {
        const char* words;
        const char* keptAs; // in the folder of the target
        const char* told;
        size_t calls;
    };
    const Case cases[] = {
        {"target=half flag=1 exit=3", "f1 (incomplete).mp4", "The source is incomplete", 1},
        {"target=half flag=0 exit=3", "f1 (incomplete).mp4", "The source is incomplete", 2},
        {"target say=the_source_could_not_be_read_whole:_Input/output_error flag=0 exit=4", "f1.mp4",
            "could not be read without errors", 2},
        {"target=half say=the_source_could_not_be_read_whole:_partial_file flag=0 exit=4", "f1 (incomplete).mp4",
            "(the source could not be read whole: partial file)", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words);
        test::installFakeEngine(tp);
        std::filesystem::remove_all(tp.root() + "src");
        host.rows.clear();
        tp.messages.shown.clear();
        addSources(2);
        for (const std::string& row : host.rows)
            test::writeClip(row, 4);
        rs.DeleteSourceWhenDone = true;
        script({c.words});
        const JobResult r = run();
        EXPECT_EQ(engineCalls(), c.calls);
        EXPECT_TRUE(exists(host.rows[0]));
        EXPECT_TRUE(exists(tp.root() + "src/" + c.keptAs));
        EXPECT_TRUE(r.filesFailed);
        ASSERT_FALSE(r.reports.empty());
        EXPECT_NE(r.reports[0].find(c.told), std::string::npos) << r.reports[0];
        EXPECT_EQ(r.reports[0].find("exit status"), std::string::npos) << r.reports[0];
    }
    // With 2 (failed or cancelled) the engine's status does not make a part
    // worth keeping.
    test::installFakeEngine(tp);
    std::filesystem::remove_all(tp.root() + "src");
    host.rows.clear();
    addSources(2);
    script({"target=half flag=2 exit=3"});
    EXPECT_FALSE(run().completed);
    EXPECT_TRUE(exists(host.rows[0]));
    EXPECT_FALSE(exists(tp.root() + "src/f1 (incomplete).mp4"));
    EXPECT_TRUE(noPartFiles(tp.root() + "src"));
}

// A result that holds fewer tracks than its source is kept, and so is the
// source, with the report of what the result lacks.
TEST_F(ConversionRun, AResultLackingTracksKeepsItsSource)
{
    const QString src = QString::fromStdString(tp.root() + "src/");
    std::filesystem::create_directories(tp.root() + "src");
    const QStringList inputs = {"-f", "lavfi", "-i", "testsrc=d=1:s=64x48:r=10", "-f", "lavfi", "-i", "sine=d=1", "-f",
        "lavfi", "-i", "sine=d=1:f=880"};
    test::toolOutput("ffmpeg",
        QStringList{"-v", "error", "-y"} + inputs
            + QStringList{"-map", "0", "-map", "1", "-map", "2", "-c:a", "aac", src + "two.mkv"});
    test::toolOutput("ffmpeg",
        QStringList{
            "-v", "error", "-y", "-i", src + "two.mkv", "-map", "0:v", "-map", "0:a:0", "-c", "copy", src + "one.mp4"});
    rs.DeleteSourceWhenDone = true;
    host.rows = {(src + "two.mkv").toStdString()};
    script({"target=from:one.mp4"});
    const JobResult r = run();
    EXPECT_TRUE(exists(host.rows[0]));
    EXPECT_TRUE(exists(targetOf(0)));
    ASSERT_EQ(r.reports.size(), 1u);
    EXPECT_NE(r.reports[0].find("the result holds 1 of 2 sound tracks; the source file was kept."), std::string::npos)
        << r.reports[0];

    test::installFakeEngine(tp); // every track carried: the source goes
    std::filesystem::remove(targetOf(0));
    EXPECT_TRUE(run().reports.empty());
    EXPECT_FALSE(exists(host.rows[0]));

    // A source whose length cannot be read (a raw stream) cannot be checked
    // against: its result is kept, and so is the source.
    test::toolOutput("ffmpeg",
        QStringList{
            "-v", "error", "-y", "-i", src + "one.mp4", "-map", "0:v", "-c", "copy", "-f", "h264", src + "raw.h264"});
    host.rows = {(src + "raw.h264").toStdString()};
    test::installFakeEngine(tp);
    script({"target=from:one.mp4"});
    const JobResult unknown = run();
    EXPECT_TRUE(exists(host.rows[0]));
    EXPECT_TRUE(exists(targetOf(0)));
    ASSERT_EQ(unknown.reports.size(), 1u);
    EXPECT_NE(unknown.reports[0].find("length of the source file could not be read"), std::string::npos)
        << unknown.reports[0];
}

// Nothing more will be converted: the run lock is free before any box waits
// for its OK, so that a scheduled silent run need not wait for the user.
TEST_F(ConversionRun, TheRunLockIsFreeBeforeTheLastBox)
{
    addSources(2);
    script({"", "say=could_not_read flag=2 exit=2"});
    bool freeAtTheBox = false;
    tp.messages.onShow = [&](const platform::ShownMessage&) {
        conversion::RunLock other;
        freeAtTheBox = other.tryAcquire() && other.held();
    };
    run();
    ASSERT_EQ(tp.messages.shown.size(), 1u);
    EXPECT_TRUE(freeAtTheBox);
}

// Without ffmpeg's demuxing library no result can be checked: the run is
// refused before the first file and names the library; no file is blamed.
TEST_F(ConversionRun, ARunWithoutTheCheckersLibraryIsRefused)
{
    addSources(2);
    const conversion::MediaLibraryNames shipped = conversion::defaultMediaLibraryNames();
    conversion::reloadMediaLibraryForTest({shipped.util, "libavformat.so.0"});
    const JobResult r = run();
    conversion::reloadMediaLibraryForTest(shipped);
    EXPECT_FALSE(r.completed);
    EXPECT_EQ(engineCalls(), 0u);
    ASSERT_EQ(tp.messages.shown.size(), 1u);
    EXPECT_NE(tp.messages.shown[0].text.find("libavformat.so.0"), std::string::npos) << tp.messages.shown[0].text;
    EXPECT_EQ(tp.messages.shown[0].text.find("broken"), std::string::npos);
}

// The command line: folder and profile prefixes, switches, file names and
// patterns, and the run it requests once the window is shown.
#include "AppTestSupport.h"
#include "support/MainWindowParts.h"

#include <unistd.h>

namespace vexlo::test {
namespace {

// Two distinguishable profiles in the catalogue of the settings file.
constexpr const char* kCatalogue
    = "[VideoFormat2]\nVideoFormat=xvid\nFileType=.avi\nFrameSize=352 x 288\nVideoBitrate=900\n"
      "[VideoFormat3]\nVideoFormat=mpeg1video\nFileType=.mpg\nFrameSize=176 x 144\nVideoBitrate=256\n";

class CommandLineTest : public AppTest {
protected:
    // Runs `body` with the process's working folder set to `dir`.
    void inFolder(const std::string& dir, const std::function<void()>& body)
    {
        char old[4096];
        ASSERT_NE(getcwd(old, sizeof old), nullptr);
        ASSERT_EQ(chdir(dir.c_str()), 0);
        body();
        ASSERT_EQ(chdir(old), 0);
    }
    std::string unsupportedText(const std::string& joined) const
    {
        return "'" + joined + "'\r\n\r\nFile is not a supported video file, and can not be converted!";
    }
};

TEST_F(CommandLineTest, AddPrefixPromptsOnceShownAndCancelConvertsNothing)
{
    const std::string dir = folder("Clips");
    clip(dir + "a.m2ts");
    clip(dir + "b.mts");
    installEngine();
    auto w = create({"ADD:" + dir.substr(0, dir.size() - 1), "a.m2ts", "b.mts"});
    EXPECT_EQ(rows(*w), (std::vector<std::string>{dir + "a.m2ts", dir + "b.mts"}));
    EXPECT_EQ(w->RunMode, RunMode::rmCommandLinePrompt);
    EXPECT_EQ(w->CmdFormatIndex, -1);
    ModalAnswerer answer(false);
    deliverPostedEvents();
    EXPECT_EQ(answer.seen, 0) << "nothing opens before the window is shown";
    w->show();
    ASSERT_TRUE(waitFor([&] { return answer.seen == 1; }, std::chrono::seconds(10)));
    EXPECT_EQ(answer.classes[0], "vexlo::settings::TConvertOptionsForm");
    deliverPostedEvents();
    EXPECT_EQ(answer.seen, 1) << "the dialog opens once";
    EXPECT_EQ(w->RunMode, RunMode::rmInteractive);
    EXPECT_TRUE(engineCalls().empty());
    EXPECT_TRUE(w->isVisible());
}

TEST_F(CommandLineTest, SilentStartWithTheOutputDialogEndsWhateverTheAnswer)
{
    const std::string dir = folder("Clips");
    clip(dir + "a.m2ts");
    installEngine();
    for (const bool accept : {false, true}) {
        SCOPED_TRACE(accept ? "OK" : "Cancel");
        const int before = finishedCount;
        ModalAnswerer answer(accept);
        auto w = open({"-S", dir + "a.m2ts"});
        ASSERT_TRUE(waitFor([&] { return finishedCount > before; }, std::chrono::seconds(20)));
        EXPECT_EQ(answer.seen, 1);
        EXPECT_EQ(engineCalls().size(), accept ? 1u : 0u);
        EXPECT_EQ(w->silentExitStatus(), accept ? 0 : 2) << "converted, or nothing to do";
        EXPECT_FALSE(w->isVisible());
    }
}

TEST_F(CommandLineTest, ProfilePrefixConvertsIntoTheFolderAndCloses)
{
    const std::string dir = folder("Clips");
    clip(dir + "a.m2ts");
    ini(kCatalogue);
    installEngine();
    auto w = open({"002:" + dir, "a.m2ts"});
    EXPECT_EQ(w->CmdFormatIndex, 2);
    ASSERT_TRUE(waitFor([&] { return finishedCount == 1; }, std::chrono::seconds(20)));
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->commandLineResult(), 0);
    ASSERT_EQ(engineCalls().size(), 1u);
    EXPECT_EQ(field(0, 1), dir + "a.m2ts");
    EXPECT_EQ(field(0, 2), partOf(dir + "a.avi"));
    EXPECT_EQ(field(0, 3), "xvid");
    EXPECT_EQ(field(0, 4), "352");
    EXPECT_EQ(field(0, 5), "288");
    EXPECT_EQ(field(0, 13), "N");
    EXPECT_TRUE(tp.messages.shown.empty());
}

TEST_F(CommandLineTest, ProfileSwitchDestinationAndSilent)
{
    const std::string src = clip(folder("Clips") + "a.m2ts");
    const std::string dest = root() + "Out/New";
    ini(kCatalogue);
    installEngine();
    auto w = open({"-3", "-" + dest, src, "-s"});
    EXPECT_EQ(w->CmdFormatIndex, 3);
    EXPECT_EQ(w->CmdDestPath, dest + "/");
    EXPECT_TRUE(fs::is_directory(dest)) << "created with its missing parents";
    EXPECT_TRUE(w->Silent);
    EXPECT_EQ(tp.desktop.noTaskbarWindows.size(), 1u);
    ASSERT_TRUE(waitFor([&] { return finishedCount == 1; }, std::chrono::seconds(20)));
    ASSERT_EQ(engineCalls().size(), 1u);
    EXPECT_EQ(field(0, 2), partOf(dest + "/a.mpg"));
    EXPECT_TRUE(fs::exists(dest + "/a.mpg"));
    EXPECT_EQ(field(0, 3), "mpeg1video");
    EXPECT_EQ(field(0, 13), "S");
    EXPECT_EQ(iniValue("Main", "Left"), "<absent>");
}

TEST_F(CommandLineTest, FileNamesAbsoluteRelativeAndUnsupported)
{
    const std::string x = folder("x"), y = folder("y");
    clip(x + "a.m2ts");
    clip(x + "b.m2ts");
    clip(y + "c.M2T");
    clip(x + "A.M2TS");
    clip(y + "notes.txt");
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::vector<std::string> rows;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"two absolute names", {x + "a.m2ts", y + "c.M2T"}, {x + "a.m2ts", y + "c.M2T"}, {}},
        {"absolute then relative", {x + "a.m2ts", "b.m2ts"}, {x + "a.m2ts", x + "b.m2ts"}, {}},
        {"relative follows the last folder", {y + "c.M2T", "../x/a.m2ts"}, {y + "c.M2T", y + "../x/a.m2ts"}, {}},
        {"same name in another case is another file", {x + "a.m2ts", x + "A.M2TS"}, {x + "a.m2ts", x + "A.M2TS"}, {}},
        {"byte-equal name is a duplicate", {x + "a.m2ts", x + "a.m2ts"}, {x + "a.m2ts"}, {}},
        {"missing file skipped", {x + "zz.m2ts", x + "a.m2ts"}, {x + "a.m2ts"}, {}},
        {"unsupported, reading goes on", {y + "notes.txt", y + "c.M2T", "noext"}, {y + "c.M2T"},
            {unsupportedText(y + "notes.txt"), unsupportedText(y + "noext")}},
        {"unsupported joined to the folder", {"ADD:" + y, "notes.txt"}, {}, {unsupportedText(y + "notes.txt")}},
    };
    for (const Case& c : cases) {
        tp.messages.shown.clear();
        auto w = create(c.args);
        EXPECT_EQ(rows(*w), c.rows) << c.name;
        std::vector<std::string> texts;
        for (const auto& m : tp.messages.shown) {
            texts.push_back(m.text);
            EXPECT_EQ(m.title, "Vexlo");
            EXPECT_EQ(m.icon, platform::MessageIcon::Error);
        }
        EXPECT_EQ(texts, c.messages) << c.name;
        EXPECT_EQ(w->RunMode, RunMode::rmCommandLinePrompt) << c.name;
    }
}

TEST_F(CommandLineTest, WildcardSortedWithoutCaseHiddenAndFoldersLeftOut)
{
    const std::string dir = folder("w");
    for (const char* n : {"b.m2ts", "A.m2ts", "c.M2TS", ".hidden.m2ts", "d.mts"})
        clip(dir + n);
    fs::create_directories(dir + "e.m2ts");
    auto w = create({dir + "*.m2ts", "d.mts"});
    EXPECT_EQ(rows(*w), (std::vector<std::string>{dir + "A.m2ts", dir + "b.m2ts", dir + "c.M2TS"}));
    EXPECT_TRUE(tp.messages.shown.empty());
    // The folder stays unchanged after a pattern: a relative name after it is
    // not joined to the pattern's folder.
    auto after = create({"ADD:" + root(), "w/*.m2ts", "w/d.mts"});
    EXPECT_EQ(test::rowCount(*after), 4);
    EXPECT_EQ(test::rowPath(*after, 3), root() + "w/d.mts");
}

TEST_F(CommandLineTest, NumbersThatDoNotReadEndTheReadingWithTheErrorBox)
{
    const std::string dir = folder("c");
    clip(dir + "a.m2ts");
    clip(dir + "b.m2ts");
    for (const std::vector<std::string>& args : {std::vector<std::string>{dir + "a.m2ts", "-", dir + "b.m2ts"},
             std::vector<std::string>{dir + "a.m2ts", "01x:" + dir, "b.m2ts"},
             std::vector<std::string>{dir + "a.m2ts", "-99999999999", "b.m2ts"}}) {
        tp.messages.shown.clear();
        ModalAnswerer answer(false);
        auto w = open(args);
        ASSERT_EQ(tp.messages.shown.size(), 1u) << args[1];
        EXPECT_EQ(tp.messages.shown[0].icon, platform::MessageIcon::Error);
        EXPECT_NE(tp.messages.shown[0].text.find("is not a valid integer value"), std::string::npos);
        EXPECT_EQ(w->RunMode, RunMode::rmInteractive) << args[1];
        EXPECT_EQ(rows(*w), std::vector<std::string>{dir + "a.m2ts"}) << "reading ended at " << args[1];
        deliverPostedEvents();
        EXPECT_EQ(answer.seen, 0) << "no run is requested";
    }
}

TEST_F(CommandLineTest, DashWithTextIsADestinationAndDoubleDashEndsTheSwitches)
{
    const std::string dir = folder("work");
    clip(dir + "-3.m2ts");
    inFolder(dir, [&] {
        auto w = create({"-12x"});
        EXPECT_EQ(w->CmdDestPath, dir + "12x/") << "a relative destination is made absolute";
        EXPECT_TRUE(fs::is_directory(dir + "12x"));
        EXPECT_EQ(w->CmdFormatIndex, -1);
        EXPECT_EQ(w->RunMode, RunMode::rmCommandLinePrompt);

        // A relative name without a folder is listed as the working folder's
        // file and leaves the next one in the working folder too (what a
        // shell's glob gives); after "--" a prefix shape is a file name too.
        clip(dir + "ADD:x.m2ts");
        auto d = create({"--", "-3.m2ts", "ADD:x.m2ts"});
        EXPECT_EQ(d->CmdFormatIndex, -1);
        EXPECT_EQ(rows(*d), (std::vector<std::string>{dir + "-3.m2ts", dir + "ADD:x.m2ts"}));
        EXPECT_TRUE(d->CmdDestPath.empty());
    });
}

} // namespace
} // namespace vexlo::test

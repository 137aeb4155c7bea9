// What the arguments ask for, read without a window: the folder and profile
// prefixes, the switches, how relative names follow the last folder, which
// names are refused, and where a bad number stops the reading.
#include "app/CommandLine.h"
#include "app/FileRules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>

namespace vexlo::app {

void PrintTo(const CommandLineItem& item, std::ostream* out)
{
    static const char* const kinds[] = {"AddFile", "AddPattern", "Unsupported", "CreateFolder", "Silent"};
    *out << kinds[static_cast<int>(item.kind)] << "(" << item.path << ")";
}

namespace {

using Kind = CommandLineItem::Kind;
const std::string kProgram = "/opt/vexlo/";

CommandLineRequest read(const std::vector<std::string>& args) { return readCommandLine(args, kProgram); }

CommandLineItem add(const std::string& path) { return {Kind::AddFile, path}; }

TEST(CommandLineReader, FolderPrefixJoinsTheNamesThatFollow)
{
    const auto r = read({"ADD:/clips", "a.m2ts", "b.mts"});
    EXPECT_EQ(r.items, (std::vector<CommandLineItem>{add("/clips/a.m2ts"), add("/clips/b.mts")}));
    EXPECT_EQ(r.formatIndex, -1);
    EXPECT_FALSE(r.convertWithoutAsking());
    EXPECT_FALSE(r.error);
    // Any case of "add" is the folder prefix; an empty folder is the program's.
    EXPECT_EQ(read({"aDd:", "a.m2ts"}).items, std::vector<CommandLineItem>{add(kProgram + "a.m2ts")});
    EXPECT_EQ(read({"ADD:/clips/", "a.m2ts"}).items, std::vector<CommandLineItem>{add("/clips/a.m2ts")});
}

TEST(CommandLineReader, ProfilePrefixAndSwitches)
{
    const auto r = read({"002:/clips", "a.m2ts"});
    EXPECT_EQ(r.formatIndex, 2);
    EXPECT_TRUE(r.convertWithoutAsking());
    EXPECT_EQ(r.items, std::vector<CommandLineItem>{add("/clips/a.m2ts")});

    const auto s = read({"-3", "-/out/new", "/clips/a.m2ts", "-s"});
    EXPECT_EQ(s.formatIndex, 3);
    EXPECT_EQ(s.destPath, "/out/new/");
    EXPECT_TRUE(s.silent);
    EXPECT_EQ(s.items,
        (std::vector<CommandLineItem>{{Kind::CreateFolder, "/out/new"}, add("/clips/a.m2ts"), {Kind::Silent, ""}}));
    // The last profile and destination named win; "-0" is profile 0.
    const auto t = read({"-7", "-/a", "-0", "-/b/"});
    EXPECT_EQ(t.formatIndex, 0);
    EXPECT_TRUE(t.convertWithoutAsking());
    EXPECT_EQ(t.destPath, "/b/");
}

TEST(CommandLineReader, RelativeNamesFollowTheLastFileFolder)
{
    // The second name is joined to the first one's folder.
    EXPECT_EQ(read({"/clips/a.m2ts", "b.m2ts"}).items,
        (std::vector<CommandLineItem>{add("/clips/a.m2ts"), add("/clips/b.m2ts")}));
    // An absolute name stands as it is, whatever folder was named before, and
    // sets the folder for the next one.
    EXPECT_EQ(read({"ADD:/clips", "/other/a.m2ts", "b.m2ts"}).items,
        (std::vector<CommandLineItem>{add("/other/a.m2ts"), add("/other/b.m2ts")}));
    // A name without a folder stays relative to the working folder, and so
    // does the next one.
    EXPECT_EQ(read({"a.m2ts", "b.m2ts"}).items, (std::vector<CommandLineItem>{add("a.m2ts"), add("b.m2ts")}));
    // Given the working folder, every name, folder prefix and destination
    // comes out absolute: a list saved from it names the same clips from
    // wherever the program starts next.
    const CommandLineRequest inCard
        = readCommandLine({"00000.MTS", "-out", "ADD:sub", "00001.MTS", "/abs/x.mts"}, kProgram, "/media/card1");
    EXPECT_EQ(inCard.items,
        (std::vector<CommandLineItem>{add("/media/card1/00000.MTS"), {Kind::CreateFolder, "/media/card1/out"},
            add("/media/card1/sub/00001.MTS"), add("/abs/x.mts")}));
    EXPECT_EQ(inCard.destPath, "/media/card1/out/");
    // A pattern leaves the current folder as it was.
    EXPECT_EQ(read({"ADD:/clips", "/else/*.m2ts", "c.mts"}).items,
        (std::vector<CommandLineItem>{{Kind::AddPattern, "/else/*.m2ts"}, add("/clips/c.mts")}));
    EXPECT_EQ(read({"/clips/clip?.mts"}).items[0].kind, Kind::AddPattern);
}

TEST(CommandLineReader, UnsupportedNamesAreReportedInOrder)
{
    const auto r = read({"/docs/notes.txt", "/v/clip", "/v/clip.swf", "/v/clip.mp", "/v/CLIP.AVI", "-S", "x.txt"});
    EXPECT_EQ(r.items,
        (std::vector<CommandLineItem>{{Kind::Unsupported, "/docs/notes.txt"}, {Kind::Unsupported, "/v/clip"},
            {Kind::Unsupported, "/v/clip.swf"}, add("/v/clip.mp"), add("/v/CLIP.AVI"), {Kind::Silent, ""},
            {Kind::Unsupported, "/v/x.txt"}}));
    // A dot in a folder name is no extension.
    EXPECT_EQ(read({"/v.mp4/clip"}).items[0].kind, Kind::Unsupported);
}

TEST(CommandLineReader, TodaysContainersAreTakenInAnyLetterCase)
{
    // Phones, screen recorders, downloads and TV recordings, besides the
    // older list; the newer list matches whole extensions only.
    for (const char* name : {"a.mkv", "a.webm", "a.ts", "a.m4v", "a.flv", "a.dv", "a.ogv", "a.mxf", "a.vob", "a.MKV",
             "a.WebM", "a.TS", "a.MTS", "a.M2TS", "a.Mts", "a.m2TS"})
        EXPECT_EQ(read({std::string("/v/") + name}).items[0].kind, Kind::AddFile) << name;
    for (const char* name : {"a.mk", "a.web", "a.t", "a.mkv.txt", "a.og", "a.mx"})
        EXPECT_EQ(read({std::string("/v/") + name}).items[0].kind, Kind::Unsupported) << name;
    // The older list's text stays as it was; every accepted extension is
    // offered once, in both letter cases where they differ.
    EXPECT_EQ(SupportedVideoPatterns,
        "*.avi;*.wmv;*.mpeg;*.mpg;*.m2ts;*.mts;*.m2t;*.qt;*.mov;*.mpm;*.mpv;*.mpa;*.asf;*.wma;*.vob;*.mod;*.mp4;*.3gp;*.3g2");
    const auto extensions = acceptedVideoExtensions();
    EXPECT_EQ(extensions.size(), 19u + 8u) << "vob, mts and m2ts are in both lists";
    const std::string masks = ";" + acceptedVideoMasks() + ";";
    for (const char* mask : {";*.mkv;*.MKV;", ";*.mts;*.MTS;", ";*.webm;*.WEBM;", ";*.avi;*.AVI;", ";*.3gp;*.3GP;"})
        EXPECT_NE(masks.find(mask), std::string::npos) << mask;
    const auto& types = acceptedVideoMimeTypes();
    for (const char* type : {"video/x-matroska", "video/webm", "video/mp2t", "video/mp4", "video/x-flv", "video/dv",
             "video/ogg", "application/mxf", "video/mpeg"})
        EXPECT_NE(std::find(types.begin(), types.end(), type), types.end()) << type;
}

TEST(CommandLineReader, DoubleDashEndsTheSwitches)
{
    const auto r = read({"--", "-S", "002:/x/a.m2ts", "-/clips/b.mts"});
    EXPECT_FALSE(r.silent);
    EXPECT_EQ(r.formatIndex, -1);
    EXPECT_TRUE(r.destPath.empty());
    EXPECT_EQ(r.items,
        (std::vector<CommandLineItem>{{Kind::Unsupported, "-S"}, add("002:/x/a.m2ts"), add("002:/x/-/clips/b.mts")}));
}

TEST(CommandLineReader, BadNumberStopsTheReadingThere)
{
    const auto r = read({"/clips/a.m2ts", "-S", "-4", "-", "/clips/b.m2ts", "-9"});
    ASSERT_TRUE(r.error);
    EXPECT_EQ(*r.error, "'' is not a valid integer value");
    // What came before stays read; nothing after it is.
    EXPECT_EQ(r.items, (std::vector<CommandLineItem>{add("/clips/a.m2ts"), {Kind::Silent, ""}}));
    EXPECT_TRUE(r.silent);
    EXPECT_EQ(r.formatIndex, 4);

    const auto prefix = read({"x1z:/clips", "a.m2ts"});
    ASSERT_TRUE(prefix.error);
    EXPECT_EQ(*prefix.error, "'x1z' is not a valid integer value");
    EXPECT_TRUE(prefix.items.empty());

    const auto overflow = read({"-99999999999", "/clips/a.m2ts"});
    ASSERT_TRUE(overflow.error);
    EXPECT_EQ(overflow.formatIndex, -1);
    EXPECT_TRUE(overflow.items.empty());
}

TEST(CommandLineReader, NamesAShellExpandedEachNameTheirFile)
{
    // vexlo -S -0 card/*.mts in a terminal: the shell hands over card/a.mts
    // card/b.mts, each relative to the working folder.
    char pattern[] = "/tmp/vexlo-cmdline-XXXXXX";
    ASSERT_TRUE(mkdtemp(pattern));
    const std::string work = pattern;
    for (const char* folder : {"/card", "/card/sub", "/other"})
        std::filesystem::create_directory(work + folder);
    for (const char* file : {"/card/a.mts", "/card/b.mts", "/card/sub/c.mts", "/other/d.mts", "/e.mts"})
        std::ofstream(work + file) << "x";
    const auto items
        = readCommandLine({"card/a.mts", "card/b.mts", "card/sub/c.mts", "other/d.mts", "e.mts"}, kProgram, work).items;
    EXPECT_EQ(items,
        (std::vector<CommandLineItem>{add(work + "/card/a.mts"), add(work + "/card/b.mts"),
            add(work + "/card/sub/c.mts"), add(work + "/other/d.mts"), add(work + "/e.mts")}));
    // A name that does name a file after the last folder stays with it, and
    // one found nowhere keeps that folder (the list skips it).
    std::ofstream(work + "/card/e.mts") << "x";
    EXPECT_EQ(readCommandLine({"card/a.mts", "e.mts", "gone.mts"}, kProgram, work).items,
        (std::vector<CommandLineItem>{
            add(work + "/card/a.mts"), add(work + "/card/e.mts"), add(work + "/card/gone.mts")}));
    // After a folder prefix the names are that folder's: the fallback is the
    // prefix's folder, never the working folder.
    EXPECT_EQ(readCommandLine(
                  {"ADD:", "card/a.mts", "ADD:" + work, "card/a.mts", "card/b.mts", "d.mts"}, kProgram, work + "/other")
                  .items,
        (std::vector<CommandLineItem>{add(kProgram + "card/a.mts"), add(work + "/card/a.mts"),
            add(work + "/card/b.mts"), add(work + "/card/d.mts")}));
    std::filesystem::remove_all(work);
}

TEST(CommandLineReader, NoArgumentsAskForNothing)
{
    const auto r = read({});
    EXPECT_TRUE(r.items.empty());
    EXPECT_FALSE(r.error);
    EXPECT_FALSE(r.silent);
    EXPECT_EQ(r.formatIndex, -1);
}

} // namespace
} // namespace vexlo::app

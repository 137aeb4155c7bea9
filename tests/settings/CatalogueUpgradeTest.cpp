// A per-user settings file made by an older version gets the output formats
// that a newer catalogue brings, and keeps everything the user chose.
#include "settings/Catalogue.h"
#include "settings/RunSettings.h"
#include "support/TestDoubles.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vexlo::settings;
using vexlo::test::readFile;
using vexlo::test::writeFile;
namespace fs = std::filesystem;

namespace {

// Runs `body` in a child as an unprivileged user (root writes everywhere, so
// the program folder would count as writable) and returns its exit status.
int asOrdinaryUser(const std::string& configHome, const std::function<int()>& body)
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(100);
        ::setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
        try {
            ::_exit(body());
        } catch (...) {
            ::_exit(101);
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 102;
}

} // namespace

TEST(CatalogueUpgrade, AnOlderUsersFileGetsTheNewProfilesAndKeepsItsOwn)
{
    vexlo::platform::TestPlatform tp;
    const std::string program = tp.root() + "program/";
    const std::string config = tp.root() + "config";
    const std::string shippedText = readFile(VEXLO_SOURCE_DIR "/data/vexlo.ini");
    writeFile(program + "vexlo.ini", shippedText);
    // The user's file: the eighteen profiles of the version before, one of
    // them edited, and the user's own choices.
    const std::string older = shippedText.substr(0, shippedText.find("[VideoFormat18]"));
    ASSERT_LT(older.size(), shippedText.size());
    const std::string userFile = config + "/vexlo/vexlo.ini";
    std::string edited = older;
    const std::string bitrate = "VideoBitrate=1200";
    ASSERT_NE(edited.find(bitrate), std::string::npos);
    edited.replace(edited.find(bitrate), bitrate.size(), "VideoBitrate=999");
    writeFile(userFile, "[Options]\nOutputFormat=17\nDestPath=/home/me/Videos/\n" + edited);
    ::chmod(program.c_str(), 0555);
    ::chmod(tp.root().c_str(), 0755);
    for (const char* folder : {"", "/vexlo"})
        ::chmod((config + folder).c_str(), 0777);
    ::chmod(userFile.c_str(), 0666);

    const auto call = [&] { return settingsFilePathFor(program + "vexlo") == userFile ? 0 : 1; };
    ASSERT_EQ(asOrdinaryUser(config, call), 0);

    const IniDocument user = IniFile(userFile).load();
    const IniDocument shipped = IniDocument::parse(shippedText);
    EXPECT_EQ(catalogueTitles(user), catalogueTitles(shipped));
    for (int n = 18; n < int(catalogueTitles(shipped).size()); ++n) {
        SCOPED_TRACE(n);
        for (const std::string& key : shipped.allKeys(profileSectionName(n)))
            EXPECT_EQ(user.value(profileSectionName(n), key), shipped.value(profileSectionName(n), key)) << key;
    }
    EXPECT_EQ(user.readText(profileSectionName(0), "VideoBitrate", ""), "999");
    EXPECT_EQ(user.readText("Options", "OutputFormat", ""), "17");
    EXPECT_EQ(user.readText("Options", "DestPath", ""), "/home/me/Videos/");

    // Up to date: a later start does not write the file at all.
    const std::string upgraded = readFile(userFile);
    struct stat before {};
    ::stat(userFile.c_str(), &before);
    ASSERT_EQ(asOrdinaryUser(config, call), 0);
    struct stat after {};
    ::stat(userFile.c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(readFile(userFile), upgraded);
    EXPECT_EQ(readFile(program + "vexlo.ini"), shippedText);

    // Once per process: a file that turns old again while the program runs is
    // left to the next start.
    EXPECT_EQ(asOrdinaryUser(config,
                  [&] {
                      call();
                      writeFile(userFile, older);
                      call();
                      return readFile(userFile) == older ? 0 : 1;
                  }),
        0);

    // A file the user cannot write is left as it is, and still used.
    writeFile(userFile, older);
    ::chmod(userFile.c_str(), 0444);
    ::chmod((config + "/vexlo").c_str(), 0555);
    EXPECT_EQ(asOrdinaryUser(config, call), 0);
    EXPECT_EQ(readFile(userFile), older);
    ::chmod((config + "/vexlo").c_str(), 0777);
    ::chmod(program.c_str(), 0755);
}

TEST(CatalogueUpgrade, KeysTheFileHoldsAreKeptAndItsProfilesNeverChange)
{
    const IniDocument shipped = IniDocument::parse("[VideoFormat0]\nTitle=A\nX=1\nY=2\n"
                                                   "[VideoFormat1]\nTitle=B\nX=3\nY=4\n"
                                                   "[VideoFormat2]\nTitle=C\nX=5\n");
    // The user's profile 0 lacks a key; a hand-set key waits beyond the run.
    IniDocument doc = IniDocument::parse("[VideoFormat0]\nTitle=Mine\nX=9\n[VideoFormat1]\nX=7\n");
    EXPECT_EQ(extendCatalogue(doc, shipped), 2);
    EXPECT_EQ(catalogueTitles(doc), (std::vector<std::string>{"Mine", "B", "C"}));
    EXPECT_EQ(doc.value("VideoFormat0", "X"), "9");
    EXPECT_EQ(doc.value("VideoFormat0", "Y"), std::nullopt) << "a profile the file has is never changed";
    EXPECT_EQ(doc.value("VideoFormat1", "X"), "7") << "a key the file holds is kept";
    EXPECT_EQ(doc.value("VideoFormat1", "Y"), "4");
    EXPECT_EQ(doc.value("VideoFormat2", "X"), "5");

    // A file with more profiles than the catalogue offers stays as it is.
    IniDocument longer = IniDocument::parse("[VideoFormat0]\nTitle=P\n[VideoFormat1]\nTitle=Q\n"
                                            "[VideoFormat2]\nTitle=R\n[VideoFormat3]\nTitle=S\n");
    const IniDocument copy = longer;
    EXPECT_EQ(extendCatalogue(longer, shipped), 0);
    EXPECT_EQ(catalogueTitles(longer), catalogueTitles(copy));
    EXPECT_EQ(longer.value("VideoFormat0", "X"), std::nullopt);
}

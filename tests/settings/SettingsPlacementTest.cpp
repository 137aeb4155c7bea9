// Where the settings live for an installed program: never in its folder, also
// for root; the shipped catalogue read-only when the user's own file cannot
// be had; a settings link that leads nowhere kept as it is.
#include "platform/UserFolders.h"
#include "settings/Catalogue.h"
#include "settings/RunSettings.h"
#include "support/TestDoubles.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <unistd.h>

using namespace vexlo::settings;
using vexlo::test::readFile;
using vexlo::test::writeFile;
namespace fs = std::filesystem;

namespace {

const char* const kShipped = "[VideoFormat0]\nTitle=MP4\nFileType=.mp4\n[VideoFormat1]\nTitle=WebM\nFileType=.webm\n";

// XDG_CONFIG_HOME for the object's lifetime.
class ConfigHome {
public:
    explicit ConfigHome(const std::string& folder)
    {
        if (const char* old = std::getenv("XDG_CONFIG_HOME"))
            m_old = old;
        ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    }
    ~ConfigHome()
    {
        if (m_old)
            ::setenv("XDG_CONFIG_HOME", m_old->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
    }

private:
    std::optional<std::string> m_old;
};

// A writable program folder that the install step marked: the run as root
// (or as the folder's owner) must not take it for a portable one.
std::string installedProgram(const std::string& root)
{
    const std::string program = root + "program/";
    writeFile(program + "vexlo.ini", kShipped);
    writeFile(program + vexlo::platform::kInstalledMarker, "installed\n");
    return program;
}

} // namespace

TEST(InstalledSettings, AMarkedProgramFolderNeverHoldsTheSettingsEvenWhenWritable)
{
    vexlo::platform::TestPlatform tp;
    const std::string program = installedProgram(tp.root());
    const ConfigHome config(tp.root() + "config");
    ASSERT_EQ(::access(program.c_str(), W_OK), 0);

    IniFile file = settingsFileFor(program + "vexlo");
    EXPECT_EQ(file.path(), tp.root() + "config/vexlo/vexlo.ini");
    file.writeText("Main", "Left", "10");
    file.writeText("RecentDestPath", "0", program);
    EXPECT_EQ(readFile(program + "vexlo.ini"), kShipped) << "the shipped catalogue stays as installed";
    EXPECT_FALSE(fs::exists(program + "vexlo.ini.lock"));
    EXPECT_EQ(std::distance(fs::directory_iterator(program), fs::directory_iterator()), 2);

    // The same folder without the marker is a portable copy.
    fs::remove(program + vexlo::platform::kInstalledMarker);
    EXPECT_EQ(settingsFilePathFor(program + "vexlo"), program + "vexlo.ini");
}

// ~/.config a file, or a home that cannot be written: the shipped profiles
// are read as they are, and a write fails naming the user's file, leaving
// the catalogue untouched (root could write it).
TEST(InstalledSettings, WithoutAUsableConfigFolderTheCatalogueIsReadAndNothingWritten)
{
    vexlo::platform::TestPlatform tp;
    const std::string program = installedProgram(tp.root());
    writeFile(tp.root() + "config", "a file where the config folder should be\n");
    const ConfigHome config(tp.root() + "config");

    const auto placement = vexlo::platform::settingsPlacementFor(program + "vexlo");
    EXPECT_TRUE(placement.perUser);
    EXPECT_TRUE(placement.readOnly);
    EXPECT_EQ(placement.danglingLink, "");

    IniFile file = settingsFileFor(program + "vexlo");
    EXPECT_EQ(catalogueTitles(file.load()), (std::vector<std::string>{"MP4", "WebM"}));
    RunSettings run;
    loadProfileSettings(file.load(), 1, run);
    EXPECT_EQ(run.FileType, ".webm") << "the profile's own values, not the loader's defaults";
    try {
        file.writeText("Options", "OutputFormat", "1");
        ADD_FAILURE() << "a read-only settings file took a write";
    } catch (const SettingsError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + tp.root() + "config/vexlo/vexlo.ini");
    }
    EXPECT_EQ(readFile(program + "vexlo.ini"), kShipped);
    EXPECT_EQ(readFile(tp.root() + "config"), "a file where the config folder should be\n");
}

// A settings file kept as a link into a dotfiles folder that is not there yet:
// the start reports it, reads the catalogue and leaves the link alone; once the
// folder is back the user's own file is read and written through the link.
TEST(InstalledSettings, ALinkThatLeadsNowhereIsKeptAndUsedOnceItsTargetIsBack)
{
    vexlo::platform::TestPlatform tp;
    // A catalogue with more profiles than the user's file: the start's
    // upgrade would write if it could.
    const std::string program = installedProgram(tp.root());
    writeFile(program + "vexlo.ini", std::string(kShipped) + "[VideoFormat2]\nTitle=AVI\nFileType=.avi\n");
    const ConfigHome config(tp.root() + "config");
    const std::string link = tp.root() + "config/vexlo/vexlo.ini";
    const std::string dotfiles = tp.root() + "dotfiles/vexlo.ini";
    fs::create_directories(tp.root() + "config/vexlo");
    fs::create_symlink(dotfiles, link);

    const auto placement = vexlo::platform::settingsPlacementFor(program + "vexlo");
    EXPECT_TRUE(placement.readOnly);
    EXPECT_EQ(placement.danglingLink, dotfiles);
    EXPECT_EQ(settingsFilePathFor(program + "vexlo"), link);
    IniFile file = settingsFileFor(program + "vexlo");
    EXPECT_EQ(catalogueTitles(file.load()).size(), 3u);
    EXPECT_THROW(file.writeText("Options", "OutputFormat", "1"), SettingsError);
    // Also a file object made from the path alone never cuts the link.
    EXPECT_THROW(IniFile(link).writeText("Options", "OutputFormat", "1"), SettingsError);
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), dotfiles);
    EXPECT_FALSE(fs::exists(dotfiles));

    writeFile(dotfiles, "[Options]\nOutputFormat=1\nSaveFileList=1\n" + std::string(kShipped));
    EXPECT_FALSE(vexlo::platform::settingsPlacementFor(program + "vexlo").readOnly);
    file = settingsFileFor(program + "vexlo");
    EXPECT_EQ(file.readInteger("Options", "OutputFormat", 0), 1);
    file.writeText("Options", "DestPath", "/home/me/Videos/");
    ASSERT_TRUE(fs::is_symlink(link)) << "a link that resolves stays a link";
    EXPECT_EQ(IniFile(dotfiles).readText("Options", "DestPath", ""), "/home/me/Videos/");
    EXPECT_EQ(IniFile(dotfiles).readText("Options", "SaveFileList", ""), "1");
}

// Starts of an installed program (its folder carries the install marker, so
// the settings are the user's own): the file-manager entries at a new user's
// first start, a settings link that leads nowhere, a profile number the
// settings do not have.
#include "AppTestSupport.h"
#include "platform/UserFolders.h"

#include <cstdlib>
#include <optional>

namespace vexlo::test {
namespace {

class InstalledStartTest : public AppTest {
protected:
    void SetUp() override
    {
        writeFile(tp.programFolder() + platform::kInstalledMarker, "installed\n");
        writeFile(tp.programFolder() + "vexlo.ini", "[VideoFormat0]\nTitle=MP4\nFileType=.mp4\n");
        if (const char* old = std::getenv("XDG_CONFIG_HOME"))
            m_oldConfig = old;
        ::setenv("XDG_CONFIG_HOME", (root() + "config").c_str(), 1);
    }
    void TearDown() override
    {
        if (m_oldConfig)
            ::setenv("XDG_CONFIG_HOME", m_oldConfig->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
    }
    std::string userSettings() const { return root() + "config/vexlo/vexlo.ini"; }

private:
    std::optional<std::string> m_oldConfig;
};

// The preference reads on for a new user, so the entries are there from the
// first start, once; a user who switched them off is never touched.
TEST_F(InstalledStartTest, ANewUsersFirstStartInstallsTheEntriesOnce)
{
    {
        auto w = open();
        ASSERT_EQ(tp.shell.integrationCalls.size(), 1u);
        EXPECT_EQ(tp.shell.integrationCalls[0], "\"" + tp.programFolder() + "Palvex.dll\" /s");
        EXPECT_EQ(settings::IniFile(userSettings()).readText("Options", "UseShellExtension", ""), "1");
        closeAndWait(*w);
    }
    {
        auto w = open();
        closeAndWait(*w);
    }
    EXPECT_EQ(tp.shell.integrationCalls.size(), 1u) << "only the first start";

    settings::IniFile(userSettings()).writeFlag("Options", "UseShellExtension", false);
    auto w = open();
    closeAndWait(*w);
    EXPECT_EQ(tp.shell.integrationCalls.size(), 1u) << "switched off stays off";
}

TEST_F(InstalledStartTest, ASettingsLinkThatLeadsNowhereIsReportedAndKept)
{
    fs::create_directories(root() + "config/vexlo");
    fs::create_symlink(root() + "dotfiles/vexlo.ini", userSettings());
    auto w = open();
    ASSERT_EQ(tp.messages.shown.size(), 1u);
    EXPECT_EQ(tp.messages.shown[0].icon, platform::MessageIcon::Warning);
    EXPECT_EQ(tp.messages.shown[0].text,
        "The settings file " + userSettings() + " is a link to " + root()
            + "dotfiles/vexlo.ini, which is not there. The link is left as it is; until its target is back, Vexlo "
              "uses the shipped output formats and saves no settings.");
    closeAndWait(*w);
    EXPECT_TRUE(fs::is_symlink(userSettings()));
    EXPECT_FALSE(fs::exists(root() + "dotfiles/vexlo.ini"));
    EXPECT_TRUE(tp.shell.integrationCalls.empty()) << "nothing can be stored, so nothing is installed";
}

TEST_F(InstalledStartTest, AProfileNumberTheSettingsDoNotHaveIsRefused)
{
    const std::string clip = file(folder("Clips") + "a.m2ts");
    installEngine();
    auto w = open({"-S", "-99", clip});
    ASSERT_TRUE(waitFor([&] { return finishedCount == 1; }, std::chrono::seconds(20)));
    EXPECT_EQ(w->silentExitStatus(), 2);
    EXPECT_TRUE(engineCalls().empty());
}

} // namespace
} // namespace vexlo::test

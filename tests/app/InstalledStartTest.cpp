// Starts of an installed program (its folder carries the install marker, so
// the settings are the user's own): the file-manager entries at a new user's
// first start and, with the preference on, entries of an earlier version's
// form written again; a settings link that leads nowhere, a profile number
// the settings do not have.
#include "AppTestSupport.h"
#include "integration/FileManagerActions.h"
#include "platform/UserFolders.h"

#include <cstdlib>
#include <map>
#include <optional>

namespace vexlo::test {
namespace {

class InstalledStartTest : public AppTest {
protected:
    void SetUp() override
    {
        writeFile(tp.programFolder() + platform::kInstalledMarker, "installed\n");
        writeFile(tp.programFolder() + "vexlo.ini", "[VideoFormat0]\nTitle=MP4\nFileType=.mp4\n");
        // The user's config and data folders in the test's own folder.
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
            const char* old = std::getenv(name);
            m_oldEnvironment[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        ::setenv("XDG_CONFIG_HOME", (root() + "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (root() + "data").c_str(), 1);
    }
    void TearDown() override
    {
        for (const auto& [name, old] : m_oldEnvironment) {
            if (old)
                ::setenv(name.c_str(), old->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }
    std::string userSettings() const { return root() + "config/vexlo/vexlo.ini"; }
    std::string data() const { return root() + "data/"; }

private:
    std::map<std::string, std::optional<std::string>> m_oldEnvironment;
};

// Entries as an older package wrote them for a user who had switched "Convert
// with Vexlo" on: started the program directly, without the launcher.
const char* const kOlderScript
    = "#!/usr/lib/vexlo/palvex-integration --nautilus-script=0\n# X-Vexlo-Generated=palvex-integration\n";
const char* const kOlderNemoAction
    = "[Nemo Action]\nName=Convert with Vexlo: MP4\nExec=/usr/lib/vexlo/vexlo 000: -- %F\n"
      "Selection=notnone\nX-Vexlo-Generated=palvex-integration\n";
const char* const kOlderLauncher
    = "#!/bin/sh\n# X-Vexlo-Generated=palvex-integration\nprogram=/usr/lib/vexlo/\ntool=$1\n";
const char* const kScriptPath = "nautilus/scripts/Convert with Vexlo/MP4";
const char* const kNemoPath = "nemo/actions/vexlo-convert-000.nemo_action";

// At every start with the preference on, the user's entries are written again
// when they are of an older form or start another program folder; current
// entries, entries that are not ours and a preference switched off are left.
TEST_F(InstalledStartTest, EntriesOfAnOlderFormAreWrittenAgainWhileThePreferenceIsOn)
{
    const auto launcherFor = [&](const std::string& folder) {
        integration::Setup setup;
        setup.programFolder = folder;
        return integration::launcherFile(setup, integration::foldersFromEnvironment()).content;
    };
    const std::string uca = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n<action>\n\t<name>MP4</name>\n"
                            "\t<unique-id>vexlo-convert-000</unique-id>\n\t<command>/usr/lib/vexlo/vexlo 000: -- %F"
                            "</command>\n</action>\n</actions>\n";
    const struct {
        const char* name;
        const char* preference;
        std::map<std::string, std::string> files; // below the test's folder
        bool writtenAgain;
    } cases[] = {
        {"Nautilus script that starts the helper", "1", {{"data/" + std::string(kScriptPath), kOlderScript}}, true},
        {"Nemo action that starts the program", "1", {{"data/" + std::string(kNemoPath), kOlderNemoAction}}, true},
        {"Thunar action that starts the program", "1", {{"config/Thunar/uca.xml", uca}}, true},
        {"launcher of an older form", "1", {{"data/vexlo/vexlo-launch", kOlderLauncher}}, true},
        {"launcher of another program folder", "1", {{"data/vexlo/vexlo-launch", launcherFor("/opt/vexlo/")}}, true},
        {"current launcher", "1",
            {{"data/vexlo/vexlo-launch", launcherFor(tp.programFolder())},
                {"data/" + std::string(kNemoPath), kOlderNemoAction}},
            false},
        {"preference off", "0", {{"data/" + std::string(kNemoPath), kOlderNemoAction}}, false},
        {"the user's own entries only", "1",
            {{"data/nemo/actions/vexlo-convert-mine.nemo_action", "[Nemo Action]\nExec=vexlo %F\n"},
                {"data/nautilus/scripts/Mine/vexlo", "#!/bin/sh\nexec vexlo \"$@\"\n"}},
            false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(root() + "data");
        fs::remove_all(root() + "config");
        writeFile(userSettings(), std::string("[Options]\nUseShellExtension=") + c.preference + "\n");
        for (const auto& [path, content] : c.files)
            writeFile(root() + path, content);
        tp.shell.integrationCalls.clear();
        auto w = open();
        closeAndWait(*w);
        ASSERT_EQ(tp.shell.integrationCalls.size(), c.writtenAgain ? 1u : 0u);
        if (c.writtenAgain) {
            EXPECT_EQ(tp.shell.integrationCalls[0], "\"" + tp.programFolder() + "Palvex.dll\" /s");
        }
        EXPECT_EQ(settings::IniFile(userSettings()).readText("Options", "UseShellExtension", ""), c.preference);
    }
}

// An older package's entries, refreshed by the helper that the start asks for
// (the built palvex-integration in the program folder, on the test's own
// folders): they start the program through the launcher, the per-user Nemo
// action goes (the package ships one for every user), and the next start
// finds them current.
TEST_F(InstalledStartTest, AnOlderPackagesEntriesAreRefreshed)
{
    fs::copy_file(binDir() + "/palvex-integration", tp.programFolder() + "palvex-integration");
    writeFile(userSettings(), "[Options]\nUseShellExtension=1\n");
    writeFile(data() + kScriptPath, kOlderScript);
    writeFile(data() + kNemoPath, kOlderNemoAction);
    {
        auto w = open();
        closeAndWait(*w);
    }
    ASSERT_EQ(tp.shell.integrationCalls.size(), 1u);

    // As the real shell starts it: the helper beside the program, the call's text as one argument.
    std::vector<std::string> environment
        = {"HOME=" + root() + "home", "XDG_CONFIG_HOME=" + root() + "config", "XDG_DATA_HOME=" + root() + "data"};
    for (const char* name : {"PATH", "LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES"}) {
        if (const char* value = std::getenv(name))
            environment.push_back(std::string(name) + "=" + value);
    }
    const int status
        = waitForProgram(spawnProgram({tp.programFolder() + "palvex-integration", tp.shell.integrationCalls[0]},
            environment, root() + "palvex.out", root() + "palvex.err"));
    ASSERT_EQ(status, 0) << readFile(root() + "palvex.err");

    EXPECT_FALSE(fs::exists(data() + kNemoPath)) << "an installed program ships Nemo's actions for every user";
    const std::string launcher = data() + "vexlo/vexlo-launch";
    ASSERT_TRUE(fs::exists(launcher));
    std::string script;
    for (const auto& entry : fs::recursive_directory_iterator(data() + "nautilus/scripts")) {
        if (entry.path().filename() == "MP4")
            script = readFile(entry.path().string());
    }
    EXPECT_EQ(script.rfind("#!/bin/sh\n", 0), 0u) << script;
    EXPECT_NE(script.find(launcher + " palvex-integration --nautilus-script=0 "), std::string::npos) << script;
    EXPECT_NE(readFile(launcher).find("program=" + tp.programFolder() + "\n"), std::string::npos);

    auto w = open();
    closeAndWait(*w);
    EXPECT_EQ(tp.shell.integrationCalls.size(), 1u) << "current entries are left as they are";
}

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

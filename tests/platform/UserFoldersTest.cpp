// Where the settings file lives, the default destination, the user-dirs
// reader, and whether the desktop has an application for a type.
#include "platform/DesktopApps.h"
#include "support/TestDoubles.h"
#include "platform/UserFolders.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vexlo::test {
namespace {

namespace fs = std::filesystem;
using namespace vexlo::platform;

// Sets environment variables while it lives.
class Env {
public:
    void set(const char* name, const std::string& value)
    {
        remember(name);
        ::setenv(name, value.c_str(), 1);
    }
    void unset(const char* name)
    {
        remember(name);
        ::unsetenv(name);
    }
    ~Env()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->second)
                ::setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                ::unsetenv(it->first.c_str());
        }
    }

private:
    void remember(const char* name)
    {
        const char* old = std::getenv(name);
        m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

TEST(SettingsPlacement, BesideAWritableProgramElsePerUser)
{
    auto p = placeSettings("/opt/vexlo/vexlo", true, "/home/me/.config");
    EXPECT_EQ(p.path, "/opt/vexlo/vexlo.ini");
    EXPECT_FALSE(p.perUser);
    p = placeSettings("/usr/lib/vexlo/vexlo", false, "/home/me/.config/");
    EXPECT_EQ(p.path, "/home/me/.config/vexlo/vexlo.ini");
    EXPECT_TRUE(p.perUser);
    EXPECT_EQ(p.catalogue, "/usr/lib/vexlo/vexlo.ini");
    p = placeSettings("/usr/lib/vexlo.d/vexlo.bin", false, "/cfg");
    EXPECT_EQ(p.path, "/cfg/vexlo/vexlo.ini") << "the extension is replaced, not a dot in a folder";
    EXPECT_EQ(p.catalogue, "/usr/lib/vexlo.d/vexlo.ini");
}

TEST(SettingsPlacement, ConfigHomeFollowsXdgRules)
{
    TestPlatform tp;
    Env env;
    env.set("HOME", tp.root() + "home");
    env.set("XDG_CONFIG_HOME", "relative/config"); // not absolute: ignored
    EXPECT_EQ(configHome(), tp.root() + "home/.config");
    env.set("XDG_CONFIG_HOME", tp.root() + "cfg/");
    EXPECT_EQ(configHome(), tp.root() + "cfg");
    env.unset("XDG_DATA_HOME");
    EXPECT_EQ(dataHome(), tp.root() + "home/.local/share");
    env.set("XDG_CONFIG_DIRS", "/a:relative::/b/");
    EXPECT_EQ(xdgSearchFolders("XDG_CONFIG_DIRS", {"/etc/xdg"}), (std::vector<std::string>{"/a", "/b"}));
    env.set("XDG_CONFIG_DIRS", "");
    EXPECT_EQ(xdgSearchFolders("XDG_CONFIG_DIRS", {"/etc/xdg"}), std::vector<std::string>{"/etc/xdg"});
}

// The first start from a program folder the user cannot write copies the
// shipped catalogue into the user's config folder; later starts keep the
// user's file. Runs as an unprivileged user (root writes everywhere).
TEST(SettingsPlacement, PerUserFileIsACopyOfTheCatalogueMadeOnce)
{
    TestPlatform tp;
    const std::string program = tp.root() + "program/";
    const std::string config = tp.root() + "config";
    writeFile(program + "vexlo.ini", "[VideoFormat0]\nTitle=Shipped\n");
    fs::create_directories(config);
    ::chmod(program.c_str(), 0555);
    ::chmod(tp.root().c_str(), 0755);
    ::chmod(config.c_str(), 0777);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(10);
        ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        try {
            const std::string first = settingsFileFor(program + "vexlo");
            if (first != config + "/vexlo/vexlo.ini")
                ::_exit(11);
            if (readFile(first) != "[VideoFormat0]\nTitle=Shipped\n")
                ::_exit(12);
            writeFile(first, "[Options]\nOutputFormat=3\n");
            if (settingsFileFor(program + "vexlo") != first || readFile(first) != "[Options]\nOutputFormat=3\n")
                ::_exit(13);
        } catch (...) {
            ::_exit(14);
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::chmod(program.c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10 no privilege drop, 11 wrong place, 12 no copy, 13 copy replaced";
    EXPECT_EQ(readFile(program + "vexlo.ini"), "[VideoFormat0]\nTitle=Shipped\n");
}

TEST(SettingsPlacement, NothingShippedStillAFolderToWriteIn)
{
    TestPlatform tp;
    Env env;
    env.set("XDG_CONFIG_HOME", tp.root() + "cfg");
    EXPECT_EQ(settingsFileFor(tp.root() + "missing/vexlo"), tp.root() + "cfg/vexlo/vexlo.ini");
    EXPECT_TRUE(fs::is_directory(tp.root() + "cfg/vexlo"));
    EXPECT_FALSE(fs::exists(tp.root() + "cfg/vexlo/vexlo.ini")) << "no catalogue: the settings start empty";
    EXPECT_EQ(fs::status(tp.root() + "cfg").permissions(), fs::perms::owner_all);
}

TEST(UserDirs, ReadsTheNamedFolder)
{
    const std::string text = "# written by xdg-user-dirs-update\n"
                             "XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n"
                             "XDG_VIDEOS_DIR=\"$HOME/My \\\"Films\\\"\"\n"
                             "XDG_MUSIC_DIR=\"$HOME/\"\n"
                             "XDG_VIDEOS_DIR_OLD=\"/old\"\n";
    EXPECT_EQ(userDirFromUserDirs(text, "VIDEOS", "/home/me"), "/home/me/My \"Films\"");
    EXPECT_EQ(userDirFromUserDirs(text, "DOCUMENTS", "/home/me/"), "/home/me/Documents");
    EXPECT_EQ(userDirFromUserDirs(text, "MUSIC", "/home/me"), "") << "the home folder switches it off";
    EXPECT_EQ(userDirFromUserDirs(text + "XDG_VIDEOS_DIR=/srv/films/\n", "VIDEOS", "/home/me"), "/srv/films")
        << "the last line counts";
    EXPECT_EQ(userDirFromUserDirs(text, "PICTURES", "/home/me"), "");
}

TEST(DefaultDestination, ProgramFolderWhileWritableElseVideosElseHome)
{
    TestPlatform tp;
    Env env;
    const std::string home = tp.root() + "home";
    env.set("HOME", home);
    env.set("XDG_CONFIG_HOME", home + "/.config");
    fs::create_directories(home);
    EXPECT_EQ(defaultDestinationFolder(), tp.programFolder());

    // A program folder that cannot be written (here: one that is not there).
    tp.paths->exe = tp.root() + "no-such-folder/vexlo";
    EXPECT_EQ(defaultDestinationFolder(), home + "/");
    fs::create_directories(home + "/Videos");
    EXPECT_EQ(defaultDestinationFolder(), home + "/Videos/");
    writeFile(home + "/.config/user-dirs.dirs", "XDG_VIDEOS_DIR=\"$HOME/Filme\"\n");
    EXPECT_EQ(defaultDestinationFolder(), home + "/Videos/") << "a configured folder that is missing is skipped";
    fs::create_directories(home + "/Filme");
    EXPECT_EQ(defaultDestinationFolder(), home + "/Filme/");
}

class DesktopAppsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* f : {"data-home", "data", "config-home", "config"})
            fs::create_directories(tp.root() + f);
        env.set("XDG_DATA_HOME", tp.root() + "data-home");
        env.set("XDG_DATA_DIRS", tp.root() + "data");
        env.set("XDG_CONFIG_HOME", tp.root() + "config-home");
        env.set("XDG_CONFIG_DIRS", tp.root() + "config");
        env.unset("XDG_CURRENT_DESKTOP");
    }
    void app(const std::string& where, const std::string& name, const std::string& extra)
    {
        writeFile(tp.root() + where + "/applications/" + name,
            "[Desktop Entry]\nType=Application\nName=X\nExec=x %f\n" + extra);
    }
    bool chm() const { return desktopHasApplicationFor({"application/vnd.ms-htmlhelp", "application/x-chm"}); }
    TestPlatform tp;
    Env env;
};

TEST_F(DesktopAppsTest, AssociationsByEntriesAndLists)
{
    EXPECT_FALSE(chm()) << "nothing installed";
    app("data", "other.desktop", "MimeType=text/html;\n");
    EXPECT_FALSE(chm());
    app("data", "viewer.desktop", "MimeType=image/png;application/vnd.ms-htmlhelp;\n");
    EXPECT_TRUE(chm());

    app("data-home", "viewer.desktop", "Hidden=true\n");
    EXPECT_FALSE(chm()) << "the user's hidden entry shadows the system's";

    writeFile(tp.root() + "config/mimeapps.list", "[Added Associations]\napplication/x-chm=other.desktop;\n");
    EXPECT_TRUE(chm()) << "an added association of an installed entry";
    writeFile(tp.root() + "config-home/mimeapps.list", "[Removed Associations]\napplication/x-chm=other.desktop;\n");
    EXPECT_FALSE(chm()) << "removed by the user's list, which comes first";

    writeFile(tp.root() + "config-home/mimeapps.list",
        "[Default Applications]\napplication/vnd.ms-htmlhelp=missing.desktop;\n");
    EXPECT_TRUE(chm()) << "a default naming no installed entry does not end the search";
    fs::remove(tp.root() + "config/mimeapps.list");
    EXPECT_FALSE(chm());
}

TEST_F(DesktopAppsTest, HelpDocumentPrefersTheChmOnlyWhenItCanOpen)
{
    const std::string folder = tp.root() + "program/";
    writeFile(folder + "help/index.htm", "<html></html>");
    EXPECT_EQ(helpDocument(folder), folder + "help/index.htm");
    app("data", "kchmviewer.desktop", "MimeType=application/vnd.ms-htmlhelp;\n");
    EXPECT_EQ(helpDocument(folder), folder + "Vexlo.chm");
}

} // namespace
} // namespace vexlo::test

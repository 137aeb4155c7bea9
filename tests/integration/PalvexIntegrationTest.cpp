// palvex-integration installs "Convert with Vexlo" for Nautilus, Dolphin,
// Nemo, Thunar and Caja into temporary HOME/XDG folders, generated from the
// catalogue; installing twice equals installing once; removing takes only
// its own files and entries away. Its Nautilus scripts start Vexlo (here the
// recording fake engine in its place) with the profile and absolute paths.
#include "FakeEngine.h"
#include "integration/FileManagerActions.h"
#include "integration/PalvexCommand.h"
#include "settings/Catalogue.h"
#include "support/TestDoubles.h"
#include "support/TestSupport.h"

#include <QProcess>
#include <QString>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <map>
#include <set>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vexlo::test {
namespace {

namespace fs = std::filesystem;
using namespace vexlo::integration;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        out.push_back(line);
    return out;
}

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

class PalvexTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A copy, not a link: the helper finds its folder through /proc/self/exe.
        fs::copy_file(VEXLO_PALVEX, folder() + "palvex-integration");
        fs::copy_file(std::string(VEXLO_SOURCE_DIR) + "/data/vexlo.ini", folder() + "vexlo.ini");
        env["HOME"] = home();
        env["XDG_DATA_HOME"] = home() + "/data";
        env["XDG_CONFIG_HOME"] = home() + "/config";
        env["XDG_CONFIG_DIRS"] = tp.root() + "etc-xdg";
        fs::create_directories(home());
    }
    std::string folder() const { return tp.programFolder(); }
    std::string home() const { return tp.root() + "home"; }
    std::string data() const { return env.count("XDG_DATA_HOME") ? env.at("XDG_DATA_HOME") : home() + "/.local/share"; }
    std::string config() const
    {
        return env.count("XDG_CONFIG_HOME") ? env.at("XDG_CONFIG_HOME") : home() + "/.config";
    }
    std::string uca() const { return config() + "/Thunar/uca.xml"; }
    // How the user's entries start the program.
    std::string launch() const { return "/bin/sh " + data() + "/vexlo/vexlo-launch "; }

    // Runs `program` with `args` in `cwd`, with the environment of the test
    // process less HOME and XDG_*, plus `env`.
    Outcome run(const std::string& program, const std::vector<std::string>& args, const std::string& cwd = {})
    {
        std::vector<std::string> vars;
        for (char** e = environ; *e; ++e) {
            const std::string s(*e);
            if (s.rfind("HOME=", 0) != 0 && s.rfind("XDG_", 0) != 0 && s.rfind("NAUTILUS_", 0) != 0)
                vars.push_back(s);
        }
        for (const auto& [k, v] : env)
            vars.push_back(k + "=" + v);
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), args.begin(), args.end());
        Outcome r;
        // The program is named by its path, never looked up on PATH.
        const int pid = spawnProgram(argv, vars, tp.root() + "out", tp.root() + "err", cwd);
        if (pid > 0)
            r.status = waitForProgram(pid);
        r.out = readFile(tp.root() + "out");
        r.err = readFile(tp.root() + "err");
        return r;
    }
    Outcome palvex(const std::vector<std::string>& args) { return run(folder() + "palvex-integration", args); }
    Outcome install() { return palvex({"\"" + folder() + "Palvex.dll\" /s"}); }
    Outcome remove() { return palvex({"\"" + folder() + "Palvex.dll\" /u /s"}); }

    // Every file below HOME and the config dirs: path -> mode and content.
    std::map<std::string, std::pair<unsigned, std::string>> snapshot() const
    {
        std::map<std::string, std::pair<unsigned, std::string>> files;
        for (const std::string& base : {home(), tp.root() + "etc-xdg"}) {
            if (!fs::exists(base))
                continue;
            for (const auto& e : fs::recursive_directory_iterator(base)) {
                struct stat st {};
                ::lstat(e.path().c_str(), &st);
                files[e.path().string()] = {st.st_mode & 0777u, e.is_regular_file() ? readFile(e.path()) : ""};
            }
        }
        return files;
    }

    static std::vector<std::string> catalogueTitles()
    {
        std::vector<std::string> titles;
        for (const Profile& p : catalogueProfiles(readFile(std::string(VEXLO_SOURCE_DIR) + "/data/vexlo.ini")))
            titles.push_back(p.title);
        return titles;
    }

    platform::TestPlatform tp;
    std::map<std::string, std::string> env;
};

constexpr const char* kUserAction = "<action>\n\t<icon>utilities-terminal</icon>\n\t<name>Open Terminal Here</name>\n"
                                    "\t<unique-id>1689070000000001-1</unique-id>\n\t<command>exo-open --working-"
                                    "directory %f --launch TerminalEmulator</command>\n\t<description>Example for a "
                                    "custom action &amp; more</description>\n\t<patterns>*</patterns>\n"
                                    "\t<startup-notify/>\n\t<directories/>\n</action>\n";

TEST_F(PalvexTest, InstallsEveryFileManagerFromTheCatalogueAndRemovesOnlyItsOwn)
{
    const std::vector<std::string> titles = catalogueTitles();
    ASSERT_EQ(titles.size(), 25u);
    const std::string userUca
        = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n" + std::string(kUserAction) + "</actions>\n";
    writeFile(uca(), userUca);
    writeFile(data() + "/nemo/actions/mine.nemo_action", "[Nemo Action]\nName=Mine\nExec=true\n");
    writeFile(data() + "/kio/servicemenus/vexlo-convert-mine.desktop", "[Desktop Entry]\nType=Service\n");
    const auto before = snapshot();

    Outcome r = install();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "") << "silent and without problems";

    // Nautilus: an executable script per profile and one for the dialog.
    const std::string scripts = data() + "/nautilus/scripts/Convert with Vexlo/";
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(scripts)) {
        names.push_back(e.path().filename());
        EXPECT_EQ(::access(e.path().c_str(), X_OK), 0) << e.path();
        const std::vector<std::string> script = lines(readFile(e.path()));
        EXPECT_EQ(script.at(0), "#!/bin/sh");
        EXPECT_EQ(script.back().rfind("exec " + launch() + "palvex-integration --nautilus-script=", 0), 0u)
            << script.back();
    }
    EXPECT_EQ(names.size(), titles.size() + 1);
    for (std::string title : titles) {
        for (size_t at = title.find('/'); at != std::string::npos; at = title.find('/'))
            title.replace(at, 1, "\u2215"); // shows as a slash in the menu
        EXPECT_TRUE(fs::exists(scripts + title)) << title;
    }
    EXPECT_EQ(lines(readFile(scripts + "Convert with Vexlo...")).back(),
        "exec " + launch() + "palvex-integration --nautilus-script=ADD \"$0\" \"$@\"");

    // Dolphin: one executable service menu with a submenu of actions.
    const std::string dolphin = data() + "/kio/servicemenus/vexlo-convert.desktop";
    EXPECT_EQ(::access(dolphin.c_str(), X_OK), 0);
    const std::string menu = readFile(dolphin);
    EXPECT_TRUE(contains(menu, "\nX-KDE-Submenu=Convert with Vexlo\n"));
    EXPECT_TRUE(contains(menu, "\nMimeType=video/mp2t;"));
    EXPECT_TRUE(contains(menu, "\nExec=" + launch() + "vexlo ADD: -- %F\n"));
    for (size_t n = 0; n < titles.size(); ++n) {
        char key[24];
        std::snprintf(key, sizeof key, "%03zu", n);
        EXPECT_TRUE(contains(menu,
            "\n[Desktop Action vexlo" + std::string(key) + "]\nName=" + titles[n] + "\nIcon=vexlo\nExec=" + launch()
                + "vexlo " + key + ": -- %F\n"))
            << titles[n];

        // Nemo: the favourite alone (the settings have none: the last
        // profile used, the first); Caja: one file per profile.
        const std::string nemoPath = data() + "/nemo/actions/vexlo-convert-" + key + ".nemo_action";
        EXPECT_EQ(fs::exists(nemoPath), n == 0) << nemoPath;
        if (n == 0) {
            const std::string nemo = readFile(nemoPath);
            EXPECT_TRUE(contains(nemo, "[Nemo Action]\nName=Convert with Vexlo: " + titles[n] + "\n")) << nemo;
            EXPECT_TRUE(contains(nemo, "\nExec=" + launch() + "vexlo " + key + ": -- %F\n"));
            EXPECT_TRUE(contains(nemo, "\nSelection=notnone\nExtensions=avi;wmv;mpeg;mpg;m2ts;mts;m2t;"));
        }
        const std::string caja = readFile(data() + "/file-manager/actions/vexlo-convert-" + key + ".desktop");
        EXPECT_TRUE(contains(caja, "[Desktop Entry]\nType=Action\nName=" + titles[n] + "\n")) << caja;
        EXPECT_TRUE(contains(caja, "\nExec=" + launch() + "vexlo " + key + ": -- %F\n"));
        EXPECT_TRUE(contains(caja, ";*.mts;*.MTS;"));
    }
    EXPECT_TRUE(contains(readFile(data() + "/file-manager/actions/vexlo-convert-menu.desktop"),
        "\nItemsList=vexlo-convert-add;vexlo-convert-000;vexlo-convert-001;"));

    // Thunar: ours added after the user's action, which is kept as written.
    const std::string merged = readFile(uca());
    EXPECT_EQ(
        merged.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n" + std::string(kUserAction), 0), 0u);
    QXmlStreamReader xml(QString::fromStdString(merged));
    std::vector<std::string> ids;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("unique-id"))
            ids.push_back(xml.readElementText().toStdString());
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    ASSERT_EQ(ids.size(), titles.size() + 2);
    EXPECT_EQ(ids[1], "vexlo-convert-add");
    EXPECT_EQ(ids.back(), "vexlo-convert-024");
    // Thunar shows them in one submenu, as the other file managers do.
    size_t grouped = 0;
    for (size_t at = merged.find("<submenu>Convert with Vexlo</submenu>"); at != std::string::npos;
         at = merged.find("<submenu>Convert with Vexlo</submenu>", at + 1))
        ++grouped;
    EXPECT_EQ(grouped, titles.size() + 1);
    EXPECT_TRUE(contains(merged, "<name>MKV H.265 archive, same as source (*.mkv)</name>"));
    EXPECT_TRUE(contains(merged, "<name>iPod MPEG-4 Video (320x240, 4:3) - High Quanlity</name>"));
    EXPECT_TRUE(contains(merged, "<command>" + launch() + "vexlo 005: -- %F</command>"));

    // Installing again changes nothing.
    const auto installed = snapshot();
    r = install();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(snapshot(), installed);

    // Removing leaves exactly what was there before.
    r = remove();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    auto after = snapshot();
    for (const std::string& created : {data() + "/nautilus", data() + "/nautilus/scripts", data() + "/file-manager",
             data() + "/file-manager/actions", data() + "/vexlo"})
        after.erase(created); // empty folders made for our files may stay
    EXPECT_EQ(after, before);
}

TEST_F(PalvexTest, UsualFoldersWhenUnsetAndTheSystemsThunarActionsKept)
{
    env.erase("XDG_DATA_HOME");
    env.erase("XDG_CONFIG_HOME");
    writeFile(tp.root() + "etc-xdg/Thunar/uca.xml",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n" + std::string(kUserAction) + "</actions>\n");
    const Outcome r = palvex({"--install"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "Installed")) << "not silent without /s";
    EXPECT_TRUE(fs::exists(home() + "/.local/share/nemo/actions/vexlo-convert-000.nemo_action"));
    EXPECT_TRUE(fs::exists(home() + "/.local/share/kio/servicemenus/vexlo-convert.desktop"));
    const std::string user = readFile(home() + "/.config/Thunar/uca.xml");
    EXPECT_TRUE(contains(user, kUserAction)) << "the system's actions stay in the user's new file";
    EXPECT_TRUE(contains(user, "<unique-id>vexlo-convert-000</unique-id>"));
    EXPECT_EQ(palvex({"/U", "/S"}).status, 0);
    EXPECT_EQ(readFile(home() + "/.config/Thunar/uca.xml"),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n" + std::string(kUserAction) + "</actions>\n");
    EXPECT_FALSE(fs::exists(home() + "/.local/share/nemo/actions/vexlo-convert-000.nemo_action"));
}

TEST_F(PalvexTest, ProblemsGoToStandardErrorAndTheRestIsDone)
{
    writeFile(uca(), "<actions><action><name>broken</action>");
    Outcome r = install();
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, uca())) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(readFile(uca()), "<actions><action><name>broken</action>") << "an unreadable file is left alone";
    EXPECT_TRUE(fs::exists(data() + "/nemo/actions/vexlo-convert-add.nemo_action"));

    r = palvex({"/x"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "/x"));
}

TEST_F(PalvexTest, NautilusScriptsStartVexloWithTheProfileAndAbsolutePaths)
{
    fs::create_symlink(fakeEnginePath(), folder() + "vexlo"); // records its arguments
    env["FAKE_TREVOK_LOG"] = tp.root() + "vexlo.log";
    env["VEXLO_REGISTRY"] = tp.registryRoot();
    ASSERT_EQ(install().status, 0);
    const std::string clips = tp.root() + "clips dir";
    fs::create_directories(clips);
    const std::string scripts = data() + "/nautilus/scripts/Convert with Vexlo/";

    Outcome r = run(scripts + catalogueTitles()[2], {"a.m2ts", "-b.MTS"}, clips);
    EXPECT_EQ(r.status, 0) << r.err;
    r = run(scripts + "Convert with Vexlo...", {"file:///x/My%20clip.mov", "sftp://host/c.mov"}, clips);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "sftp://host/c.mov"));
    // One file whose name holds a line break, beside a file named like its
    // first line: Nautilus lists it in its variable one path a line, but
    // hands it over exactly as an argument.
    writeFile(clips + "/a.mts\nb.mts", "x");
    writeFile(clips + "/a.mts", "another clip");
    env["NAUTILUS_SCRIPT_SELECTED_FILE_PATHS"] = clips + "/a.mts\nb.mts\n";
    r = run(scripts + catalogueTitles()[0], {"a.mts\nb.mts"}, clips);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(readFile(tp.root() + "vexlo.log")),
        (std::vector<std::string>{"002:\t--\t" + clips + "/a.m2ts\t" + clips + "/-b.MTS", "ADD:\t--\t/x/My clip.mov",
            "000:\t--\t" + clips + "/a.mts\\nb.mts"}));
}

// The kernel reads at most 255 bytes of a script's "#!" line and splits it at
// the first blank: a program folder with a blank or a long path must still
// work, run the way Nautilus runs a script (executed directly, in the folder
// of the selection, with the selected names as arguments).
TEST_F(PalvexTest, NautilusScriptsWorkFromAProgramFolderWithABlankOrALongPath)
{
    const std::string longPath = tp.root() + std::string(60, 'l') + "/" + std::string(60, 'o') + "/"
        + std::string(60, 'n') + "/" + std::string(60, 'g') + "/vexlo/";
    ASSERT_GE((longPath + "palvex-integration").size(), 275u);
    const std::string clips = tp.root() + "clips";
    writeFile(clips + "/00001.MTS", "x");
    env["VEXLO_REGISTRY"] = tp.registryRoot();
    for (const std::string& program : {tp.root() + "My Programs/vexlo/", longPath}) {
        SCOPED_TRACE(program);
        fs::create_directories(program);
        fs::copy_file(VEXLO_PALVEX, program + "palvex-integration");
        fs::copy_file(std::string(VEXLO_SOURCE_DIR) + "/data/vexlo.ini", program + "vexlo.ini");
        fs::create_symlink(fakeEnginePath(), program + "vexlo");
        env["FAKE_TREVOK_LOG"] = program + "vexlo.log";
        const Outcome installed = run(program + "palvex-integration", {"--install"});
        ASSERT_EQ(installed.status, 0) << installed.err;
        ASSERT_TRUE(contains(installed.out, "Installed"));

        const Outcome r
            = run(data() + "/nautilus/scripts/Convert with Vexlo/" + catalogueTitles()[3], {"00001.MTS"}, clips);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(readFile(program + "vexlo.log"), "003:\t--\t" + clips + "/00001.MTS\n");
    }
}

// Once the program folder is gone, a user's entry starts nothing that is
// missing: the first use takes every entry of this user away (the user's
// own Thunar action stays) and says so; nothing is left to fail later.
TEST_F(PalvexTest, EntriesTakeThemselvesAwayOnceTheProgramIsGone)
{
    const std::string program = tp.root() + "gone/";
    fs::create_directories(program);
    fs::copy_file(VEXLO_PALVEX, program + "palvex-integration");
    fs::copy_file(std::string(VEXLO_SOURCE_DIR) + "/data/vexlo.ini", program + "vexlo.ini");
    const std::string userUca
        = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n" + std::string(kUserAction) + "</actions>\n";
    writeFile(uca(), userUca);
    writeFile(data() + "/nemo/actions/mine.nemo_action", "[Nemo Action]\nName=Mine\nExec=true\n");
    const auto before = snapshot();
    ASSERT_EQ(run(program + "palvex-integration", {"/s"}).status, 0);
    ASSERT_TRUE(contains(readFile(uca()), "vexlo-convert-000"));
    fs::remove_all(program);
    // No notification reaches the desktop of whoever runs the test.
    env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + tp.root() + "no-bus";

    const std::string script = data() + "/nautilus/scripts/Convert with Vexlo/" + catalogueTitles()[0];
    const Outcome r = run(script, {"clip.mts"}, tp.root());
    EXPECT_EQ(r.status, 127);
    EXPECT_TRUE(contains(r.err, "vexlo: Vexlo is no longer in " + program)) << r.err;
    auto after = snapshot();
    for (const std::string& created : {data() + "/nautilus", data() + "/nautilus/scripts", data() + "/file-manager",
             data() + "/file-manager/actions", data() + "/kio", data() + "/kio/servicemenus", data() + "/vexlo"})
        after.erase(created);
    EXPECT_EQ(after, before) << "only this user's own files are left";
    EXPECT_EQ(readFile(uca()), userUca);
}

// Thunar writes uca.xml again in its own layout and drops comments, the
// markers among them (when the user edits an action, and at a start that
// gives an action without an id its id, as here): once the program is gone,
// the launcher still takes every action of ours away by its id, and the
// user's actions stay as Thunar wrote them, before and after ours.
TEST_F(PalvexTest, EntriesLeaveThunarsOwnRewriteOfTheActions)
{
    const std::string program = tp.root() + "gone/";
    fs::create_directories(program);
    fs::copy_file(VEXLO_PALVEX, program + "palvex-integration");
    fs::copy_file(std::string(VEXLO_SOURCE_DIR) + "/data/vexlo.ini", program + "vexlo.ini");
    writeFile(
        uca(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n" + std::string(kUserAction) + "</actions>\n");
    ASSERT_EQ(run(program + "palvex-integration", {"/s"}).status, 0);
    // The user adds an action of his own by hand, after ours and without an id.
    std::string added = readFile(uca());
    const std::string later = "<action>\n\t<name>It's \"later\"</name>\n\t<command>true %f</command>\n"
                              "\t<patterns>*.txt</patterns>\n\t<text-files/>\n</action>\n";
    added.insert(added.rfind("</actions>"), later);
    writeFile(uca(), added);
    fs::create_directories(tp.root() + "shown");
    const Outcome thunar = run(VEXLO_SOURCE_DIR "/tests/integration/thunar-rewrite", {uca(), tp.root() + "shown"});
    if (thunar.status == 77)
        GTEST_SKIP() << thunar.err;
    ASSERT_EQ(thunar.status, 0) << thunar.err;
    const std::string rewritten = readFile(uca());
    ASSERT_FALSE(contains(rewritten, kThunarBegin)) << rewritten;
    ASSERT_TRUE(contains(rewritten, "<unique-id>vexlo-convert-024</unique-id>")) << rewritten;
    // The user's two actions as Thunar wrote them.
    const auto actionAround = [&](const std::string& part) {
        const size_t at = rewritten.find(part);
        const size_t begin = rewritten.rfind("<action>", at);
        return rewritten.substr(begin, rewritten.find("</action>\n", at) + 10 - begin);
    };
    const std::string expected = rewritten.substr(0, rewritten.find("<action>"))
        + actionAround("<name>Open Terminal Here</name>") + actionAround("<name>It&apos;s") + "</actions>\n";
    fs::remove_all(program);
    env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + tp.root() + "no-bus";

    const Outcome r = run("/bin/sh", {data() + "/vexlo/vexlo-launch", "vexlo", "000:", "--", "clip.mts"}, tp.root());
    EXPECT_EQ(r.status, 127) << r.err;
    EXPECT_EQ(readFile(uca()), expected);
    EXPECT_FALSE(fs::exists(data() + "/vexlo/vexlo-launch"));
}

// The launcher finds our actions in whatever layout uca.xml has: all on one
// line, indented with CR LF line ends; an action of the user's that only
// names ours stays.
TEST(ThunarLauncher, TakesOurActionsOutOfAnyLayout)
{
    platform::TestPlatform tp;
    const Folders folders{tp.root() + "data", tp.root() + "config", {}};
    integration::Setup setup;
    setup.programFolder = tp.root() + "gone/";
    const GeneratedFile launcher = launcherFile(setup, folders);
    const std::string ours = "<action><name>A</name><unique-id>vexlo-convert-000</unique-id></action>";
    const std::string mine = "<action><name>vexlo-convert-000</name><unique-id>1-1</unique-id></action>";
    const struct {
        std::string before, after;
    } cases[] = {
        {"<actions>" + ours + mine + ours + "</actions>", "<actions>" + mine + "</actions>\n"},
        {"<actions>\r\n  " + ours + "\r\n  " + mine + "\r\n\t" + ours + "\r\n</actions>\r\n",
            "<actions>\r\n  " + mine + "\r\n</actions>\r\n"},
        {"<actions>\n" + mine + "\n</actions>\n", "<actions>\n" + mine + "\n</actions>\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before);
        writeFile(launcher.path, launcher.content);
        writeFile(folders.configHome + "/Thunar/uca.xml", c.before);
        const int pid = spawnProgram({"/bin/sh", launcher.path, "vexlo"},
            {"PATH=/usr/bin:/bin", "DBUS_SESSION_BUS_ADDRESS=unix:path=" + tp.root() + "no-bus"}, tp.root() + "out",
            tp.root() + "err");
        EXPECT_EQ(waitForProgram(pid), 127) << readFile(tp.root() + "err");
        EXPECT_EQ(readFile(folders.configHome + "/Thunar/uca.xml"), c.after);
    }
}

// A program with the install marker ships Dolphin's, Nemo's and Caja's entries
// for every user: the user's own are Nautilus's and Thunar's, and Nemo's for
// the favourites that the shipped ones do not offer.
TEST_F(PalvexTest, AnInstalledProgramWritesOnlyWhatHasNoSystemWidePlace)
{
    writeFile(data() + "/nemo/actions/vexlo-convert-000.nemo_action",
        "[Nemo Action]\nX-Vexlo-Generated=palvex-integration\n");
    writeFile(folder() + "vexlo.installed", "installed\n");
    writeFile(config() + "/vexlo/vexlo.ini", "[Options]\nFavouriteFormats=0,5\n");
    ASSERT_EQ(install().status, 0);
    std::vector<std::string> nemo;
    for (const auto& e : fs::directory_iterator(data() + "/nemo/actions"))
        nemo.push_back(e.path().filename());
    EXPECT_EQ(nemo, std::vector<std::string>{"vexlo-convert-005.nemo_action"}) << "the package offers 0";
    EXPECT_TRUE(contains(readFile(data() + "/nemo/actions/vexlo-convert-005.nemo_action"),
        "\nName=Convert with Vexlo: " + catalogueTitles()[5] + "\n"));
    EXPECT_TRUE(fs::exists(data() + "/nautilus/scripts/Convert with Vexlo/Convert with Vexlo..."));
    EXPECT_TRUE(contains(readFile(uca()), "<unique-id>vexlo-convert-000</unique-id>"));
    EXPECT_EQ(readFile(uca()).find("<submenu>Convert with Vexlo</submenu>"), readFile(uca()).find("<submenu>"));
    for (const std::string& gone :
        {data() + "/nemo/actions/vexlo-convert-000.nemo_action", data() + "/kio/servicemenus/vexlo-convert.desktop",
            data() + "/file-manager/actions/vexlo-convert-menu.desktop"})
        EXPECT_FALSE(fs::exists(gone)) << gone;
}

// Under a German locale the entries speak German, from the windows'
// translations; installing again after the language changed leaves no entry
// in the former language. Key files carry every language at once.
TEST_F(PalvexTest, EntriesInTheUsersLanguage)
{
    ASSERT_EQ(install().status, 0);
    ASSERT_TRUE(fs::exists(data() + "/nautilus/scripts/Convert with Vexlo/Convert with Vexlo..."));
    env["LC_ALL"] = "de_DE.UTF-8";
    env["LANGUAGE"] = "de";
    ASSERT_EQ(install().status, 0);

    EXPECT_FALSE(fs::exists(data() + "/nautilus/scripts/Convert with Vexlo")) << "the English submenu went";
    const std::string scripts = data() + "/nautilus/scripts/Mit Vexlo umwandeln/";
    EXPECT_TRUE(fs::exists(scripts + "Mit Vexlo umwandeln...")) << "the dialog's entry";
    EXPECT_TRUE(fs::exists(scripts + catalogueTitles()[0])) << "profile titles stay as they are";
    EXPECT_TRUE(contains(readFile(scripts + "Mit Vexlo umwandeln..."), "\n# Öffnet die ausgewählten Videos in Vexlo"));

    const std::string thunar = readFile(uca());
    EXPECT_TRUE(contains(thunar, "<name>Mit Vexlo umwandeln...</name>\n\t<submenu>Mit Vexlo umwandeln</submenu>\n"));
    EXPECT_FALSE(contains(thunar, "<submenu>Convert with Vexlo</submenu>"));

    const std::string dolphin = readFile(data() + "/kio/servicemenus/vexlo-convert.desktop");
    EXPECT_TRUE(contains(dolphin, "\nName=Convert with Vexlo\nName[de]=Mit Vexlo umwandeln\n"));
    EXPECT_TRUE(contains(dolphin, "\nX-KDE-Submenu=Convert with Vexlo\nX-KDE-Submenu[de]=Mit Vexlo umwandeln\n"));
    const std::string nemo = readFile(data() + "/nemo/actions/vexlo-convert-000.nemo_action");
    EXPECT_TRUE(contains(nemo, "\nName[de]=Mit Vexlo umwandeln: " + catalogueTitles()[0] + "\n")) << nemo;
    const std::string caja = readFile(data() + "/file-manager/actions/vexlo-convert-add.desktop");
    EXPECT_TRUE(contains(caja, "\nName=Convert with Vexlo...\nName[de]=Mit Vexlo umwandeln...\n")) << caja;
    EXPECT_TRUE(contains(caja, "\nTooltip[de]=Öffnet die ausgewählten Videos"));

    ASSERT_EQ(remove().status, 0);
    EXPECT_FALSE(fs::exists(scripts));
}

// What a desktop's own reader makes of a file (read-entries.py: GLib's key-file
// and shell parsers, Python's XML parser): "group<TAB>key" -> value, the Exec
// words per group, and the reader's refusal, if any.
struct ReadBack {
    std::map<std::string, std::string> values;
    std::map<std::string, std::vector<std::string>> argv;
    std::string fault;
};

ReadBack readAsTheDesktopDoes(const std::string& kind, const std::string& path)
{
    const int pid
        = spawnProgram({"/usr/bin/python3", VEXLO_SOURCE_DIR "/tests/integration/read-entries.py", kind, path},
            {"LANG=C.UTF-8"}, path + ".out", path + ".err");
    ReadBack r;
    if (waitForProgram(pid) != 0) {
        r.fault = "refused: " + readFile(path + ".err");
        return r;
    }
    for (const std::string& line : lines(readFile(path + ".out"))) {
        const size_t a = line.find('\t'), b = line.find('\t', a + 1);
        if (a == std::string::npos || b == std::string::npos)
            continue;
        const std::string first = line.substr(0, a), second = line.substr(a + 1, b - a - 1), rest = line.substr(b + 1);
        if (first != "argv") {
            r.values[first + "\t" + second] = rest;
            continue;
        }
        std::vector<std::string>& words = r.argv[second];
        for (size_t from = 0;;) {
            const size_t to = rest.find('\x1f', from);
            words.push_back(rest.substr(from, to - from));
            if (to == std::string::npos)
                break;
            from = to + 1;
        }
    }
    return r;
}

// Program folders with blanks, quotes, a dollar, a lone percent sign, a
// backtick and a backslash, or a blank alone, and titles with "%", "<", "&"
// and quotes: each file manager's own reader gets the program, the profile and
// its words unchanged, and the titles as written.
TEST(GeneratedFiles, TheDesktopsOwnReadersGetEveryWordUnchanged)
{
    platform::TestPlatform tp;
    const std::string awkwardTitle = "50% <small> & \"fast\" `x` \\ y";
    const std::vector<Profile> profiles{{0, "A"}, {1, "B/C"}, {7, awkwardTitle}, {1234, "Big"}};
    int n = 0;
    for (const std::string folder : {"/opt/my \"vexlo\" $HOME 100% it's `date` back\\slash/", "/opt/Program Files/"}) {
        SCOPED_TRACE(folder);
        integration::Setup setup{folder, profiles};
        setup.favourites = {0, 1, 7, 1234};
        int execs = 0, scripts = 0;
        for (const GeneratedFile& file : generatedFiles(setup, {"/d", "/c", {}})) {
            SCOPED_TRACE(file.path);
            const std::string copy = tp.root() + "file" + std::to_string(++n);
            writeFile(copy, file.content);
            if (file.path.rfind("/d/nautilus/", 0) == 0) {
                EXPECT_EQ(waitForProgram(spawnProgram({"/bin/sh", "-n", copy}, {}, copy + ".out", copy + ".err")), 0)
                    << readFile(copy + ".err");
                ++scripts;
                continue;
            }
            const ReadBack read = readAsTheDesktopDoes("keyfile", copy);
            ASSERT_EQ(read.fault, "");
            for (const auto& [group, words] : read.argv) {
                SCOPED_TRACE(group);
                ++execs;
                ASSERT_GE(words.size(), 3u);
                EXPECT_EQ(words[0], folder + "vexlo");
                EXPECT_EQ(words[words.size() - 2], "--");
                EXPECT_EQ(words.back(), "%F");
            }
            if (file.path == "/d/nemo/actions/vexlo-convert-007.nemo_action") {
                // Nemo expands "%" codes in its names as well: a lone one is doubled.
                std::string doubled = awkwardTitle;
                doubled.replace(doubled.find('%'), 1, "%%");
                EXPECT_TRUE(contains(read.values.at("Nemo Action\tName"), doubled))
                    << read.values.at("Nemo Action\tName");
                EXPECT_EQ(
                    read.argv.at("Nemo Action"), (std::vector<std::string>{folder + "vexlo", "007:", "--", "%F"}));
            }
            if (file.path == "/d/nemo/actions/vexlo-convert-000.nemo_action") {
                EXPECT_EQ(
                    read.argv.at("Nemo Action"), (std::vector<std::string>{folder + "vexlo", "000:", "--", "%F"}));
            }
        }
        EXPECT_GE(execs, 12) << "Dolphin's, Nemo's and Caja's commands were read";
        EXPECT_GE(scripts, 4);

        // Thunar's uca.xml, as the merge writes it: well-formed for xmllint,
        // the command and the title as written.
        std::string merged;
        ASSERT_TRUE(mergeThunarActions("", thunarActionsXml(setup), merged));
        const std::string uca = tp.root() + "uca" + std::to_string(++n) + ".xml";
        writeFile(uca, merged);
        EXPECT_EQ(waitForProgram(spawnProgram({"xmllint", "--noout", uca}, {}, uca + ".out", uca + ".err")), 0)
            << readFile(uca + ".err");
        const ReadBack xml = readAsTheDesktopDoes("xml", uca);
        ASSERT_EQ(xml.fault, "");
        bool titleSeen = false;
        for (const auto& [key, value] : xml.values) {
            if (key.find("\tname") != std::string::npos && contains(value, awkwardTitle))
                titleSeen = true;
        }
        EXPECT_TRUE(titleSeen);
        ASSERT_GE(xml.argv.size(), 4u);
        for (const auto& [action, words] : xml.argv) {
            ASSERT_FALSE(words.empty()) << action;
            EXPECT_EQ(words[0], folder + "vexlo") << action;
        }
    }
}

// Nemo shows every action at the top of its menu: it gets the output dialog
// and the favourites (settings::favouriteFormats: the user's, or the last
// profile used), each under a name of its own; the others list every profile
// in their submenu whatever the favourites are. The package's entries offer
// the shipped catalogue's favourite.
TEST(GeneratedFiles, NemoOffersTheDialogAndTheFavouritesOnly)
{
    const std::string shipped = readFile(std::string(VEXLO_SOURCE_DIR) + "/data/vexlo.ini");
    const struct {
        const char* name;
        std::string settings;
        std::vector<std::string> nemo; // the actions' keys
    } cases[] = {
        {"no favourites of the user's: the last profile used", shipped + "[Options]\nOutputFormat=7\n", {"add", "007"}},
        {"nor a profile used", shipped, {"add", "000"}},
        {"the user's", shipped + "[Options]\nOutputFormat=7\nFavouriteFormats=3,18\n", {"add", "003", "018"}},
        {"none", shipped + "[Options]\nOutputFormat=7\nFavouriteFormats=\n", {"add"}},
        {"unknown, repeated and unordered", shipped + "[Options]\nFavouriteFormats=18, 3,3,25,-1,x\n",
            {"add", "003", "018"}},
        {"a profile used that the catalogue lacks", shipped + "[Options]\nOutputFormat=-1\n", {"add"}},
        {"one title twice", "[VideoFormat0]\nTitle=Same\n[VideoFormat1]\nTitle=Same\n[Options]\nFavouriteFormats=0,1\n",
            {"add", "000", "001"}},
    };
    const Folders folders{"/d", "/c", {}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const settings::IniDocument doc = settings::IniDocument::parse(c.settings);
        integration::Setup setup{"/opt/vexlo/", catalogueProfiles(doc)};
        setup.favourites = settings::favouriteFormats(doc);
        std::vector<std::string> keys;
        std::set<std::string> names;
        std::map<std::string, std::string> others;
        for (const GeneratedFile& file : generatedFiles(setup, folders)) {
            const std::string nemo = "/d/nemo/actions/vexlo-convert-";
            if (file.path.rfind(nemo, 0) != 0) {
                others[file.path] = file.content;
                continue;
            }
            keys.push_back(file.path.substr(nemo.size(), file.path.size() - nemo.size() - 12));
            const size_t name = file.content.find("\nName=") + 6;
            EXPECT_TRUE(names.insert(file.content.substr(name, file.content.find('\n', name) - name)).second)
                << file.content;
        }
        EXPECT_EQ(keys, c.nemo);
        EXPECT_LE(keys.size(), setup.favourites.size() + 1);
        // The others as without any favourite.
        integration::Setup all = setup;
        all.favourites.clear();
        for (const GeneratedFile& file : generatedFiles(all, folders)) {
            if (file.path.rfind("/d/nemo/", 0) != 0) {
                EXPECT_EQ(others[file.path], file.content) << file.path;
            }
        }
        EXPECT_EQ(others.size(), setup.profiles.size() * 2 + 4) << "scripts, Caja's actions and menu, Dolphin's menu";
        EXPECT_EQ(thunarActionsXml(setup), thunarActionsXml(all));
    }

    integration::Setup package{"/usr/lib/vexlo/", catalogueProfiles(shipped)};
    package.favourites = settings::favouriteFormats(settings::IniDocument::parse(shipped));
    std::vector<std::string> nemo;
    for (const GeneratedFile& file : systemFiles(package, "/usr/share"))
        if (file.path.rfind("/usr/share/nemo/", 0) == 0)
            nemo.push_back(file.path);
    EXPECT_EQ(nemo,
        (std::vector<std::string>{"/usr/share/nemo/actions/vexlo-convert-add.nemo_action",
            "/usr/share/nemo/actions/vexlo-convert-000.nemo_action"}));
}

TEST(PalvexCommand, ReadsTheRegistrationText)
{
    struct Case {
        std::vector<std::string> args;
        Command::Action action;
        bool silent;
    };
    const Case cases[] = {
        {{"\"/usr/lib/vexlo/Palvex.dll\" /s"}, Command::Install, true},
        {{"\"/opt/my vexlo/Palvex.dll\" /u /s"}, Command::Remove, true},
        {{"/usr/lib/vexlo/Palvex.dll", "/U"}, Command::Remove, false},
        {{}, Command::Install, false},
        {{"--remove", "-s"}, Command::Remove, true},
        {{"--help"}, Command::Help, false},
        {{"\"x.dll\" /q"}, Command::Invalid, false},
    };
    for (const Case& c : cases) {
        const Command command = parseCommand(c.args);
        EXPECT_EQ(command.action, c.action) << ::testing::PrintToString(c.args);
        EXPECT_EQ(command.silent, c.silent) << ::testing::PrintToString(c.args);
    }
    EXPECT_EQ(parseCommand({"\"/opt/my vexlo/Palvex.dll\" /u /s"}).library, "/opt/my vexlo/Palvex.dll");
    EXPECT_EQ(
        scriptCommand("/p/", "1234", {"/a.mts"}), (std::vector<std::string>{"/p/vexlo", "-1234", "--", "/a.mts"}));
    EXPECT_TRUE(scriptCommand("/p/", "-1", {"/a.mts"}).empty());
}

TEST(ThunarMerge, KeepsTheUsersTextAndReplacesOurs)
{
    platform::TestPlatform tp;
    integration::Setup setup{"/usr/lib/vexlo/", {{0, "A & B"}}};
    const std::string ours = thunarActionsXml(setup);
    std::string out;

    // No file yet; an empty root; CRLF line ends kept around the user's action.
    ASSERT_TRUE(mergeThunarActions("", ours, out));
    EXPECT_EQ(out, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n" + ours + "</actions>\n");
    ASSERT_TRUE(mergeThunarActions("<?xml version=\"1.0\"?>\n<actions/>\n", ours, out));
    EXPECT_EQ(out, "<?xml version=\"1.0\"?>\n<actions>\n" + ours + "</actions>\n");
    const std::string crlf = "<actions>\r\n<action><unique-id>u1</unique-id></action>\r\n</actions>\r\n";
    ASSERT_TRUE(mergeThunarActions(crlf, ours, out));
    std::string again;
    ASSERT_TRUE(mergeThunarActions(out, ours, again));
    EXPECT_EQ(again, out) << "merging twice";
    ASSERT_TRUE(mergeThunarActions(out, "", again));
    EXPECT_EQ(again, crlf) << "removing restores the user's text";
    EXPECT_TRUE(contains(ours, "<name>A &amp; B</name>"));

    // Not ours: other roots, broken text, other encodings.
    for (const std::string bad : {"<menu/>", "<actions><action>", "<actions>\xff</actions>"})
        EXPECT_FALSE(mergeThunarActions(bad, ours, out)) << bad;
}

// What xmllint, the reference reader, says of `xml`: "" when it is well-formed.
std::string xmllintProblems(const std::string& xml)
{
    QProcess lint;
    lint.start(QStringLiteral("xmllint"), {QStringLiteral("--noout"), QStringLiteral("-")});
    lint.write(xml.data(), qint64(xml.size()));
    lint.closeWriteChannel();
    if (!lint.waitForFinished(20000))
        return "xmllint did not finish";
    return lint.exitCode() == 0 ? std::string() : "xmllint: " + lint.readAllStandardError().toStdString();
}

TEST(ThunarMerge, TheUsersOtherActionsCommentsAndEscapesStayAsWritten)
{
    platform::TestPlatform tp;
    const std::string ours = thunarActionsXml({"/usr/lib/vexlo/", {{0, "A < B"}}});
    const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- my own actions -->\n<actions>\n"
                             "<action>\n\t<icon>utilities-terminal</icon>\n\t<name>Compare a &lt; b &amp; c</name>\n"
                             "\t<unique-id>1-1</unique-id>\n\t<command>test 1 -lt 2 &amp;&amp; echo &quot;&lt;x&gt;"
                             "&quot;</command>\n\t<patterns>*</patterns>\n\t<directories/>\n</action>\n"
                             "<!-- the second one, <not> an element -->\n";
    const std::string second = "<action>\n\t<name>Second</name>\n\t<unique-id>2-2</unique-id>\n"
                               "\t<command>true</command>\n</action>\n";
    const std::string user = head + second + "</actions>\n";

    std::string merged;
    ASSERT_TRUE(mergeThunarActions(user, ours, merged));
    EXPECT_EQ(merged, head + second + ours + "</actions>\n");
    EXPECT_EQ(xmllintProblems(merged), "");
    EXPECT_TRUE(contains(merged, "<name>A &lt; B</name>"));

    // Ours in the middle (the user added an action after them): taken out
    // there, added again at the end; the user's actions keep their order.
    const std::string middle = head + ours + second + "</actions>\n";
    std::string again;
    ASSERT_TRUE(mergeThunarActions(middle, ours, again));
    EXPECT_EQ(again, merged);
    ASSERT_TRUE(mergeThunarActions(middle, "", again));
    EXPECT_EQ(again, user);
    ASSERT_TRUE(mergeThunarActions(merged, "", again));
    EXPECT_EQ(again, user) << "removing restores the user's file to the byte";

    // An action of the user's that only names ours in its text stays.
    const std::string lookalike
        = head + "<action><name>vexlo-convert-000</name><unique-id>3-3</unique-id></action>\n" + "</actions>\n";
    ASSERT_TRUE(mergeThunarActions(lookalike, "", again));
    EXPECT_EQ(again, lookalike);
}

TEST(ScriptFiles, AbsoluteLocalPathsOnly)
{
    std::ostringstream errors;
    EXPECT_EQ(
        scriptFiles({"a b.mts", "/abs/c.mts", "file://localhost/x/%41.mts", "smb://h/s.mts", "1:2", "a.mts\nb.mts"},
            "/cwd", errors),
        (std::vector<std::string>{"/cwd/a b.mts", "/abs/c.mts", "/x/A.mts", "/cwd/1:2", "/cwd/a.mts\nb.mts"}));
    EXPECT_TRUE(contains(errors.str(), "smb://h/s.mts"));
}

} // namespace
} // namespace vexlo::test

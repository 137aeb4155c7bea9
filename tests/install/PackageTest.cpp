// The Debian package: `cpack -G DEB` from the build folder gives
// vexlo_<version>_<arch>.deb with the runtime dependencies; unpacked by dpkg
// into a temporary root it holds the installed layout, and the program runs.
// With VEXLO_SYSTEM_PACKAGE_TESTS=1 (CI, as root on a machine of its own) it
// is also checked by lintian, installed with apt-get, run as root, verified
// by dpkg and purged without a trace; that changes the machine, so it is off
// by default.
#include "InstallSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vexlo::test {
namespace {

namespace fs = std::filesystem;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The version the package must carry on this machine: the program's, Debian
// revision 1 and the release of /etc/os-release (2.0.9-1~deb12 on Debian 12).
std::string packageVersion()
{
    std::map<std::string, std::string> os;
    std::istringstream lines(readFile("/etc/os-release"));
    for (std::string line; std::getline(lines, line);) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string value = line.substr(eq + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        os[line.substr(0, eq)] = value;
    }
    std::string release;
    if (os["ID"] == "debian" && !os["VERSION_ID"].empty())
        release = "deb" + os["VERSION_ID"].substr(0, os["VERSION_ID"].find('.'));
    else if (!os["ID"].empty() && !os["VERSION_ID"].empty())
        release = os["ID"] + os["VERSION_ID"];
    return std::string(VEXLO_VERSION) + "-1" + (release.empty() ? "" : "~" + release);
}

class PackageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_scratch = makeScratchFolder("vexlo-package");
        s_made = runProgram({VEXLO_CPACK, "-G", "DEB", "--config", std::string(VEXLO_BUILD_DIR) + "/CPackConfig.cmake",
                                "-B", s_scratch + "/out"},
            environmentWith({}), s_scratch);
        std::string arch = runProgram({"dpkg", "--print-architecture"}, environmentWith({}), s_scratch).out;
        arch.erase(arch.find_last_not_of('\n') + 1);
        s_arch = arch;
        s_deb = s_scratch + "/out/vexlo_" + packageVersion() + "_" + arch + ".deb";
    }
    static void TearDownTestSuite() { fs::remove_all(s_scratch); }
    void SetUp() override
    {
        ASSERT_EQ(s_made.status, 0) << s_made.out << s_made.err;
        ASSERT_TRUE(fs::exists(s_deb)) << s_made.out;
        scratch = s_scratch;
    }
    ProgramRun run(const std::vector<std::string>& argv) { return runProgram(argv, environmentWith({}), scratch); }
    std::string scratch;
    static inline std::string s_scratch;
    static inline std::string s_arch;
    static inline std::string s_deb;
    static inline ProgramRun s_made;
};

TEST_F(PackageTest, BuiltInspectedAndInstalledIntoAnotherRoot)
{
    const std::string& deb = s_deb;
    const std::string& arch = s_arch;

    const ProgramRun fields
        = run({"dpkg-deb", "-f", deb, "Package", "Version", "Architecture", "Depends", "Recommends"});
    ASSERT_EQ(fields.status, 0) << fields.err;
    EXPECT_TRUE(contains(fields.out, "Package: vexlo\nVersion: " + packageVersion() + "\nArchitecture: " + arch + "\n"))
        << fields.out;
    for (const char* dependency :
        {"ffmpeg", "libqt6widgets6", "libqt6gui6", "libqt6core6", "libqt6svg6", "libqt6dbus6", "libc6", "libstdc++6"})
        EXPECT_TRUE(contains(fields.out, dependency)) << dependency << " in " << fields.out;
    EXPECT_FALSE(contains(fields.out, "qt6-qpa-plugins")) << "the xcb and offscreen plugins come with libqt6gui6";
    // Without Qt's Wayland plugin (not in libqt6gui6) a Wayland desktop
    // without XWayland has no platform to show the window on.
    const size_t recommends = fields.out.find("\nRecommends: ");
    ASSERT_NE(recommends, std::string::npos) << fields.out;
    EXPECT_TRUE(contains(fields.out.substr(recommends), "qt6-wayland")) << fields.out;

    const ProgramRun listing = run({"dpkg-deb", "-c", deb});
    for (const char* entry :
        {"./usr/lib/vexlo/vexlo\n", "./usr/lib/vexlo/trevok\n", "./usr/lib/vexlo/palvex-integration\n",
            "./usr/lib/vexlo/vexlo.ini\n", "./usr/share/doc/vexlo/help/index.htm\n",
            "./usr/lib/vexlo/help -> ../../share/doc/vexlo/help\n", "./usr/bin/vexlo -> ../lib/vexlo/vexlo\n",
            "./usr/share/applications/vexlo.desktop\n", "./usr/share/icons/hicolor/scalable/apps/vexlo.svg\n",
            "./usr/share/metainfo/example.vexlo.Vexlo.metainfo.xml\n", "./usr/share/doc/vexlo/copyright\n",
            "./usr/share/doc/vexlo/changelog.Debian.gz\n", "./usr/share/man/man1/vexlo.1.gz\n",
            "./usr/share/kio/servicemenus/vexlo-convert.desktop\n",
            "./usr/share/nemo/actions/vexlo-convert-000.nemo_action\n",
            "./usr/share/file-manager/actions/vexlo-convert-menu.desktop\n", "./usr/lib/vexlo/vexlo.installed\n"})
        EXPECT_TRUE(contains(listing.out, entry)) << entry;
    EXPECT_FALSE(contains(listing.out, "_CPack_Packages")) << "no staging paths in the package";

    // dpkg into an empty root of its own (the dependencies are this machine's).
    const std::string root = scratch + "/root";
    for (const char* folder : {"/var/lib/dpkg/info", "/var/lib/dpkg/updates", "/var/log"})
        fs::create_directories(root + folder);
    writeFile(root + "/var/lib/dpkg/status", "");
    writeFile(root + "/var/lib/dpkg/available", "");
    const ProgramRun installed = run(
        {"dpkg", "--root=" + root, "--force-depends", "--force-not-root", "--force-script-chrootless", "-i", deb});
    ASSERT_EQ(installed.status, 0) << installed.out << installed.err;
    EXPECT_TRUE(contains(run({"dpkg", "--root=" + root, "-s", "vexlo"}).out, "Status: install ok installed"));
    EXPECT_EQ(fs::read_symlink(root + "/usr/bin/vexlo"), "../lib/vexlo/vexlo");
    EXPECT_TRUE(contains(readFile(root + "/usr/share/applications/vexlo.desktop"), "\nExec=/usr/bin/vexlo %F\n"));
    EXPECT_EQ(run({root + "/usr/bin/vexlo", "--version"}).out, std::string("Vexlo ") + VEXLO_VERSION + "\n");
    EXPECT_EQ(run({root + "/usr/lib/vexlo/trevok", "--version"}).status, 0);
}

// The version of CMakeLists.txt everywhere it shows: both programs, the
// newest release of the metainfo; the package and its changelog with the
// Debian revision and the release they were built for; the manual page made
// from --help.
TEST_F(PackageTest, OneVersionEverywhereAndTheDocumentsDebianAsksFor)
{
    const std::string root = scratch + "/unpacked";
    ASSERT_EQ(run({"dpkg-deb", "-x", s_deb, root}).status, 0);
    const std::string version = VEXLO_VERSION;
    EXPECT_EQ(run({root + "/usr/lib/vexlo/vexlo", "--version"}).out, "Vexlo " + version + "\n");
    EXPECT_EQ(run({root + "/usr/lib/vexlo/trevok", "--version"}).out, "trevok " + version + "\n");
    EXPECT_TRUE(contains(readFile(root + "/usr/share/metainfo/example.vexlo.Vexlo.metainfo.xml"),
        "<releases>\n    <release version=\"" + version + "\""));
    const ProgramRun changelog = run({"gzip", "-dc", root + "/usr/share/doc/vexlo/changelog.Debian.gz"});
    EXPECT_EQ(changelog.out.rfind("vexlo (" + packageVersion() + ") ", 0), 0u) << changelog.out;
    const ProgramRun page = run({"gzip", "-dc", root + "/usr/share/man/man1/vexlo.1.gz"});
    EXPECT_TRUE(contains(page.out, ".TH VEXLO 1 ")) << page.out;
    EXPECT_TRUE(contains(page.out, "  -S              an invisible run")) << "the --help text";
    EXPECT_TRUE(contains(readFile(root + "/usr/share/doc/vexlo/copyright"), "\nLicense: Expat\n"));
}

// A real install on this machine: lintian finds nothing, apt-get installs
// it, root runs it once, dpkg finds every file as shipped, a new user's
// settings start clean, and a purge leaves nothing behind.
TEST_F(PackageTest, InstalledForEveryoneRunByRootAndPurgedWithoutATrace)
{
    const char* gate = std::getenv("VEXLO_SYSTEM_PACKAGE_TESTS");
    if (!gate || std::string(gate) != "1" || ::getuid() != 0)
        GTEST_SKIP() << "changes the machine: runs as root with VEXLO_SYSTEM_PACKAGE_TESTS=1 (set by .ci/run)";
    ASSERT_NE(run({"dpkg", "-s", "vexlo"}).status, 0) << "vexlo is already installed on this machine";

    const ProgramRun lint = run({"lintian", "--fail-on", "error,warning", "--tag-display-limit", "0", s_deb});
    EXPECT_EQ(lint.status, 0) << lint.out << lint.err;
    EXPECT_FALSE(contains(lint.out, "E: ") || contains(lint.out, "W: ")) << lint.out;

    const ProgramRun apt = runProgram({"apt-get", "install", "-y", "--no-install-recommends", s_deb},
        environmentWith({{"DEBIAN_FRONTEND", "noninteractive"}}), scratch);
    ASSERT_EQ(apt.status, 0) << apt.out << apt.err;

    // Root starts the window once (its first start also writes root's own
    // file-manager entries, below this test's folder) and ends it by SIGTERM.
    const std::string rootHome = scratch + "/root-home";
    fs::create_directories(rootHome);
    const int pid = spawnProgram({"/usr/bin/vexlo"},
        environmentWith({{"HOME", rootHome}, {"XDG_CONFIG_HOME", ""}, {"XDG_DATA_HOME", ""}, {"VEXLO_REGISTRY", ""},
            {"QT_QPA_PLATFORM", "offscreen"}, {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + scratch + "/no-bus"}}),
        scratch + "/root-out", scratch + "/root-err");
    ASSERT_GT(pid, 0);
    const std::string rootSettings = rootHome + "/.config/vexlo/vexlo.ini";
    // The entries come from the helper that the window's creation starts.
    EXPECT_TRUE(waitFor([&] { return fs::exists(rootHome + "/.local/share/vexlo/vexlo-launch"); }))
        << readFile(scratch + "/root-err");
    EXPECT_TRUE(contains(readFile(rootSettings), "UseShellExtension=1"));
    ::kill(pid, SIGTERM);
    EXPECT_EQ(waitForProgram(pid), 0) << readFile(scratch + "/root-err");
    EXPECT_TRUE(contains(readFile(rootSettings), "[Main]")) << "closed as the close box does, in root's own file";

    const ProgramRun verify = run({"dpkg", "--verify", "vexlo"});
    EXPECT_EQ(verify.status, 0);
    EXPECT_EQ(verify.out, "") << "the package's files as shipped";
    EXPECT_FALSE(fs::exists("/usr/lib/vexlo/vexlo.ini.lock"));

    // A new user's settings: the shipped catalogue, nothing of root's.
    const std::string userHome = scratch + "/new-user";
    fs::create_directories(userHome);
    ASSERT_EQ(::chown(userHome.c_str(), 65534, 65534), 0);
    const ProgramRun user = runProgram({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--",
                                           "/usr/bin/vexlo", "-S", "-0", userHome + "/none.mts"},
        {"HOME=" + userHome, "PATH=/usr/bin:/bin", "LANG=C.UTF-8"}, scratch);
    EXPECT_EQ(user.status, 2) << user.err;
    const std::string userSettings = readFile(userHome + "/.config/vexlo/vexlo.ini");
    EXPECT_TRUE(contains(userSettings, "[VideoFormat0]"));
    EXPECT_FALSE(contains(userSettings, "[Main]"));
    EXPECT_FALSE(contains(userSettings, "[RecentDestPath]"));

    const ProgramRun purge = runProgram(
        {"apt-get", "purge", "-y", "vexlo"}, environmentWith({{"DEBIAN_FRONTEND", "noninteractive"}}), scratch);
    ASSERT_EQ(purge.status, 0) << purge.out << purge.err;
    EXPECT_FALSE(contains(purge.out + purge.err, "not empty")) << purge.out << purge.err;
    for (const char* gone : {"/usr/lib/vexlo", "/usr/bin/vexlo", "/usr/share/doc/vexlo",
             "/usr/share/kio/servicemenus/vexlo-convert.desktop",
             "/usr/share/nemo/actions/vexlo-convert-000.nemo_action",
             "/usr/share/file-manager/actions/vexlo-convert-menu.desktop", "/usr/share/man/man1/vexlo.1.gz"})
        EXPECT_FALSE(fs::exists(fs::symlink_status(gone))) << gone;
    EXPECT_NE(run({"dpkg", "-s", "vexlo"}).status, 0);
}

} // namespace
} // namespace vexlo::test

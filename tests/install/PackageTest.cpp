// The Debian package: `cpack -G DEB` from the build folder gives
// vexlo_<version>_<arch>.deb with the runtime dependencies; unpacked by dpkg
// into a temporary root it holds the installed layout, and the program runs.
#include "InstallSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace vexlo::test {
namespace {

namespace fs = std::filesystem;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class PackageTest : public ::testing::Test {
protected:
    void SetUp() override { scratch = makeScratchFolder("vexlo-package"); }
    void TearDown() override { fs::remove_all(scratch); }
    ProgramRun run(const std::vector<std::string>& argv) { return runProgram(argv, environmentWith({}), scratch); }
    std::string scratch;
};

TEST_F(PackageTest, BuiltInspectedAndInstalledIntoAnotherRoot)
{
    const ProgramRun made = run({VEXLO_CPACK, "-G", "DEB", "--config",
        std::string(VEXLO_BUILD_DIR) + "/CPackConfig.cmake", "-B", scratch + "/out"});
    ASSERT_EQ(made.status, 0) << made.out << made.err;
    std::string arch = run({"dpkg", "--print-architecture"}).out;
    arch.erase(arch.find_last_not_of('\n') + 1);
    const std::string deb = scratch + "/out/vexlo_2.0.9_" + arch + ".deb";
    ASSERT_TRUE(fs::exists(deb)) << made.out;

    const ProgramRun fields = run({"dpkg-deb", "-f", deb, "Package", "Version", "Architecture", "Depends"});
    ASSERT_EQ(fields.status, 0) << fields.err;
    EXPECT_TRUE(contains(fields.out, "Package: vexlo\nVersion: 2.0.9\nArchitecture: " + arch + "\n")) << fields.out;
    for (const char* dependency : {"ffmpeg", "qt6-qpa-plugins", "libqt6widgets6", "libqt6gui6", "libqt6core6",
             "libqt6svg6", "libqt6dbus6", "libc6", "libstdc++6"})
        EXPECT_TRUE(contains(fields.out, dependency)) << dependency << " in " << fields.out;

    const ProgramRun listing = run({"dpkg-deb", "-c", deb});
    for (const char* entry : {"./usr/lib/vexlo/vexlo\n", "./usr/lib/vexlo/trevok\n",
             "./usr/lib/vexlo/palvex-integration\n", "./usr/lib/vexlo/vexlo.ini\n", "./usr/lib/vexlo/help/index.htm\n",
             "./usr/bin/vexlo -> ../lib/vexlo/vexlo\n", "./usr/share/applications/vexlo.desktop\n",
             "./usr/share/icons/hicolor/scalable/apps/vexlo.svg\n",
             "./usr/share/metainfo/example.vexlo.Vexlo.metainfo.xml\n"})
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
    EXPECT_EQ(run({root + "/usr/bin/vexlo", "--version"}).out, "Vexlo 2.0.9\n");
    EXPECT_EQ(run({root + "/usr/lib/vexlo/trevok", "--version"}).status, 0);
}

} // namespace
} // namespace vexlo::test

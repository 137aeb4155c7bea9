// The Debian source package against the rest of the tree, without building
// it: scripts/deps installs what debian/control's Build-Depends name, read as
// dpkg reads them (so the list of packages is kept once), and no other list
// of them remains in scripts/deps; debian/changelog's newest entry is for the
// version and release date of CMakeLists.txt, and the package's version and
// changelog of this build add the release it was configured on.
#include "InstallSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>

namespace vexlo::test {
namespace {

namespace fs = std::filesystem;

const std::string kSource = VEXLO_SOURCE_DIR;

std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

// dpkg's own reading of a control file's build dependencies: one line per
// entry, its alternatives joined by "|", every build profile and
// architecture kept, debhelper-compat as the package that provides it.
const char* kDpkgReading = R"(
use Dpkg::Control::Info; use Dpkg::Deps;
my $source = Dpkg::Control::Info->new($ARGV[0])->get_source();
for my $field (qw(Build-Depends Build-Depends-Arch Build-Depends-Indep)) {
  next unless defined $source->{$field};
  for my $entry (deps_parse($source->{$field}, build_dep => 1)->get_deps()) {
    my @alternatives = $entry->isa('Dpkg::Deps::OR') ? $entry->get_deps() : ($entry);
    print join('|', map { $_->{package} eq 'debhelper-compat' ? 'debhelper' : $_->{package} } @alternatives), "\n";
  }
}
print "build-essential\n";
)";

class DebianSourceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_scratch = makeScratchFolder("vexlo-debian-source"); }
    static void TearDownTestSuite() { fs::remove_all(s_scratch); }
    static ProgramRun run(const std::vector<std::string>& argv)
    {
        return runProgram(argv, environmentWith({{"LC_ALL", "C.UTF-8"}}), s_scratch);
    }
    // What scripts/deps would install from `control`, and what dpkg reads there.
    static std::pair<ProgramRun, ProgramRun> bothReadings(const std::string& control)
    {
        return {run({kSource + "/scripts/deps", "--list", control}), run({"perl", "-e", kDpkgReading, control})};
    }
    static std::string changelogField(const std::string& file, const std::string& field)
    {
        return firstLine(run({"dpkg-parsechangelog", "-l", file, "-S", field}).out);
    }
    static inline std::string s_scratch;
};

TEST_F(DebianSourceTest, DepsInstallsTheBuildDependsOfTheSourcePackage)
{
    const auto [deps, dpkg] = bothReadings(kSource + "/debian/control");
    ASSERT_EQ(deps.status, 0) << deps.err;
    ASSERT_EQ(dpkg.status, 0) << dpkg.err;
    EXPECT_EQ(deps.out, dpkg.out);
    // The build's own tools and the suite's are all there (one of each kind).
    for (const char* package : {"debhelper", "cmake", "qt6-base-dev", "libavformat-dev", "libgtest-dev", "xvfb",
             "weston", "sshfs", "appstream", "build-essential"})
        EXPECT_NE(("\n" + deps.out).find("\n" + std::string(package) + "\n"), std::string::npos) << package;
}

// The reading follows dpkg's where a simple one would not: comment lines in
// a field, versions, architectures, profiles, alternatives, the other
// build-dependency fields, field names in any case, and the binary
// package's relations left out.
TEST_F(DebianSourceTest, DepsReadsAControlFileAsDpkgDoes)
{
    const struct {
        const char* what;
        const char* control;
        const char* expected;
    } cases[] = {
        {"comments and a trailing comma",
            "Source: s\nBuild-Depends:\n a,\n# b is not wanted\n c,\n\nPackage: s\nArchitecture: any\nDepends: d\n",
            "a\nc\nbuild-essential\n"},
        {"versions, architectures and profiles",
            "Source: s\nBuild-Depends: debhelper-compat (= 13), cmake (>= 3.25), fp-utils [amd64 arm64],\n"
            " libgtest-dev <!nocheck>, libbenchmark-dev <pkg.s.bench> <!nocheck>, python3:any\n",
            "debhelper\ncmake\nfp-utils\nlibgtest-dev\nlibbenchmark-dev\npython3\nbuild-essential\n"},
        {"alternatives", "Source: s\nBuild-Depends: pkgconf | pkg-config (>= 0.29), a|b|c\n",
            "pkgconf|pkg-config\na|b|c\nbuild-essential\n"},
        {"the other fields, any case, tabs",
            "Source: s\nbuild-depends: a\nBuild-Depends-Indep:\n\tb,\n\tc\nBuild-Depends-Arch: d\nBuild-Conflicts: e\n",
            "a\nd\nb\nc\nbuild-essential\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string control = s_scratch + "/control";
        writeFile(control, c.control);
        const auto [deps, dpkg] = bothReadings(control);
        ASSERT_EQ(dpkg.status, 0) << dpkg.err;
        ASSERT_EQ(deps.status, 0) << deps.err;
        EXPECT_EQ(dpkg.out, c.expected) << "the case itself";
        EXPECT_EQ(deps.out, dpkg.out);
    }
}

// A package may be named where scripts/deps treats it apart (the sshd of
// openssh-server), but no line names two: that would be a list again.
TEST_F(DebianSourceTest, NoSecondListOfPackagesInTheScripts)
{
    std::vector<std::string> packages;
    for (const std::string& entry : lines(run({kSource + "/scripts/deps", "--list"}).out)) {
        std::istringstream alternatives(entry);
        for (std::string package; std::getline(alternatives, package, '|');)
            packages.push_back(package);
    }
    ASSERT_GT(packages.size(), 20u);
    for (std::string line : lines(readFile(kSource + "/scripts/deps"))) {
        if (line.find_first_not_of(' ') != std::string::npos && line[line.find_first_not_of(' ')] == '#')
            continue; // a comment
        for (char& ch : line) {
            if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '-' && ch != '.' && ch != '+')
                ch = ' ';
        }
        line = " " + line + " ";
        std::vector<std::string> named;
        for (const std::string& package : packages) {
            if (line.find(" " + package + " ") != std::string::npos)
                named.push_back(package);
        }
        EXPECT_LT(named.size(), 2u) << "scripts/deps lists packages again: " << line;
    }
}

// The version of CMakeLists.txt and the one of debian/changelog agree, and
// the package of this build carries the release it was configured on, in
// its version and in the newest entry of its changelog.
TEST_F(DebianSourceTest, ChangelogVersionAndDateAreThoseOfCMakeLists)
{
    const std::string changelog = kSource + "/debian/changelog";
    const std::string version = changelogField(changelog, "Version");
    const std::string programVersion = VEXLO_VERSION;
    ASSERT_EQ(version.rfind(programVersion + "-", 0), 0u)
        << "debian/changelog's newest entry is " << version << ", CMakeLists.txt says " << programVersion;
    const std::string revision = version.substr(programVersion.size() + 1);
    EXPECT_NE(revision, "");
    EXPECT_EQ(revision.find_first_not_of("0123456789"), std::string::npos)
        << "a plain Debian revision: the release is added by the build";
    EXPECT_EQ(changelogField(changelog, "Distribution"), "unstable");
    const std::string day
        = firstLine(run({"date", "-u", "-d", "@" + changelogField(changelog, "Timestamp"), "+%Y-%m-%d"}).out);
    EXPECT_EQ(day, VEXLO_RELEASE_DATE) << "the newest entry is dated the release day of CMakeLists.txt";

    const std::string built = std::string(VEXLO_BUILD_DIR) + "/package/changelog.Debian";
    const std::string packageVersion = firstLine(readFile(std::string(VEXLO_BUILD_DIR) + "/package/version"));
    const std::string builtVersion = changelogField(built, "Version");
    const std::string builtText = readFile(built);
    const std::string sourceText = readFile(changelog);
    EXPECT_EQ(builtVersion, packageVersion);
    const struct {
        const char* what;
        std::string actual;
        std::string expected;
    } rows[] = {
        {"the package's version starts with the source's", packageVersion.substr(0, version.size()), version},
        {"the release follows after ~ or nothing", packageVersion.substr(version.size(), 1),
            packageVersion.size() > version.size() ? "~" : ""},
        {"the release's entry lies on top of debian/changelog",
            builtText.substr(builtText.size() - std::min(builtText.size(), sourceText.size())), sourceText},
        // The distribution that dpkg-buildpackage's .changes names (lintian
        // wants them alike), dated after the entry below it (lintian again).
        {"for the distribution of the entry below it", changelogField(built, "Distribution"),
            changelogField(changelog, "Distribution")},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.actual, row.expected) << row.what;
    if (packageVersion != version) {
        EXPECT_GT(std::stoll(changelogField(built, "Timestamp")), std::stoll(changelogField(changelog, "Timestamp")));
        const ProgramRun os = run({"sh", "-c", ". /etc/os-release && echo \"$VERSION_CODENAME\""});
        const std::string changes = run({"dpkg-parsechangelog", "-l", built, "-S", "Changes"}).out;
        EXPECT_NE(changes.find("Built for "), std::string::npos) << changes;
        EXPECT_NE(changes.find("(" + firstLine(os.out) + ")"), std::string::npos)
            << "names the release it was built on: " << changes;
    } else {
        EXPECT_EQ(builtText, sourceText) << "built for no particular release";
    }
}

} // namespace
} // namespace vexlo::test

#include "platform/LinuxServices.h"
#include "platform/LinuxWindowServices.h"
#include "platform/MountTable.h"
#include "support/TestDoubles.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sched.h>
#include <sys/mount.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace vexlo::platform;

namespace {

void writeText(const std::string& path, const std::string& text)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A mount table as /proc/self/mountinfo writes it.
const std::string kMountInfo = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                               "30 22 11:0 / /media/cd ro,relatime shared:5 - iso9660 /dev/sr0 ro\n"
                               "31 22 8:17 / /media/cdrom2 rw - ext4 /dev/sdb1 rw\n"
                               "32 22 11:1 / /media/me/My\\040Disc ro - udf /dev/sr1 ro\n"
                               "33 22 11:2 / /mnt/dvd ro - auto /dev/sr2 ro\n"
                               "34 22 0:40 / /mnt/dvd/inner rw - tmpfs tmpfs rw\n"
                               "35 22 11:3 / /mnt/over ro - iso9660 /dev/sr3 ro\n"
                               "36 22 0:41 / /mnt/over rw - tmpfs tmpfs rw\n"
                               "garbage line\n"
                               "37 22 0:42 / /mnt/noseparator rw tmpfs\n"
                               "\n";

TEST(MountTable, OpticalByFileSystemOrDevice)
{
    const MountTableDrives drives([] { return kMountInfo; });
    const struct {
        const char* path;
        bool optical;
    } cases[] = {
        {"/media/cd", true},
        {"/media/cd/", true},
        {"/media/cd/Clips/a.mts", true},
        {"/media/cdrom2/out/", false},         // a prefix only on a component boundary
        {"/media/me/My Disc/VIDEO_TS/", true}, // \040 in the table
        {"/media/me/My\\040Disc/", false},
        {"/mnt/dvd/x", true},        // /dev/sr* device
        {"/mnt/dvd/inner/x", false}, // a mount inside it
        {"/mnt/over/x", false},      // the later mount on the same point wins
        {"/media/cd/../out/", false},
        {"/home/me/", false},
        {"/", false},
        {"", false},
        {"media/cd/x", false},
        {"D:\\", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(drives.isOptical(c.path), c.optical) << c.path;
}

TEST(MountTable, EmptyOrMissingTableIsNeverOptical)
{
    EXPECT_FALSE(MountTableDrives([] { return std::string(); }).isOptical("/media/cd"));
    EXPECT_FALSE(MountTableDrives([] { return std::string("\x01\xff\n- - -\n1 2 3 4 5 6 - "); }).isOptical("/x"));
    EXPECT_FALSE(MountTableDrives(nullptr).isOptical("/media/cd"));
    const auto entry = mountOf(kMountInfo, "/media/me/My Disc/a");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->mountPoint, "/media/me/My Disc");
    EXPECT_EQ(entry->fileSystem, "udf");
    EXPECT_EQ(entry->source, "/dev/sr1");
}

TEST(MountTable, RealTableHasARootMount)
{
    const std::string table = readText("/proc/self/mountinfo");
    if (table.empty())
        GTEST_SKIP() << "no /proc here";
    // In a chroot whose root is a plain folder, the table has no mount at
    // "/": the root's mount lies outside this root.
    struct statx root {};
    if (::statx(AT_FDCWD, "/", 0, 0, &root) == 0 && (root.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT)
        && !(root.stx_attributes & STATX_ATTR_MOUNT_ROOT))
        GTEST_SKIP() << "in a chroot: / is not a mount";
    EXPECT_TRUE(mountOf(table, "/").has_value());
}

// The services keep the mount table between calls: a disc mounted (and
// taken out) while a run goes on must still be seen at once. Mounts in a
// mount namespace of this test's own, so the machine's table is untouched.
TEST(MountTable, TheServicesSeeADiscMountedWhileTheyRun)
{
    if (::geteuid() != 0 || ::unshare(CLONE_NEWNS) != 0
        || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        GTEST_SKIP() << "mounting needs root and a mount namespace of the test's own";
    QTemporaryDir dir;
    const std::string point = dir.path().toStdString();
    Drives& drives = *linuxBaseServices().drives;
    EXPECT_FALSE(drives.isOptical(point + "/a.mp4"));
    ASSERT_EQ(::mount("/dev/sr7", point.c_str(), "tmpfs", 0, "size=64k"), 0) << std::strerror(errno);
    EXPECT_TRUE(drives.isOptical(point + "/a.mp4"));
    ASSERT_EQ(::umount(point.c_str()), 0);
    EXPECT_FALSE(drives.isOptical(point + "/a.mp4"));
}

TEST(UserDirs, DocumentsFolder)
{
    const std::string home = "/home/me";
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {"# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n", "/home/me/Documents"},
        {"XDG_DOCUMENTS_DIR=\"/srv/docs/\"\n", "/srv/docs"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Files\\\"\"\r\n", "/home/me/My \"Files\""},
        {"  XDG_DOCUMENTS_DIR = \"${HOME}/Dokumente\"", "/home/me/Dokumente"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/\"\n", ""}, // switched off: the home folder
        {"XDG_DOCUMENTS_DIR=\"$HOME\"\n", ""},
        {"XDG_DOCUMENTS_DIR=\"Documents\"\n", ""}, // relative
        {"XDG_DOCUMENTS_DIR=\"\"\n", ""},
        {"XDG_DOCUMENTS_DIR=\"$HOME/unterminated\n", ""},
        {"#XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n", ""},
        {"XDG_DOCUMENTS_DIRX=\"$HOME/Documents\"\n", ""},
        {"XDG_DOCUMENTS_DIR=\"$HOME/A\"\nXDG_DOCUMENTS_DIR=\"$HOME/B\"\n", "/home/me/B"},
        {"", ""},
        {std::string("\0\xff\n=\"", 5), ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(documentsFolderFromUserDirs(c.text, home), c.expected) << c.text;
}

class EnvGuard {
public:
    explicit EnvGuard(const char* name) : m_name(name)
    {
        if (const char* v = std::getenv(name))
            m_old = v;
    }
    ~EnvGuard()
    {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);
        else
            ::unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(LinuxDesktop, PersonalFolderIsTheConfiguredDocumentsFolderWhenItExists)
{
    EnvGuard home("HOME"), config("XDG_CONFIG_HOME");
    QTemporaryDir dir;
    const std::string base = dir.path().toStdString();
    ::setenv("HOME", base.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (base + "/cfg").c_str(), 1);
    LinuxDesktop desktop;
    EXPECT_EQ(desktop.personalFolder(), ""); // no user-dirs.dirs
    writeText(base + "/cfg/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n");
    EXPECT_EQ(desktop.personalFolder(), ""); // configured but missing
    fs::create_directories(base + "/Papers");
    EXPECT_EQ(desktop.personalFolder(), base + "/Papers/");
    writeText(base + "/cfg/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/\"\n");
    EXPECT_EQ(desktop.personalFolder(), ""); // never the home folder itself
}

TEST(FileDialogFilters, DescriptionThenBlankSeparatedPatterns)
{
    const std::vector<FileFilter> filters = {
        {"AVCHD files (*.m2ts;*.mts;*.m2t)", "*.m2ts;*.mts;*.m2t"},
        {"MPEG files (*.mpeg;*.mpg)", "*.mpeg;*mpg"},
        {"All files (*.*)", "*.*"},
        {"Odd", ";;*.a;"},
    };
    EXPECT_EQ(qtNameFilters(filters),
        (std::vector<std::string>{"AVCHD files (*.m2ts;*.mts;*.m2t) (*.m2ts *.mts *.m2t)",
            "MPEG files (*.mpeg;*.mpg) (*.mpeg *mpg)", "All files (*.*) (*.*)", "Odd (*.a)"}));
}

class IconFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::string path(const char* name) const { return dir.path().toStdString() + "/" + name; }
    std::string writeImage(const char* name, const char* format, QSize size)
    {
        QImage image(size, QImage::Format_ARGB32);
        image.fill(Qt::red);
        QImageWriter writer(QString::fromStdString(path(name)), format);
        EXPECT_TRUE(writer.write(image)) << format << " " << writer.errorString().toStdString();
        return path(name);
    }
};

TEST_F(IconFileTest, ImageFilesLoadAsSixteenBySixteen)
{
    LinuxDesktop desktop;
    for (const auto& [name, format] : {std::pair{"a.png", "png"}, {"b.ico", "ico"}, {"c.xpm", "xpm"}}) {
        const std::string file = writeImage(name, format, QSize(48, 48));
        const QImage icon = desktop.extractIcon(file, 0);
        EXPECT_EQ(icon.size(), QSize(16, 16)) << name;
        EXPECT_EQ(QColor(icon.pixel(8, 8)), QColor(Qt::red)) << name;
        EXPECT_TRUE(desktop.extractIcon(file, 1).isNull()) << name; // one picture only
        EXPECT_TRUE(desktop.extractIcon(file, -203).isNull()) << name;
    }
    writeText(path("d.svg"),
        "<svg xmlns='http://www.w3.org/2000/svg' width='64' height='32'>"
        "<rect width='64' height='32' fill='blue'/></svg>");
    const QImage svg = desktop.extractIcon(path("d.svg"), 0);
    EXPECT_EQ(svg.size(), QSize(16, 16));
    // Not square: centred on a transparent square.
    EXPECT_EQ(qAlpha(svg.pixel(8, 0)), 0);
    EXPECT_EQ(QColor(svg.pixel(8, 8)), QColor(Qt::blue));
}

TEST_F(IconFileTest, NonImagesAndMissingFilesGiveNoIcon)
{
    LinuxDesktop desktop;
    writeText(path("junk.png"), std::string("\x89PNG\r\n\x1a\n\0\0garbage", 18));
    writeText(path("text.ico"), "hello");
    EXPECT_TRUE(desktop.extractIcon(path("junk.png"), 0).isNull());
    EXPECT_TRUE(desktop.extractIcon(path("text.ico"), 0).isNull());
    EXPECT_TRUE(desktop.extractIcon(path("missing.png"), 0).isNull());
    EXPECT_TRUE(desktop.extractIcon(dir.path().toStdString(), 0).isNull());
    EXPECT_TRUE(desktop.extractIcon("", 0).isNull());
}

TEST(LinuxDesktopIcons, ShellLibraryStandsForTheGenericIcons)
{
    LinuxDesktop desktop;
    std::string library = desktop.systemDirectory();
    if (library.back() != '/')
        library += '/';
    for (const std::string& name : {library + "SHELL32.dll", library + "shell32.DLL"}) {
        for (int index : {0, 3, 999, -1}) {
            const QImage icon = desktop.extractIcon(name, index);
            EXPECT_EQ(icon.size(), QSize(16, 16)) << name << " " << index;
        }
    }
}

TEST(LinuxShell, IntegrationHelperGetsTheParametersAsOneArgument)
{
    TestPlatform platform;
    LinuxShell shell;
    const std::string helper = platform.programFolder() + "palvex-integration";
    EXPECT_FALSE(shell.startShellIntegration(" /s")); // not installed

    const std::string out = platform.root() + "args.txt";
    writeText(helper,
        "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > '" + out + ".part' && mv '" + out + ".part' '" + out + "'\n");
    EXPECT_FALSE(shell.startShellIntegration(" /s")); // not executable
    fs::permissions(helper, fs::perms::owner_all);
    ASSERT_TRUE(shell.startShellIntegration(" /u /s"));
    for (int i = 0; i < 500 && !fs::exists(out); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(readText(out), "1| /u /s");
}

TEST(ProcAppPaths, IsThisExecutable)
{
    const std::string exe = ProcAppPaths().executablePath();
    EXPECT_EQ(exe, fs::read_symlink("/proc/self/exe").string());
    EXPECT_EQ(exe.front(), '/');
}

} // namespace

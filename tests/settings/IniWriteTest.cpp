// Writing the settings file: what changes, what stays, and failures that must
// leave the file as it was.
#include "support/TestDoubles.h"
#include "settings/IniFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDateTime>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vexlo::settings;
using vexlo::test::readFile;
using vexlo::test::writeFile;

namespace {

class IniWrite : public ::testing::Test {
protected:
    vexlo::platform::TestPlatform platform;
    std::string path = platform.settingsPath();
    IniFile ini{path};
};

TEST_F(IniWrite, FirstWriteCreatesFileSectionAndKey)
{
    ASSERT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(ini.readText("Options", "DestPath", "d"), "d");
    ini.writeText("Options", "DestPath", "/home/me/Out/");
    EXPECT_EQ(readFile(path), "[Options]\nDestPath=/home/me/Out/\n");
    ini.writeInteger("Options", "OutputFormat", -1);
    ini.writeFlag("Main", "Maximized", true);
    ini.writeFlag("Main", "ShowTextLabel", false);
    EXPECT_EQ(
        readFile(path), "[Options]\nDestPath=/home/me/Out/\nOutputFormat=-1\n\n[Main]\nMaximized=1\nShowTextLabel=0\n");
    EXPECT_EQ(ini.readInteger("options", "outputformat", 0), -1);
}

TEST_F(IniWrite, ReplacesInPlaceAndKeepsEverythingElse)
{
    const std::string original = "; kept comment\r\n"
                                 "[Main]\r\n"
                                 "  Width = 800 \r\n"
                                 "garbage line without equals\r\n"
                                 "Width=999\r\n"
                                 "\r\n"
                                 "[Options]\n"
                                 "# another comment\n"
                                 "LastPath=/a/\n"
                                 "\n"
                                 "[main]\n"
                                 "Height=1\n"
                                 "tail without newline";
    writeFile(path, original);
    ini.writeInteger("MAIN", "width", 1024);
    ini.writeText("Options", "DestPath", "/b/");
    EXPECT_EQ(readFile(path),
        "; kept comment\r\n"
        "[Main]\r\n"
        "Width=1024\r\n"
        "garbage line without equals\r\n"
        "Width=999\r\n"
        "\r\n"
        "[Options]\n"
        "# another comment\n"
        "LastPath=/a/\n"
        "DestPath=/b/\n"
        "\n"
        "[main]\n"
        "Height=1\n"
        "tail without newline");
    // The first [Main] is the one that counts: Height lives in a hidden repeat.
    EXPECT_EQ(ini.readInteger("Main", "Height", 480), 480);
}

TEST_F(IniWrite, EraseSectionRemovesItsKeysOnly)
{
    writeFile(path, "[FileList]\n0=/a.avi\n1=/b.avi\n\n[Options]\nX=1\n[filelist]\n2=/c.avi\n");
    ini.eraseSection("FILELIST");
    EXPECT_EQ(readFile(path), "[Options]\nX=1\n");
    EXPECT_TRUE(ini.listSectionKeys("FileList").empty());
    ini.eraseSection("Absent");
    ini.writeText("FileList", "0", "/d.avi");
    EXPECT_EQ(ini.listSectionKeys("FileList"), std::vector<std::string>{"0"});
}

TEST_F(IniWrite, ValueWithLineBreakOrNulIsRefused)
{
    using namespace std::string_literals;
    writeFile(path, "[s]\nk=old\n");
    for (const std::string& bad : {"a\rb"s, "a\nb"s, "a\0b"s, "\r\n"s}) {
        try {
            ini.writeText("s", "k", bad);
            ADD_FAILURE() << "accepted " << ::testing::PrintToString(bad);
        } catch (const SettingsError& e) {
            EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
        }
    }
    // Names that would read back as something else are refused the same way.
    for (const auto& [sec, key] : std::vector<std::pair<std::string, std::string>>{
             {"s", "a=b"}, {"s", ""}, {"s", "  "}, {"s", "[x]"}, {"s", ";k"}, {"a\nb", "k"}, {"s", "k\nj"}}) {
        EXPECT_THROW(ini.writeText(sec, key, "v"), SettingsError) << sec << "/" << key;
    }
    EXPECT_EQ(readFile(path), "[s]\nk=old\n");
}

TEST_F(IniWrite, FailedWriteLeavesFileIntact)
{
    const std::string original = "[Options]\nDestPath=/keep/\n";
    writeFile(path, original);
    // The temporary file's place is taken by a folder: the replacement cannot be made.
    std::filesystem::create_directory(path + ".tmp");
    try {
        ini.writeText("Options", "DestPath", "/new/");
        ADD_FAILURE() << "write succeeded";
    } catch (const SettingsError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
    }
    EXPECT_EQ(readFile(path), original);
    std::filesystem::remove(path + ".tmp");
    ini.writeText("Options", "DestPath", "/new/");
    EXPECT_EQ(ini.readText("Options", "DestPath", ""), "/new/");
}

// A full disk and a link planted at the temporary file's name: the write
// fails with the message, writes nothing through the link, leaves no
// temporary file, and the settings stay as they were.
TEST_F(IniWrite, AFullDiskOrAPlantedLinkLeavesTheSettingsAsTheyWere)
{
    std::string original = "[Options]\n";
    for (int i = 0; i < 300; ++i)
        original += "Key" + std::to_string(i) + "=" + std::string(30, 'v') + "\n";
    // A planted link: the write must not follow it.
    writeFile(path, original);
    const std::string victim = platform.root() + "victim";
    writeFile(victim, "not the settings");
    std::filesystem::create_symlink(victim, path + ".tmp");
    EXPECT_THROW(ini.writeText("Options", "DestPath", "/new/"), SettingsError);
    EXPECT_EQ(readFile(victim), "not the settings");
    EXPECT_EQ(readFile(path), original);
    std::filesystem::remove(path + ".tmp");

    if (::geteuid() != 0)
        GTEST_SKIP() << "a full disk (a small tmpfs) needs root; CI runs as root";
    const std::string disk = platform.root() + "disk";
    std::filesystem::create_directories(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    const std::string onDisk = disk + "/vexlo.ini";
    writeFile(onDisk, original);
    // Fill what is left, so that a second copy of the settings cannot be made.
    {
        std::ofstream filler(disk + "/filler", std::ios::binary);
        const std::string block(4096, 'f');
        while (filler.write(block.data(), block.size()) && filler.flush()) {}
    }
    IniFile full(onDisk);
    EXPECT_THROW(full.writeText("Options", "DestPath", "/new/"), SettingsError);
    EXPECT_EQ(readFile(onDisk), original);
    EXPECT_FALSE(std::filesystem::exists(onDisk + ".tmp"));
    ::umount2(disk.c_str(), MNT_DETACH);
}

// Runs `body` as an ordinary user: in a child that drops to nobody when we are
// root (permissions do not bind the superuser), else in this process. True
// when `body` returned true.
bool asOrdinaryUser(const std::function<bool()>& body)
{
    if (::geteuid() != 0)
        return body();
    const pid_t child = ::fork();
    if (child == 0) {
        const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
        ::_exit(dropped && body() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool writeIsRefused(IniFile& ini)
{
    try {
        ini.writeText("Options", "DestPath", "/new/");
    } catch (const SettingsError& e) {
        return std::string(e.what()).rfind("Unable to write to ", 0) == 0;
    }
    return false;
}

TEST_F(IniWrite, ReadOnlyFolderGivesWriteError)
{
    const std::string original = "[Options]\nDestPath=/keep/\n";
    writeFile(path, original);
    const std::string folder = platform.programFolder();
    ::chmod(platform.root().c_str(), 0755);
    ::chmod(folder.c_str(), 0555);
    ::chmod(path.c_str(), 0666);
    EXPECT_TRUE(asOrdinaryUser([&] { return writeIsRefused(ini); }));
    ::chmod(folder.c_str(), 0755);
    EXPECT_EQ(readFile(path), original);
}

TEST_F(IniWrite, FileItsOwnerMadeReadOnlyIsNeverReplaced)
{
    const std::string original = "[Options]\nDestPath=/keep/\n";
    writeFile(path, original);
    ::chmod(path.c_str(), 0444);
    EXPECT_TRUE(writeIsRefused(ini)) << "also for the superuser";
    EXPECT_EQ(readFile(path), original);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
}

TEST_F(IniWrite, WhatIsNoRegularFileIsNeitherReadNorReplaced)
{
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    EXPECT_EQ(ini.readText("Options", "DestPath", "d"), "d") << "a FIFO reads as no file, without blocking";
    EXPECT_TRUE(writeIsRefused(ini));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    std::filesystem::remove(path);

    // A link to an endless device is not read to its end. (Writing is tried
    // only through a link to a FIFO of the test's own: a test never writes
    // beside a device.)
    std::filesystem::create_symlink("/dev/zero", path);
    EXPECT_EQ(ini.readText("Options", "DestPath", "d"), "d");
    std::filesystem::remove(path);

    // A link to what is no regular file is not written, and no lock file is
    // made beside its target (a link into /dev or /etc would put one there).
    const std::string fifo = platform.root() + "elsewhere/fifo";
    std::filesystem::create_directories(platform.root() + "elsewhere");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    std::filesystem::create_symlink(fifo, path);
    EXPECT_TRUE(writeIsRefused(ini));
    EXPECT_FALSE(std::filesystem::exists(fifo + ".lock"));
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}

TEST_F(IniWrite, FileOver64MiBIsRefusedWithAMessage)
{
    {
        std::ofstream big(path, std::ios::binary);
        big << "[Options]\nDestPath=/keep/\n";
    }
    std::filesystem::resize_file(path, (64u << 20) + 1);
    try {
        (void)ini.load();
        ADD_FAILURE() << "no error";
    } catch (const SettingsError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to read " + path + ": the file is larger than 64 MiB");
    }
    EXPECT_TRUE(writeIsRefused(ini));
    EXPECT_EQ(std::filesystem::file_size(path), (64u << 20) + 1);
}

TEST_F(IniWrite, UnwritableTargetsGiveWriteError)
{
    // The path names a folder, or a folder that does not exist.
    std::filesystem::create_directories(platform.root() + "dir.ini");
    IniFile folder(platform.root() + "dir.ini");
    EXPECT_THROW(folder.writeText("s", "k", "v"), SettingsError);
    IniFile missing(platform.root() + "no/such/folder/x.ini");
    EXPECT_THROW(missing.writeFlag("s", "k", true), SettingsError);
    EXPECT_EQ(missing.readText("s", "k", "d"), "d");
}

TEST_F(IniWrite, KeepsPermissionsAndFollowsLinks)
{
    writeFile(path, "[s]\nk=1\n");
    ::chmod(path.c_str(), 0640);
    ini.writeText("s", "k", "2");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    const std::string link = platform.root() + "link.ini";
    std::filesystem::create_symlink(path, link);
    IniFile(link).writeText("s", "k", "3");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ini.readText("s", "k", ""), "3");
}

TEST_F(IniWrite, UpdateAppliesAllChangesOrNone)
{
    writeFile(path, "[s]\nk=1\n");
    ini.update([](IniDocument& d) {
        d.setValue("s", "k", "2");
        d.setValue("t", "j", "3");
    });
    EXPECT_EQ(readFile(path), "[s]\nk=2\n\n[t]\nj=3\n");
    EXPECT_THROW(ini.update([](IniDocument& d) {
        d.setValue("s", "k", "4");
        throw std::runtime_error("stop");
    }),
        std::runtime_error);
    EXPECT_EQ(readFile(path), "[s]\nk=2\n\n[t]\nj=3\n");
}

TEST_F(IniWrite, TimeAndNothingCached)
{
    const QDateTime at(QDate(2024, 1, 2), QTime(18, 45, 30));
    ini.writeTime("Options", "StartConvertingAt", at);
    const QDateTime def(QDate(2030, 6, 7), QTime(1, 1, 1));
    EXPECT_EQ(ini.readTime("Options", "StartConvertingAt", def), QDateTime(QDate(2030, 6, 7), QTime(18, 45, 30)));
    // Another writer's change is seen at once by the next read.
    writeFile(path, "[Options]\nStartConvertingAt=\n");
    EXPECT_EQ(ini.readTime("Options", "StartConvertingAt", def), def);
}

TEST(IniLocation, SettingsFileReplacesTheExtension)
{
    vexlo::platform::TestPlatform platform;
    EXPECT_EQ(settingsFilePath(), platform.settingsPath());
    // Beside the executable while its folder is writable (a folder that is
    // not: UserFoldersTest).
    const std::pair<const char*, const char*> cases[] = {
        {"Vexlo/Vexlo.exe", "Vexlo/Vexlo.ini"},
        {"vexlo.d/vexlo", "vexlo.d/vexlo.ini"},
        {"v/vexlo.bin.x", "v/vexlo.bin.ini"},
        {"v/.vexlo", "v/.ini"},
    };
    for (const auto& [exeName, iniName] : cases) {
        const std::string exe = platform.root() + exeName;
        const std::string ini = platform.root() + iniName;
        std::filesystem::create_directories(std::filesystem::path(exe).parent_path());
        platform.paths->exe = exe;
        EXPECT_EQ(settingsFilePath(), ini);
        EXPECT_EQ(settingsFile().path(), ini);
    }
}

} // namespace

#include "base/Paths.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace vexlo::paths;

TEST(Extension, FromTheLastDotAfterTheLastSlash)
{
    EXPECT_EQ(extensionOf("/videos/clip.MTS"), ".MTS");
    EXPECT_EQ(extensionOf("clip.tar.gz"), ".gz");
    EXPECT_EQ(extensionOf("/a.b/c"), "");
    EXPECT_EQ(extensionOf("a.b/c"), "");
    EXPECT_EQ(extensionOf("a.b/c.d"), ".d");
    EXPECT_EQ(extensionOf("/home/me/.profile"), ".profile"); // a dotfile's name is its extension
    EXPECT_EQ(extensionOf("name."), ".");
    EXPECT_EQ(extensionOf("noext"), "");
    EXPECT_EQ(extensionOf(""), "");
    EXPECT_EQ(extensionOf("/folder/"), "");
    EXPECT_EQ(extensionOf("D:clip.mts"), ".mts"); // ":" is an ordinary character
    EXPECT_EQ(extensionStart("a.b/c"), std::string::npos);
    EXPECT_EQ(extensionStart("/x/a.b"), 4u);
}

TEST(TrailingSlashes, RemovedButTheRootStays)
{
    EXPECT_EQ(withoutTrailingSlashes("/home/me///"), "/home/me");
    EXPECT_EQ(withoutTrailingSlashes("/home/me"), "/home/me");
    EXPECT_EQ(withoutTrailingSlashes("///"), "/");
    EXPECT_EQ(withoutTrailingSlashes("/"), "/");
    EXPECT_EQ(withoutTrailingSlashes("a/"), "a");
    EXPECT_EQ(withoutTrailingSlashes(""), "");
}

TEST(TrailingSlashes, OneAddedWhereAFolderIsJoined)
{
    EXPECT_EQ(withTrailingSlash("/home/me"), "/home/me/");
    EXPECT_EQ(withTrailingSlash("/home/me/"), "/home/me/");
    EXPECT_EQ(withTrailingSlash("/"), "/");
    EXPECT_EQ(withTrailingSlash("a b"), "a b/");
    EXPECT_EQ(withTrailingSlash(""), ""); // no folder is not the root
}

TEST(ProgramSearch, FirstExecutableFileOnPathOrInTheUsualFolders)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string root = dir.path().toStdString() + "/";
    const auto make = [&](const std::string& path, mode_t mode) {
        std::ofstream(root + path) << "#!/bin/sh\n";
        ::chmod((root + path).c_str(), mode);
    };
    for (const char* folder : {"plain", "folder", "found", "later", "here"})
        ::mkdir((root + folder).c_str(), 0755);
    make("plain/tool", 0644);                      // not executable
    ::mkdir((root + "folder/tool").c_str(), 0755); // a folder is no program
    make("found/tool", 0755);
    make("later/tool", 0755);
    make("here/own", 0755);
    const char* saved = std::getenv("PATH");
    const std::string before = saved ? saved : "";

    ::setenv("PATH",
        (root + "missing:" + root + "plain::" + root + "folder:" + root + "found/:" + root + "later").c_str(), 1);
    EXPECT_EQ(findOnPath("tool"), root + "found/tool");
    EXPECT_EQ(findOnPath("none"), "");
    // An empty entry is the current folder.
    char cwd[4096];
    ASSERT_TRUE(::getcwd(cwd, sizeof cwd));
    ASSERT_EQ(::chdir((root + "here").c_str()), 0);
    EXPECT_EQ(findOnPath("own"), "./own");
    ::setenv("PATH", (root + "plain").c_str(), 1);
    EXPECT_EQ(findOnPath("own"), "");
    ASSERT_EQ(::chdir(cwd), 0);
    // Without a PATH (a bare cron or service environment) the usual folders are searched.
    for (const bool unset : {true, false}) {
        if (unset)
            ::unsetenv("PATH");
        else
            ::setenv("PATH", "", 1);
        const std::string sh = findOnPath("sh");
        EXPECT_TRUE(sh == "/usr/local/bin/sh" || sh == "/usr/bin/sh" || sh == "/bin/sh") << sh;
    }
    ::setenv("PATH", before.c_str(), 1);
}

TEST(PathText, Utf8RoundTrip)
{
    const std::string utf8 = "/tmp/Gr\xC3\xBC\xC3\x9F"
                             "e/clip.mts";
    EXPECT_EQ(toQString(utf8), QString::fromUtf8(utf8.c_str()));
    EXPECT_EQ(fromQString(toQString(utf8)), utf8);
    // The whole text counts, also past a NUL byte.
    EXPECT_EQ(toQString(std::string_view("a\0b", 3)).size(), 3);
    EXPECT_TRUE(toQString("").isEmpty());
    EXPECT_EQ(fromQString(QString()), "");
}

TEST(PathKinds, FileFolderAndOthers)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string base = fromQString(dir.path()) + "/";
    std::ofstream(base + "file.mts") << "x";
    ASSERT_EQ(::mkdir((base + "folder").c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo((base + "pipe").c_str(), 0644), 0);
    ASSERT_EQ(::symlink((base + "file.mts").c_str(), (base + "link").c_str()), 0);
    ASSERT_EQ(::symlink((base + "gone").c_str(), (base + "dangling").c_str()), 0);

    EXPECT_TRUE(isRegularFile(base + "file.mts"));
    EXPECT_TRUE(existsNotFolder(base + "file.mts"));
    EXPECT_FALSE(isFolder(base + "file.mts"));

    EXPECT_TRUE(isFolder(base + "folder"));
    EXPECT_FALSE(isRegularFile(base + "folder"));
    EXPECT_FALSE(existsNotFolder(base + "folder"));

    // A FIFO exists and is no folder, but it is no regular file either: the
    // two questions differ here.
    EXPECT_TRUE(existsNotFolder(base + "pipe"));
    EXPECT_FALSE(isRegularFile(base + "pipe"));

    EXPECT_TRUE(isRegularFile(base + "link")); // links are followed
    EXPECT_FALSE(existsNotFolder(base + "dangling"));
    EXPECT_FALSE(isRegularFile(base + "missing"));
    EXPECT_FALSE(isFolder(""));
    EXPECT_FALSE(existsNotFolder(""));
    EXPECT_TRUE(existsNotFolder("/dev/null"));
    EXPECT_FALSE(isRegularFile("/dev/null"));
}

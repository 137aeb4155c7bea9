#include "shellutil/ConvertPublic.h"
#include "shellutil/FileTypeIcon.h"

#include "support/TestDoubles.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLocale>

#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace vexlo::shellutil;
using namespace vexlo::platform;

namespace {

void writeText(const std::string& path, const std::string& text)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// A file of `size` bytes that takes no room on disk.
void makeSparseFile(const std::string& path, uint64_t size)
{
    writeText(path, "");
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0) << path;
}

// HKEY_CLASSES_ROOT as a table of default values: key (ASCII case folded,
// components joined by "\") to its default value. HKEY_CURRENT_USER is empty.
class FakeClassesRoot : public Registry {
public:
    std::map<std::string, std::string> keys;

    static std::string normalized(std::string_view key)
    {
        std::string joined;
        for (const std::string& part : splitRegistryKey(key))
            joined += (joined.empty() ? "" : "\\") + asciiLower(part);
        return joined;
    }
    bool keyExists(Hive hive, std::string_view key) const override
    {
        return hive == Hive::ClassesRoot && keys.count(normalized(key));
    }
    std::optional<std::string> readValue(Hive hive, std::string_view key, std::string_view name) const override
    {
        if (hive != Hive::ClassesRoot || !name.empty())
            return std::nullopt;
        const auto it = keys.find(normalized(key));
        return it == keys.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    bool createKey(Hive, std::string_view) override { return false; }
    bool writeValue(Hive, std::string_view, std::string_view, std::string_view) override { return false; }
};

class ConvertPublicTest : public ::testing::Test {
protected:
    ConvertPublicTest()
    {
        Services withClasses = services();
        withClasses.registry = &classes;
        installServices(withClasses); // TestPlatform restores its own previous set
    }
    TestPlatform platform;
    FakeClassesRoot classes;
    std::string library() const { return platform.desktop.systemDir + "SHELL32.dll"; }
};

// ---------------------------------------------------------------------------

TEST(IsAllDigits, OnlyDecimalDigits)
{
    const std::pair<const char*, bool> cases[] = {
        {"", true}, {"0123", true}, {"5", true}, {"99999999999999999999999", true}, {"12a", false}, {"-1", false},
        {" 1", false}, {"1 ", false}, {"+1", false}, {"1.5", false}, {"\xd9\xa3", false}, // Arabic-Indic three
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(IsAllDigits(text), expected) << '"' << text << '"';
    EXPECT_FALSE(IsAllDigits(std::string("1\0"
                                         "2",
        3)));
}

TEST(GetFileSizeText, DigitsChooseTheUnitAnd1024Divides)
{
    const fs::path dir = fs::temp_directory_path() / ("vexlo-size-" + std::to_string(::getpid()));
    const std::pair<uint64_t, const char*> cases[] = {
        {0, "0 Byte"},
        {999, "999 Byte"},
        {1000, "0.98 KB"},
        {1023, "1.00 KB"},
        {1536, "1.50 KB"},
        {999999, "976.56 KB"},
        {1000000, "0.95 MB"},
        {1048575, "1.00 MB"},
        {1048576, "1.00 MB"},
        {734003200, "700.00 MB"},
        {5000000000ULL, "4768.37 MB"},
    };
    const QLocale previous;
    QLocale::setDefault(QLocale::c());
    for (const auto& [size, expected] : cases) {
        const std::string file = (dir / std::to_string(size)).string();
        makeSparseFile(file, size);
        EXPECT_EQ(GetFileSizeText(file), expected) << size;
    }
    // The locale's decimal separator.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(GetFileSizeText((dir / "1536").string()), "1,50 KB");
    EXPECT_EQ(GetFileSizeText((dir / "5000000000").string()), "4768,37 MB");
    QLocale::setDefault(previous);
    // Not a file: no size.
    EXPECT_EQ(GetFileSizeText((dir / "missing").string()), "");
    EXPECT_EQ(GetFileSizeText(dir.string()), "");
    fs::remove_all(dir);
}

// ---------------------------------------------------------------------------

TEST_F(ConvertPublicTest, DefaultIconValues)
{
    classes.keys[".mts"] = "video/mp2t";
    struct Case {
        std::string value;
        std::string path;
        int32_t index;
    };
    const std::vector<Case> cases = {
        {"/icons/video.png,3", "/icons/video.png", 3},
        {"/icons/video.png", "/icons/video.png", 0},
        {"/icons/video.png,-203", "/icons/video.png", -203},
        {"/icons/video.png,", "/icons/video.png", 0},
        {"/icons/a,b.png,1", "/icons/a", 0}, // only the first comma splits
        {"/icons/video.png,x", "/icons/video.png", 0},
        {"/icons/video.png, 3", "/icons/video.png", 0},
        {"/icons/video.png,99999999999", "/icons/video.png", 0},
        {"/icons/video.png,-2147483648", "/icons/video.png", INT32_MIN},
        {"\"/icons/video.png\",2", "\"/icons/video.png\"", 2},
        {"%SystemRoot%/x.dll,1", "%SystemRoot%/x.dll", 1},
        {",7", "", 7},
        {"", "", 0},
    };
    for (const Case& c : cases) {
        classes.keys["video/mp2t\\defaulticon"] = c.value;
        const IconLocation location = GetDefaultIconLocation("*.MTS");
        EXPECT_EQ(location.Path, c.path) << c.value;
        EXPECT_EQ(location.Index, c.index) << c.value;
    }
}

TEST_F(ConvertPublicTest, DefaultIconLookUpMisses)
{
    classes.keys[".abc"] = "abcfile"; // a class without DefaultIcon
    for (const char* pattern : {"*.abc", "*.unknown", "*", "", "abc", "*abc"}) {
        const IconLocation location = GetDefaultIconLocation(pattern);
        EXPECT_EQ(location.Path, "") << pattern;
        EXPECT_EQ(location.Index, 0) << pattern;
    }
    // An extension without a class reads the DefaultIcon key at the root.
    classes.keys["defaulticon"] = "/root/icon.png,2";
    EXPECT_EQ(GetDefaultIconLocation("*.unknown").Path, "/root/icon.png");
    EXPECT_EQ(GetDefaultIconLocation("*.unknown").Index, 2);
}

TEST_F(ConvertPublicTest, FileTypeIconFallsBackToTheSystemLibrary)
{
    const std::string png = platform.root() + "icons/video.png";
    fs::create_directories(platform.root() + "icons");
    QImage(32, 32, QImage::Format_ARGB32).save(QString::fromStdString(png));
    classes.keys[".mts"] = "video/mp2t";
    classes.keys[".mov"] = "video/quicktime";
    classes.keys["video/quicktime\\defaulticon"] = "\"" + png + "\",0";
    const std::string existing = platform.root() + "clip.avi";
    writeText(existing, "data");

    struct Case {
        std::string fileName;
        int fallback;
        std::string file;
        int index;
    };
    const std::vector<Case> cases = {
        {"*.mts", 0, library(), 0}, // a class without an icon
        {"*.xyz", 4, library(), 4}, // no registry entry
        {"*.mov", 0, library(), 0}, // quoted: names no file
        {"*", 0, library(), 0},     // no extension
        {existing, 7, existing, 0}, // a file is its own icon file
        {platform.root() + "gone.avi", 2, library(), 2}, {platform.root(), 1, library(), 1}, // a folder is no icon file
    };
    for (const Case& c : cases) {
        GetFileTypeIcon(c.fileName, c.fallback);
        ASSERT_FALSE(platform.desktop.iconRequests.empty());
        EXPECT_EQ(platform.desktop.iconRequests.back(), std::make_pair(c.file, c.index)) << c.fileName;
    }

    classes.keys["video/mp2t\\defaulticon"] = png + ",0";
    const QImage icon = GetFileTypeIcon("*.mts", 5);
    EXPECT_EQ(platform.desktop.iconRequests.back(), std::make_pair(png, 0));
    EXPECT_EQ(icon.size(), QSize(16, 16));

    // A system directory without its trailing "/" gets one.
    platform.desktop.systemDir = "/sys32";
    GetFileTypeIcon("*.xyz", 0);
    EXPECT_EQ(platform.desktop.iconRequests.back(), std::make_pair(std::string("/sys32/SHELL32.dll"), 0));
}

// ---------------------------------------------------------------------------

TEST_F(ConvertPublicTest, ExpandLongPathTakesTheStoredSpelling)
{
    const std::string root = platform.root(); // exact spelling, ends with "/"
    fs::create_directories(root + "Videos/Holiday Clips");
    writeText(root + "Videos/Holiday Clips/Clip.MTS", "x");
    fs::create_directories(root + "Mixed/Case");
    fs::create_directories(root + "Mixed/case");

    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"/", "/"},
        {root, root},
        {root + "videos/holiday clips/", root + "Videos/Holiday Clips/"},
        {root + "VIDEOS/HOLIDAY CLIPS/clip.mts", root + "Videos/Holiday Clips/Clip.MTS"},
        {root + "videos/missing/holiday clips/clip.mts", root + "Videos/missing/holiday clips/clip.mts"},
        {root + "videos/holiday clips/nothing.mts", root + "Videos/Holiday Clips/nothing.mts"},
        {root + "mixed/case/", root + "Mixed/case/"}, // an exact match first
        {root + "mixed/CASE", root + "Mixed/Case"},   // then the smallest of the others
        {root + "videos//holiday clips", root + "Videos//Holiday Clips"},
        {root + "videos/./holiday clips/..", root + "Videos/./Holiday Clips/.."},
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(ExpandLongPath(path), expected) << path;
    EXPECT_EQ(ExpandLongPathPart(root + "videos/"), root + "Videos/");
    EXPECT_EQ(ExpandLongPathPart("/"), "/");
}

TEST_F(ConvertPublicTest, PersonalFolderEndsWithExactlyOneSlash)
{
    const std::pair<const char*, const char*> cases[] = {
        {"/home/me/Documents", "/home/me/Documents/"},
        {"/home/me/Documents/", "/home/me/Documents/"},
        {"/home/me/Documents//", "/home/me/Documents/"},
        {"/", "/"},
        {"", ""},
    };
    for (const auto& [stored, expected] : cases) {
        platform.desktop.personal = stored;
        EXPECT_EQ(GetPersonalFolder(), expected) << stored;
    }
}

TEST_F(ConvertPublicTest, OpticalPathsComeFromTheMountTable)
{
    platform.mountInfo = "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                         "2 1 11:0 / /media/cd ro - iso9660 /dev/sr0 ro\n";
    const std::pair<const char*, bool> cases[] = {
        {"/media/cd/", true},
        {"/media/cd/Out/", true},
        {"/media/cdx/", false},
        {"/home/me/", false},
        {"media/cd/", false},
        {"", false},
        {"D:", false},
        {"D:/", false},
    };
    for (const auto& [path, optical] : cases)
        EXPECT_EQ(IsCDROMPath(path), optical) << path;
}

TEST(PathHelpers, FolderExtensionAndCase)
{
    const struct {
        const char* path;
        const char* folder;
        const char* extension;
    } cases[] = {
        {"/home/me/clip.mts", "/home/me/", ".mts"},
        {"/home/me.d/clip", "/home/me.d/", ""},
        {"/home/me/archive.tar.gz", "/home/me/", ".gz"},
        {"/home/me/", "/home/me/", ""},
        {"clip.", "", "."},
        {"C:clip.avi", "", ".avi"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(folderPart(c.path), c.folder) << c.path;
        EXPECT_EQ(extensionOf(c.path), c.extension) << c.path;
    }
    EXPECT_EQ(asciiUpper("abz-ÄÖ.mts"), "ABZ-ÄÖ.MTS");
    EXPECT_EQ(asciiLower("ABZ-ÄÖ.MTS"), "abz-ÄÖ.mts");
    EXPECT_FALSE(fileExists(""));
    EXPECT_FALSE(folderExists(""));
    EXPECT_TRUE(folderExists("/"));
    EXPECT_FALSE(fileExists("/"));
}

} // namespace

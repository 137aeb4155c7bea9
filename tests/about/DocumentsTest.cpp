// The documents that the build places beside the executable: the compiled
// help file, the FAQ and the licence text, and what they must cover.
#include "app/FileRules.h"
#include "base/Text.h"
#include "settings/Catalogue.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using vexlo::test::binDir;
using vexlo::test::readFile;

namespace {

std::string inBin(const std::string& name)
{
    std::string dir = binDir();
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    return dir + name;
}

std::string source(const std::string& relative) { return std::string(VEXLO_SOURCE_DIR) + "/" + relative; }

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Text of all help pages together, tags and entities left in.
std::string allHelpPages()
{
    std::string text;
    for (const auto& entry : fs::directory_iterator(source("data/help")))
        if (entry.path().extension() == ".htm")
            text += readFile(entry.path().string());
    return text;
}

// The lines of the [FILES] section of the help project.
std::vector<std::string> projectFiles()
{
    std::vector<std::string> files;
    const std::string hhp = readFile(source("data/help/Vexlo.hhp"));
    bool inFiles = false;
    std::size_t start = 0;
    while (start < hhp.size()) {
        std::size_t end = hhp.find('\n', start);
        if (end == std::string::npos)
            end = hhp.size();
        std::string line = hhp.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (!line.empty() && line.front() == '[') {
            inFiles = line == "[FILES]";
            continue;
        }
        if (inFiles && !line.empty())
            files.push_back(line);
    }
    return files;
}

// One entry of a compiled help file's directory.
struct ChmEntry {
    std::uint64_t section = 0;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

// Reads the directory of a compiled help file (ITSF header, ITSP directory
// header, PMGL listing chunks). Fails the test on any inconsistency.
std::map<std::string, ChmEntry> chmDirectory(const std::string& chm)
{
    std::map<std::string, ChmEntry> entries;
    auto u32 = [&](std::size_t at) -> std::uint32_t {
        if (at + 4 > chm.size())
            throw std::runtime_error("truncated at " + std::to_string(at));
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | static_cast<unsigned char>(chm[at + i]);
        return v;
    };
    auto u64 = [&](std::size_t at) { return std::uint64_t(u32(at)) | (std::uint64_t(u32(at + 4)) << 32); };

    if (chm.compare(0, 4, "ITSF") != 0)
        throw std::runtime_error("no ITSF signature");
    if (u32(4) != 3)
        throw std::runtime_error("ITSF version " + std::to_string(u32(4)));
    const std::uint64_t dirOffset = u64(0x48);
    const std::uint64_t dirLength = u64(0x50);
    if (dirOffset + dirLength > chm.size())
        throw std::runtime_error("directory outside the file");
    if (chm.compare(dirOffset, 4, "ITSP") != 0)
        throw std::runtime_error("no ITSP directory header");
    const std::uint32_t headerLength = u32(dirOffset + 8);
    const std::uint32_t chunkSize = u32(dirOffset + 0x10);
    const std::uint32_t chunks = u32(dirOffset + 0x2C);
    for (std::uint32_t c = 0; c < chunks; ++c) {
        const std::size_t chunk = dirOffset + headerLength + std::size_t(c) * chunkSize;
        if (chunk + chunkSize > chm.size())
            throw std::runtime_error("chunk outside the file");
        if (chm.compare(chunk, 4, "PMGL") != 0)
            continue; // an index chunk
        const std::size_t end = chunk + chunkSize - u32(chunk + 4);
        std::size_t at = chunk + 20;
        auto encint = [&]() {
            std::uint64_t v = 0;
            for (;;) {
                if (at >= end)
                    throw std::runtime_error("entry runs past its chunk");
                const unsigned char b = static_cast<unsigned char>(chm[at++]);
                v = (v << 7) | (b & 0x7F);
                if (!(b & 0x80))
                    return v;
            }
        };
        while (at < end) {
            const std::uint64_t nameLength = encint();
            if (at + nameLength > end)
                throw std::runtime_error("name runs past its chunk");
            std::string name = chm.substr(at, nameLength);
            at += nameLength;
            ChmEntry e;
            e.section = encint();
            e.offset = encint();
            e.length = encint();
            entries[name] = e;
        }
    }
    return entries;
}

} // namespace

TEST(Documents, CompiledHelpFileIsBuiltBesideTheProgram)
{
    const std::string chm = readFile(inBin("Vexlo.chm"));
    ASSERT_GE(chm.size(), 4096u) << inBin("Vexlo.chm");
    EXPECT_EQ(chm.substr(0, 4), "ITSF");

    std::map<std::string, ChmEntry> directory;
    ASSERT_NO_THROW(directory = chmDirectory(chm));
    for (const char* internal : {"/#SYSTEM", "/#TOPICS", "/#URLTBL", "/#STRINGS", "::DataSpace/NameList"})
        EXPECT_TRUE(directory.count(internal)) << internal;

    // Every file of the project is inside, under its own name and with its
    // full length, and so are the contents and the index.
    std::vector<std::string> files = projectFiles();
    ASSERT_GE(files.size(), 10u);
    files.push_back("Vexlo.hhc");
    files.push_back("Vexlo.hhk");
    for (const std::string& file : files) {
        const auto it = directory.find("/" + file);
        ASSERT_NE(it, directory.end()) << file;
        EXPECT_EQ(it->second.length, readFile(source("data/help/" + file)).size()) << file;
    }
}

TEST(Documents, HelpProjectContentsAndIndexPointAtExistingPages)
{
    const std::vector<std::string> pages = projectFiles();
    const std::set<std::string> listed(pages.begin(), pages.end());
    for (const std::string& page : pages)
        EXPECT_TRUE(fs::exists(source("data/help/" + page))) << page;

    for (const char* file : {"Vexlo.hhc", "Vexlo.hhk"}) {
        const std::string text = readFile(source(std::string("data/help/") + file));
        const std::regex local(R"re(name="Local"\s+value="([^"#]+))re", std::regex::icase);
        int links = 0;
        for (auto it = std::sregex_iterator(text.begin(), text.end(), local); it != std::sregex_iterator(); ++it) {
            ++links;
            EXPECT_TRUE(listed.count((*it)[1].str())) << file << ": " << (*it)[1].str();
        }
        EXPECT_GE(links, 10) << file;
    }
    // Links between the pages lead to pages of the project.
    const std::regex href(R"re(href="([^"#:]+)(#[^"]*)?")re", std::regex::icase);
    for (const std::string& page : pages) {
        const std::string text = readFile(source("data/help/" + page));
        for (auto it = std::sregex_iterator(text.begin(), text.end(), href); it != std::sregex_iterator(); ++it) {
            const std::string target = (*it)[1].str();
            if (target.size() > 4 && target.substr(target.size() - 4) == ".css")
                continue;
            EXPECT_TRUE(listed.count(target)) << page << " links to " << target;
        }
    }
}

TEST(Documents, HelpCoversEveryCommandAndWindow)
{
    const std::string help = allHelpPages();
    // Menu-bar menus, their items, the context menu, the toolbar and the windows,
    // as the user reads them (accelerator marks removed).
    const char* const captions[] = {
        "Add files...",
        "Remove files",
        "Open Project",
        "Save Project...",
        "Close",
        "Convert",
        "Stop",
        "Preferences",
        "Show Text Label in Toolbar",
        "FAQ...",
        "License...",
        "Contact us...",
        "Visit Vexlo Homepage",
        "About Vexlo",
        "Add File...",
        "Remove File",
        "Options...",
        "Please select output fomat",
        "Output Format:",
        "Restore Default Settings",
        "Convert to the same folder as source file",
        "Please select target directory",
        "When target file exists",
        "Delete target file when canceled",
        "Save file list for using of next time",
        "Don't show confirm dialog after Start",
        "Use shell extension (Display icons on context menus)",
        "Delete source file after finish",
        "Schedule  Convert",
        "Start Converting at:",
        "Exit this program when done",
        "Shut down computer when done",
        "Visit our HomePage",
        "Contact us",
        "Conversion completed!",
        "Conversion aborted!",
        "Ready",
    };
    for (const char* caption : captions) {
        std::string escaped = std::regex_replace(std::string(caption), std::regex("'"), "&#39;");
        EXPECT_TRUE(contains(help, caption) || contains(help, escaped)) << caption;
    }
    const char* const keys[] = {"Ins", "Del", "F9", "Ctrl+T", "Ctrl+O", "F1", "Alt+F", "Alt+A", "Alt+O", "Alt+H"};
    for (const char* key : keys)
        EXPECT_TRUE(contains(help, std::string("<kbd>") + key + "</kbd>")) << key;
}

TEST(Documents, FaqAnswersTheCommonQuestions)
{
    const std::string faq = readFile(inBin("faq.htm"));
    ASSERT_FALSE(faq.empty()) << inBin("faq.htm");
    EXPECT_EQ(faq, readFile(source("data/faq.htm"))) << "the copy beside the program is current";
    EXPECT_TRUE(contains(faq, "<html")) << "an HTML page";

    // Every input extension that the file list takes by its first rule.
    const auto masks = vexlo::text::splitList(vexlo::app::SupportedVideoPatterns);
    EXPECT_EQ(masks.size(), 19u);
    for (const std::string_view mask : masks)
        EXPECT_TRUE(contains(faq, std::string(mask.substr(1)))) << mask;

    // Every profile of the installed catalogue, by its title.
    const auto titles = vexlo::settings::catalogueTitles(vexlo::settings::IniFile(source("data/vexlo.ini")).load());
    EXPECT_EQ(titles.size(), 25u);
    for (const std::string& title : titles)
        EXPECT_TRUE(contains(faq, title)) << title;

    // The command line with its switches and prefixes, and the other subjects.
    for (const char* part : {"ADD:", "002:", "-S", "--help", "--version", "-h", "<kbd>--</kbd>", "*.m2ts", "Schedule",
             "Shut down computer when done", "Convert to the same folder as source file", "Vexlo.chm", "license.txt"})
        EXPECT_TRUE(contains(faq, part)) << part;
}

TEST(Documents, LicenseIsTheMitLicenseOfTheVexloDevelopers)
{
    const std::string license = readFile(inBin("license.txt"));
    ASSERT_FALSE(license.empty()) << inBin("license.txt");
    EXPECT_EQ(license.rfind("MIT License", 0), 0u);
    EXPECT_TRUE(contains(license, "The Vexlo developers"));
    EXPECT_TRUE(contains(license, "Permission is hereby granted, free of charge"));
    EXPECT_TRUE(contains(license, "THE SOFTWARE IS PROVIDED \"AS IS\", WITHOUT WARRANTY OF ANY KIND"));
}

TEST(Documents, DesktopEntryNamesTheProgramAndItsIcon)
{
    const std::string entry = readFile(source("data/vexlo.desktop"));
    ASSERT_FALSE(entry.empty());
    EXPECT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u);
    for (const char* line : {"\nType=Application\n", "\nName=Vexlo\n", "\nIcon=vexlo\n", "\nExec=vexlo %F\n"})
        EXPECT_TRUE(contains(entry, line)) << line;
    // Every MIME type offered is a video type or one of the transport streams.
    EXPECT_TRUE(contains(entry, "video/mp2t;"));
}

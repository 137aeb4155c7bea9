// The file list's rows: order, the duplicate index kept in step with removals,
// names the list refuses, and the saved list in the settings file.
#include "app/FileListModel.h"
#include "settings/IniFile.h"

#include <gtest/gtest.h>

namespace vexlo::app {
namespace {

using Paths = std::vector<std::string>;

TEST(FileListModel, KeepsTheOrderOfAddingAndRefusesDuplicates)
{
    FileListModel m;
    EXPECT_TRUE(m.add("/v/b.m2ts"));
    EXPECT_TRUE(m.add("/v/a.m2ts"));
    // Paths compare as the file system does: byte for byte.
    EXPECT_TRUE(m.add("/v/A.M2TS"));
    EXPECT_FALSE(m.add("/v/a.m2ts"));
    EXPECT_TRUE(m.add("/v/./a.m2ts")); // another spelling is another row
    EXPECT_EQ(m.paths(), (Paths{"/v/b.m2ts", "/v/a.m2ts", "/v/A.M2TS", "/v/./a.m2ts"}));
    EXPECT_EQ(m.at(1), "/v/a.m2ts");
    EXPECT_EQ(m.at(4), "");
    EXPECT_EQ(m.at(-1), "");
}

TEST(FileListModel, RefusesNamesTheSettingsFileCannotHold)
{
    FileListModel m;
    EXPECT_FALSE(m.add(""));
    EXPECT_FALSE(m.add("/v/a\nb.m2ts"));
    EXPECT_FALSE(m.add("/v/a\rb.m2ts"));
    EXPECT_FALSE(m.add(std::string("/v/a\0b.m2ts", 11)));
    EXPECT_FALSE(m.add("/v/a\x7f.m2ts"));
    EXPECT_TRUE(m.add("/v/\xc3\xa9t\xc3\xa9.m2ts")); // bytes above ASCII are fine
    EXPECT_EQ(m.count(), 1);
}

TEST(FileListModel, RemovedRowsCanBeAddedAgain)
{
    FileListModel m;
    for (const char* p : {"/0", "/1", "/2", "/3", "/4"})
        m.add(p);
    // Selection order, a repeat and a row that does not exist.
    m.removeRows({3, 0, 3, 9, -1, 1});
    EXPECT_EQ(m.paths(), (Paths{"/2", "/4"}));
    EXPECT_FALSE(m.contains("/1"));
    EXPECT_TRUE(m.add("/1"));
    EXPECT_FALSE(m.add("/2"));
    EXPECT_EQ(m.paths(), (Paths{"/2", "/4", "/1"}));
    m.clear();
    EXPECT_EQ(m.count(), 0);
    EXPECT_TRUE(m.add("/2"));
}

TEST(SavedFileList, StoredInOrderAndWhollyReplaced)
{
    settings::IniDocument doc = settings::IniDocument::parse("[Options]\nSaveFileList=0\n");
    EXPECT_FALSE(savedListEnabled(doc));
    doc.setValue("Options", "SaveFileList", "1");
    EXPECT_TRUE(savedListEnabled(doc));

    // More than ten rows: "10" and "11" come after "9", not after "1".
    Paths many;
    for (int i = 0; i < 12; ++i)
        many.push_back("/v/clip " + std::to_string(i) + ".m2ts");
    storeSavedFileList(doc, many, "/cfg/vexlo.ini");
    const settings::IniDocument reread = settings::IniDocument::parse(doc.serialize());
    EXPECT_EQ(savedFileList(reread), many);

    // A shorter list leaves none of the longer one behind.
    storeSavedFileList(doc, {"/v/only.mts"}, "/cfg/vexlo.ini");
    EXPECT_EQ(savedFileList(doc), Paths{"/v/only.mts"});
    EXPECT_EQ(doc.value("FileList", "1"), std::nullopt);
    EXPECT_EQ(doc.value("Options", "SaveFileList"), "1");

    storeSavedFileList(doc, {}, "/cfg/vexlo.ini");
    EXPECT_TRUE(savedFileList(doc).empty());
}

} // namespace
} // namespace vexlo::app

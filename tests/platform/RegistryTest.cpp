#include "platform/MimeClassesRoot.h"
#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace vexlo::platform;

namespace {

class FolderRegistryTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::string root = dir.path().toStdString() + "/registry";
    FolderRegistry registry{root};
    std::string hive() const { return root + "/HKEY_CURRENT_USER/"; }

    // Every path below the temporary folder.
    std::vector<fs::path> allEntries() const
    {
        std::vector<fs::path> entries;
        for (const auto& e : fs::recursive_directory_iterator(dir.path().toStdString()))
            entries.push_back(e.path());
        return entries;
    }
};

TEST_F(FolderRegistryTest, DefaultValueIsTheFileAtWithoutLineEnd)
{
    ASSERT_TRUE(registry.writeValue(Hive::CurrentUser, kAbortFlagKey, "", "2"));
    const std::string file = hive() + "Software/Microsoft/Windows/CurrentVersion/explorer/abortstate/abort/@";
    std::ifstream in(file, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "2");
    EXPECT_EQ(registry.readValue(Hive::CurrentUser, kAbortFlagKey, ""), "2");
    // A named value is a file of its own, next to the default value.
    ASSERT_TRUE(registry.writeValue(Hive::CurrentUser, kAbortFlagKey, "Other", "x"));
    EXPECT_EQ(registry.readValue(Hive::CurrentUser, kAbortFlagKey, ""), "2");
    EXPECT_EQ(registry.readValue(Hive::CurrentUser, kAbortFlagKey, "Other"), "x");
}

TEST_F(FolderRegistryTest, KeyAndValueNamesMatchWithoutRegardToAsciiCase)
{
    ASSERT_TRUE(registry.writeValue(Hive::CurrentUser, "Software\\Vexlo\\Main", "Personal", "/home/a"));
    EXPECT_TRUE(registry.keyExists(Hive::CurrentUser, "SOFTWARE\\vexlo\\mAIN"));
    EXPECT_EQ(registry.readValue(Hive::CurrentUser, "software\\VEXLO\\main", "PERSONAL"), "/home/a");
    // Writing under another spelling reuses the existing folder and file.
    ASSERT_TRUE(registry.writeValue(Hive::CurrentUser, "SOFTWARE\\VEXLO\\MAIN", "personal", "/home/b"));
    EXPECT_EQ(registry.readValue(Hive::CurrentUser, "Software\\Vexlo\\Main", "Personal"), "/home/b");
    size_t folders = 0, files = 0;
    for (const auto& e : fs::recursive_directory_iterator(hive()))
        (e.is_directory() ? folders : files)++;
    EXPECT_EQ(folders, 3u);
    EXPECT_EQ(files, 1u);
    // Letters beyond ASCII are not folded.
    ASSERT_TRUE(registry.createKey(Hive::CurrentUser, "Ärger"));
    EXPECT_FALSE(registry.keyExists(Hive::CurrentUser, "äRGER"));
}

TEST_F(FolderRegistryTest, MissingKeysAndValuesAreAbsent)
{
    EXPECT_FALSE(registry.keyExists(Hive::CurrentUser, "Software"));
    EXPECT_EQ(registry.readValue(Hive::CurrentUser, "Software", ""), std::nullopt);
    ASSERT_TRUE(registry.createKey(Hive::CurrentUser, "\\Software\\\\Shell Folders\\"));
    EXPECT_TRUE(registry.keyExists(Hive::CurrentUser, "Software\\Shell Folders"));
    EXPECT_EQ(registry.readValue(Hive::CurrentUser, "Software\\Shell Folders", "Personal"), std::nullopt);
    EXPECT_EQ(registry.readValue(Hive::CurrentUser, "Software\\Shell Folders", ""), std::nullopt);
    // Without a classes root, HKEY_CLASSES_ROOT has nothing and takes nothing.
    EXPECT_FALSE(registry.keyExists(Hive::ClassesRoot, ".txt"));
    EXPECT_FALSE(registry.createKey(Hive::ClassesRoot, ".txt"));
    EXPECT_FALSE(registry.writeValue(Hive::ClassesRoot, ".txt", "", "x"));
}

TEST_F(FolderRegistryTest, ValuesRoundTripAnyBytes)
{
    const std::string bytes("a\0b\r\n\xff\xfe end\n", 13);
    ASSERT_TRUE(registry.writeValue(Hive::CurrentUser, "K", "v", bytes));
    EXPECT_EQ(registry.readValue(Hive::CurrentUser, "K", "v"), bytes);
    ASSERT_TRUE(registry.writeValue(Hive::CurrentUser, "K", "v", ""));
    EXPECT_EQ(registry.readValue(Hive::CurrentUser, "K", "v"), "");
}

TEST_F(FolderRegistryTest, HostileNamesStayInsideTheTreeAndRoundTrip)
{
    const std::string nul("x\0y", 3);
    struct Case {
        std::string key;
        std::string value;
    };
    const std::vector<Case> cases = {
        {"..\\..\\..\\escaped", "v"},
        {"a/../../b", "../../v"},
        {".", ".."},
        {"..", "."},
        {"%2E%2E", "%2F"},
        {"k" + nul, "v" + nul},
        {"/etc\\passwd", "/etc/passwd"},
        {"tab\there", "line\nend"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        ASSERT_TRUE(registry.writeValue(Hive::CurrentUser, c.key, c.value, c.key + "=" + c.value));
        EXPECT_EQ(registry.readValue(Hive::CurrentUser, c.key, c.value), c.key + "=" + c.value);
    }
    // The encoded "%2E%2E" key is not the ".." key, nor "%2F" the "/" value.
    EXPECT_EQ(registry.readValue(Hive::CurrentUser, "..", "."), "..=.");
    EXPECT_EQ(registry.readValue(Hive::CurrentUser, "%2E%2E", "%2F"), "%2E%2E=%2F");
    const std::string inside = fs::weakly_canonical(hive()).string();
    for (const fs::path& p : allEntries()) {
        const std::string canonical = fs::weakly_canonical(p).string();
        EXPECT_EQ(canonical.rfind(fs::weakly_canonical(root).string(), 0), 0u) << canonical;
        if (p.string().size() > hive().size()) {
            EXPECT_EQ(canonical.rfind(inside, 0), 0u) << canonical;
        }
    }
}

TEST_F(FolderRegistryTest, NamedValueAtIsNotTheDefaultValue)
{
    ASSERT_TRUE(registry.writeValue(Hive::CurrentUser, "K", "", "default"));
    ASSERT_TRUE(registry.writeValue(Hive::CurrentUser, "K", "@", "named"));
    EXPECT_EQ(registry.readValue(Hive::CurrentUser, "K", ""), "default");
    EXPECT_EQ(registry.readValue(Hive::CurrentUser, "K", "@"), "named");
}

TEST_F(FolderRegistryTest, WritesLeaveNoTemporaryFiles)
{
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(registry.writeValue(Hive::CurrentUser, kAbortFlagKey, "", std::to_string(i)));
    EXPECT_EQ(registry.readValue(Hive::CurrentUser, kAbortFlagKey, ""), "49");
    for (const fs::path& p : allEntries()) {
        if (fs::is_regular_file(p)) {
            EXPECT_EQ(p.filename(), "@") << p;
        }
    }
}

TEST_F(FolderRegistryTest, AValueNeverReplacesASubkey)
{
    // A value spelled exactly like a subkey has no file of its own.
    ASSERT_TRUE(registry.createKey(Hive::CurrentUser, "K\\Sub\\Deeper"));
    EXPECT_FALSE(registry.writeValue(Hive::CurrentUser, "K", "Sub", "x"));
    EXPECT_TRUE(registry.keyExists(Hive::CurrentUser, "K\\Sub\\Deeper"));
    for (const fs::path& p : allEntries())
        EXPECT_FALSE(fs::is_regular_file(p)) << p;
    // Spelled otherwise, both live side by side.
    EXPECT_TRUE(registry.writeValue(Hive::CurrentUser, "K", "sub", "x"));
    EXPECT_EQ(registry.readValue(Hive::CurrentUser, "K", "sub"), "x");
    EXPECT_TRUE(registry.keyExists(Hive::CurrentUser, "K\\sub\\deeper"));
}

TEST_F(FolderRegistryTest, AFileInPlaceOfAKeyFolderFailsCleanly)
{
    ASSERT_TRUE(registry.createKey(Hive::CurrentUser, "Software"));
    std::ofstream(hive() + "Software/Blocked") << "not a folder";
    EXPECT_FALSE(registry.keyExists(Hive::CurrentUser, "Software\\Blocked"));
    EXPECT_FALSE(registry.writeValue(Hive::CurrentUser, "Software\\Blocked\\Deeper", "", "1"));
    EXPECT_EQ(registry.readValue(Hive::CurrentUser, "Software\\Blocked", ""), std::nullopt);
}

TEST(RegistryNames, EncodingIsReversibleAndNeverAPathStep)
{
    const std::vector<std::string> names
        = {"", "plain", ".", "..", "...", "a/b", "%", "%41", std::string("\0", 1), "\x01\x7f", "@", "Shell Folders"};
    for (const std::string& name : names) {
        const std::string encoded = encodeRegistryName(name);
        EXPECT_EQ(decodeRegistryName(encoded), name);
        EXPECT_EQ(encoded.find('/'), std::string::npos);
        EXPECT_EQ(encoded.find('\0'), std::string::npos);
        EXPECT_NE(encoded, ".");
        EXPECT_NE(encoded, "..");
    }
    EXPECT_EQ(splitRegistryKey("\\A\\\\B\\"), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(valueFileName(""), "@");
}

class EnvironmentGuard {
public:
    explicit EnvironmentGuard(std::vector<std::string> names) : m_names(std::move(names))
    {
        for (const auto& n : m_names) {
            const char* v = std::getenv(n.c_str());
            m_saved.push_back(v ? std::optional<std::string>(v) : std::nullopt);
        }
    }
    ~EnvironmentGuard()
    {
        for (size_t i = 0; i < m_names.size(); ++i) {
            if (m_saved[i])
                ::setenv(m_names[i].c_str(), m_saved[i]->c_str(), 1);
            else
                ::unsetenv(m_names[i].c_str());
        }
    }
    static void set(const char* name, const char* value)
    {
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }

private:
    std::vector<std::string> m_names;
    std::vector<std::optional<std::string>> m_saved;
};

TEST(DefaultRegistryRoot, FollowsTheEnvironment)
{
    EnvironmentGuard guard({"VEXLO_REGISTRY", "XDG_CONFIG_HOME", "HOME"});
    QTemporaryDir dir;
    const std::string t = dir.path().toStdString();
    fs::create_directories(t + "/cfg");
    fs::create_directories(t + "/home/u");
    struct Case {
        const char* registry;
        std::optional<std::string> config;
        std::string home;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"/tmp/reg", t + "/cfg", t + "/home/u", "/tmp/reg"},
        {"", t + "/cfg/", t + "/home/u", t + "/cfg/vexlo/registry"},
        {nullptr, t + "/cfg", t + "/home/u", t + "/cfg/vexlo/registry"},
        {nullptr, std::nullopt, t + "/home/u", t + "/home/u/.config/vexlo/registry"},
        {nullptr, "relative", t + "/home/u", t + "/home/u/.config/vexlo/registry"},
    };
    for (const Case& c : cases) {
        EnvironmentGuard::set("VEXLO_REGISTRY", c.registry);
        EnvironmentGuard::set("XDG_CONFIG_HOME", c.config ? c.config->c_str() : nullptr);
        EnvironmentGuard::set("HOME", c.home.c_str());
        EXPECT_EQ(defaultRegistryRoot(), c.expected);
    }
}

// An account without a usable config folder (~/.config a file here; likewise a
// read-only or missing home) keeps the engine's report in the session's
// runtime folder, else in a temporary folder of its own that nobody else can
// reach; a name that someone else holds is passed over.
TEST(DefaultRegistryRoot, WithoutAUsableConfigFolderARuntimeOrPrivateTemporaryFolder)
{
    EnvironmentGuard guard({"VEXLO_REGISTRY", "XDG_CONFIG_HOME", "HOME", "XDG_RUNTIME_DIR", "TMPDIR"});
    QTemporaryDir dir;
    const std::string t = dir.path().toStdString();
    std::ofstream(t + "/config-file") << "not a folder\n";
    EnvironmentGuard::set("VEXLO_REGISTRY", nullptr);
    EnvironmentGuard::set("XDG_CONFIG_HOME", (t + "/config-file").c_str());
    fs::create_directories(t + "/runtime");
    fs::permissions(t + "/runtime", fs::perms::owner_all);
    EnvironmentGuard::set("XDG_RUNTIME_DIR", (t + "/runtime").c_str());
    EXPECT_EQ(defaultRegistryRoot(), t + "/runtime/vexlo/registry");

    fs::create_directories(t + "/tmp");
    EnvironmentGuard::set("TMPDIR", (t + "/tmp").c_str());
    fs::permissions(t + "/runtime", fs::perms::all); // not private: not taken
    const std::string own = t + "/tmp/vexlo-" + std::to_string(::geteuid());
    EXPECT_EQ(defaultRegistryRoot(), own + "/registry");
    EXPECT_EQ(fs::status(own).permissions(), fs::perms::owner_all);
    EnvironmentGuard::set("XDG_RUNTIME_DIR", nullptr);
    EXPECT_EQ(defaultRegistryRoot(), own + "/registry") << "decided alike at every call";

    // The name taken by a folder that others can write: the next one.
    fs::remove_all(own);
    fs::create_directories(own);
    fs::permissions(own, fs::perms::all);
    EXPECT_EQ(defaultRegistryRoot(), own + "-1/registry");
    FolderRegistry registry(defaultRegistryRoot());
    EXPECT_TRUE(registry.writeValue(Hive::CurrentUser, kAbortFlagKey, "", "0"));
    EXPECT_EQ(registry.readValue(Hive::CurrentUser, kAbortFlagKey, ""), "0");
}

TEST(MimeClassesRoot, AnswersExtensionsAndDefaultIcons)
{
    MimeClassesRoot classes;
    ASSERT_TRUE(classes.keyExists(Hive::ClassesRoot, ".txt"));
    EXPECT_EQ(classes.readValue(Hive::ClassesRoot, ".txt", ""), "text/plain");
    EXPECT_EQ(classes.readValue(Hive::ClassesRoot, ".TXT", ""), "text/plain");
    EXPECT_EQ(classes.readValue(Hive::ClassesRoot, ".txt", "Content Type"), std::nullopt);
    EXPECT_FALSE(classes.keyExists(Hive::ClassesRoot, ".no-such-extension-here"));
    EXPECT_FALSE(classes.keyExists(Hive::ClassesRoot, "."));
    EXPECT_FALSE(classes.keyExists(Hive::ClassesRoot, "\\DefaultIcon"));
    EXPECT_FALSE(classes.keyExists(Hive::CurrentUser, ".txt"));
    EXPECT_FALSE(classes.keyExists(Hive::ClassesRoot, "no/such-type\\DefaultIcon"));
    EXPECT_TRUE(classes.keyExists(Hive::ClassesRoot, "text/plain"));
    EXPECT_FALSE(classes.writeValue(Hive::ClassesRoot, ".txt", "", "x"));

    const auto icon = classes.readValue(Hive::ClassesRoot, "text/plain\\DefaultIcon", "");
    if (!icon)
        GTEST_SKIP() << "no icon theme with a text icon on this machine";
    EXPECT_EQ(icon->front(), '/');
    EXPECT_TRUE(fs::is_regular_file(*icon)) << *icon;
    EXPECT_TRUE(classes.keyExists(Hive::ClassesRoot, "TEXT/PLAIN\\defaulticon")
        || classes.keyExists(Hive::ClassesRoot, "text/plain\\defaulticon"));
}

TEST(MimeClassesRoot, FolderRegistryHandsClassesQuestionsOn)
{
    QTemporaryDir dir;
    MimeClassesRoot classes;
    FolderRegistry registry(dir.path().toStdString(), &classes);
    EXPECT_EQ(registry.readValue(Hive::ClassesRoot, ".txt", ""), "text/plain");
    EXPECT_FALSE(registry.keyExists(Hive::CurrentUser, ".txt"));
    EXPECT_FALSE(registry.writeValue(Hive::ClassesRoot, ".txt", "", "x"));
}

} // namespace

#include "platform/AppTitle.h"
#include "platform/LinuxWindowServices.h"
#include "platform/UserFolders.h"
#include "support/TestDoubles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;
using namespace vexlo::platform;

namespace {

std::optional<std::string> env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
}

TEST(TestPlatform, GivesEachTestItsOwnFoldersAndRestoresEverything)
{
    const Services before = services();
    ::setenv("VEXLO_REGISTRY", "/nowhere/outer", 1);
    std::string firstRoot;
    {
        TestPlatform platform;
        firstRoot = platform.root();
        EXPECT_EQ(firstRoot.back(), '/');
        EXPECT_TRUE(fs::is_directory(platform.programFolder()));
        EXPECT_EQ(env("VEXLO_REGISTRY"), platform.registryRoot());

        // Nothing reaches the machine's power or the user's desktop; the real
        // process launcher stays.
        EXPECT_EQ(services().registry, platform.registry.get());
        EXPECT_EQ(services().shell, &platform.shell);
        EXPECT_EQ(services().power, &platform.power);
        EXPECT_EQ(services().processes, before.processes);
        EXPECT_NE(services().processes, nullptr);
        EXPECT_EQ(executablePath(), firstRoot + "bin/vexlo");
        EXPECT_EQ(programFolder(), platform.programFolder());

        // The program's settings and registry land below the test's own root.
        EXPECT_EQ(settingsFileFor(executablePath()), firstRoot + "bin/vexlo.ini");
        ASSERT_TRUE(services().registry->writeValue(Hive::CurrentUser, kAbortFlagKey, "", "1"));
        EXPECT_TRUE(fs::is_regular_file(platform.registryRoot()
            + "/HKEY_CURRENT_USER/Software/Microsoft/Windows/CurrentVersion/explorer/"
              "abortstate/abort/@"));
        {
            TestPlatform nested;
            EXPECT_NE(nested.root(), firstRoot);
            EXPECT_EQ(services().registry, nested.registry.get());
            EXPECT_FALSE(services().registry->keyExists(Hive::CurrentUser, kAbortFlagKey));
        }
        EXPECT_EQ(services().registry, platform.registry.get());
        EXPECT_EQ(env("VEXLO_REGISTRY"), platform.registryRoot());
    }
    EXPECT_FALSE(fs::exists(firstRoot));
    EXPECT_EQ(env("VEXLO_REGISTRY"), "/nowhere/outer");
    EXPECT_EQ(services().registry, before.registry);
    EXPECT_EQ(services().desktop, before.desktop);
    ::unsetenv("VEXLO_REGISTRY");
    {
        TestPlatform platform;
    }
    EXPECT_EQ(env("VEXLO_REGISTRY"), std::nullopt);
}

TEST(Services, InstallReturnsThePreviousSet)
{
    const Services linux = linuxServices();
    EXPECT_NE(linux.registry, nullptr);
    EXPECT_NE(linux.desktop, nullptr);
    EXPECT_NE(linux.processes, nullptr);
    EXPECT_EQ(linuxServices().registry, linux.registry); // created once
    RecordingPower power;
    Services replacement = services();
    replacement.power = &power;
    const Services previous = installServices(replacement);
    EXPECT_EQ(services().power, &power);
    EXPECT_EQ(installServices(previous).power, &power);
    EXPECT_EQ(services().power, previous.power);
}

TEST(ApplicationTitle, KeptWithoutAndWithAnApplicationObject)
{
    setApplicationTitle(QStringLiteral("Vexlo"));
    EXPECT_EQ(applicationTitle(), QStringLiteral("Vexlo"));
    setApplicationTitle(QStringLiteral("Converting... Vexlo"));
    EXPECT_EQ(applicationTitle(), QStringLiteral("Converting... Vexlo"));
}

} // namespace

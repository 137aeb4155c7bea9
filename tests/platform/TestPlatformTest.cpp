#include "platform/AppTitle.h"
#include "platform/LinuxWindowServices.h"
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
        EXPECT_TRUE(fs::is_directory(platform.desktop.personal));
        EXPECT_EQ(platform.desktop.personal, firstRoot + "Documents/");
        EXPECT_EQ(platform.settingsPath(), firstRoot + "bin/vexlo.ini");
        EXPECT_EQ(env("VEXLO_REGISTRY"), platform.registryRoot());

        // The doubles are in force, the real process launcher stays.
        EXPECT_EQ(services().registry, platform.registry.get());
        EXPECT_EQ(services().shell, &platform.shell);
        EXPECT_EQ(services().power, &platform.power);
        EXPECT_EQ(services().processes, before.processes);
        EXPECT_NE(services().processes, nullptr);
        EXPECT_EQ(executablePath(), firstRoot + "bin/vexlo");
        EXPECT_EQ(programFolder(), platform.programFolder());

        // The registry lands below the test's own root.
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

TEST(TestPlatform, DoublesRecordAndAnswerFromTheirQueues)
{
    TestPlatform platform;
    services().shell->openDocument("/x/faq.htm");
    EXPECT_EQ(platform.shell.opened, std::vector<std::string>{"/x/faq.htm"});
    platform.shell.integrationInstalled = false;
    EXPECT_FALSE(services().shell->startShellIntegration(" /s"));

    platform.messages.nextAnswers = {MessageAnswer::Yes};
    EXPECT_EQ(services().messages->show(nullptr, "T", "a\r\nb", MessageIcon::Question, MessageButtons::YesNo),
        MessageAnswer::Yes);
    EXPECT_EQ(
        services().messages->show(nullptr, "T", "c", MessageIcon::Question, MessageButtons::YesNo), MessageAnswer::No);
    EXPECT_EQ(services().messages->show(nullptr, "T", "d", MessageIcon::Error, MessageButtons::Ok), MessageAnswer::Ok);
    ASSERT_EQ(platform.messages.shown.size(), 3u);
    EXPECT_EQ(platform.messages.shown[0].text, "a\r\nb");

    platform.fileDialogs.nextOpenFiles = {std::vector<std::string>{"/a.mts"}};
    EXPECT_EQ(services().fileDialogs->openFiles(nullptr, "t", "/start/", {{"d", "*.mts"}}, 0),
        std::vector<std::string>{"/a.mts"});
    EXPECT_EQ(services().fileDialogs->openFiles(nullptr, "t", "/start/", {}, 0), std::nullopt);
    EXPECT_EQ(services().fileDialogs->chooseFolder(nullptr, "pick", "/s"), std::nullopt);
    ASSERT_EQ(platform.fileDialogs.openCalls.size(), 2u);
    EXPECT_EQ(platform.fileDialogs.openCalls[0].initialFolder, "/start/");

    platform.mountInfo = "1 0 11:0 / /media/cd ro - iso9660 /dev/sr0 ro\n";
    EXPECT_TRUE(services().drives->isOptical("/media/cd/x"));
    EXPECT_FALSE(services().drives->isOptical("/home"));

    services().power->powerOff();
    EXPECT_EQ(platform.power.powerOffCalls, 1);

    const QImage icon = services().desktop->extractIcon(platform.desktop.systemDir + "SHELL32.dll", 0);
    EXPECT_EQ(icon.size(), QSize(16, 16));
    EXPECT_EQ(platform.desktop.iconRequests.back(), std::make_pair(platform.desktop.systemDir + "SHELL32.dll", 0));
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

// Several processes and sudden death: a writer killed at any moment never
// leaves a damaged file, and concurrent writers lose none of each other's keys.
#include "support/TestDoubles.h"
#include "settings/IniFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace vexlo::settings;

namespace {

std::string valueFor(int i) { return "/home/user/Videos/clip number " + std::to_string(i) + std::string(120, 'v'); }

std::string catalogue() { return vexlo::test::readFile(VEXLO_SOURCE_DIR "/data/vexlo.ini"); }

// Runs `body` in a child process that ends without running any of this
// process's exit code.
pid_t spawn(const std::function<void()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        try {
            body();
        } catch (...) {
            ::_exit(3);
        }
        ::_exit(0);
    }
    return pid;
}

TEST(IniCrashSafety, KilledWriterNeverLeavesPartialFile)
{
    vexlo::platform::TestPlatform platform;
    const std::string path = platform.settingsPath();
    vexlo::test::writeFile(path, catalogue());
    const std::string title0 = IniFile(path).readText("VideoFormat0", "Title", "");
    ASSERT_FALSE(title0.empty());

    std::mt19937 rng(7);
    int committed = 0; // keys 0 .. committed-1 were reported written
    for (int round = 0; round < 40; ++round) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const int first = committed;
        const pid_t pid = spawn([&] {
            ::close(fds[0]);
            IniFile ini(path);
            for (int i = first;; ++i) {
                ini.writeText("FileList", std::to_string(i), valueFor(i));
                if (::write(fds[1], &i, sizeof i) != sizeof i)
                    ::_exit(4);
            }
        });
        ASSERT_GT(pid, 0);
        ::close(fds[1]);
        // Let one write complete, so that every round makes progress however
        // slow the disk, then kill the writer somewhere in the following ones.
        int done;
        if (::read(fds[0], &done, sizeof done) == sizeof done)
            committed = done + 1;
        std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 15000)(rng)));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));
        while (::read(fds[0], &done, sizeof done) == sizeof done)
            committed = done + 1;
        ::close(fds[0]);

        const IniDocument doc = IniFile(path).load();
        ASSERT_EQ(doc.readText("VideoFormat0", "Title", ""), title0) << "round " << round;
        ASSERT_EQ(doc.readText("VideoFormat17", "FileType", ""), ".mpg") << "round " << round;
        for (int i = 0; i < committed; ++i)
            ASSERT_EQ(doc.value("FileList", std::to_string(i)), valueFor(i)) << "round " << round;
        // At most the one write in flight may have landed beyond the report.
        const auto keys = doc.keys("FileList");
        ASSERT_GE(keys.size(), size_t(committed));
        ASSERT_LE(keys.size(), size_t(committed) + 1);
        if (keys.size() > size_t(committed))
            committed = int(keys.size());
    }
    EXPECT_GE(committed, 40);
}

TEST(IniConcurrency, TwoProcessesWritingDistinctKeysLoseNone)
{
    vexlo::platform::TestPlatform platform;
    const std::string path = platform.settingsPath();
    vexlo::test::writeFile(path, catalogue());
    constexpr int kEach = 60;
    std::vector<pid_t> children;
    for (const char* who : {"A", "B"}) {
        children.push_back(spawn([&path, who] {
            IniFile ini(path);
            for (int i = 0; i < kEach; ++i) {
                // Alternate between a shared section and one of the writer's own.
                ini.writeText("Shared", std::string(who) + std::to_string(i), valueFor(i));
                ini.writeInteger(std::string("Own") + who, std::to_string(i), i);
            }
        }));
    }
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const IniDocument doc = IniFile(path).load();
    EXPECT_EQ(doc.keys("Shared").size(), size_t(2 * kEach));
    for (const char* who : {"A", "B"}) {
        for (int i = 0; i < kEach; ++i) {
            EXPECT_EQ(doc.value("Shared", who + std::to_string(i)), valueFor(i));
            EXPECT_EQ(doc.readInteger(std::string("Own") + who, std::to_string(i), -1), i);
        }
    }
    EXPECT_EQ(doc.keys("VideoFormat5").size(), 12u);
}

} // namespace

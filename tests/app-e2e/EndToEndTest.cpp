// The built program started as a child: its switches, its exit status after a
// command-line run, SIGTERM closing the window as its close box does, and
// what a run says on the desktop bus.
#include "FakeEngine.h"
#include "platform/TestDoubles.h"
#include "settings/IniFile.h"
#include "support/PrivateBus.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace vexlo::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A private copy of the program: its settings file lies beside it.
        fs::copy_file(binDir() + "/vexlo", tp.programFolder() + "vexlo", fs::copy_options::overwrite_existing);
        installFakeEngine(tp);
    }
    void TearDown() override
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    // Starts the copy with `args` (an argument vector), stdout and stderr into files.
    void start(const std::vector<std::string>& args)
    {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string s(*e);
            if (s.rfind("QT_QPA_PLATFORM=", 0) != 0 && s.rfind("HOME=", 0) != 0 && s.rfind("XDG_", 0) != 0
                && s.rfind("DBUS_", 0) != 0)
                env.push_back(s);
        }
        // Neither the user's session bus nor the machine's logind: a test's
        // own bus, or none at all.
        if (m_busAddress.empty()) {
            env.push_back("DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + tp.root() + "no-system-bus");
        } else {
            env.push_back("DBUS_SYSTEM_BUS_ADDRESS=" + m_busAddress);
            env.push_back("DBUS_SESSION_BUS_ADDRESS=" + m_busAddress);
        }
        env.push_back("QT_QPA_PLATFORM=offscreen");
        env.push_back("HOME=" + tp.root() + "home");
        env.push_back("XDG_CONFIG_HOME=" + tp.root() + "home/.config");
        std::vector<std::string> argv{tp.programFolder() + "vexlo"};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> cargv, cenv;
        for (auto& a : argv)
            cargv.push_back(a.data());
        cargv.push_back(nullptr);
        for (auto& e : env)
            cenv.push_back(e.data());
        cenv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, (tp.root() + "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, (tp.root() + "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        const int rc = posix_spawn(&m_pid, argv[0].c_str(), &actions, nullptr, cargv.data(), cenv.data());
        posix_spawn_file_actions_destroy(&actions);
        ASSERT_EQ(rc, 0);
    }

    // The exit status, 128 + signal when a signal ended it, or -1 when it has
    // not ended in time (it keeps running; TearDown ends it).
    int waitForExit(std::chrono::milliseconds timeout = 30s)
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
            if (r == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(20ms);
        }
        return -1;
    }

    // True once the child has installed its SIGTERM handler.
    bool catchesSigterm() const
    {
        std::ifstream status("/proc/" + std::to_string(m_pid) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("SigCgt:", 0) == 0)
                return (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1)) & 1;
        }
        return false;
    }
    bool waitUntilReady()
    {
        const auto end = std::chrono::steady_clock::now() + 30s;
        while (std::chrono::steady_clock::now() < end) {
            if (catchesSigterm()) {
                std::this_thread::sleep_for(300ms); // let the window come up
                return true;
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    settings::IniDocument ini() const { return settings::IniDocument::parse(readFile(tp.settingsPath())); }
    std::string output() const { return readFile(tp.root() + "stdout"); }

    platform::TestPlatform tp;
    pid_t m_pid = -1;
    std::string m_busAddress; // the program's system and session bus
};

TEST_F(EndToEndTest, VersionAndHelpPrintAndExitZero)
{
    start({"--version"});
    EXPECT_EQ(waitForExit(), 0);
    EXPECT_EQ(output(), "Vexlo 2.0.9\n");
    for (const char* sw : {"--help", "-h"}) {
        start({sw});
        EXPECT_EQ(waitForExit(), 0) << sw;
        EXPECT_EQ(output().rfind("Usage: vexlo", 0), 0u) << sw;
    }
    EXPECT_FALSE(fs::exists(tp.settingsPath()));
}

TEST_F(EndToEndTest, SigtermClosesAsTheCloseBoxDoes)
{
    const std::string clip = tp.root() + "a.m2ts";
    writeFile(clip, "clip");
    writeFile(tp.settingsPath(), "[Options]\nSaveFileList=1\n[FileList]\nfirst=" + clip + "\n");
    start({});
    ASSERT_TRUE(waitUntilReady());
    ASSERT_EQ(::kill(m_pid, SIGTERM), 0);
    EXPECT_EQ(waitForExit(), 0);
    const auto doc = ini();
    EXPECT_EQ(doc.keys("FileList"), std::vector<std::string>{"0"}) << "the list was stored again";
    EXPECT_EQ(doc.readText("FileList", "0", ""), clip);
    EXPECT_EQ(doc.readInteger("Main", "Width", -1), 800) << "the placement was saved";
    EXPECT_EQ(doc.readText("Main", "Maximized", ""), "0");
}

TEST_F(EndToEndTest, CommandLineRunExitStatus)
{
    const std::string clip = tp.root() + "v/a.m2ts";
    writeFile(clip, "clip");
    start({"-0", clip});
    EXPECT_EQ(waitForExit(), 0) << "a completed auto run closes the program";
    ASSERT_EQ(fakeEngineCalls(tp).size(), 1u);
    EXPECT_TRUE(fs::exists(tp.root() + "v/a.mp4"));

    fs::remove(tp.root() + "v/a.mp4");
    setFakeEngineScript(tp, {"", "target flag=1"});
    start({"-0", clip, "-S"});
    EXPECT_EQ(waitForExit(), 1) << "an aborted silent run ends the program with 1";
    EXPECT_EQ(fakeEngineCalls(tp).size(), 2u);
}

TEST_F(EndToEndTest, AbortedVisibleAutoRunStaysOpenAndExitsOneWhenClosed)
{
    const std::string clip = tp.root() + "v/a.m2ts";
    writeFile(clip, "clip");
    setFakeEngineScript(tp, {"target flag=1"});
    start({"-0", clip});
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (fakeEngineCalls(tp).empty() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(20ms);
    ASSERT_EQ(fakeEngineCalls(tp).size(), 1u);
    EXPECT_EQ(waitForExit(700ms), -1) << "the window stays open";
    ASSERT_TRUE(waitUntilReady());
    ::kill(m_pid, SIGTERM);
    EXPECT_EQ(waitForExit(), 1);
}

// Messages seen by dbus-monitor: each starts with an unindented line.
std::vector<std::string> monitoredMessages(const std::string& log)
{
    std::vector<std::string> messages;
    size_t from = 0;
    while (from < log.size()) {
        size_t end = log.find('\n', from);
        if (end == std::string::npos)
            end = log.size();
        const std::string line = log.substr(from, end - from);
        if (!line.empty() && line[0] != ' ')
            messages.push_back(line);
        else if (!messages.empty())
            messages.back() += "\n" + line;
        from = end + 1;
    }
    return messages;
}

TEST_F(EndToEndTest, ARunAsksTheDesktopToStayAwakeAndShowsItsProgress)
{
    PrivateBus bus(tp.root());
    ASSERT_FALSE(bus.address().empty()) << "no dbus-daemon (scripts/deps installs it)";
    const std::string log = tp.root() + "monitor.log";
    pid_t monitor = -1;
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::string address = bus.address();
        char program[] = "dbus-monitor", addressSwitch[] = "--address";
        char* argv[] = {program, addressSwitch, address.data(), nullptr};
        ASSERT_EQ(::posix_spawnp(&monitor, program, &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
    }
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (readFile(log).empty() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(20ms);

    // Neither logind, nor a portal, nor a screensaver serves this bus.
    const std::string a = tp.root() + "v/a.m2ts", b = tp.root() + "v/b.m2ts";
    writeFile(a, "clip");
    writeFile(b, "clip");
    setFakeEngineScript(tp, {"target sleep=200", "target"});
    m_busAddress = bus.address();
    start({"-0", a, b});
    EXPECT_EQ(waitForExit(), 0);
    std::this_thread::sleep_for(200ms);
    ::kill(monitor, SIGTERM);
    ::waitpid(monitor, nullptr, 0);

    const std::string errors = readFile(tp.root() + "stderr");
    const size_t said = errors.find("cannot keep the computer awake");
    EXPECT_NE(said, std::string::npos) << errors;
    EXPECT_EQ(errors.find("awake", said + 40), std::string::npos) << "one line per run: " << errors;

    std::vector<std::string> inhibitors, progress;
    for (const std::string& m : monitoredMessages(readFile(log))) {
        if (m.rfind("method call", 0) == 0 && m.find("member=Inhibit") != std::string::npos)
            inhibitors.push_back(m.substr(m.find("destination=") + 12, m.find(' ', m.find("destination=")) - m.find("destination=") - 12));
        if (m.rfind("signal", 0) == 0 && m.find("interface=com.canonical.Unity.LauncherEntry; member=Update") != std::string::npos) {
            EXPECT_NE(m.find("string \"application://vexlo.desktop\""), std::string::npos) << m;
            const size_t p = m.find("\"progress\"");
            const size_t v = m.find("\"progress-visible\"");
            ASSERT_TRUE(p != std::string::npos && v != std::string::npos) << m;
            const auto valueAfter = [&m](size_t at, const char* kind) {
                const size_t k = m.find(kind, at) + std::string(kind).size();
                return m.substr(k, m.find_first_of(" \n)", k) - k);
            };
            progress.push_back(valueAfter(p, "double ") + " " + valueAfter(v, "boolean "));
        }
    }
    EXPECT_EQ(inhibitors, (std::vector<std::string>{"org.freedesktop.login1", "org.freedesktop.portal.Desktop",
                                                    "org.freedesktop.ScreenSaver"}))
        << "logind first, then the fallbacks in order";
    EXPECT_EQ(progress, (std::vector<std::string>{"0 true", "0.5 true", "1 true", "1 false"}));
}

} // namespace
} // namespace vexlo::test

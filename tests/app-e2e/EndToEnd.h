#pragma once
// The built program started as a child in a temporary copy of its folder
// (its settings file beside it, its own registry root and the fake engine).
#include "FakeEngine.h"
#include "support/TestDoubles.h"
#include "settings/IniFile.h"
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

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct StartOptions {
    bool offscreen = true;                     // else no platform is named and no display is set
    bool onDisplay = false;                    // the test's own X display (xcb), overrides offscreen
    std::string workingFolder = {};            // empty: the test's own
    std::vector<std::string> environment = {}; // NAME=value, replacing the inherited ones
    std::vector<std::string> runAs = {};       // a command that starts the program, e.g. setpriv
    std::vector<std::string> unset = {};       // names of inherited variables left out
};

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
    void start(const std::vector<std::string>& args, const StartOptions& options = StartOptions())
    {
        std::vector<std::string> env;
        const auto replaced = [&](const std::string& s) {
            for (const std::string& e : options.environment) {
                if (s.rfind(e.substr(0, e.find('=') + 1), 0) == 0)
                    return true;
            }
            for (const std::string& name : options.unset) {
                if (s.rfind(name + "=", 0) == 0)
                    return true;
            }
            return false;
        };
        for (char** e = environ; *e; ++e) {
            const std::string s(*e);
            if (s.rfind("QT_QPA_PLATFORM=", 0) != 0 && s.rfind("HOME=", 0) != 0 && s.rfind("XDG_", 0) != 0
                && s.rfind("DBUS_", 0) != 0 && !replaced(s)
                && (options.offscreen || options.onDisplay
                    || (s.rfind("DISPLAY=", 0) != 0 && s.rfind("WAYLAND_DISPLAY=", 0) != 0)))
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
        env.insert(env.end(), options.environment.begin(), options.environment.end());
        if (options.onDisplay)
            env.push_back("QT_QPA_PLATFORM=xcb");
        else if (options.offscreen)
            env.push_back("QT_QPA_PLATFORM=offscreen");
        env.push_back("HOME=" + tp.root() + "home");
        env.push_back("XDG_CONFIG_HOME=" + tp.root() + "home/.config");
        std::vector<std::string> argv = options.runAs;
        argv.push_back(tp.programFolder() + "vexlo");
        argv.insert(argv.end(), args.begin(), args.end());
        m_pid = spawnProgram(argv, env, tp.root() + "stdout", tp.root() + "stderr", options.workingFolder);
        ASSERT_GT(m_pid, 0);
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
            if (catchesSigterm())
                return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    // On the test's own X display: until the child shows a window titled
    // exactly `title` (xdotool's view of the screen).
    bool waitForWindowTitled(const std::string& title, std::chrono::milliseconds timeout = 20s) const
    {
        const std::string out = tp.root() + "xdotool.out";
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            const int pid = spawnProgram(
                {"xdotool", "search", "--onlyvisible", "--pid", std::to_string(m_pid), "--name", "^" + title + "$"},
                {std::string("DISPLAY=") + std::getenv("DISPLAY")}, out, "/dev/null");
            if (waitForProgram(pid) == 0 && !readFile(out).empty())
                return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    // The real engine in the program's folder instead of the fake one (a link
    // to it: the link is replaced, not what it points to).
    void useRealEngine()
    {
        fs::remove(tp.programFolder() + "trevok");
        fs::copy_file(binDir() + "/trevok", tp.programFolder() + "trevok");
    }
    // `path` made by ffmpeg from the lavfi `pictures` and `tone`, pictures in
    // H.264, then `tail` (sound codec, container); false when that failed.
    static bool makeVideo(
        const std::string& path, const std::string& pictures, const std::string& tone, const std::string& tail)
    {
        fs::create_directories(fs::path(path).parent_path());
        const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i '" + pictures
            + "' -f lavfi -i '" + tone + "' -c:v libx264 -preset ultrafast " + tail + " '" + path + "'";
        return std::system(command.c_str()) == 0 && fs::file_size(path) > 0;
    }

    // The running time in seconds that ffprobe reads; -1 when it reads none
    // (no file, or an MP4 file whose writer never finished it).
    static double secondsOf(const std::string& path)
    {
        FILE* p = ::popen(
            ("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + path + "' 2>/dev/null").c_str(), "r");
        if (!p)
            return -1;
        char line[64] = {};
        const bool got = std::fgets(line, sizeof line, p) != nullptr;
        ::pclose(p);
        return got ? std::atof(line) : -1;
    }

    settings::IniDocument ini() const { return settings::IniDocument::parse(readFile(tp.settingsPath())); }
    std::string output() const { return readFile(tp.root() + "stdout"); }
    std::string errors() const { return readFile(tp.root() + "stderr"); }
    // <root><name>: a short real clip.
    std::string clip(const std::string& name) const
    {
        writeClip(tp.root() + name);
        return tp.root() + name;
    }
    bool waitForEngineCalls(size_t n) const
    {
        const auto end = std::chrono::steady_clock::now() + 30s;
        while (fakeEngineCalls(tp).size() < n && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(20ms);
        return fakeEngineCalls(tp).size() >= n;
    }

    platform::TestPlatform tp;
    pid_t m_pid = -1;
    std::string m_busAddress; // the program's system and session bus
};

} // namespace vexlo::test

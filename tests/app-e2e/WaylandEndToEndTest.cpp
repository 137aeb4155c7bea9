// The built program on a Wayland desktop: a headless weston that the test
// starts with a runtime folder of its own (skipped where weston cannot
// start), the program on Qt's Wayland platform against it.
#include "EndToEnd.h"

#include <cstdlib>

namespace vexlo::test {
namespace {

class WaylandEndToEndTest : public EndToEndTest {
protected:
    void SetUp() override
    {
        EndToEndTest::SetUp();
        m_runtime = tp.root() + "runtime";
        fs::create_directories(m_runtime);
        fs::permissions(m_runtime, fs::perms::owner_all);
        m_weston = spawnProgram(
            {"weston", "--backend=headless-backend.so", "--socket=" + std::string(kSocket), "--idle-time=0"},
            {"XDG_RUNTIME_DIR=" + m_runtime, "HOME=" + tp.root() + "home", "PATH=/usr/bin:/bin"},
            tp.root() + "weston.out", tp.root() + "weston.err");
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (m_weston > 0 && !fs::exists(m_runtime + "/" + kSocket) && std::chrono::steady_clock::now() < end
            && ::waitpid(m_weston, nullptr, WNOHANG) == 0)
            std::this_thread::sleep_for(20ms);
        if (!fs::exists(m_runtime + "/" + kSocket))
            GTEST_SKIP() << "no Wayland desktop: a headless weston could not start (scripts/deps installs weston)\n"
                         << readFile(tp.root() + "weston.err");
    }
    void TearDown() override
    {
        EndToEndTest::TearDown();
        if (m_weston > 0) {
            ::kill(m_weston, SIGTERM);
            waitForProgram(m_weston);
        }
    }
    // Starts the program on the compositor; WAYLAND_DEBUG puts the protocol
    // messages on its standard error, so that the test sees the window
    // configured by the compositor.
    void startOnWayland()
    {
        StartOptions options;
        options.offscreen = false;
        options.environment = {"QT_QPA_PLATFORM=wayland", "WAYLAND_DISPLAY=" + std::string(kSocket),
            "XDG_RUNTIME_DIR=" + m_runtime, "WAYLAND_DEBUG=1"};
        // Under LeakSanitizer the Wayland plugin's allocations are only told
        // apart (tests/lsan.supp) from stacks unwound in full.
        if (const char* lsan = std::getenv("LSAN_OPTIONS"))
            options.environment.push_back(std::string("LSAN_OPTIONS=") + lsan + ":fast_unwind_on_malloc=0");
        start({}, options);
    }
    bool waitForConfiguredWindow() const
    {
        const auto end = std::chrono::steady_clock::now() + 30s;
        while (std::chrono::steady_clock::now() < end) {
            // WAYLAND_DEBUG names an object "xdg_surface@14" (libwayland 1.21)
            // or "xdg_surface#14" (1.23, Debian 13).
            const std::string log = errors();
            if ((log.find("xdg_surface@") != std::string::npos || log.find("xdg_surface#") != std::string::npos)
                && log.find(".ack_configure(") != std::string::npos)
                return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    static constexpr const char* kSocket = "vexlo-test";
    std::string m_runtime;
    int m_weston = -1;
};

// Wayland tells a client no position (weston reports the frame's offset):
// closing there keeps the stored Left and Top, for the next start under X11,
// while the size is restored and saved.
TEST_F(WaylandEndToEndTest, ClosingKeepsTheStoredPositionAndSavesTheSize)
{
    writeFile(tp.settingsPath(), "[Main]\nLeft=123\nTop=77\n");
    startOnWayland();
    ASSERT_TRUE(waitUntilReady());
    ASSERT_TRUE(waitForConfiguredWindow()) << errors();
    ::kill(m_pid, SIGTERM);
    ASSERT_EQ(waitForExit(), 0) << errors();
    const settings::IniDocument saved = ini();
    EXPECT_EQ(saved.value("Main", "Left").value_or("<absent>"), "123");
    EXPECT_EQ(saved.value("Main", "Top").value_or("<absent>"), "77");
    EXPECT_EQ(saved.value("Main", "Width").value_or("<absent>"), "800") << "the default size, restored and saved";
    EXPECT_EQ(saved.value("Main", "Height").value_or("<absent>"), "480");
    EXPECT_EQ(saved.value("Main", "Maximized").value_or("<absent>"), "0");
}

} // namespace
} // namespace vexlo::test

// The desktop session as users meet it, with the built program as a child:
// buses that accept and never answer, a bare X display without a session
// bus, and engine windows that open while the user types in another program.
#include "app-e2e/EndToEnd.h"
#include "support/PrivateBus.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QScreen>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <dirent.h>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>

namespace vexlo::test {
namespace {

// A bus socket whose daemon has stopped answering: connections are accepted
// and held, nothing is ever written back.
class SilentBus {
public:
    explicit SilentBus(const std::string& path) : m_path(path)
    {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_fd, 16);
        m_thread = std::thread([this] {
            std::vector<int> held;
            while (!m_stop) {
                pollfd p{m_fd, POLLIN, 0};
                if (::poll(&p, 1, 50) > 0)
                    held.push_back(::accept(m_fd, nullptr, nullptr));
            }
            for (int fd : held)
                ::close(fd);
        });
    }
    ~SilentBus()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    std::string address() const { return "unix:path=" + m_path; }

private:
    std::string m_path;
    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

QString run(const QString& program, const QStringList& args) { return toolOutput(program, args); }

// The ids of the processes whose environment holds `entry` ("HOME=...").
std::vector<std::pair<int, std::string>> processesWith(const std::string& entry)
{
    std::vector<std::pair<int, std::string>> found;
    DIR* proc = ::opendir("/proc");
    while (dirent* e = proc ? ::readdir(proc) : nullptr) {
        const int pid = std::atoi(e->d_name);
        if (pid <= 0 || pid == ::getpid())
            continue;
        const std::string environ = readFile("/proc/" + std::to_string(pid) + "/environ");
        if (environ.find(std::string(1, '\0') + entry + '\0') == std::string::npos
            && environ.rfind(entry + '\0', 0) != 0)
            continue;
        std::string name = readFile("/proc/" + std::to_string(pid) + "/comm");
        found.emplace_back(pid, name.substr(0, name.find('\n')));
    }
    if (proc)
        ::closedir(proc);
    return found;
}

void saveScreenshotOfScreen(const std::string& name)
{
    QGuiApplication::primaryScreen()->grabWindow(0).save(
        QString::fromStdString(VEXLO_SCREENSHOT_DIR "/" + name + ".png"));
}

// The bus launchers that descend from this test: the test is the children's
// subreaper, so a launcher the program left behind, running or ended, has the
// program or this test as its parent. Other suites' launchers never do.
std::set<int> busLaunchersOf(int program)
{
    std::set<int> found;
    DIR* proc = ::opendir("/proc");
    while (dirent* e = proc ? ::readdir(proc) : nullptr) {
        const int pid = std::atoi(e->d_name);
        if (pid <= 0 || readFile("/proc/" + std::to_string(pid) + "/comm") != "dbus-launch\n")
            continue;
        const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
        const size_t close = stat.rfind(')');
        int parent = 0;
        if (close != std::string::npos)
            std::sscanf(stat.c_str() + close + 1, " %*c %d", &parent);
        if (parent == ::getpid() || (program > 0 && parent == program))
            found.insert(pid);
    }
    if (proc)
        ::closedir(proc);
    return found;
}

class SessionUsersTest : public EndToEndTest {
protected:
    // The real engine beside the program, the installed catalogue, and
    // `count` generated clips of `seconds` each.
    std::vector<std::string> realEngineAndClips(int count, int seconds)
    {
        fs::remove(tp.programFolder() + "trevok");
        fs::copy_file(binDir() + "/trevok", tp.programFolder() + "trevok");
        writeFile(tp.settingsPath(), readFile(VEXLO_SOURCE_DIR "/data/vexlo.ini"));
        fs::create_directories(tp.root() + "clips");
        std::vector<std::string> clips;
        for (int i = 0; i < count; ++i) {
            clips.push_back(tp.root() + "clips/clip" + std::to_string(i) + ".m2ts");
            const std::string make = "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "
                                     "'testsrc2=size=640x360:rate=25:duration="
                + std::to_string(seconds)
                + "' -f lavfi -i 'sine=frequency=440:sample_rate=48000:duration=" + std::to_string(seconds)
                + "' -c:v libx264 -preset ultrafast -c:a ac3 -f mpegts '" + clips.back() + "'";
            EXPECT_EQ(std::system(make.c_str()), 0);
        }
        return clips;
    }
    // Decodes the whole file; its length in seconds, or -1 when it is broken.
    static double decodedSeconds(const std::string& file)
    {
        const std::string log = file + ".decode";
        const std::string command = "ffmpeg -nostdin -v error -xerror -i 'file:" + file + "' -f null - 2>'" + log
            + "' && ffprobe -v error -show_entries format=duration -of csv=p=0 'file:" + file + "' >>'" + log + "'";
        if (std::system(command.c_str()) != 0)
            return -1;
        return std::atof(readFile(log).c_str());
    }
    int programPid() const { return m_pid; }
};

// ------------------------------------------------------------ silent buses

TEST_F(SessionUsersTest, BusesThatNeverAnswerNeitherStopTheRunNorTheEnd)
{
    SilentBus bus(tp.root() + "silent-bus");
    m_busAddress = bus.address(); // the system bus and the session bus
    const std::string a = clip("v/a.m2ts");
    for (const std::vector<std::string>& args : {std::vector<std::string>{"-S", "-0", a}, {"-0", a}}) {
        SCOPED_TRACE(args[0]);
        installFakeEngine(tp);
        setFakeEngineScript(tp, {"target"});
        const auto started = std::chrono::steady_clock::now();
        start(args);
        EXPECT_EQ(waitForExit(20s), 0) << errors();
        EXPECT_LT(std::chrono::steady_clock::now() - started, 8s) << "ended in a few seconds";
        EXPECT_EQ(fakeEngineCalls(tp).size(), 1u) << "the file was converted";
        EXPECT_NE(errors().find("cannot keep the computer awake"), std::string::npos) << errors();
    }
    // Idle, with the window up: a termination signal ends it at once.
    start({});
    ASSERT_TRUE(waitUntilReady());
    ::kill(m_pid, SIGTERM);
    EXPECT_EQ(waitForExit(8s), 0);
}

// ----------------------------------------------------- no bus on a display

TEST_F(SessionUsersTest, NoSessionBusIsStartedOnABareDisplay)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "runs on Xvfb (run-on-xvfb)";
    // As over "ssh -X": a display, neither a session bus nor a runtime folder.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    installFakeEngine(tp);
    setFakeEngineScript(tp, {"target sleep=300"});
    const std::string a = clip("v/a.m2ts");
    // Nothing switches the accessibility bridge off, as over "ssh -X".
    const StartOptions bare{.onDisplay = true, .unset = {"QT_ACCESSIBILITY", "NO_AT_BRIDGE"}};
    start({"-0", a}, bare);
    ASSERT_EQ(waitForExit(30s), 0) << errors();
    start({}, bare);
    const QString window = run(
        "xdotool", {"search", "--sync", "--onlyvisible", "--pid", QString::number(programPid()), "--name", "^Vexlo$"});
    ASSERT_FALSE(window.isEmpty());
    // The menu bar's File menu, by the keyboard as a user opens it.
    run("xdotool", {"windowfocus", "--sync", window.section('\n', 0, 0)});
    run("xdotool", {"key", "alt+f"});
    // The menu is open once a second window of the program is on screen.
    EXPECT_TRUE(waitFor(
        [&] {
            return run("xdotool", {"search", "--onlyvisible", "--pid", QString::number(programPid())})
                       .trimmed()
                       .count('\n')
                >= 1;
        },
        10s));
    std::set<int> launchers = busLaunchersOf(programPid());
    ::kill(m_pid, SIGTERM);
    EXPECT_EQ(waitForExit(10s), 0);
    launchers.merge(busLaunchersOf(0));
    for (int pid : launchers)
        ADD_FAILURE() << "the program started dbus-launch (" << pid << ")";
    const auto left = processesWith("HOME=" + tp.root() + "home");
    for (const auto& [pid, name] : left) {
        ADD_FAILURE() << "still running after the program ended: " << name << " (" << pid << ")";
        ::kill(pid, SIGKILL);
    }
}

// ------------------------------------------------------------ taskbar

// The "progress" values of the launcher-entry signals in a dbus-monitor log.
std::vector<double> taskbarProgress(const std::string& log)
{
    std::vector<double> values;
    size_t at = 0;
    while ((at = log.find("member=Update", at)) != std::string::npos) {
        const size_t p = log.find("\"progress\"", at);
        const size_t d = log.find("double ", p);
        if (p == std::string::npos || d == std::string::npos)
            break;
        values.push_back(std::atof(log.c_str() + d + 7));
        at = d;
    }
    return values;
}

TEST_F(SessionUsersTest, TaskbarProgressMovesWithinAFile)
{
    PrivateBus bus(tp.root());
    ASSERT_FALSE(bus.address().empty()) << "no dbus-daemon (scripts/deps installs it)";
    const std::string log = tp.root() + "monitor.log";
    QProcess monitor;
    monitor.setStandardOutputFile(QString::fromStdString(log));
    monitor.start("dbus-monitor", {"--address", QString::fromStdString(bus.address())});
    ASSERT_TRUE(waitFor([&] { return !readFile(log).empty(); }, 10s));

    const std::vector<std::string> clips = realEngineAndClips(1, 10);
    m_busAddress = bus.address();
    const auto started = std::chrono::steady_clock::now();
    start({"-18", clips[0]}, {.environment = {"VEXLO_REGISTRY=" + tp.root() + "registry"}});
    ASSERT_EQ(waitForExit(50s), 0) << errors();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    // The last update (1, hidden) reaches the monitor's log.
    waitFor(
        [&] {
            const auto seen = taskbarProgress(readFile(log));
            return !seen.empty() && seen.back() == 1.0;
        },
        10s);
    monitor.terminate();
    monitor.waitForFinished(5000);

    const std::vector<double> progress = taskbarProgress(readFile(log));
    ASSERT_GE(progress.size(), 3u);
    EXPECT_EQ(progress.front(), 0.0);
    EXPECT_EQ(progress.back(), 1.0);
    const auto within = std::count_if(progress.begin(), progress.end(), [](double v) { return v > 0 && v < 1; });
    EXPECT_GE(within, 1) << "a one-file run moves before its end";
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_LE(double(progress.size()), seconds * 4 + 4) << "at most a few updates a second";
    EXPECT_NEAR(decodedSeconds(tp.root() + "clips/clip0.mp4"), 10.0, 0.2);
}

// ------------------------------------------------------------ screen reader

TEST_F(SessionUsersTest, AScreenReaderFindsANameForEveryControl)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") || qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        GTEST_SKIP() << "runs on Xvfb inside dbus-run-session";
    m_busAddress = qgetenv("DBUS_SESSION_BUS_ADDRESS").toStdString();
    start({}, {.onDisplay = true, .environment = {"QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1", "QT_ACCESSIBILITY=1"}});
    QProcess reader;
    reader.start(
        "/usr/bin/python3", {VEXLO_SOURCE_DIR "/tests/session/accessible-tree.py", QString::number(programPid())});
    ASSERT_TRUE(reader.waitForFinished(40000));
    ASSERT_EQ(reader.exitCode(), 0) << reader.readAllStandardError().toStdString();
    std::map<QString, QStringList> named; // role: names
    int controls = 0;
    for (const QString& line : QString::fromUtf8(reader.readAllStandardOutput()).split('\n')) {
        const QStringList fields = line.split('\t');
        if (fields.size() < 2)
            continue;
        const QString& role = fields[0];
        if (role == "push button" || role == "menu item" || role == "tree" || role == "image") {
            ++controls;
            EXPECT_FALSE(fields[1].trimmed().isEmpty()) << "a " << role.toStdString() << " without a name";
            named[role] << fields[1];
        }
    }
    EXPECT_GT(controls, 20);
    EXPECT_EQ(named["tree"], QStringList{"Files to convert"});
    EXPECT_EQ(named["image"], QStringList{"Getting started"});
    ::kill(m_pid, SIGTERM);
    EXPECT_EQ(waitForExit(10s), 0);
}

// ------------------------------------------------------------- placement

// Where the window's frame lies on the X screen, in device pixels.
QRect frameOnScreen(const QString& window)
{
    const QString info = run("xwininfo", {"-id", window});
    const auto field
        = [&info](const char* name) { return info.section(name, 1).section('\n', 0, 0).trimmed().toInt(); };
    QRect client(field("Absolute upper-left X:"), field("Absolute upper-left Y:"), field("Width:"), field("Height:"));
    // left, right, top, bottom
    const QStringList extents
        = run("xprop", {"-id", window, "_NET_FRAME_EXTENTS"}).section('=', 1).split(',', Qt::SkipEmptyParts);
    if (extents.size() == 4)
        client.adjust(-extents[0].trimmed().toInt(), -extents[2].trimmed().toInt(), extents[1].trimmed().toInt(),
            extents[3].trimmed().toInt());
    return client;
}

TEST_F(SessionUsersTest, RestartAtALargerScaleOpensOnTheScreenAndKeepsTheStoredSize)
{
    if (qgetenv("VEXLO_WINDOW_MANAGER") != "openbox")
        GTEST_SKIP() << "runs on Xvfb with openbox (run-on-xvfb openbox)";
    const QRect screen(0, 0, 1280, 1024); // run-on-xvfb's screen
    const std::string stored = "[Main]\nLeft=200\nTop=150\nWidth=1000\nHeight=700\nMaximized=0\n";
    writeFile(tp.settingsPath(), stored);
    for (const char* scale : {"2", "1.5", "1"}) {
        SCOPED_TRACE(scale);
        start({}, {.onDisplay = true, .environment = {std::string("QT_SCALE_FACTOR=") + scale}});
        const QString window = run("xdotool",
            {"search", "--sync", "--onlyvisible", "--pid", QString::number(programPid()), "--name", "^Vexlo$"})
                                   .section('\n', 0, 0);
        ASSERT_FALSE(window.isEmpty());
        // The manager frames the window, the program fits the frame.
        QRect frame;
        waitFor([&] { return screen.contains(frame = frameOnScreen(window)); }, 3s);
        EXPECT_TRUE(screen.contains(frame))
            << "frame " << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
        if (std::string(scale) == "2")
            saveScreenshotOfScreen("session-restart-at-scale-2");
        ::kill(m_pid, SIGTERM);
        ASSERT_EQ(waitForExit(10s), 0);
        const settings::IniDocument doc = ini();
        EXPECT_EQ(doc.readInteger("Main", "Width", -1), 1000) << "the user's own size is kept";
        EXPECT_EQ(doc.readInteger("Main", "Height", -1), 700);
        EXPECT_EQ(doc.readInteger("Main", "Left", -1), 200);
        EXPECT_EQ(doc.readInteger("Main", "Top", -1), 150);
    }
}

// ---------------------------------------- the run's window and the keyboard

// The run's progress window (its title follows the file) opens while the
// user types in another program, in front of Vexlo converting three files.
// (Minimised, Vexlo would take the run window with it, as a dialog goes with
// its owner, or not, as the window manager and the moment decide.)
TEST_F(SessionUsersTest, TheRunWindowLeavesTheKeyboardToTheProgramInUse)
{
    if (qgetenv("VEXLO_WINDOW_MANAGER") != "openbox")
        GTEST_SKIP() << "runs on Xvfb with openbox (run-on-xvfb openbox)";
    const std::vector<std::string> clips = realEngineAndClips(3, 4);
    const std::string out = tp.root() + "out/";
    fs::create_directories(out);

    QLineEdit editor;
    editor.setWindowTitle("Another program");
    editor.resize(500, 40);
    editor.move(600, 600);
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));

    std::vector<std::string> args = {"-18", "-" + out};
    args.insert(args.end(), clips.begin(), clips.end());
    // The engines' windows are looked for from the start, beside the test
    // (a short file's window can come and go while the test waits for the
    // window manager), by their titles, one per file.
    std::set<std::string> engineWindows;
    std::mutex engineWindowsMutex;
    std::jthread lookForEngines([&](std::stop_token stop) {
        while (!stop.stop_requested()) {
            FILE* search
                = ::popen("xdotool search --onlyvisible --name '^Converting ' getwindowname %@ 2>/dev/null", "r");
            char line[512];
            while (search && std::fgets(line, sizeof line, search)) {
                const std::lock_guard<std::mutex> lock(engineWindowsMutex);
                engineWindows.insert(line);
            }
            if (search)
                ::pclose(search);
            std::this_thread::sleep_for(20ms);
        }
    });
    start(args, {.onDisplay = true, .environment = {"VEXLO_REGISTRY=" + tp.root() + "registry"}});
    const QString vexloWindow = run(
        "xdotool", {"search", "--sync", "--onlyvisible", "--pid", QString::number(programPid()), "--name", "Vexlo"})
                                    .section('\n', 0, 0);
    ASSERT_FALSE(vexloWindow.isEmpty());
    editor.activateWindow();
    run("xdotool", {"windowactivate", "--sync", QString::number(editor.winId())});
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor, 5000));

    // Type while the engines come and go, until the program has ended.
    QString typed;
    QProcess typist;
    int exitStatus = -1, inactive = 0;
    const auto deadline = std::chrono::steady_clock::now() + 45s;
    while (exitStatus < 0 && std::chrono::steady_clock::now() < deadline) {
        if (typist.state() == QProcess::NotRunning) {
            const QString chunk = "a b ";
            typed += chunk;
            typist.start("xdotool", {"type", "--delay", "40", chunk});
        }
        QTest::qWait(60);
        if (QApplication::activeWindow() != &editor)
            ++inactive;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
    }
    typist.waitForFinished(10000);
    waitFor([&] { return editor.text() == typed; }, 5s); // the last keys on their way
    EXPECT_EQ(exitStatus, 0) << "the run completed: " << errors();
    lookForEngines.request_stop();
    lookForEngines.join();
    EXPECT_EQ(engineWindows.size(), 3u) << "the progress window showed each file while the user typed";
    EXPECT_EQ(inactive, 0) << "the other program kept the focus";
    EXPECT_EQ(editor.text(), typed) << "every key reached the program in use";
    for (const std::string& c : clips) {
        const std::string target = out + fs::path(c).stem().string() + ".mp4";
        EXPECT_NEAR(decodedSeconds(target), 4.0, 0.2) << target;
    }
}

// ------------------------------------------------ a run on Wayland (sway)

struct SwayWindow {
    QString name, appId;
    bool focused = false;
};

void collectWindows(const QJsonObject& node, std::vector<SwayWindow>& out)
{
    if (node.value("type").toString() == "con" && node.contains("app_id") && !node.value("name").isNull())
        out.push_back({node.value("name").toString(), node.value("app_id").toString(), node.value("focused").toBool()});
    for (const char* key : {"nodes", "floating_nodes"}) {
        for (const QJsonValue& child : node.value(key).toArray())
            collectWindows(child.toObject(), out);
    }
}

// The compositor's windows (swaymsg -t get_tree).
std::vector<SwayWindow> swayWindows()
{
    std::vector<SwayWindow> out;
    collectWindows(QJsonDocument::fromJson(run("swaymsg", {"-t", "get_tree"}).toUtf8()).object(), out);
    return out;
}

std::optional<SwayWindow> swayWindowNamed(const QString& prefix)
{
    for (const SwayWindow& w : swayWindows()) {
        if (w.name.startsWith(prefix))
            return w;
    }
    return std::nullopt;
}

// Two files on a headless sway with the real engine: the run's progress
// window opens once, as Vexlo's (app id vexlo), the user's keys keep going
// to the program in use while the files change, and closing the progress
// window cancels a second run.
TEST_F(SessionUsersTest, OnWaylandTheKeyboardStaysWithTheProgramInUse)
{
    if (qEnvironmentVariableIsSet("VEXLO_WAYLAND_SKIP"))
        GTEST_SKIP() << qgetenv("VEXLO_WAYLAND_SKIP").toStdString();
    if (qgetenv("VEXLO_WAYLAND") != "sway")
        GTEST_SKIP() << "runs on a headless sway (run-on-wayland)";
    const std::vector<std::string> clips = realEngineAndClips(2, 4);
    const std::string out = tp.root() + "out/";
    fs::create_directories(out);
    QLineEdit editor;
    editor.setWindowTitle("Another program");
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
    const StartOptions wayland{.offscreen = false,
        .environment = {"QT_QPA_PLATFORM=wayland", "WAYLAND_DISPLAY=" + qgetenv("WAYLAND_DISPLAY").toStdString(),
            "XDG_RUNTIME_DIR=" + qgetenv("XDG_RUNTIME_DIR").toStdString(), "VEXLO_REGISTRY=" + tp.root() + "registry"}};
    std::vector<std::string> args = {"-18", "-" + out};
    args.insert(args.end(), clips.begin(), clips.end());
    start(args, wayland);

    // The run's window is up: the user goes back to the other program and types.
    std::optional<SwayWindow> progress;
    ASSERT_TRUE(waitFor([&] { return (progress = swayWindowNamed("Converting ")).has_value(); }, 20s)) << errors();
    EXPECT_EQ(progress->appId.toStdString(), "vexlo") << "docks and Alt+Tab name it Vexlo";
    run("swaymsg", {"[title=\"^Another program$\"] focus"});
    // sway hands the typing tool's first keys to the program in use only once
    // it has sent it the tool's keymap: the measure starts when keys arrive.
    QProcess typist;
    ASSERT_TRUE(waitFor(
        [&] {
            typist.start("wtype", {"-s", "300", "x"});
            return waitFor([&] { return !editor.text().isEmpty(); }, 2s);
        },
        10s))
        << "keys typed reach the program in use";
    typist.waitForFinished(10000);
    editor.clear();
    QString typed;
    std::set<std::string> progressWindows; // title and app id
    std::set<std::string> mainTitles;      // the main window's, app id vexlo
    int exitStatus = -1;
    const auto deadline = std::chrono::steady_clock::now() + 45s;
    while (exitStatus < 0 && std::chrono::steady_clock::now() < deadline) {
        if (typist.state() == QProcess::NotRunning) {
            const QString chunk = "ab ";
            typed += chunk;
            typist.start("wtype", {"-s", "100", chunk});
        }
        QTest::qWait(60);
        for (const SwayWindow& w : swayWindows()) {
            if (w.name.startsWith("Converting "))
                progressWindows.insert((w.name + " " + w.appId).toStdString());
            else if (w.appId == "vexlo")
                mainTitles.insert(w.name.toStdString());
        }
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
    }
    typist.waitForFinished(10000);
    waitFor([&] { return editor.text() == typed; }, 5s);
    EXPECT_EQ(exitStatus, 0) << "the run completed: " << errors();
    EXPECT_EQ(editor.text().toStdString(), typed.toStdString()) << "every key reached the program in use";
    EXPECT_EQ(progressWindows, (std::set<std::string>{"Converting clip0.m2ts vexlo", "Converting clip1.m2ts vexlo"}))
        << "one window of Vexlo's, its title following the file";
    // The main window is up beside it, its title counting the files.
    for (const char* count : {"Converting... (1/2", "Converting... (2/2"}) {
        EXPECT_TRUE(std::any_of(mainTitles.begin(), mainTitles.end(),
            [&](const std::string& t) { return t.starts_with(count) && t.ends_with(" - Vexlo"); }))
            << count << " in " << ::testing::PrintToString(mainTitles);
    }
    for (const std::string& c : clips)
        EXPECT_NEAR(decodedSeconds(out + fs::path(c).stem().string() + ".mp4"), 4.0, 0.2) << c;

    // Closing the progress window is Cancel: the run ends at once, aborted,
    // and the sources stay.
    for (const std::string& c : clips)
        fs::remove(out + fs::path(c).stem().string() + ".mp4");
    start(args, wayland);
    ASSERT_TRUE(waitFor([&] { return swayWindowNamed("Converting clip0").has_value(); }, 20s)) << errors();
    const auto cancelled = std::chrono::steady_clock::now();
    run("swaymsg", {"[title=\"^Converting clip0\"] kill"});
    EXPECT_TRUE(waitFor([&] { return !swayWindowNamed("Converting ").has_value(); }, 10s));
    EXPECT_LT(std::chrono::steady_clock::now() - cancelled, 3s) << "the engine was not waited for";
    // An aborted run leaves the window open; the program's end tells the run's.
    ::kill(m_pid, SIGTERM);
    EXPECT_EQ(waitForExit(10s), 1) << errors();
    EXPECT_TRUE(fs::exists(clips[0]));
    for (const auto& entry : fs::directory_iterator(out))
        EXPECT_NE(entry.path().extension(), ".mp4") << "no result, no part file: " << entry.path();
}

} // namespace
} // namespace vexlo::test

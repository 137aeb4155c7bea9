// Faults that happen on real machines, with the built program and the real
// engine where it matters: a full disk, a registry folder the user cannot
// write, Vexlo killed in the middle of a file, a logout while a window run
// starts. None may cost a source file, pass for a success or leave anything
// running or half-written behind.
#include "EndToEnd.h"

#include "platform/Registry.h"

#include <algorithm>
#include <dirent.h>
#include <functional>
#include <map>
#include <sys/mount.h>
#include <sys/stat.h>

namespace vexlo::test {
namespace {

class FaultTest : public EndToEndTest {
protected:
    void TearDown() override
    {
        EndToEndTest::TearDown();
        endProcessesOfTheTest();
        if (!m_mounted.empty())
            ::umount2(m_mounted.c_str(), MNT_DETACH);
    }

    // A tmpfs of `kib` KiB at <root><name>/; empty when it cannot be mounted.
    std::string smallDisk(const std::string& name, int kib)
    {
        const std::string at = tp.root() + name;
        fs::create_directories(at);
        const std::string size = "size=" + std::to_string(kib) + "k,mode=0777";
        if (::mount("tmpfs", at.c_str(), "tmpfs", 0, size.c_str()) != 0)
            return {};
        m_mounted = at;
        return at + "/";
    }

    // A real clip: 4 s of 640 x 480 noise and a tone in an MPEG transport stream.
    static bool makeClip(const std::string& path)
    {
        return makeVideo(path, "testsrc2=size=640x480:rate=25:duration=4,noise=alls=60:allf=t",
            "sine=frequency=440:sample_rate=48000:duration=4", "-c:a ac3 -f mpegts");
    }

    static void writeFlag(const std::string& registryRoot, const std::string& value)
    {
        platform::FolderRegistry(registryRoot)
            .writeValue(platform::Hive::CurrentUser, platform::kAbortFlagKey, "", value);
    }

    // The processes whose command line names something in the test's folder
    // (the engine, its ffmpeg, a Vexlo that was not collected).
    std::map<pid_t, std::string> processesOfTheTest() const
    {
        std::map<pid_t, std::string> found;
        DIR* proc = ::opendir("/proc");
        while (dirent* e = proc ? ::readdir(proc) : nullptr) {
            const pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
            if (pid <= 0 || pid == ::getpid())
                continue;
            std::string line = readFile("/proc/" + std::string(e->d_name) + "/cmdline");
            std::replace(line.begin(), line.end(), '\0', ' ');
            if (line.find(tp.root()) != std::string::npos)
                found[pid] = line;
        }
        if (proc)
            ::closedir(proc);
        return found;
    }
    // What a failed check left running.
    void endProcessesOfTheTest() const
    {
        for (const auto& [pid, line] : processesOfTheTest())
            ::kill(pid, SIGKILL);
    }
    bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) const
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!done() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(20ms);
        return done();
    }

    std::string m_mounted;
};

TEST_F(FaultTest, FullDiskKeepsTheSourceAndEndsAsAFailure)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root (CI runs as root)";
    const std::string disk = smallDisk("full", 320);
    ASSERT_FALSE(disk.empty()) << "tmpfs mount failed";
    // The real engine, its AbortFlag and the output on the same small disk,
    // with a go-on value left there by an earlier run.
    useRealEngine();
    writeFlag(disk + "registry", "0");
    const std::string source = tp.root() + "src/clip.m2ts";
    ASSERT_TRUE(makeClip(source));
    writeFile(tp.settingsPath(), "[Options]\nDeleteSourceWhenDone=1\n");

    start({"-S", "-0", "-" + disk + "out", source}, {.environment = {"VEXLO_REGISTRY=" + disk + "registry"}});
    EXPECT_EQ(waitForExit(120s), 1) << errors();
    EXPECT_TRUE(fs::exists(source)) << "a failed conversion never costs the source";
}

TEST_F(FaultTest, RegistryFolderTheUserCannotWriteKeepsTheSource)
{
    // A stale go-on value in a folder the user cannot change: the engine's
    // report could never be told from it.
    const std::string registry = tp.root() + "locked-registry";
    writeFlag(registry, "0");
    const std::string source = tp.root() + "src/a.m2ts";
    writeClip(source);
    setFakeEngineScript(tp, {"target"});
    StartOptions options{.environment = {"VEXLO_REGISTRY=" + registry}};
    if (::geteuid() == 0) {
        // Run as nobody: the registry stays root's, the clips are everyone's.
        fs::permissions(tp.root(),
            fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read
                | fs::perms::others_exec);
        fs::permissions(tp.root() + "src", fs::perms::all);
        fs::permissions(source, fs::perms::all);
        options.runAs = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    } else {
        for (const auto& entry : fs::recursive_directory_iterator(registry))
            if (entry.is_directory())
                fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::remove);
    }
    writeFile(tp.settingsPath(), "[Options]\nDeleteSourceWhenDone=1\n");
    fs::permissions(tp.settingsPath(), fs::perms::all);

    start({"-S", "-0", source}, options);
    EXPECT_EQ(waitForExit(30s), 1) << errors();
    EXPECT_TRUE(fs::exists(source));
    EXPECT_TRUE(fakeEngineCalls(tp).empty()) << "nothing is converted whose result could not be trusted";
    EXPECT_NE(errors().find("cannot be reset"), std::string::npos) << errors();

    if (::geteuid() != 0) {
        for (const auto& entry : fs::recursive_directory_iterator(registry))
            if (entry.is_directory())
                fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add);
    }
}

TEST_F(FaultTest, AReaderThatClosedStandardErrorEndsNoRun)
{
    // vexlo -S ... 2>&1 | head: once the reader has gone, every message and
    // every line the engine says is written into a pipe nobody reads.
    const std::string a = tp.root() + "src/a.m2ts";
    const std::string b = tp.root() + "src/b.m2ts";
    writeClip(a);
    writeClip(b);
    setFakeEngineScript(tp, {"say=progress_50% target", "say=progress_50% target"});
    writeFile(tp.settingsPath(), "[Options]\nDeleteSourceWhenDone=1\n");
    const std::string closedStandardError = "import os, signal, sys\n"
                                            "signal.signal(signal.SIGPIPE, signal.SIG_DFL)\n"
                                            "r, w = os.pipe()\n"
                                            "os.close(r)\n"
                                            "os.dup2(w, 2)\n"
                                            "os.execv(sys.argv[1], sys.argv[1:])\n";
    start({"-S", "-0", "-" + tp.root() + "out", a, b}, {.runAs = {"/usr/bin/python3", "-c", closedStandardError}});
    EXPECT_EQ(waitForExit(60s), 0);
    EXPECT_TRUE(fs::exists(tp.root() + "out/a.mp4"));
    EXPECT_TRUE(fs::exists(tp.root() + "out/b.mp4"));
    EXPECT_FALSE(fs::exists(a) || fs::exists(b)) << "both were converted and checked";
}

TEST_F(FaultTest, AKilledRunLeavesNothingRunningAndTheNextRunCleansUp)
{
    // Killed from a task manager (Vexlo alone: its engine must end with it)
    // or with its whole process group (nothing is left running, but the part
    // file is). Either way the next run of the same file commits it under its
    // own name and leaves no part file behind.
    struct Case {
        const char* name;
        bool realEngine; // the real engine and its ffmpeg, else the fake one asleep
        bool wholeGroup;
    };
    const Case cases[] = {{"Vexlo alone killed", true, false}, {"the process group killed", false, true}};
    const std::string source = tp.root() + "card/00000.MTS";
    ASSERT_TRUE(makeVideo(source, "testsrc2=size=640x480:rate=25:duration=12,noise=alls=60:allf=t",
        "sine=frequency=440:sample_rate=48000:duration=12", "-c:a ac3 -f mpegts"));
    const std::string clip = readFile(source);
    writeFile(tp.settingsPath(), "[Options]\nDeleteSourceWhenDone=1\n");
    const std::string out = tp.root() + "out/";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(out);
        writeFile(source, clip);
        installFakeEngine(tp);
        if (c.realEngine)
            useRealEngine();
        else
            setFakeEngineScript(tp, {"sleep=60000 target"});
        // In a session of its own: its process group is not the test's.
        start({"-S", "-0", "-" + out, source}, {.runAs = {"setsid", "--"}});
        const pid_t vexlo = m_pid;
        // Until the engine (and the real one's ffmpeg) writes the part file.
        const std::string part = out + ".00000.part.mp4";
        ASSERT_TRUE(waitUntil(
            [&] {
                for (const auto& [pid, line] : processesOfTheTest())
                    if (pid != vexlo && fs::exists(part) && line.find(part) != std::string::npos
                        && (!c.realEngine || line.find("ffmpeg") != std::string::npos))
                        return true;
                return false;
            },
            30s))
            << "the engine never ran: " << errors();
        ::kill(c.wholeGroup ? -vexlo : vexlo, SIGKILL);
        EXPECT_EQ(waitForExit(5s), 128 + SIGKILL);
        EXPECT_TRUE(waitUntil([&] { return processesOfTheTest().empty(); }, 5s))
            << "the engine goes on converting for nobody: " << [&] {
                   std::string lines;
                   for (const auto& [pid, line] : processesOfTheTest())
                       lines += "\n" + line;
                   return lines;
               }();
        endProcessesOfTheTest();
        EXPECT_FALSE(fs::exists(part) && secondsOf(part) > 0) << "the engine finished a file nobody commits";
        EXPECT_TRUE(fs::exists(source));

        installFakeEngine(tp);
        start({"-S", "-0", "-" + out, source});
        EXPECT_EQ(waitForExit(), 0) << errors();
        EXPECT_EQ(readFile(out + "00000.mp4"), clip) << "under its own name, the fake engine's copy";
        EXPECT_FALSE(fs::exists(source));
        std::vector<std::string> left;
        for (const auto& e : fs::directory_iterator(out))
            if (e.path().filename() != "00000.mp4")
                left.push_back(e.path().filename().string());
        EXPECT_TRUE(left.empty()) << left.front() << " is left beside the result";
    }
}

TEST_F(FaultTest, ALogoutEndsAWindowRunWhateverItIsDoing)
{
    // A window run over a folder's clips ("000:<folder>" '*.mts'), each file
    // a long one for the engine. The logout's SIGTERM comes as the window
    // opens (the run is being prepared) or while the first file converts;
    // either way Vexlo ends within a few seconds and every source stays.
    struct Case {
        const char* name;
        bool atFirstFile; // else as soon as Vexlo takes the signal
    };
    const Case cases[] = {{"as the window opens", false}, {"during the first file", true}};
    const std::string folder = tp.root() + "card/";
    for (int i = 0; i < 200; ++i)
        writeFile(folder + "c" + std::to_string(1000 + i) + ".mts", "a clip");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        installFakeEngine(tp);
        setFakeEngineScript(tp, {"sleep=30000 flag=1 target"});
        start({"000:" + folder, "*.mts"});
        if (c.atFirstFile) {
            ASSERT_TRUE(waitForEngineCalls(1)) << errors();
        } else {
            // The moment the handler is there, asked without pause: the
            // window is still being shown, and the run is requested next.
            const auto end = std::chrono::steady_clock::now() + 30s;
            while (!catchesSigterm() && std::chrono::steady_clock::now() < end) {}
            ASSERT_TRUE(catchesSigterm()) << errors();
        }
        const auto sent = std::chrono::steady_clock::now();
        ::kill(m_pid, SIGTERM);
        EXPECT_EQ(waitForExit(5s), 1)
            << "still running "
            << std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sent).count()
            << " ms after the logout; " << fakeEngineCalls(tp).size() << " engine calls: " << errors();
        size_t sources = 0;
        for (const auto& e : fs::directory_iterator(folder))
            sources += e.path().extension() == ".mts";
        EXPECT_EQ(sources, 200u);
        EndToEndTest::TearDown(); // what did not end is ended before the next case
        endProcessesOfTheTest();
    }
}

} // namespace
} // namespace vexlo::test

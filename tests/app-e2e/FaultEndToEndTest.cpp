// Faults that happen on real machines, with the built program and the real
// engine where it matters: a full disk and a registry folder the user cannot
// write. Neither may cost a source file or pass for a success.
#include "EndToEnd.h"

#include "platform/Registry.h"

#include <sys/mount.h>
#include <sys/stat.h>

namespace vexlo::test {
namespace {

class FaultTest : public EndToEndTest {
protected:
    void TearDown() override
    {
        EndToEndTest::TearDown();
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

} // namespace
} // namespace vexlo::test

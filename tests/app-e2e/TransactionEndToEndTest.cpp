// "Delete the source when done" the way people use it: two cards whose clips
// share names, a second run started over the same list, a clip renamed away
// and replaced during its conversion, a write-protected card, FAT and exFAT
// cards, a power cut right after the run. In every case each clip must still
// exist somewhere: as its source or as a complete converted file.
#include "EndToEnd.h"

#include <sys/mount.h>

namespace vexlo::test {
namespace {

const char* const kDeleteSources = "[Options]\nDeleteSourceWhenDone=1\nDelFileWhenCanceled=1\n";

// Runs a command quietly; true when it succeeded.
bool quietly(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

class TransactionTest : public EndToEndTest {
protected:
    void TearDown() override
    {
        EndToEndTest::TearDown();
        for (auto it = m_unmount.rbegin(); it != m_unmount.rend(); ++it)
            quietly(*it);
    }

    // A loop-mounted card image of `kind` ("ext4", "vfat", "exfat") at
    // <root><name>/; empty (with the reason in `why`) when it cannot be had.
    std::string card(const std::string& kind, const std::string& name, std::string& why)
    {
        if (::geteuid() != 0) {
            why = "mounting a card image needs root (CI runs as root)";
            return {};
        }
        const std::string image = tp.root() + name + ".img";
        const std::string at = tp.root() + name;
        fs::create_directories(at);
        if (!quietly("truncate -s 64M '" + image + "'")) {
            why = "no image";
            return {};
        }
        bool mounted = false;
        if (kind == "ext4") {
            mounted = quietly("mkfs.ext4 -q '" + image + "'") && quietly("mount -o loop '" + image + "' '" + at + "'");
        } else if (kind == "vfat") {
            mounted = quietly("mkfs.vfat -F 32 '" + image + "'")
                && (quietly("mount -t vfat -o loop '" + image + "' '" + at + "'")
                    || quietly("fusefat -o rw+ '" + image + "' '" + at + "'"));
        } else if (kind == "exfat") {
            mounted = quietly("mkfs.exfat '" + image + "'")
                && (quietly("mount -t exfat -o loop '" + image + "' '" + at + "'") || fuseExfat(image, at));
        }
        if (!mounted) {
            why = kind + " cannot be mounted here (neither the kernel driver nor its FUSE driver)";
            return {};
        }
        m_unmount.push_back("umount -l '" + at + "'");
        m_images[at] = image;
        return at + "/";
    }

    // exFAT's FUSE driver takes a block device: the image through a loop
    // device of its own, detached again at the end.
    bool fuseExfat(const std::string& image, const std::string& at)
    {
        FILE* p = ::popen(("losetup -f --show '" + image + "'").c_str(), "r");
        if (!p)
            return false;
        char line[256] = {};
        const bool got = std::fgets(line, sizeof line, p) != nullptr;
        ::pclose(p);
        std::string device = got ? std::string(line) : std::string();
        while (!device.empty() && (device.back() == '\n' || device.back() == ' '))
            device.pop_back();
        if (device.empty())
            return false;
        m_unmount.push_back("losetup -d '" + device + "'");
        return quietly("mount.exfat-fuse '" + device + "' '" + at + "'");
    }

    // The converted file holds exactly the clip (the fake engine copies).
    static bool holds(const std::string& path, const std::string& bytes)
    {
        return fs::exists(path) && readFile(path) == bytes;
    }
    static size_t partFiles(const std::string& folder)
    {
        size_t n = 0;
        for (const auto& e : fs::recursive_directory_iterator(folder))
            n += e.path().filename().string().find(".part") != std::string::npos;
        return n;
    }

    std::vector<std::string> m_unmount;
    std::map<std::string, std::string> m_images;
};

TEST_F(TransactionTest, TwoCardsWithTheSameClipNames)
{
    const std::string first = tp.root() + "card1/PRIVATE/AVCHD/BDMV/STREAM/00000.MTS";
    const std::string second = tp.root() + "card2/PRIVATE/AVCHD/BDMV/STREAM/00000.MTS";
    for (const bool deleting : {true, false}) {
        SCOPED_TRACE(deleting ? "deleting sources" : "keeping sources");
        fs::remove_all(tp.root() + "out");
        writeClip(first, 1);
        writeClip(second, 2);
        writeFile(tp.settingsPath(), deleting ? kDeleteSources : "[Options]\n");
        start({"-S", "-0", "-" + tp.root() + "out", first, second});
        EXPECT_EQ(waitForExit(), 0) << errors();
        EXPECT_TRUE(holds(tp.root() + "out/00000.mp4", clipBytes(1))) << "the first card's clip is not replaced";
        EXPECT_TRUE(holds(tp.root() + "out/00000 (2).mp4", clipBytes(2)));
        EXPECT_NE(errors().find("was saved as '" + tp.root() + "out/00000 (2).mp4'"), std::string::npos) << errors();
        EXPECT_EQ(fs::exists(first), !deleting);
        EXPECT_EQ(fs::exists(second), !deleting);
    }
}

TEST_F(TransactionTest, ASourceReplacedDuringItsConversionIsKept)
{
    const std::string source = tp.root() + "card/00000.MTS";
    writeClip(source);
    writeFile(tp.settingsPath(), kDeleteSources);
    setFakeEngineScript(tp, {"target swapsource=kept.MTS"});
    start({"-S", "-0", "-" + tp.root() + "out", source});
    EXPECT_EQ(waitForExit(), 1) << errors();
    EXPECT_EQ(readFile(source), "the next card's clip") << "the file that took the name was never converted";
    EXPECT_TRUE(holds(tp.root() + "card/kept.MTS", clipBytes()));
    EXPECT_TRUE(holds(tp.root() + "out/00000.mp4", clipBytes()));
    EXPECT_NE(errors().find("changed or replaced while it was converted"), std::string::npos) << errors();
}

TEST_F(TransactionTest, ABrokenSourceLeavesNothingUnderTheTargetName)
{
    // The real engine, on a file that is no video and on a 1x1 clip.
    useRealEngine();
    const std::string damaged = tp.root() + "src/damaged.m2ts";
    writeFile(damaged, std::string(4096, '\x47'));
    const std::string tiny = tp.root() + "src/tiny.avi";
    fs::create_directories(tp.root() + "src");
    ASSERT_TRUE(quietly("ffmpeg -nostdin -y -f lavfi -i 'color=s=16x16:d=1,scale=1:1' -c:v ffv1 '" + tiny + "'"));
    writeFile(tp.settingsPath(), "[Options]\nDeleteSourceWhenDone=1\n");
    for (const std::string& source : {damaged, tiny}) {
        SCOPED_TRACE(source);
        start({"-S", "-0", "-" + tp.root() + "out", source});
        EXPECT_EQ(waitForExit(60s), 1) << errors();
        EXPECT_TRUE(fs::exists(source));
        const std::string stem = fs::path(source).stem().string();
        EXPECT_FALSE(fs::exists(tp.root() + "out/" + stem + ".mp4")) << "a broken file under the final name";
        EXPECT_EQ(partFiles(tp.root() + "out"), 0u);
    }
}

TEST_F(TransactionTest, ARelativeNameIsSavedAbsolute)
{
    const std::string card1 = tp.root() + "card1/";
    writeClip(card1 + "00000.MTS", 1);
    writeClip(tp.root() + "card2/00000.MTS", 2);
    writeFile(tp.settingsPath(), "[Options]\nSaveFileList=1\n");
    start({"-S", "-0", "-" + tp.root() + "out", "00000.MTS"}, {.workingFolder = card1});
    EXPECT_EQ(waitForExit(), 0) << errors();
    EXPECT_EQ(ini().readText("FileList", "0", ""), card1 + "00000.MTS");
    EXPECT_TRUE(holds(tp.root() + "out/00000.mp4", clipBytes(1)));
}

TEST_F(TransactionTest, TwoRunsOverTheSameListNeverLoseAClip)
{
    std::vector<std::string> clips;
    for (int i = 0; i < 20; ++i)
        clips.push_back(tp.root() + "card/c" + std::to_string(100 + i) + ".MTS");
    std::vector<std::string> args = {"-S", "-0", "-" + tp.root() + "out"};
    args.insert(args.end(), clips.begin(), clips.end());
    writeFile(tp.settingsPath(), kDeleteSources);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        fs::remove_all(tp.root() + "out");
        for (const auto& c : clips)
            writeClip(c);
        installFakeEngine(tp);
        setFakeEngineScript(tp, std::vector<std::string>(40, "target sleep=20"));
        start(args);
        const pid_t first = m_pid;
        ASSERT_TRUE(waitForEngineCalls(2));
        start(args);
        EXPECT_GE(waitForExit(60s), 0) << errors();
        m_pid = first;
        EXPECT_GE(waitForExit(60s), 0) << errors();
        for (const auto& c : clips) {
            const std::string result = tp.root() + "out/" + fs::path(c).stem().string() + ".mp4";
            EXPECT_TRUE(fs::exists(c) || holds(result, clipBytes())) << c << " exists nowhere";
        }
        EXPECT_EQ(partFiles(tp.root() + "out"), 0u);
    }
}

TEST_F(TransactionTest, APowerCutRightAfterTheRunKeepsTheClip)
{
    std::string why;
    const std::string disk = card("ext4", "disk", why);
    if (disk.empty())
        GTEST_SKIP() << why;
    const std::string source = disk + "DCIM/clip.m2ts";
    writeClip(source, 2);
    writeFile(tp.settingsPath(), kDeleteSources);
    start({"-S", "-0", "-" + disk + "out", source});
    ASSERT_EQ(waitForExit(), 0) << errors();
    // The disk as it is right after the run and a few seconds later (the
    // journal has committed the deletion by then, while data written without
    // a flush may still be in memory only), both without sync.
    const std::string image = m_images[disk.substr(0, disk.size() - 1)];
    std::vector<std::string> copies;
    for (const int wait : {0, 8}) {
        std::this_thread::sleep_for(std::chrono::seconds(wait));
        const std::string copy = tp.root() + "cut" + std::to_string(wait) + ".img";
        ASSERT_TRUE(quietly("cp --sparse=always '" + image + "' '" + copy + "'"));
        copies.push_back(copy);
    }
    for (const std::string& copy : copies) {
        SCOPED_TRACE(copy);
        const std::string at = tp.root() + "after-" + fs::path(copy).stem().string();
        fs::create_directories(at);
        ASSERT_TRUE(quietly("mount -o loop '" + copy + "' '" + at + "'")) << "the journal replays";
        m_unmount.push_back("umount -l '" + at + "'");
        EXPECT_TRUE(fs::exists(at + "/DCIM/clip.m2ts") || holds(at + "/out/clip.mp4", clipBytes(2)))
            << "neither the source nor a complete result survived the power cut";
        quietly("umount '" + at + "'");
    }
}

// Cards with FAT file systems: no stable inode numbers, letters' case
// ignored, two-second times.
class CardTest : public TransactionTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(CardTest, KeepsWhatTheRunDidNotWriteAndSeesEveryResult)
{
    std::string why;
    const std::string out = card(GetParam(), "card", why);
    if (out.empty())
        GTEST_SKIP() << why;
    writeFile(tp.settingsPath(), kDeleteSources);

    // The engine refuses a damaged source while the card's inodes are read
    // again: yesterday's conversion stays.
    const std::string older = out + "clip.mp4";
    writeFile(older, "yesterday's conversion");
    const std::string source = tp.root() + "src/clip.mts";
    writeClip(source);
    setFakeEngineScript(tp, {"dropcaches flag=2 exit=2"});
    start({"-S", "-0", "-" + out, source});
    EXPECT_EQ(waitForExit(), 1) << errors();
    EXPECT_EQ(readFile(older), "yesterday's conversion");
    EXPECT_TRUE(fs::exists(source));

    // A quick rewrite of the same size within one tick of the card's clock:
    // the new result replaces the old one and the source may go.
    fs::remove(older); // (FUSE's FAT driver cannot shorten a file)
    writeFile(older, clipBytes(2).substr(0, clipBytes().size()));
    installFakeEngine(tp);
    start({"-S", "-0", "-" + out, source});
    EXPECT_EQ(waitForExit(), 0) << errors();
    EXPECT_TRUE(holds(older, clipBytes()));
    EXPECT_FALSE(fs::exists(source));

    // Names that differ only in case are one name on the card.
    const std::string upper = tp.root() + "a/CLIP2.MTS";
    const std::string lower = tp.root() + "b/clip2.mts";
    writeClip(upper, 1);
    writeClip(lower, 2);
    installFakeEngine(tp);
    start({"-S", "-0", "-" + out, upper, lower});
    EXPECT_EQ(waitForExit(), 0) << errors();
    EXPECT_TRUE(holds(out + "CLIP2.mp4", clipBytes(1)));
    EXPECT_TRUE(holds(out + "clip2 (2).mp4", clipBytes(2)));
    EXPECT_FALSE(fs::exists(upper) || fs::exists(lower));
    EXPECT_EQ(partFiles(out), 0u);
}

TEST_P(CardTest, AWriteProtectedSourceIsReportedNotSilentlyKept)
{
    std::string why;
    const std::string cardRoot = card(GetParam(), "card", why);
    if (cardRoot.empty())
        GTEST_SKIP() << why;
    const std::string source = cardRoot + "00001.MTS";
    writeClip(source);
    ASSERT_TRUE(quietly("mount -o remount,ro '" + cardRoot + "'")
        || quietly(
            "mount --bind '" + cardRoot + "' '" + cardRoot + "' && mount -o remount,bind,ro '" + cardRoot + "'"));
    m_unmount.push_back("umount -l '" + cardRoot + "'");
    writeFile(tp.settingsPath(), kDeleteSources);
    start({"-S", "-0", "-" + tp.root() + "out", source});
    EXPECT_EQ(waitForExit(), 1) << errors();
    EXPECT_TRUE(fs::exists(source));
    EXPECT_TRUE(holds(tp.root() + "out/00001.mp4", clipBytes()));
    EXPECT_NE(errors().find("could not be deleted"), std::string::npos) << errors();
    EXPECT_NE(errors().find(source), std::string::npos) << errors();
}

INSTANTIATE_TEST_SUITE_P(Cards, CardTest, ::testing::Values("vfat", "exfat"));

} // namespace
} // namespace vexlo::test

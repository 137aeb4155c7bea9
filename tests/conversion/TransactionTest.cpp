// One file as a transaction on the disk: names that fit the folder, part
// files of runs that died, the commit's fallbacks where a file system lacks a
// call, the names a run may not write over, and the run lock.
#include "conversion/FileTransaction.h"
#include "conversion/RunLock.h"
#include "conversion/RunNames.h"
#include "support/TestDoubles.h"
#include "support/TestSupport.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vexlo;
using namespace vexlo::conversion;

namespace {

bool exists(const std::string& path) { return std::filesystem::exists(std::filesystem::symlink_status(path)); }

bool validUtf8(const std::string& s)
{
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + length > s.size())
            return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += length;
    }
    return true;
}

class Transaction : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = fileSystemCalls();
        std::filesystem::create_directories(out);
    }
    void TearDown() override { fileSystemCalls() = saved; }

    platform::TestPlatform tp;
    const std::string out = tp.root() + "out/";
    FileSystemCalls saved{};
};

// A clip named in Japanese up to the 255-byte limit: every name the run makes
// for it fits the folder and stays valid UTF-8; a short name is not touched.
TEST_F(Transaction, EveryNameOfALongTargetFitsTheFolder)
{
    const std::string kana = "\xe3\x81\x82"; // 3 bytes
    for (const size_t stemBytes : {size_t(10), size_t(240), size_t(246), size_t(249), size_t(251)}) {
        std::string stem;
        while (stem.size() + kana.size() <= stemBytes)
            stem += kana;
        stem += std::string(stemBytes - stem.size(), 'x');
        const std::string target = out + stem + ".mp4";
        for (const std::string& name :
            {partFileName(target, 1), partFileName(target, 12), numberedName(target, 2), incompleteName(target)}) {
            const std::string file = name.substr(out.size());
            EXPECT_LE(file.size(), 255u) << stemBytes;
            EXPECT_TRUE(validUtf8(file)) << file;
            EXPECT_TRUE(file.ends_with(".mp4")) << file;
        }
        if (stemBytes == 10) {
            EXPECT_EQ(partFileName(target, 1), out + "." + stem + ".part.mp4");
        }
        std::string why;
        PartFile part;
        EXPECT_TRUE(part.create(target, why)) << stemBytes << ": " << why;
    }
}

// A part file whose run died (nobody holds its lock) is removed and its name
// taken again; one a living run holds is left alone.
TEST_F(Transaction, PartFilesOfDeadRunsGoThoseOfLivingRunsStay)
{
    const std::string target = out + "clip.mp4";
    test::writeFile(partFileName(target, 1), std::string(48, 'k')); // a killed run's
    std::string why;
    PartFile living;
    ASSERT_TRUE(living.create(target, why)) << why;
    EXPECT_EQ(living.path(), partFileName(target, 1)) << "the dead run's name is taken again";
    EXPECT_EQ(test::readFile(living.path()), "");

    PartFile second;
    ASSERT_TRUE(second.create(target, why)) << why;
    EXPECT_EQ(second.path(), partFileName(target, 2)) << "a living run's part file is not removed";
    EXPECT_TRUE(exists(living.path()));

    // Where the file system takes no lock, nothing tells whether a run lives.
    const std::string other = out + "other.mp4";
    test::writeFile(partFileName(other, 1), "unknown");
    fileSystemCalls().flock = [](int, int) {
        errno = ENOLCK;
        return -1;
    };
    PartFile unlocked;
    ASSERT_TRUE(unlocked.create(other, why)) << why;
    EXPECT_EQ(unlocked.path(), partFileName(other, 2));
    EXPECT_EQ(test::readFile(partFileName(other, 1)), "unknown");
}

struct CommitCase {
    const char* what;
    FileSystemCalls calls;
    bool targetThere; // a file appeared under the target name
    bool committed;
};

int unsupported(const char*, const char*)
{
    errno = EINVAL;
    return -1;
}
int notPermitted(const char*, const char*)
{
    errno = EPERM;
    return -1;
}

// renameat2's no-replace flag, else a hard link, else a look right before a
// plain rename: none replaces a file that appeared, none leaves the part file.
TEST_F(Transaction, CommitFallbacksNeverReplaceAndLeaveNoPartFile)
{
    const FileSystemCalls system = fileSystemCalls();
    FileSystemCalls noRename2 = system;
    noRename2.renameNoReplace = unsupported;
    FileSystemCalls neither = noRename2;
    neither.link = notPermitted;
    const CommitCase cases[] = {
        {"renameat2", system, false, true},
        {"renameat2, name taken", system, true, false},
        {"link", noRename2, false, true},
        {"link, name taken", noRename2, true, false},
        {"plain rename", neither, false, true},
        {"plain rename, name taken", neither, true, false},
    };
    for (const CommitCase& c : cases) {
        fileSystemCalls() = c.calls;
        const std::string target = out + c.what + ".mp4";
        if (c.targetThere)
            test::writeFile(target, "appeared");
        std::string why;
        bool taken = false;
        PartFile part;
        ASSERT_TRUE(part.create(target, why)) << c.what;
        test::writeFile(part.path(), "result");
        const std::string partPath = part.path();
        EXPECT_EQ(part.commit(target, false, taken, why), c.committed) << c.what << ": " << why;
        EXPECT_EQ(taken, c.targetThere) << c.what;
        EXPECT_EQ(test::readFile(target), c.targetThere ? "appeared" : "result") << c.what;
        EXPECT_EQ(exists(partPath), c.targetThere) << c.what << ": the part file stays only while uncommitted";
        EXPECT_EQ(part.committedName(), c.committed ? target : "") << c.what;
    }
}

// fusefat 0.3 (Debian 13): a rename never replaces a file.
int renameNeverReplacing(const char* from, const char* to)
{
    struct stat st {};
    if (::lstat(to, &st) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(from, to);
}

// A commit that replaces puts the result under the old file's name, also
// where a rename never replaces a file, and leaves no part file.
TEST_F(Transaction, AReplacingCommitReplacesWhereARenameNeverDoes)
{
    FileSystemCalls refusing = fileSystemCalls();
    refusing.rename = renameNeverReplacing;
    for (const auto& [what, calls] : {std::pair{"rename", fileSystemCalls()}, std::pair{"fusefat", refusing}}) {
        fileSystemCalls() = calls;
        const std::string target = out + what + ".mp4";
        test::writeFile(target, "yesterday's");
        std::string why;
        bool taken = false;
        PartFile part;
        ASSERT_TRUE(part.create(target, why)) << what;
        test::writeFile(part.path(), "result");
        const std::string partPath = part.path();
        EXPECT_TRUE(part.commit(target, true, taken, why)) << what << ": " << why;
        EXPECT_FALSE(taken) << what;
        EXPECT_EQ(test::readFile(target), "result") << what;
        EXPECT_FALSE(exists(partPath)) << what;
    }
}

// The commit's checks: a folder at the target name is no file to replace; a
// part file swapped meanwhile is not renamed; a folder entry that cannot be
// written fails the commit but the name still counts as written.
TEST_F(Transaction, CommitChecksWhatItRenames)
{
    std::string why;
    bool taken = false;
    {
        std::filesystem::create_directories(out + "folder.mp4");
        PartFile part;
        ASSERT_TRUE(part.create(out + "folder.mp4", why));
        EXPECT_FALSE(part.commit(out + "folder.mp4", false, taken, why));
        EXPECT_TRUE(std::filesystem::is_directory(out + "folder.mp4"));
        FileIdentity identity;
        EXPECT_FALSE(identityOf(out + "folder.mp4", identity)) << "a folder is no file";
    }
    {
        PartFile part;
        ASSERT_TRUE(part.create(out + "swapped.mp4", why));
        std::filesystem::remove(part.path());
        test::writeFile(part.path(), "someone else's");
        EXPECT_FALSE(part.commit(out + "swapped.mp4", false, taken, why));
        EXPECT_FALSE(exists(out + "swapped.mp4"));
    }
    {
        PartFile part;
        ASSERT_TRUE(part.create(out + "unsynced.mp4", why));
        fileSystemCalls().fsync = [](int) {
            errno = EIO;
            return -1;
        };
        EXPECT_FALSE(part.flush(why));
        EXPECT_FALSE(part.commit(out + "unsynced.mp4", false, taken, why)) << "the folder's entry is not on the disk";
        EXPECT_EQ(part.committedName(), out + "unsynced.mp4");
    }
}

// A run never writes over its own results (in any letter case on a folder
// that ignores it) nor over a file it converts, under any spelling.
TEST_F(Transaction, ARunsOwnNamesAreNeverWrittenOver)
{
    test::writeFile(tp.root() + "card/a.mp4", "a recording");
    std::filesystem::create_directory_symlink(tp.root() + "card", tp.root() + "link");
    RunNames names;
    FileIdentity a;
    ASSERT_TRUE(identityOf(tp.root() + "card/a.mp4", a));
    names.addSource(a);
    names.addWritten(out + "R.mp4");
    struct Case {
        std::string path;
        bool ignoresCase;
        bool free;
    };
    const Case cases[] = {
        {tp.root() + "card/a.mp4", false, false},
        {tp.root() + "link/a.mp4", false, false},
        {tp.root() + "card/./a.mp4", false, false},
        {out + "R.mp4", false, false},
        {out + "r.mp4", false, true},
        {out + "r.mp4", true, false},
        {out + "other.mp4", true, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(names.isFree(c.path, c.ignoresCase), c.free) << c.path << " " << c.ignoresCase;
    test::writeFile(out + "R (2).mp4", "on the disk");
    names.addWritten(out + "R (3).mp4");
    EXPECT_EQ(names.freeName(out + "R.mp4", false), out + "R (4).mp4");
}

// One run at a time: a second lock on the same file waits; a file system
// without locks (an NFS home without a lock manager) must not make a run wait
// for ever; a released lock lets the next run start.
TEST_F(Transaction, OneRunAtATimeButNeverAnEndlessWait)
{
    const std::string path = tp.root() + "registry/run.lock";
    RunLock first(path);
    RunLock second(path);
    EXPECT_TRUE(first.tryAcquire());
    EXPECT_FALSE(second.tryAcquire());
    EXPECT_FALSE(second.held());
    first.release();
    EXPECT_TRUE(second.tryAcquire());
    EXPECT_TRUE(second.held());

    fileSystemCalls().flock = [](int, int) {
        errno = ENOLCK;
        return -1;
    };
    RunLock unlockable(tp.root() + "nfs/run.lock");
    EXPECT_TRUE(unlockable.tryAcquire());
}

} // namespace

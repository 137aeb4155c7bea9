#include "FileTransaction.h"

#include "base/Paths.h"
#include "shellutil/ConvertPublic.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexlo::conversion {

namespace {

std::string errnoText(int error) { return std::strerror(error); }

void fillIdentity(const struct stat& st, FileIdentity& out)
{
    out.device = st.st_dev;
    out.inode = st.st_ino;
    out.size = st.st_size;
    out.modified = st.st_mtim;
}

// "<folder>", "<name>", "<ext>" of a target path.
struct NameParts {
    std::string folder;
    std::string stem;
    std::string extension;
};

NameParts split(const std::string& target)
{
    NameParts p;
    p.folder = shellutil::folderPart(target);
    const std::string name = target.substr(p.folder.size());
    p.extension = paths::extensionOf(name);
    p.stem = name.substr(0, name.size() - p.extension.size());
    return p;
}

// The longest name the folder takes, in bytes.
size_t nameLimit(const std::string& folder)
{
    const long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    return limit > 0 ? static_cast<size_t>(limit) : 255;
}

// "<folder><prefix><stem><suffix>", the stem shortened so that the name fits
// the folder.
std::string fittedName(const NameParts& p, const std::string& prefix, const std::string& suffix)
{
    const size_t limit = nameLimit(p.folder);
    const size_t fixed = prefix.size() + suffix.size();
    const size_t room = limit > fixed ? limit - fixed : 1;
    return p.folder + prefix + cutAtCharacter(p.stem, room) + suffix;
}

int systemRenameNoReplace(const char* from, const char* to)
{
    return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
}

std::string swappedCase(std::string name)
{
    for (char& c : name) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return name;
}

// Renames without replacing: renameat2's no-replace flag where the file
// system has it; else a hard link and the removal of the old name (atomic as
// well); else, on file systems with neither (FUSE drivers of exFAT), a check
// right before a plain rename, which only a writer within that instant can
// beat.
int renameNoReplace(const std::string& from, const std::string& to)
{
    const FileSystemCalls& calls = fileSystemCalls();
    if (calls.renameNoReplace(from.c_str(), to.c_str()) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    if (calls.link(from.c_str(), to.c_str()) == 0) {
        // Both names now hold the result: the part name goes, or it would be
        // left behind as a second hidden copy.
        if (::unlink(from.c_str()) != 0 && errno != ENOENT)
            return errno;
        return 0;
    }
    if (errno == EEXIST)
        return EEXIST;
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0)
        return EEXIST;
    return calls.rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// Renames over the file under `to`. FUSE's FAT driver of Debian 13 (fusefat
// 0.3) never renames over a file (EEXIST): there the old file is removed
// first. Stopped in between, the run has not yet counted the result as
// written, so the source stays; the result is still under its part name.
int renameReplacing(const std::string& from, const std::string& to)
{
    const FileSystemCalls& calls = fileSystemCalls();
    if (calls.rename(from.c_str(), to.c_str()) == 0)
        return 0;
    if (errno != EEXIST)
        return errno;
    if (::unlink(to.c_str()) != 0 && errno != ENOENT)
        return errno;
    return calls.rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// A part file that no living run holds (its run was killed, or the power
// went): removed, so that its name can be taken again. False when it is held,
// is no regular file, or cannot be locked at all (a network file system
// without locks: nothing tells whether its run lives).
bool removeAbandonedPart(const std::string& path)
{
    const FileHandle file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    FileIdentity held;
    FileIdentity there;
    if (!file.valid() || !identityOf(file.fd(), held) || fileSystemCalls().flock(file.fd(), LOCK_EX | LOCK_NB) != 0)
        return false;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !identityOf(path, there) || !held.sameInode(there))
        return false;
    return ::unlink(path.c_str()) == 0;
}

} // namespace

FileSystemCalls& fileSystemCalls()
{
    static FileSystemCalls calls{systemRenameNoReplace, ::link, ::rename, ::fsync, ::flock};
    return calls;
}

std::string cutAtCharacter(const std::string& name, size_t bytes)
{
    if (name.size() <= bytes)
        return name;
    size_t cut = bytes;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    return name.substr(0, cut);
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.release();
    }
    return *this;
}

FileHandle::~FileHandle()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int FileHandle::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

bool identityOf(int fd, FileIdentity& out)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    fillIdentity(st, out);
    return true;
}

bool identityOf(const std::string& path, FileIdentity& out)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    fillIdentity(st, out);
    return true;
}

bool PinnedSource::pin(const std::string& path, std::string& error)
{
    m_path = path;
    m_file = FileHandle(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!m_file.valid() || !identityOf(m_file.fd(), m_identity)) {
        error = errnoText(errno);
        m_file = FileHandle();
        return false;
    }
    return true;
}

bool PinnedSource::unchanged() const
{
    FileIdentity now;
    FileIdentity held;
    return m_file.valid() && identityOf(m_path, now) && identityOf(m_file.fd(), held) && held == m_identity
        && now == m_identity;
}

std::string partFileName(const std::string& target, int attempt)
{
    const NameParts p = split(target);
    return fittedName(p, ".", ".part" + (attempt > 1 ? "-" + std::to_string(attempt) : std::string()) + p.extension);
}

std::string numberedName(const std::string& target, int n)
{
    const NameParts p = split(target);
    return fittedName(p, "", " (" + std::to_string(n) + ")" + p.extension);
}

std::string incompleteName(const std::string& target)
{
    const NameParts p = split(target);
    return fittedName(p, "", " (incomplete)" + p.extension);
}

PartFile::~PartFile()
{
    if (!m_done)
        discard();
}

bool PartFile::create(const std::string& target, std::string& error)
{
    // A part file that a living run holds is not ours to remove: the next
    // free part name is taken instead.
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const std::string path = partFileName(target, attempt);
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        int failure = fd < 0 ? errno : 0;
        if (failure == EEXIST && removeAbandonedPart(path)) {
            fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            failure = fd < 0 ? errno : 0;
        }
        if (fd >= 0) {
            // The lock tells a later run that this part file's run lives; the
            // kernel lets it go when the run ends, however it ends.
            fileSystemCalls().flock(fd, LOCK_EX | LOCK_NB);
            m_path = path;
            m_committed.clear();
            m_file = FileHandle(fd);
            m_done = false;
            return true;
        }
        if (failure != EEXIST) {
            error = errnoText(failure);
            return false;
        }
    }
    error = errnoText(EEXIST);
    return false;
}

bool PartFile::stillOurs() const
{
    FileIdentity held;
    FileIdentity there;
    return m_file.valid() && identityOf(m_file.fd(), held) && identityOf(m_path, there) && held.sameInode(there);
}

bool PartFile::folderIgnoresCase() const
{
    // FUSE drivers give each spelling of a name its own inode number, so the
    // swapped spelling's mere presence decides (nobody else writes a hidden
    // part name in the other case in the same instant).
    const std::string folder = shellutil::folderPart(m_path);
    const std::string swapped = folder + swappedCase(m_path.substr(folder.size()));
    FileIdentity there;
    return swapped != m_path && m_file.valid() && identityOf(swapped, there);
}

bool PartFile::flush(std::string& error)
{
    if (!m_file.valid() || fileSystemCalls().fsync(m_file.fd()) != 0) {
        error = errnoText(m_file.valid() ? errno : EBADF);
        return false;
    }
    return true;
}

bool PartFile::commit(const std::string& name, bool replace, bool& nameTaken, std::string& error)
{
    nameTaken = false;
    if (!stillOurs()) {
        error = errnoText(ESTALE);
        return false;
    }
    const int failed = replace ? renameReplacing(m_path, name) : renameNoReplace(m_path, name);
    if (failed != 0) {
        nameTaken = failed == EEXIST;
        error = errnoText(failed);
        return false;
    }
    m_path = name;
    m_committed = name;
    m_done = true;
    if (!syncFolder(shellutil::folderPart(name), error))
        return false;
    // Some file systems number a file anew when it gets another name (sshfs
    // and other FUSE file systems without stable numbers): there the file
    // under the name is ours when its size and modification time are.
    FileIdentity held;
    FileIdentity there;
    if (!identityOf(m_file.fd(), held) || !identityOf(name, there)
        || !(held.sameInode(there)
            || (held.size == there.size && held.modified.tv_sec == there.modified.tv_sec
                && held.modified.tv_nsec == there.modified.tv_nsec))) {
        error = errnoText(ESTALE);
        return false;
    }
    return true;
}

void PartFile::discard()
{
    if (!m_done && stillOurs())
        ::unlink(m_path.c_str());
    m_done = true;
    m_file = FileHandle();
}

bool syncFolder(const std::string& folder, std::string& error)
{
    const FileHandle dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Some file systems take no fsync on a folder (EINVAL): their entries
    // go to the disk with the file's own data.
    if (!dir.valid() || (fileSystemCalls().fsync(dir.fd()) != 0 && errno != EINVAL)) {
        error = errnoText(errno);
        return false;
    }
    return true;
}

bool deletePinnedSource(const PinnedSource& source, std::string& error)
{
    if (!source.unchanged()) {
        error = "changed or replaced during its conversion";
        return false;
    }
    if (::unlink(source.path().c_str()) != 0) {
        error = errnoText(errno);
        return false;
    }
    return true;
}

} // namespace vexlo::conversion

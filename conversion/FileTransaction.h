#pragma once
// One file of a run as a transaction on the disk: the engine writes into a
// part file that this run created itself beside the target; only a verified
// result is made durable and renamed to its final name without replacing
// another writer's file; the source is deleted only while its path still
// names the file the engine read.
#include <sys/types.h>

#include <string>

namespace vexlo::conversion {

// An open file descriptor that closes itself.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(int fd) : m_fd(fd) {}
    FileHandle(FileHandle&& other) noexcept : m_fd(other.release()) {}
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle();
    int fd() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int release();

private:
    int m_fd = -1;
};

// The identity of a file, taken from an open descriptor or a path.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec modified {};
    bool operator==(const FileIdentity& o) const
    {
        return sameInode(o) && size == o.size && modified.tv_sec == o.modified.tv_sec
            && modified.tv_nsec == o.modified.tv_nsec;
    }
    bool sameInode(const FileIdentity& o) const { return device == o.device && inode == o.inode; }
};
bool identityOf(int fd, FileIdentity& out);
bool identityOf(const std::string& path, FileIdentity& out); // follows a link; regular files only

// The source, held open from before the engine starts until the file is
// done. An open file keeps its inode in memory, so that its number stays the
// same even on file systems that make the numbers up when an inode is read
// again (FAT, exFAT): "the path still names the file the engine read" is then
// a reliable comparison everywhere.
class PinnedSource {
public:
    // False (with errno's text in `error`) when the source cannot be opened.
    bool pin(const std::string& path, std::string& error);
    // The path still names the pinned file, unchanged (same inode, size and
    // modification time as when it was pinned).
    bool unchanged() const;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    FileHandle m_file;
    FileIdentity m_identity;
};

// The file-system calls of the transaction that a file system may lack or
// fail; tests replace them to make them fail. Each returns 0 or -1 with errno
// set, as the system's calls do.
struct FileSystemCalls {
    int (*renameNoReplace)(const char* from, const char* to); // renameat2 with RENAME_NOREPLACE
    int (*link)(const char* from, const char* to);
    int (*rename)(const char* from, const char* to);
    int (*fsync)(int fd);
    int (*flock)(int fd, int operation);
};
// The calls in use: the system's unless a test set others.
FileSystemCalls& fileSystemCalls();

// The part file's name for a target: "<folder>.<name>.part<ext>", then
// ".<name>.part-2<ext>", ... for attempt 1, 2, ...; the extension stays last,
// since the engine picks the container from it. Every name made here fits the
// folder's limit for a name (255 bytes on most file systems): a long <name>
// is shortened, never inside a UTF-8 character.
std::string partFileName(const std::string& target, int attempt);

// "<folder><name> (2)<ext>" for n = 2: the name a second result of the same
// target gets.
std::string numberedName(const std::string& target, int n);

// "<folder><name> (incomplete)<ext>": the kept part of a source that ends
// early.
std::string incompleteName(const std::string& target);

// `name` cut to at most `bytes` bytes, at the start of a UTF-8 character.
std::string cutAtCharacter(const std::string& name, size_t bytes);

class PartFile {
public:
    PartFile() = default;
    PartFile(PartFile&&) = default;
    PartFile& operator=(PartFile&&) = default;
    ~PartFile(); // removes the part file unless it was committed or kept

    // Creates a new, empty part file for `target` (never an existing one)
    // and holds a lock on it while this run lives. A part file of a run that
    // is no longer alive (killed, a power cut: nobody holds its lock) is
    // removed and its name taken again; one a living run holds is left alone.
    // False with the reason in `error` when the folder takes no new file.
    bool create(const std::string& target, std::string& error);
    const std::string& path() const { return m_path; }
    bool exists() const { return m_file.valid(); }
    // The part path still names the file this run created (not something the
    // engine or another program put in its place).
    bool stillOurs() const;
    // The folder ignores letter case (FAT, exFAT): the part file is found
    // under its name with the letters' case swapped.
    bool folderIgnoresCase() const;
    // Writes the file's data to the disk.
    bool flush(std::string& error);
    // Renames the part file to `name`. With `replace` false an existing file
    // is never replaced (returns false with EEXIST's text in `error` and
    // `nameTaken` set); with `replace` true the file that is there (which the
    // caller was allowed to overwrite) is replaced atomically. Then the
    // folder's entry is written to the disk and `name` is checked to name the
    // committed file (file systems that number a file anew when it is renamed,
    // sshfs among them, are told by its size and modification time).
    bool commit(const std::string& name, bool replace, bool& nameTaken, std::string& error);
    // The name the part file was renamed to, also when a check after the
    // rename failed; empty before.
    const std::string& committedName() const { return m_committed; }
    // Removes the part file now (it is ours: checked first).
    void discard();

private:
    std::string m_path;
    std::string m_committed;
    FileHandle m_file;
    bool m_done = false;
};

// Writes a folder's entries to the disk (after a rename into it).
bool syncFolder(const std::string& folder, std::string& error);

// Deletes the pinned source when its path still names the pinned file.
// False with the reason in `error` (the file changed or was replaced during
// the conversion, or the deletion failed: a read-only card, no permission).
bool deletePinnedSource(const PinnedSource& source, std::string& error);

} // namespace vexlo::conversion

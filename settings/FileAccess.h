#pragma once
// Safe access to the settings file on disk: whole-file reads that never block
// or run away, an advisory lock for writers, and atomic replacement. Used by
// IniFile only.
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>

namespace vexlo::settings::detail {

// No settings file of this program comes near it; a larger one is damaged.
constexpr off_t kMaxFileBytes = off_t(64) << 20;

// The owner's wish that a file stays as it is holds for us too, also when we
// run as root (who may write anything).
bool writableByUs(const std::string& path, const struct stat& st);

// Reads a whole regular file. Returns false with errno set when it cannot be
// read: EINVAL for anything but a regular file (a FIFO would block, a device
// never end), EFBIG for a file over kMaxFileBytes.
bool readWholeFile(const std::string& path, std::string& out, struct stat* info = nullptr);

bool writeAll(int fd, std::string_view bytes);

mode_t currentUmask();

// A symbolic link is followed, so that the link stays and its target changes.
std::string resolveTarget(const std::string& path);

// An exclusive advisory lock on `lockPath` (created when missing), held for the
// object's lifetime.
class FileLock {
public:
    explicit FileLock(const std::string& lockPath);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// Replaces `target` by `bytes` in one step: a temporary file beside it, written
// and flushed to disk, then renamed over it. The caller holds the lock, so the
// temporary name is this writer's alone; a leftover from a crash is reused.
bool replaceAtomically(const std::string& target, std::string_view bytes, mode_t mode);

} // namespace vexlo::settings::detail

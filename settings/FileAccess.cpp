#include "FileAccess.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace vexlo::settings::detail {

bool writableByUs(const std::string& path, const struct stat& st)
{
    if (::geteuid() == 0)
        return (st.st_mode & 0222) != 0;
    return ::access(path.c_str(), W_OK) == 0;
}

bool readWholeFile(const std::string& path, std::string& out, struct stat* info)
{
    out.clear();
    // Non-blocking, so that opening a FIFO does not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxFileBytes) {
        const int err = st.st_size > kMaxFileBytes ? EFBIG : !S_ISREG(st.st_mode) ? EINVAL : errno;
        ::close(fd);
        errno = err;
        return false;
    }
    if (info)
        *info = st;
    if (st.st_size > 0)
        out.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            out.append(buf, static_cast<size_t>(n));
            if (out.size() > static_cast<size_t>(kMaxFileBytes)) { // it grew while read
                ::close(fd);
                errno = EFBIG;
                return false;
            }
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            const int err = errno;
            ::close(fd);
            errno = err;
            return false;
        }
    }
    ::close(fd);
    return true;
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

mode_t currentUmask()
{
    std::string status;
    if (readWholeFile("/proc/self/status", status)) {
        const size_t at = status.find("\nUmask:");
        if (at != std::string::npos) {
            const unsigned long m = std::strtoul(status.c_str() + at + 7, nullptr, 8);
            return static_cast<mode_t>(m & 0777);
        }
    }
    return 022;
}

std::string resolveTarget(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            std::string r(real);
            std::free(real);
            return r;
        }
    }
    return path;
}

FileLock::FileLock(const std::string& lockPath)
{
    m_fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (m_fd < 0)
        return;
    while (::flock(m_fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(m_fd);
            m_fd = -1;
            return;
        }
    }
}

FileLock::~FileLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // also releases the lock
}

bool replaceAtomically(const std::string& target, std::string_view bytes, mode_t mode)
{
    const std::string temp = target + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, mode) == 0;
    ok = ok && writeAll(fd, bytes);
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    const size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        // The new settings are in place either way; a folder that takes no
        // fsync (EINVAL on some file systems) writes its entry with the file.
        static_cast<void>(::fsync(dfd));
        ::close(dfd);
    }
    return true;
}

} // namespace vexlo::settings::detail

#include "RunLock.h"

#include "platform/Registry.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>

namespace vexlo::conversion {

std::string RunLock::defaultPath() { return platform::defaultRegistryRoot() + "/run.lock"; }

RunLock::RunLock(std::string path) : m_path(std::move(path)) {}

bool RunLock::tryAcquire()
{
    if (m_held)
        return true;
    if (!m_file.valid()) {
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(m_path).parent_path(), ec);
        m_file = FileHandle(::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
        if (!m_file.valid())
            return true;
    }
    if (fileSystemCalls().flock(m_file.fd(), LOCK_EX | LOCK_NB) == 0) {
        m_held = true;
        return true;
    }
    return errno != EWOULDBLOCK && errno != EINTR;
}

void RunLock::release()
{
    m_file = FileHandle();
    m_held = false;
}

} // namespace vexlo::conversion

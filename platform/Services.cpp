#include "Services.h"

#include "LinuxServices.h"
#include "MountTable.h"
#include "ProcessLauncher.h"
#include "Registry.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <mutex>
#include <poll.h>
#include <sstream>
#include <unistd.h>

namespace vexlo::platform {

namespace {

std::string readProcFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The process's mount table, read again only when the kernel says it changed:
// an open /proc/self/mountinfo reports POLLPRI when a mount comes or goes, so
// a run of many files asks the kernel once per file instead of reading and
// copying the whole table each time.
class MountInfo {
public:
    std::string operator()()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_fd < 0) {
            m_fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
            if (m_fd < 0)
                return readProcFile("/proc/self/mountinfo");
            m_text = readAll();
            return m_text;
        }
        pollfd watch{m_fd, POLLPRI, 0};
        if (::poll(&watch, 1, 0) != 0 && (watch.revents & (POLLPRI | POLLERR)) != 0)
            m_text = readAll();
        return m_text;
    }

private:
    std::string readAll() const
    {
        std::string text;
        char buffer[16384];
        ::lseek(m_fd, 0, SEEK_SET);
        for (ssize_t n; (n = ::read(m_fd, buffer, sizeof buffer)) != 0;) {
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                break;
            }
            text.append(buffer, size_t(n));
        }
        return text;
    }
    std::mutex m_mutex;
    int m_fd = -1;
    std::string m_text;
};

struct LinuxBaseSet {
    FolderRegistry registry{defaultRegistryRoot()};
    LinuxShell shell;
    MountInfo mountInfo;
    MountTableDrives drives{[this] { return mountInfo(); }};
    ProcAppPaths paths;
};

Services& current()
{
    static Services inForce = linuxBaseServices();
    return inForce;
}

} // namespace

Services linuxBaseServices()
{
    // Created on first use; lives until exit on purpose (windows may still
    // reach the services while static objects are destroyed).
    static LinuxBaseSet* set = new LinuxBaseSet;
    Services s;
    s.registry = &set->registry;
    s.shell = &set->shell;
    s.drives = &set->drives;
    s.paths = &set->paths;
    s.processes = qtProcessLauncher();
    return s;
}

Services& services() { return current(); }

Services installServices(const Services& replacement)
{
    Services& inForce = current();
    const Services previous = inForce;
    inForce = replacement;
    return previous;
}

std::string executablePath()
{
    const AppPaths* paths = services().paths;
    return paths ? paths->executablePath() : std::string();
}

std::string programFolder()
{
    const std::string exe = executablePath();
    const auto slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
}

} // namespace vexlo::platform

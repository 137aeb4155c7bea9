#include "Services.h"

#include "LinuxServices.h"
#include "MountTable.h"
#include "ProcessLauncher.h"
#include "Registry.h"

#include <fstream>
#include <memory>
#include <sstream>

namespace vexlo::platform {

namespace {

std::string readProcFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct LinuxBaseSet {
    FolderRegistry registry{defaultRegistryRoot()};
    LinuxShell shell;
    MountTableDrives drives{[] { return readProcFile("/proc/self/mountinfo"); }};
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

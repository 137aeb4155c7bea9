#include "InstallSupport.h"

#include "support/TestSupport.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>

extern char** environ;

namespace vexlo::test {

std::vector<std::string> environmentWith(const std::map<std::string, std::string>& changes)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string s(*e);
        if (!changes.count(s.substr(0, s.find('='))))
            env.push_back(s);
    }
    for (const auto& [name, value] : changes) {
        if (!value.empty())
            env.push_back(name + "=" + value);
    }
    return env;
}

ProgramRun runProgram(
    const std::vector<std::string>& argv, const std::vector<std::string>& environment, const std::string& scratchFolder)
{
    const std::string outPath = scratchFolder + "/.run-out";
    const std::string errPath = scratchFolder + "/.run-err";
    ProgramRun r;
    const int pid = spawnProgram(argv, environment, outPath, errPath);
    if (pid > 0)
        r.status = waitForProgram(pid);
    r.out = readFile(outPath);
    r.err = readFile(errPath);
    std::filesystem::remove(outPath);
    std::filesystem::remove(errPath);
    return r;
}

std::string makeScratchFolder(const std::string& prefix)
{
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    ::chmod(pattern.c_str(), 0755);
    return pattern;
}

} // namespace vexlo::test

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

ProgramRun runProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                      const std::string& scratchFolder)
{
    std::vector<std::string> args = argv;
    std::vector<std::string> vars = environment;
    std::vector<char*> cargv, cenv;
    for (auto& a : args)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);
    for (auto& v : vars)
        cenv.push_back(v.data());
    cenv.push_back(nullptr);
    const std::string outPath = scratchFolder + "/.run-out";
    const std::string errPath = scratchFolder + "/.run-err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    pid_t pid = -1;
    ProgramRun r;
    if (posix_spawnp(&pid, cargv[0], &actions, nullptr, cargv.data(), cenv.data()) == 0) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
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

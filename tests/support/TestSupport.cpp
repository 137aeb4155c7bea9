#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <stdexcept>

namespace vexlo::test {

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeout.count())
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

void writeFile(const std::string& path, const std::string& bytes)
{
    const std::filesystem::path p(path);
    if (p.has_parent_path())
        std::filesystem::create_directories(p.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string binDir()
{
    const QByteArray env = qgetenv("VEXLO_BIN_DIR");
    return env.isEmpty() ? std::string(VEXLO_BIN_DIR) : env.toStdString();
}

int spawnProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
    const std::string& outPath, const std::string& errPath, const std::string& workingFolder)
{
    if (argv.empty())
        return -1;
    std::vector<std::string> args = argv, vars = environment;
    std::vector<char*> cargv, cenv;
    for (auto& a : args)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);
    for (auto& v : vars)
        cenv.push_back(v.data());
    cenv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (!workingFolder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, cargv[0], &actions, nullptr, cargv.data(), cenv.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

int waitForProgram(int pid)
{
    int status = 0;
    if (pid <= 0 || ::waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace vexlo::test

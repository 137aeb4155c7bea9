#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <filesystem>
#include <fstream>
#include <cstdlib>
#include <unistd.h>
#include <mutex>
#include <map>
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

QString toolOutput(const QString& program, const QStringList& args, int timeoutMs)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(timeoutMs);
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

void deliverPostedEvents()
{
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
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

const std::string& clipBytes(int seconds)
{
    static std::mutex mutex;
    static std::map<int, std::string> made;
    const std::lock_guard<std::mutex> lock(mutex);
    std::string& bytes = made[seconds];
    if (bytes.empty()) {
        const std::string folder = std::filesystem::temp_directory_path().string() + "/vexlo-clip-"
            + std::to_string(::getpid()) + "-" + std::to_string(seconds);
        std::filesystem::create_directories(folder);
        const std::string path = folder + "/clip.ts";
        const std::string length = std::to_string(seconds);
        const int pid = spawnProgram(
            {"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=s=64x48:r=10:d=" + length, "-f",
                "lavfi", "-i", "sine=f=440:d=" + length, "-c:v", "mpeg2video", "-c:a", "mp2", path},
            {"PATH=" + std::string(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin")}, "/dev/null",
            folder + "/err");
        if (pid < 0 || waitForProgram(pid) != 0)
            throw std::runtime_error("ffmpeg could not make a test clip: " + readFile(folder + "/err"));
        bytes = readFile(path);
        std::filesystem::remove_all(folder);
    }
    return bytes;
}

void writeClip(const std::string& path, int seconds) { writeFile(path, clipBytes(seconds)); }

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

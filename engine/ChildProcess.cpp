#include "ChildProcess.h"

#include "base/Paths.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vexlo::engine {

ChildProcess::~ChildProcess()
{
    if (m_pid > 0) {
        kill();
        wait();
    }
    closeStdout();
    closeStderr();
}

bool ChildProcess::start(const std::string& program, const std::vector<std::string>& arguments, std::string& error)
{
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (pipe2(err, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        ::close(out[0]);
        ::close(out[1]);
        return false;
    }
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);

    // Everything the child needs is prepared before fork: after it only
    // async-signal-safe calls are made.
    std::vector<std::string> storage;
    storage.reserve(arguments.size() + 1);
    storage.push_back(program);
    storage.insert(storage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        if (devNull >= 0)
            ::dup2(devNull, 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::execv(program.c_str(), argv.data());
        const char msg[] = "trevok: the converter could not be started\n";
        [[maybe_unused]] auto n = ::write(2, msg, sizeof msg - 1);
        ::_exit(127);
    }
    const int forkErrno = errno;
    if (devNull >= 0)
        ::close(devNull);
    ::close(out[1]);
    ::close(err[1]);
    if (pid < 0) {
        ::close(out[0]);
        ::close(err[0]);
        error = std::strerror(forkErrno);
        return false;
    }
    m_pid = pid;
    m_out = out[0];
    m_err = err[0];
    ::fcntl(m_out, F_SETFL, ::fcntl(m_out, F_GETFL) | O_NONBLOCK);
    ::fcntl(m_err, F_SETFL, ::fcntl(m_err, F_GETFL) | O_NONBLOCK);
    return true;
}

long ChildProcess::readSome(int fd, char* buffer, unsigned long size)
{
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n >= 0)
            return static_cast<long>(n);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return -1;
        return 0; // a read error ends the stream
    }
}

void ChildProcess::closeStdout()
{
    if (m_out >= 0)
        ::close(m_out);
    m_out = -1;
}

void ChildProcess::closeStderr()
{
    if (m_err >= 0)
        ::close(m_err);
    m_err = -1;
}

void ChildProcess::kill()
{
    if (m_pid > 0)
        ::kill(m_pid, SIGKILL);
}

int ChildProcess::wait()
{
    if (m_pid <= 0)
        return -1;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(m_pid, &status, 0);
    } while (r < 0 && errno == EINTR);
    m_pid = -1;
    return r < 0 ? -1 : status;
}

std::string ffmpegProgram()
{
    if (const char* over = std::getenv("VEXLO_FFMPEG"); over && *over) {
        const std::string program = over;
        return program.find('/') == std::string::npos ? paths::findOnPath(program) : program;
    }
    return paths::findOnPath("ffmpeg");
}

} // namespace vexlo::engine

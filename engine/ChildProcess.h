#pragma once
// One child program started with an argument vector (never a shell), its
// standard output and standard error on pipes, its standard input on
// /dev/null. The child is killed when the engine dies.
#include <string>
#include <sys/types.h>
#include <vector>

namespace vexlo::engine {

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `program` (a path) with `arguments` (after the program name).
    // False with `error` set when it cannot be started.
    bool start(const std::string& program, const std::vector<std::string>& arguments, std::string& error);
    int stdoutFd() const { return m_out; }
    int stderrFd() const { return m_err; }
    // Reads what is there without blocking: >0 bytes, 0 end of stream, -1 nothing now.
    static long readSome(int fd, char* buffer, unsigned long size);
    void closeStdout();
    void closeStderr();
    // Kills the child at once (SIGKILL).
    void kill();
    // Waits for the child to end; returns the raw wait status, or -1.
    int wait();
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
};

// The ffmpeg to use: $VEXLO_FFMPEG when set, else the first on $PATH; "" when
// there is none.
std::string ffmpegProgram();

} // namespace vexlo::engine

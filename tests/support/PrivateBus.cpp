#include "PrivateBus.h"

#include "TestSupport.h"

#include <cerrno>
#include <fcntl.h>
#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vexlo::test {

PrivateBus::PrivateBus(const std::string& folder)
{
    static int round = 0;
    const std::string base = folder + (folder.empty() || folder.back() == '/' ? "" : "/") + "bus"
        + std::to_string(::getpid()) + "-" + std::to_string(++round);
    const std::string config = base + ".conf";
    writeFile(config,
        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig>\n  <type>session</type>\n"
        "  <listen>unix:path="
            + base
            + "</listen>\n"
              "  <auth>EXTERNAL</auth>\n"
              "  <policy context=\"default\">\n"
              "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
              "    <allow eavesdrop=\"true\"/>\n"
              "    <allow own=\"*\"/>\n"
              "  </policy>\n</busconfig>\n");
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, (base + ".log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::string configArg = "--config-file=" + config;
    char program[] = "dbus-daemon";
    char noFork[] = "--nofork";
    char print[] = "--print-address=1";
    char* argv[] = {program, configArg.data(), noFork, print, nullptr};
    const int rc = ::posix_spawnp(&m_pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        m_pid = -1;
        ::close(out[0]);
        return;
    }
    // The address is the first line the daemon prints once it listens.
    std::string line;
    pollfd p{out[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && ::poll(&p, 1, 10000) > 0) {
        char buffer[256];
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        line.append(buffer, static_cast<size_t>(n));
    }
    ::close(out[0]);
    if (const size_t end = line.find('\n'); end != std::string::npos)
        m_address = line.substr(0, end);
}

PrivateBus::~PrivateBus()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {}
    }
}

} // namespace vexlo::test

#include "SignalPipe.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <initializer_list>
#include <unistd.h>

namespace vexlo::termination {

namespace {

int g_pipe[2] = {-1, -1};
bool g_installed = false;
volatile sig_atomic_t g_signalled = 0;

void onSignal(int)
{
    g_signalled = 1;
    const int saved = errno;
    if (g_pipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const auto n = ::write(g_pipe[1], &byte, 1);
    }
    errno = saved;
}

} // namespace

int signalPipe()
{
    if (!g_installed) {
        g_installed = true;
        if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
            g_pipe[0] = g_pipe[1] = -1;
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (const int s : {SIGTERM, SIGINT, SIGHUP})
            ::sigaction(s, &action, nullptr);
    }
    return g_pipe[0];
}

bool requested() { return g_signalled != 0; }

void drainSignalPipe()
{
    if (g_pipe[0] < 0)
        return;
    char buffer[64];
    while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {}
}

} // namespace vexlo::termination

#include "base/SignalPipe.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace vexlo::termination;

namespace {

bool readable(int fd)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

} // namespace

TEST(TerminationSignals, ArriveOnThePipeAndAreRemembered)
{
    const int fd = signalPipe();
    ASSERT_GE(fd, 0);
    EXPECT_EQ(signalPipe(), fd); // installed once
    EXPECT_TRUE(::fcntl(fd, F_GETFL) & O_NONBLOCK);
    EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC);
    EXPECT_FALSE(requested());
    EXPECT_FALSE(readable(fd));

    for (const int s : {SIGTERM, SIGINT, SIGHUP}) {
        ASSERT_EQ(::raise(s), 0); // handled: the suite goes on
        EXPECT_TRUE(readable(fd)) << s;
        drainSignalPipe();
        EXPECT_FALSE(readable(fd)) << s;
    }
    EXPECT_TRUE(requested());

    // Many signals before anyone reads never block the handler.
    for (int i = 0; i < 100000; ++i)
        ::raise(SIGTERM);
    drainSignalPipe();
    EXPECT_FALSE(readable(fd));
}

// A destination folder on another machine, mounted with sshfs: the file
// system refuses the no-replace rename (the hard-link way is taken) and gives
// a file a new inode number under its new name. Two cards' clips of the same
// name, converted there by the real engine, must both arrive, and a source is
// deleted only after its own result is there.
#include "EndToEnd.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace vexlo::test {
namespace {

bool quietly(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// A port on 127.0.0.1 that nobody listens on at the moment; 0 when none.
int freePort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (s >= 0 && ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (s >= 0)
        ::close(s);
    return port;
}

bool accepts(int port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = s >= 0 && ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (s >= 0)
        ::close(s);
    return ok;
}

class SshfsTest : public EndToEndTest {
protected:
    void SetUp() override
    {
        EndToEndTest::SetUp();
        m_why = mountOverSsh();
    }
    void TearDown() override
    {
        EndToEndTest::TearDown();
        if (!m_mountPoint.empty())
            quietly("fusermount3 -u -z '" + m_mountPoint + "' || umount -l '" + m_mountPoint + "'");
        if (m_sshd > 0) {
            ::kill(m_sshd, SIGTERM);
            waitForProgram(m_sshd);
        }
    }

    // An sshd of the test's own on 127.0.0.1 (its own host key, the test's
    // key as the only one let in), and <root>remote/ mounted through it at
    // <root>sshfs/. The reason when that cannot be had here.
    std::string mountOverSsh()
    {
        if (::geteuid() != 0)
            return "the test's sshd logs in as root (CI runs as root)";
        for (const char* tool : {"/usr/sbin/sshd", "/usr/bin/sshfs", "/usr/bin/ssh-keygen", "/usr/bin/unshare"})
            if (!fs::exists(tool))
                return std::string(tool) + " is not installed (scripts/deps installs it)";
        if (!fs::exists("/dev/fuse"))
            return "no /dev/fuse: FUSE file systems cannot be mounted here";
        const std::string keys = tp.root() + "ssh/";
        fs::create_directories(keys);
        fs::create_directories(tp.root() + "remote/out");
        fs::create_directories(tp.root() + "sshfs");
        if (!quietly("ssh-keygen -q -t ed25519 -N '' -f '" + keys + "host'")
            || !quietly("ssh-keygen -q -t ed25519 -N '' -f '" + keys + "user'"))
            return "ssh-keygen failed";
        fs::copy_file(keys + "user.pub", keys + "authorized_keys");
        const int port = freePort();
        if (port == 0)
            return "no free port on 127.0.0.1";
        // sshd wants its privilege-separation folder /run/sshd: a /run of its
        // own in a mount namespace of its own, so that nothing of the
        // machine's changes.
        const std::string sshd = "mount -t tmpfs tmpfs /run && mkdir -m 755 /run/sshd && exec /usr/sbin/sshd -D -e "
                                 "-f /dev/null -h '"
            + keys + "host' -p " + std::to_string(port)
            + " -o ListenAddress=127.0.0.1 -o PidFile=none -o StrictModes=no -o UsePAM=no"
              " -o PermitRootLogin=prohibit-password -o 'Subsystem=sftp internal-sftp' -o AuthorizedKeysFile='"
            + keys + "authorized_keys'";
        m_sshd = spawnProgram({"unshare", "--mount", "--propagation", "private", "sh", "-c", sshd},
            {"PATH=/usr/sbin:/usr/bin:/sbin:/bin"}, "/dev/null", keys + "sshd.log");
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (!accepts(port) && std::chrono::steady_clock::now() < end && ::waitpid(m_sshd, nullptr, WNOHANG) == 0)
            std::this_thread::sleep_for(20ms);
        if (!accepts(port))
            return "sshd did not start: " + readFile(keys + "sshd.log");
        const std::string options = "IdentityFile=" + keys
            + "user,IdentitiesOnly=yes,BatchMode=yes,StrictHostKeyChecking=no,UserKnownHostsFile=/dev/null,port="
            + std::to_string(port);
        if (!quietly(
                "sshfs -F /dev/null -o '" + options + "' 127.0.0.1:'" + tp.root() + "remote' '" + tp.root() + "sshfs'"))
            return "sshfs could not mount (no FUSE here?)";
        m_mountPoint = tp.root() + "sshfs";
        return {};
    }

    std::string m_why; // empty: mounted
    std::string m_mountPoint;
    pid_t m_sshd = -1;
};

TEST_F(SshfsTest, TwoCardsWithTheSameClipNamesBothArrive)
{
    if (!m_why.empty())
        GTEST_SKIP() << m_why;
    useRealEngine();
    const std::string first = tp.root() + "card1/PRIVATE/AVCHD/BDMV/STREAM/00000.MTS";
    const std::string second = tp.root() + "card2/PRIVATE/AVCHD/BDMV/STREAM/00000.MTS";
    const std::string out = m_mountPoint + "/out/";
    for (const bool deleting : {true, false}) {
        SCOPED_TRACE(deleting ? "deleting sources" : "keeping sources");
        for (const auto& e : fs::directory_iterator(out))
            fs::remove(e.path());
        // Clips of 1 s and 2 s: each result tells which card it came from.
        writeClip(first, 1);
        writeClip(second, 2);
        writeFile(tp.settingsPath(), deleting ? "[Options]\nDeleteSourceWhenDone=1\n" : "[Options]\n");
        start({"-S", "-0", "-" + out, first, second});
        EXPECT_EQ(waitForExit(60s), 0) << errors();
        const std::string remote = tp.root() + "remote/out/";
        EXPECT_NEAR(secondsOf(remote + "00000.mp4"), 1.0, 0.3) << "card1's clip, not replaced by card2's";
        EXPECT_NEAR(secondsOf(remote + "00000 (2).mp4"), 2.0, 0.3) << errors();
        EXPECT_EQ(fs::exists(first), !deleting);
        EXPECT_EQ(fs::exists(second), !deleting);
        size_t files = 0;
        for (const auto& e : fs::directory_iterator(remote))
            files += e.is_regular_file();
        EXPECT_EQ(files, 2u) << "no part file or third result is left";
    }
}

} // namespace
} // namespace vexlo::test

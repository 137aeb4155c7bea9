#include "BusProbe.h"

#include "base/Text.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <map>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace vexlo::platform {

namespace {

using Clock = std::chrono::steady_clock;

class Socket {
public:
    explicit Socket(int fd) : m_fd(fd) {}
    ~Socket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool waitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, remainingMs(deadline));
        if (r > 0)
            return (p.revents & events) != 0;
        if (r == 0 || errno != EINTR)
            return false;
    }
}

// Connects without blocking beyond the deadline.
bool connectBy(int fd, const sockaddr* address, socklen_t length, Clock::time_point deadline)
{
    if (::connect(fd, address, length) == 0)
        return true;
    if (errno != EINPROGRESS && errno != EAGAIN)
        return false;
    if (!waitFor(fd, POLLOUT, deadline))
        return false;
    int error = 0;
    socklen_t size = sizeof error;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

bool sendAll(int fd, const std::string& bytes, Clock::time_point deadline)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (!waitFor(fd, POLLOUT, deadline))
                return false;
        } else {
            return false;
        }
    }
    return true;
}

// Reads until `enough` says the bytes so far suffice.
template<typename Enough> bool receive(int fd, std::string& bytes, Clock::time_point deadline, Enough enough)
{
    char buffer[512];
    while (!enough(bytes)) {
        if (!waitFor(fd, POLLIN, deadline))
            return false;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n > 0)
            bytes.append(buffer, static_cast<size_t>(n));
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            return false;
    }
    return true;
}

// The bus's "Hello" method call, little-endian, serial 1, no body.
std::string helloMessage()
{
    std::string m = {'l', 1, 0, 1};
    const auto pad = [&m](size_t to) {
        while (m.size() % to)
            m.push_back('\0');
    };
    const auto u32 = [&m](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            m.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
    };
    u32(0); // body length
    u32(1); // serial
    const size_t arrayLength = m.size();
    u32(0); // header fields' length, filled in below
    const size_t fieldsStart = m.size() + (8 - m.size() % 8) % 8;
    const auto field = [&](char code, char type, const std::string& value) {
        pad(8);
        m += {code, 1, type, '\0'};
        pad(4);
        u32(static_cast<uint32_t>(value.size()));
        m += value;
        m.push_back('\0');
    };
    field(1, 'o', "/org/freedesktop/DBus");
    field(6, 's', "org.freedesktop.DBus");
    field(2, 's', "org.freedesktop.DBus");
    field(3, 's', "Hello");
    const auto length = static_cast<uint32_t>(m.size() - fieldsStart);
    for (int i = 0; i < 4; ++i)
        m[arrayLength + i] = static_cast<char>((length >> (8 * i)) & 0xff);
    pad(8);
    return m;
}

// The authentication ("EXTERNAL", our user id), then Hello; true when the
// bus answered both in time. A refused authentication is an answer too:
// libdbus then tries its other ways and does not hang on a silent peer.
bool converse(int fd, Clock::time_point deadline)
{
    std::string uid = std::to_string(::getuid()), hex;
    for (unsigned char c : uid) {
        static const char digits[] = "0123456789abcdef";
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    if (!sendAll(fd, std::string(1, '\0') + "AUTH EXTERNAL " + hex + "\r\n", deadline))
        return false;
    std::string line;
    if (!receive(fd, line, deadline, [](const std::string& b) { return b.find("\r\n") != std::string::npos; }))
        return false;
    if (line.rfind("OK ", 0) != 0)
        return line.rfind("REJECTED", 0) == 0 || line.rfind("ERROR", 0) == 0;
    if (!sendAll(fd, "BEGIN\r\n" + helloMessage(), deadline))
        return false;
    std::string reply;
    return receive(fd, reply, deadline, [](const std::string& b) { return b.size() >= 16; })
        && (reply[1] == 2 || reply[1] == 3); // a return or an error: the bus answers
}

std::string unescape(const std::string& value)
{
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '%' && i + 2 < value.size()) {
            out.push_back(static_cast<char>(std::strtol(value.substr(i + 1, 2).c_str(), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(value[i]);
        }
    }
    return out;
}

std::map<std::string, std::string> keysOf(const std::string& entry)
{
    std::map<std::string, std::string> keys;
    size_t from = entry.find(':') + 1;
    while (from < entry.size()) {
        size_t end = entry.find(',', from);
        if (end == std::string::npos)
            end = entry.size();
        const std::string pair = entry.substr(from, end - from);
        const size_t eq = pair.find('=');
        if (eq != std::string::npos)
            keys[pair.substr(0, eq)] = unescape(pair.substr(eq + 1));
        from = end + 1;
    }
    return keys;
}

enum class Probe { Answers, Silent, NotProbed };

Probe probeUnix(const std::map<std::string, std::string>& keys, Clock::time_point deadline)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string name;
    bool abstract = false;
    if (auto p = keys.find("path"); p != keys.end()) {
        name = p->second;
    } else if (auto a = keys.find("abstract"); a != keys.end()) {
        name = a->second;
        abstract = true;
    } else {
        return Probe::NotProbed;
    }
    if (name.empty() || name.size() + 1 >= sizeof address.sun_path)
        return Probe::Silent;
    socklen_t length;
    std::memcpy(address.sun_path + (abstract ? 1 : 0), name.data(), name.size());
    // A path ends with its NUL; an abstract name starts with one.
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size() + 1);
    Socket socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (socket.fd() < 0)
        return Probe::Silent;
    if (!connectBy(socket.fd(), reinterpret_cast<const sockaddr*>(&address), length, deadline))
        return Probe::Silent;
    return converse(socket.fd(), deadline) ? Probe::Answers : Probe::Silent;
}

Probe probeTcp(const std::map<std::string, std::string>& keys, Clock::time_point deadline)
{
    const auto host = keys.find("host");
    const auto port = keys.find("port");
    if (port == keys.end())
        return Probe::Silent;
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host == keys.end() ? "localhost" : host->second.c_str(), port->second.c_str(), &hints, &found)
        != 0)
        return Probe::Silent;
    Probe result = Probe::Silent;
    for (addrinfo* a = found; a && result == Probe::Silent; a = a->ai_next) {
        Socket socket(::socket(a->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (socket.fd() >= 0 && connectBy(socket.fd(), a->ai_addr, a->ai_addrlen, deadline))
            result = converse(socket.fd(), deadline) ? Probe::Answers : Probe::Silent;
    }
    ::freeaddrinfo(found);
    return result;
}

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

bool busAnswers(const std::string& address, std::chrono::milliseconds limit)
{
    const Clock::time_point deadline = Clock::now() + limit;
    for (const std::string_view part : text::splitList(address)) {
        const std::string entry(part);
        const std::string transport = entry.substr(0, entry.find(':'));
        Probe probe = Probe::Silent;
        if (transport == "unix")
            probe = probeUnix(keysOf(entry), deadline);
        else if (transport == "tcp")
            probe = probeTcp(keysOf(entry), deadline);
        else if (transport != "autolaunch" && transport != "disabled" && entry.find(':') != std::string::npos)
            probe = Probe::NotProbed;
        if (probe != Probe::Silent)
            return true;
    }
    return false;
}

std::string sessionBusAddress()
{
    std::string address = environment("DBUS_SESSION_BUS_ADDRESS");
    if (!address.empty())
        return address;
    const std::string runtime = environment("XDG_RUNTIME_DIR");
    struct stat st {};
    if (runtime.empty() || ::stat((runtime + "/bus").c_str(), &st) != 0 || !S_ISSOCK(st.st_mode))
        return {};
    return "unix:path=" + runtime + "/bus";
}

std::string systemBusAddress()
{
    const std::string address = environment("DBUS_SYSTEM_BUS_ADDRESS");
    return address.empty() ? "unix:path=/var/run/dbus/system_bus_socket" : address;
}

void keepSilentBusesAway()
{
    const std::string session = sessionBusAddress();
    const std::string system = systemBusAddress();
    auto sessionAnswers = std::async(std::launch::async, [&session] { return busAnswers(session); });
    // A machine without a system bus refuses the connection at once; only a
    // socket that is there and silent is taken away.
    struct stat st {};
    const bool systemSocket
        = system != "unix:path=/var/run/dbus/system_bus_socket" || ::stat("/var/run/dbus/system_bus_socket", &st) == 0;
    const bool systemAnswers = !systemSocket || busAnswers(system);
    if (!sessionAnswers.get())
        ::setenv("DBUS_SESSION_BUS_ADDRESS", kUnusableBusAddress, 1);
    if (!systemAnswers)
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", kUnusableBusAddress, 1);
}

} // namespace vexlo::platform

#pragma once
// A dbus-daemon of one test's own: a session-type bus listening on a socket in
// the given folder, where any name may be owned and every message monitored.
// Fake desktop services and the program under test meet there instead of on
// the user's or the machine's bus. The daemon ends with the object.
#include <string>
#include <sys/types.h>

namespace vexlo::test {

class PrivateBus {
public:
    // Starts the daemon; address() is empty when it could not start.
    explicit PrivateBus(const std::string& folder);
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // The address for D-Bus clients ("unix:path=...,guid=...").
    const std::string& address() const { return m_address; }

private:
    pid_t m_pid = -1;
    std::string m_address;
};

} // namespace vexlo::test

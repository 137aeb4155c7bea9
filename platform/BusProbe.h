#pragma once
// Whether a D-Bus bus answers, asked within a time limit.
//
// libdbus, and Qt on top of it, wait without any limit for a bus daemon to
// accept a new connection: a daemon that accepts the socket and then never
// answers (stopped, overloaded, a stale socket of a frozen session) would
// freeze whatever opens the bus. Before Vexlo or its engine hands a bus to Qt,
// the bus is asked here, on a connection of our own, for the authentication
// and the "Hello" that libdbus would wait for.
#include <chrono>
#include <string>

namespace vexlo::platform {

// An address that no client can connect to: libdbus refuses it at once.
inline constexpr const char* kUnusableBusAddress = "disabled:";
inline constexpr std::chrono::milliseconds kBusProbeLimit{1500};

// True when the bus at `address` (a D-Bus address: "unix:path=...",
// "unix:abstract=...", "tcp:host=...,port=...", several separated by ";")
// completes the authentication and answers "Hello" within `limit`. An
// address of a kind not probed here ("unixexec:", "systemd:", ...) counts as
// answering; "autolaunch:" and an empty address do not.
bool busAnswers(const std::string& address, std::chrono::milliseconds limit = kBusProbeLimit);

// The address libdbus would use for the user's session bus, or "" when the
// session has none (no DBUS_SESSION_BUS_ADDRESS and no $XDG_RUNTIME_DIR/bus).
std::string sessionBusAddress();
// The address libdbus would use for the system bus.
std::string systemBusAddress();

// Called once at start, before the application object: a session bus that is
// missing or does not answer, and a system bus that does not answer, are
// replaced in this process's environment (and so its children's) by
// kUnusableBusAddress. Qt then never starts a bus of its own (dbus-launch
// autolaunch on a bare X display) nor waits for a silent one. The two buses
// are asked at the same time; this returns within about kBusProbeLimit.
void keepSilentBusesAway();

} // namespace vexlo::platform

#pragma once
// The desktop session on Linux, over D-Bus:
// - keeping awake: a logind "sleep:idle" inhibitor (its file descriptor is
//   held until released), else the desktop portal's Inhibit, else the
//   screensaver's Inhibit; when none answers, one line on standard error;
// - notifications: org.freedesktop.Notifications;
// - taskbar progress: the launcher-entry signal that Plasma and the common
//   docks read, for application://vexlo.desktop.
// Every call is asynchronous with a 500 ms limit, so nothing waits on a slow
// or missing service while the window runs; a bus is opened only after it
// has answered a probe of our own within BusProbe's limit (libdbus itself
// would wait for a silent daemon without end).
#include "DesktopSession.h"
#include "Services.h"

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QObject;

namespace vexlo::platform {

class LinuxDesktopSession : public DesktopSession {
public:
    // Opens a bus when first needed; an unconnected result means "no bus".
    using BusOpener = std::function<QDBusConnection()>;

    // The machine's system bus (logind) and the user's session bus.
    LinuxDesktopSession();
    LinuxDesktopSession(BusOpener systemBus, BusOpener sessionBus);
    ~LinuxDesktopSession() override;
    LinuxDesktopSession(const LinuxDesktopSession&) = delete;
    LinuxDesktopSession& operator=(const LinuxDesktopSession&) = delete;

    void inhibitSleep() override;
    void allowSleep() override;
    void notify(const DesktopNotification& notification) override;
    void setTaskbarProgress(double fraction, bool visible) override;
    void flush() override;

    enum class Hold { None, Asking, Logind, Portal, ScreenSaver };
    // What keeps the computer awake now.
    Hold hold() const { return m_hold; }

    static constexpr int kCallTimeoutMs = 500;
    static constexpr const char* kLauncherUri = "application://vexlo.desktop";

private:
    enum class Step { Logind, Portal, ScreenSaver };
    void ask(Step step);
    void answered(Step step, const QDBusPendingCall& call, unsigned generation);
    void giveUp(Step step); // asks the next way, or reports that none is left
    void release();
    void queryCapabilities();
    void capabilitiesAnswered(const QDBusPendingCall& call, unsigned ask);
    void send(const DesktopNotification& notification);
    QDBusConnection& systemBus();
    QDBusConnection& sessionBus();
    QObject* context();

    BusOpener m_openSystem;
    BusOpener m_openSession;
    std::optional<QDBusConnection> m_system;
    std::optional<QDBusConnection> m_session;
    std::unique_ptr<QObject> m_context; // parent of the reply watchers

    Hold m_hold = Hold::None;
    unsigned m_generation = 0; // changes with every request and release
    int m_fd = -1;             // logind's inhibitor
    QString m_portalRequest;   // the portal's request object
    uint m_screenSaverCookie = 0;

    std::optional<QStringList> m_capabilities; // of the notification service
    std::optional<QDBusPendingCall> m_capabilitiesCall;
    unsigned m_capabilitiesAsk = 0;
    std::vector<DesktopNotification> m_waiting; // for the capabilities
    std::vector<QDBusPendingCall> m_sent;       // notifications on their way

    double m_lastFraction = -1;
    bool m_lastVisible = false;
};

// Switches the computer off through logind's PowerOff, not interactive.
class LogindPower : public Power {
public:
    void powerOff() override;
};

} // namespace vexlo::platform

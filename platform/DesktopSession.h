#pragma once
// The desktop session as a long run needs it: keeping the computer awake,
// telling the user that the run has ended, and showing the run's progress on
// the taskbar. Every request returns at once; none of them fails visibly.
#include <QImage>

#include <string>

namespace vexlo::platform {

struct DesktopNotification {
    std::string title;
    std::string body; // plain text; "\n" separates lines
    QImage icon;      // the program icon; may be null
};

class DesktopSession {
public:
    virtual ~DesktopSession() = default;
    // Keeps the computer from sleeping or idling until allowSleep(). A request
    // while one is already held or asked for does nothing.
    virtual void inhibitSleep() = 0;
    // Gives up what inhibitSleep() holds or still waits for.
    virtual void allowSleep() = 0;
    // A desktop notification; nothing happens when no notification service runs.
    virtual void notify(const DesktopNotification& notification) = 0;
    // The progress the taskbar and docks show on the program's launcher:
    // `fraction` from 0 to 1.
    virtual void setTaskbarProgress(double fraction, bool visible) = 0;
    // Before the program ends: waits a bounded time for what is still on its
    // way to the desktop (a notification).
    virtual void flush() = 0;
};

} // namespace vexlo::platform

#pragma once
// The ProcessLauncher of the Linux services: QProcess with an argument vector
// (never a shell), the child inheriting our environment, working folder and
// standard output; its standard error is passed on to ours as it comes (and
// its end kept in the result); its standard input reads nothing.
#include "Services.h"

#include <QEventLoop>

class QProcess;

namespace vexlo::platform {

// How the loops that wait during a run (for the engine, for another run)
// treat user input: held back until the run's next round of pending events
// (the default), or delivered at once while the window has put a filter in
// place that decides which input may act (the run's progress window takes
// its clicks while the main window takes none).
void setInputFilteredDuringWaits(bool filtered);
QEventLoop::ProcessEventsFlags waitLoopFlags();

class QtProcessLauncher : public ProcessLauncher {
public:
    // Waits without a time limit. With a QCoreApplication, a local event loop
    // runs meanwhile with waitLoopFlags() (windows keep painting; clicks and
    // keys wait unless a filter is in place), and `waitTick` is called every kWaitTickMs; without one,
    // the wait simply blocks and `waitTick` is called once before it.
    // Program and arguments reach the child byte for byte, also when they are
    // not valid UTF-8.
    ProcessResult runAndWait(const std::string& program, const std::vector<std::string>& arguments,
        const std::function<void()>& waitTick, const std::function<void()>& started = {}) override;
    void terminateRunning() override;

    static constexpr int kWaitTickMs = 50;
    // How long a process asked to end may take before it is killed.
    static constexpr int kTerminateGraceMs = 5000;

private:
    QProcess* m_running = nullptr;
};

// The process-lifetime launcher of linuxBaseServices() and linuxServices().
ProcessLauncher* qtProcessLauncher();

} // namespace vexlo::platform

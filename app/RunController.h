#pragma once
// The batch run seen from the main window: the gate in front of a run, the
// busy/idle switch, the loop of one ConversionJob over the window's rows, and
// the end-of-run handling with its after-run actions.
//
// The loop runs on the window's thread and waits for each engine inside the
// process launcher's event loop, which lets timers and repaints through but
// holds user input back until the loop's own round of pending events between
// two files. The window may therefore be closed (close box, termination
// signal) while the loop is still on the stack: the run is then wound up at
// once, and the program ends only when the loop has returned.
#include "RunDesktopSession.h"
#include "conversion/ConversionJob.h"

#include <memory>
#include <string>
#include <vector>

namespace vexlo::app {

class TMainForm;
class RunProgressWindow;

class RunController : public conversion::ConversionHost {
public:
    explicit RunController(TMainForm& form);
    ~RunController() override;

    // RequestConversion: the existence check, then the output dialog or not,
    // by how the run was requested. Does nothing while a run is on the stack.
    void request();
    void collectExistingFiles(std::vector<std::string>& list);
    // PrepareRun: the run's settings, busy, one round of pending events, the loop.
    void prepare();
    // ConvertFiles: one ConversionJob, then its end handler.
    void convertFiles();
    void setIdleState(bool idle);
    void completed();
    void aborted();

    // The loop is on the stack (from its start until it has returned).
    bool inRun() const { return m_inRun; }
    // The window closes. True when the loop is still on the stack: it starts
    // no further file, asks the running engine to end, and the program ends
    // once it has returned. No run is requested or started after this.
    bool windowClosing();

    // What a command-line run ended with: 0 completed, 1 aborted, -1 none.
    int commandLineResult() const { return m_commandLineResult; }
    // 0 the run completed, 1 it was aborted or failed, 2 no run.
    int silentExitStatus() const { return m_silentRunResult >= 0 ? m_silentRunResult : 2; }
    RunDesktopSession& desktopRun() { return m_desktopRun; }
    // Before file `finished + 1` of `total` starts.
    void fileStarting(int finished, int total);
    // The run's progress window while a run with windows is under way.
    RunProgressWindow* progressWindow() const { return m_progressWindow.get(); }

    // ConversionHost
    int rowCount() const override;
    std::string rowPath(int index) const override;
    void processPendingEvents() override;
    platform::MessageAnswer showMessage(const std::string& title, const std::string& text, platform::MessageIcon icon,
        platform::MessageButtons buttons) override;
    conversion::TProgressForm& progress() override;
    bool stopRequested() const override;
    bool stopAfterThisFile() const override;
    void waitingForOtherRun(bool waiting) override;
    void runEnding() override;
    void engineWaitTick() override;

private:
    // What every end of a run shows (idle controls, the desktop told, the
    // status text, the schedule armed again, the plain title); returns the
    // mode the run had.
    conversion::RunMode showRunEnd(bool completed);
    void closeProgressWindow();

    TMainForm& m_form;
    bool m_inRun = false;
    bool m_closing = false;
    int m_commandLineResult = -1;
    int m_silentRunResult = -1; // 0 completed, 1 aborted, -1 no run
    RunDesktopSession m_desktopRun;
    std::unique_ptr<RunProgressWindow> m_progressWindow;
    bool m_mainActiveAtStart = false;
};

} // namespace vexlo::app

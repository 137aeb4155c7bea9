#pragma once
// The desktop's side of a batch run: the computer is kept awake from the run's
// start until the window is idle and the loop has returned, the taskbar shows
// how far the run is (finished files and the running engine's percentage), and a run that ends while the user looks at
// something else is announced by a desktop notification.
#include <QElapsedTimer>

#include <memory>
#include <optional>
#include <string>

class QString;
class QTemporaryFile;
class QWidget;

namespace vexlo::platform {
class DesktopSession;
}

namespace vexlo::app {

class RunDesktopSession {
public:
    // `window`: the main window; its icon goes into the notification, and
    // nothing is announced while it is the active window.
    explicit RunDesktopSession(QWidget* window);
    ~RunDesktopSession(); // lets a last notification reach the desktop
    RunDesktopSession(const RunDesktopSession&) = delete;
    RunDesktopSession& operator=(const RunDesktopSession&) = delete;

    // The window's busy state (busy from the run's start to its end handler).
    void setBusy(bool busy, bool silent);
    // The batch loop is on the stack; `converted`: the files it converted.
    void loopStarted();
    void loopEnded(int converted);
    // Nothing more will convert in this run (it failed, or it is over and a
    // box about it waits): the computer may sleep and the taskbar shows no
    // run any more, while the loop is still on the stack.
    void runEnding();
    // Before file `finished + 1` of `total` starts.
    void filesFinished(int finished, int total);
    // Called often while an engine runs: the taskbar follows the engine's
    // percentage of the file it converts, at most four times a second.
    void engineTick();
    // The running engine's percentage of its file, as last read; nullopt
    // before it has said one.
    std::optional<int> filePercent() const { return m_percent; }
    // The end handler, with the run's outcome as the status bar shows it
    // ("Conversion completed!" or "Conversion aborted!").
    void runEnded(const QString& outcome, const std::string& destination, bool silent);
    // The run's progress window has closed; `userInProgram`: the user is in
    // the program (pressed one of its buttons, or it held the main window's
    // focus) and is not told by a notification how the run ended.
    void progressWindowClosed(bool userInProgram) { m_progressWasActive = userInProgram; }
    // The user closes the window (close box, or a termination signal): the
    // run's end is not announced, the user asked for it.
    void windowClosing() { m_closing = true; }

    // "<n> of <m> files converted", then the destination folder on a line of
    // its own when there is one.
    static std::string summary(int converted, int total, const std::string& destination);

private:
    platform::DesktopSession* session() const;
    void openPercentFile();
    void closePercentFile();
    void update();
    void showProgress(bool visible);

    QWidget* m_window;
    bool m_busy = false;
    bool m_loop = false;
    bool m_ending = false;
    bool m_held = false;
    bool m_progressShown = false;
    bool m_closing = false;
    bool m_progressWasActive = false;
    bool m_silent = false;
    int m_converted = 0;
    int m_total = 0;
    double m_fraction = 0;
    double m_shownFraction = -1; // what the taskbar was given last
    bool m_shownVisible = false;
    int m_finished = 0;
    std::optional<int> m_percent;
    // Where the engine keeps its percentage during the loop (the engine is
    // told through $TREVOK_PROGRESS_FILE).
    std::unique_ptr<QTemporaryFile> m_percentFile;
    QElapsedTimer m_sinceRead;
};

} // namespace vexlo::app

#pragma once
// The run's progress window: one window for the whole run, shown when a run
// with windows starts and closed when it ends. It shows the file being
// converted (n of N), its percentage as the engine reports it
// ($TREVOK_PROGRESS_FILE), the file's elapsed and remaining time and a
// progress bar, and offers "Cancel" and "Stop after this file".
//
// While it is open, the run's waiting loops deliver user input at once
// (platform::setInputFilteredDuringWaits) and the window's input gate holds
// every click and key meant for the main window back until the run's next
// round of pending events (releaseHeldInput) or its end: this window's
// buttons work while the engine runs, and the main window takes no input
// meanwhile.
#include <QElapsedTimer>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>

class QLabel;
class QProgressBar;
class QPushButton;

namespace vexlo::app {

class RunProgressWindow : public QWidget {
    Q_OBJECT
public:
    // `mainWindow`: the window whose input is held back while this one is open.
    explicit RunProgressWindow(QWidget* mainWindow);
    ~RunProgressWindow() override;

    // File `number` of `total` starts: `path` (its name is shown).
    void fileStarting(int number, int total, const std::string& path);
    // While the engine runs: the file's percentage as last reported.
    void engineTick(std::optional<int> percent);
    // The run is over: the buttons go grey, the input held back is let go,
    // and the window may close.
    void runEnded();
    // Between two files: the input held back for the main window is posted.
    void releaseHeldInput();

    bool cancelRequested() const { return m_cancel; }
    bool stopAfterRequested() const { return m_stopAfter; }

    QLabel* lblFileCount;
    QLabel* lblFileName;
    QLabel* lblPercent;
    QLabel* lblElapsed;
    QLabel* lblRemaining;
    QProgressBar* ProgressBar1;
    QPushButton* btnCancel;
    QPushButton* btnStopAfter;

protected:
    // Closing the window during the run is a Cancel.
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    class InputGate;
    void btnCancelClick();
    void btnStopAfterClick();
    void showFileName();

    std::unique_ptr<InputGate> m_gate;
    QString m_fileName;
    QElapsedTimer m_fileClock;
    qint64 m_shownSecond = -1;
    std::optional<int> m_shownPercent;
    bool m_cancel = false;
    bool m_stopAfter = false;
    bool m_ended = false;
};

} // namespace vexlo::app

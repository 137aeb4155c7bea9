#pragma once
// The engine's own small window: the file's name, percent, elapsed and
// remaining time, a progress bar, "Cancel" and "Stop after this file".
#include <QWidget>
#include <optional>
#include <string>

class QLabel;
class QProgressBar;
class QPushButton;

namespace vexlo::engine {

struct ProgressState;

class ProgressWindow : public QWidget {
    Q_OBJECT
public:
    // `fileName` is the source's path (UTF-8 bytes); its name part is shown.
    explicit ProgressWindow(const std::string& fileName, QWidget* parent = nullptr);

    void showProgress(const ProgressState& state, double elapsedSeconds);
    // The conversion has ended (in any way): the buttons go grey and the
    // window may close without a question, so that the program can end.
    void conversionEnded();

    QLabel* lblFileName;
    QLabel* lblPercent;
    QLabel* lblElapsed;
    QLabel* lblRemaining;
    QProgressBar* ProgressBar1;
    QPushButton* btnCancel;
    QPushButton* btnStopAfter;

signals:
    void cancelRequested();
    void stopAfterRequested();

protected:
    // Closing the window is a Cancel.
    void closeEvent(QCloseEvent* event) override;

private:
    void btnCancelClick();
    void btnStopAfterClick();
    bool m_closable = false;
};

} // namespace vexlo::engine

#pragma once
// The progress reporter: counts files, writes panel 0 of the status bar, the
// main window's caption and the application title, and sets the position of
// the status-bar progress bar. It has no window of its own.
#include <string>

namespace vexlo::conversion {

class ProgressDisplay {
public:
    virtual ~ProgressDisplay() = default;
    virtual void setStatusPanelText(const std::string& text) = 0; // panel 0
    virtual void setCaption(const std::string& text) = 0;         // window caption
    virtual void setApplicationTitle(const std::string& text) = 0;
    virtual void setProgressBarPosition(int position) = 0;
    // Before file `finished + 1` of `total` starts.
    virtual void setFilesFinished(int finished, int total) {}
};

class TProgressForm {
public:
    explicit TProgressForm(ProgressDisplay& display) : m_display(display) {}
    // Position, then "Converting... (<Current>/<Total>)".
    void SetPosition(int value);
    void SetTotal(int count);
    // Current, then "Converting... (<Current>/<Total> Finished)".
    void SetCurrent(int index);
    // Esc during a run; does nothing.
    void Cancel() {}

    int Min = 0;
    int Max = 100;
    int Position = 0;
    int Total = 0;
    int Current = 0;

private:
    void show(bool finished);
    ProgressDisplay& m_display;
};

} // namespace vexlo::conversion

#pragma once
// A ConversionHost without a window: rows from a vector, messages through the
// platform's message boxes (the TestPlatform's scripted double), progress
// texts recorded.
#include "conversion/ConversionJob.h"
#include "platform/Services.h"

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vexlo::test {

class RecordingDisplay : public conversion::ProgressDisplay {
public:
    void setStatusPanelText(const std::string& text) override { panel.push_back(text); }
    void setCaption(const std::string& text) override
    {
        caption = text;
        captions.push_back(text);
    }
    void setApplicationTitle(const std::string& text) override { title = text; }
    void setProgressBarPosition(int position) override { positions.push_back(position); }
    std::vector<std::string> panel;
    std::vector<std::string> captions;
    std::vector<int> positions;
    std::string caption;
    std::string title;
};

class FakeHost : public conversion::ConversionHost {
public:
    int rowCount() const override { return static_cast<int>(rows.size()); }
    std::string rowPath(int index) const override
    {
        if (failAtRow == index)
            throw std::runtime_error("row " + std::to_string(index) + " cannot be read");
        return rows.at(static_cast<size_t>(index));
    }
    void processPendingEvents() override
    {
        ++pendingEventRounds;
        if (onPendingEvents)
            onPendingEvents();
    }
    platform::MessageAnswer showMessage(const std::string& title, const std::string& text, platform::MessageIcon icon,
        platform::MessageButtons buttons) override
    {
        return platform::services().messages->show(nullptr, title, text, icon, buttons);
    }
    conversion::TProgressForm& progress() override { return m_progress; }
    bool stopRequested() const override { return stopWhen && stopWhen(); }
    void engineWaitTick() override
    {
        ++waitTicks;
        if (onWaitTick)
            onWaitTick();
    }

    std::vector<std::string> rows;
    int failAtRow = -1;
    int pendingEventRounds = 0;
    int waitTicks = 0;
    std::function<void()> onPendingEvents;
    std::function<void()> onWaitTick;
    std::function<bool()> stopWhen;
    RecordingDisplay display;
    // The registry and launcher that the test platform has installed.
    static conversion::JobServices installedServices()
    {
        return {*platform::services().registry, *platform::services().processes};
    }

private:
    conversion::TProgressForm m_progress{display};
};

} // namespace vexlo::test

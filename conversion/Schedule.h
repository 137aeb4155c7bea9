#pragma once
// The test that a timer tick falls on the schedule's start minute.
#include "settings/ScheduleSettings.h"

#include <QDateTime>
#include <functional>
#include <optional>

namespace vexlo::conversion {

// The clock the schedule reads; tests inject their own.
using Clock = std::function<QDateTime()>;
Clock systemClock();

// Decides each tick. Due when the schedule is on, today's weekday is chosen (no
// day chosen means every day), and either the tick's hh:mm equals the start's
// hh:mm, or the start minute fell after the previous tick and up to this one
// while the two ticks are less than two minutes apart (timer drift). A start
// minute never fires twice.
class ScheduleTicker {
public:
    bool IsScheduleDue(const settings::ScheduleSettings& schedule, const QDateTime& now);
    // Forget the previous tick (the timer was re-armed).
    void reset() { m_previousTick.reset(); }

private:
    std::optional<QDateTime> m_previousTick;
    std::optional<QDateTime> m_lastFiredMinute;
};

} // namespace vexlo::conversion

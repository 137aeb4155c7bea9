#pragma once
// The schedule timer of the main window: armed from the schedule setting,
// ticking once a minute, and telling the window when a scheduled run is due.
#include "conversion/Schedule.h"
#include "settings/ScheduleSettings.h"

class QObject;
class QTimer;

namespace vexlo::app {

class ScheduleController {
public:
    // Creates the minute timer "Timer1" as a child of `owner`. `schedule`: the
    // window's schedule record, which the preferences dialog edits too.
    ScheduleController(QObject* owner, settings::ScheduleSettings& schedule);

    QTimer* timer() const { return m_timer; }
    void setClock(conversion::Clock clock) { m_clock = std::move(clock); }
    // Armed: the timer runs (a timer started anew forgets its previous tick).
    // Disarmed: it stops.
    void arm(bool armed);
    // Reads the schedule from the settings file; true when it asks for the
    // timer to be armed.
    bool load();
    // One tick of the timer: true when the schedule is due now; the timer is
    // then stopped (the run's end arms it again).
    bool due();

private:
    QTimer* m_timer;
    settings::ScheduleSettings& m_schedule;
    conversion::Clock m_clock;
    conversion::ScheduleTicker m_ticker;
};

} // namespace vexlo::app

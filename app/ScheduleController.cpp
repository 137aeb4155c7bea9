#include "ScheduleController.h"

#include "settings/IniFile.h"

#include <QTimer>

namespace vexlo::app {

ScheduleController::ScheduleController(QObject* owner, settings::ScheduleSettings& schedule)
    : m_timer(new QTimer(owner)), m_schedule(schedule), m_clock(conversion::systemClock())
{
    m_timer->setObjectName("Timer1");
    m_timer->setInterval(60000);
}

void ScheduleController::arm(bool armed)
{
    if (!armed) {
        m_timer->stop();
        return;
    }
    if (!m_timer->isActive()) {
        m_ticker.reset();
        m_timer->start();
    }
}

bool ScheduleController::load() { return settings::LoadSchedule(settings::settingsFile(), m_schedule, m_clock()); }

bool ScheduleController::due()
{
    if (!m_ticker.IsScheduleDue(m_schedule, m_clock()))
        return false;
    m_timer->stop();
    return true;
}

} // namespace vexlo::app

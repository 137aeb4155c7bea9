#include "Schedule.h"

#include <QDate>
#include <QTime>

namespace vexlo::conversion {

Clock systemClock()
{
    return [] { return QDateTime::currentDateTime(); };
}

namespace {

// Two ticks further apart than this are not timer drift (the machine was
// suspended, or the clock was set): a start minute missed then stays missed.
constexpr qint64 kMaxDriftGapMs = 2 * 60 * 1000;

bool weekdayChosen(const settings::ScheduleSettings& s, const QDate& day)
{
    const bool anyDay = s.Sunday || s.Monday || s.Tuesday || s.Wednesday || s.Thursday || s.Friday || s.Saturday;
    if (!anyDay)
        return true;
    switch (day.dayOfWeek()) { // 1 = Monday ... 7 = Sunday
    case 1:
        return s.Monday;
    case 2:
        return s.Tuesday;
    case 3:
        return s.Wednesday;
    case 4:
        return s.Thursday;
    case 5:
        return s.Friday;
    case 6:
        return s.Saturday;
    case 7:
        return s.Sunday;
    }
    return false;
}

// The start minute (seconds zero) on `day`, in the clock's time frame (local
// time for the system clock). A start time that was never set counts as
// midnight.
QDateTime startMinuteOn(const QDate& day, const QDateTime& start, const QDateTime& clockFrame)
{
    const QTime t = start.time();
    const QTime minute = t.isValid() ? QTime(t.hour(), t.minute()) : QTime(0, 0);
    QDateTime result = clockFrame;
    result.setDate(day);
    result.setTime(minute);
    return result;
}

} // namespace

bool ScheduleTicker::IsScheduleDue(const settings::ScheduleSettings& schedule, const QDateTime& now)
{
    const std::optional<QDateTime> previous = m_previousTick;
    m_previousTick = now;
    if (!schedule.ScheduleConvert || !now.isValid())
        return false;

    std::optional<QDateTime> due;
    // The tick falls inside the start minute.
    const QDateTime today = startMinuteOn(now.date(), schedule.StartConvertingAt, now);
    if (now.time().hour() == today.time().hour() && now.time().minute() == today.time().minute())
        due = today;

    // A drifting timer stepped over the start minute: it began after the
    // previous tick and no later than this one. Yesterday's start minute
    // counts when the step crossed midnight.
    if (!due && previous && previous->isValid()) {
        const qint64 gap = previous->msecsTo(now);
        if (gap > 0 && gap < kMaxDriftGapMs) {
            for (const QDate& day : {now.date(), now.date().addDays(-1)}) {
                const QDateTime candidate = startMinuteOn(day, schedule.StartConvertingAt, now);
                if (*previous < candidate && candidate <= now) {
                    due = candidate;
                    break;
                }
            }
        }
    }

    if (!due || !weekdayChosen(schedule, due->date()))
        return false;
    if (m_lastFiredMinute && *m_lastFiredMinute == *due)
        return false; // one run per start minute
    m_lastFiredMinute = *due;
    return true;
}

} // namespace vexlo::conversion

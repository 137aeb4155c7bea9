// The schedule ticker driven by a stepped clock: minutes, weekdays, drift,
// suspended machines and the one-run-per-start-minute rule.
#include "conversion/Schedule.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

using vexlo::conversion::ScheduleTicker;
using vexlo::settings::ScheduleSettings;

namespace {

// 2026-12-07 is a Monday; the week runs to Sunday 2026-12-13.
const QDate kMonday(2026, 12, 7);
const QDate kWednesday(2026, 12, 9);
const QDate kThursday(2026, 12, 10);
const QDate kSaturday(2026, 12, 12);
const QDate kSunday(2026, 12, 13);

QDateTime at(const QDate& day, int h, int m, int s = 0, int ms = 0) { return QDateTime(day, QTime(h, m, s, ms)); }

// The long runs use a UTC clock: local-time arithmetic costs a time-zone
// lookup per step.
QDateTime atUtc(const QDate& day, int h, int m) { return QDateTime(day, QTime(h, m), Qt::UTC); }

ScheduleSettings scheduleAt(int h, int m, std::initializer_list<int> days = {})
{
    ScheduleSettings s;
    s.ScheduleConvert = true;
    s.StartConvertingAt = at(QDate(2001, 1, 1), h, m);
    for (int d : days) { // Qt numbering: 1 Monday ... 7 Sunday
        switch (d) {
        case 1:
            s.Monday = true;
            break;
        case 2:
            s.Tuesday = true;
            break;
        case 3:
            s.Wednesday = true;
            break;
        case 4:
            s.Thursday = true;
            break;
        case 5:
            s.Friday = true;
            break;
        case 6:
            s.Saturday = true;
            break;
        case 7:
            s.Sunday = true;
            break;
        }
    }
    return s;
}

struct WeekCase {
    const char* name;
    ScheduleSettings schedule;
    qint64 periodMs; // the timer's step, drift included
    qint64 phaseMs;  // first tick after Monday 00:00
    std::vector<QDate> expectedDays;
    int spanDays = 7; // ticks run from Monday for this many days
};

std::vector<QDate> everyDay(int count = 7)
{
    std::vector<QDate> days;
    for (int i = 0; i < count; ++i)
        days.push_back(kMonday.addDays(i));
    return days;
}

} // namespace

// A week of ticks at several timer periods: the run starts once on each chosen
// day, within the start minute or (drift) at the first tick after it.
TEST(ScheduleTicker, FiresOncePerChosenDayWhateverTheTickPeriod)
{
    const std::vector<WeekCase> cases = {
        {"22:30 any day, exact minute", scheduleAt(22, 30), 60000, 17000, everyDay()},
        // Monday: ticks at 22:29:59.5 and 22:31:00.5 step over the start minute.
        {"22:30 any day, 61 s ticks", scheduleAt(22, 30), 61000, 52500, everyDay(3), 3},
        {"22:30 any day, 60.5 s ticks", scheduleAt(22, 30), 60500, 400, everyDay(2), 2},
        {"22:30 any day, 59 s ticks", scheduleAt(22, 30), 59000, 58999, everyDay(2), 2},
        {"22:30 any day, 119 s ticks", scheduleAt(22, 30), 119000, 1000, everyDay(3), 3},
        {"22:30 Saturday and Sunday", scheduleAt(22, 30, {6, 7}), 60000, 30000, {kSaturday, kSunday}},
        {"22:30 Saturday and Sunday, 61 s", scheduleAt(22, 30, {6, 7}), 61000, 0, {kSaturday, kSunday}},
        {"00:00 Wednesday only", scheduleAt(0, 0, {3}), 61000, 500, {kWednesday}},
        {"23:59 Monday only, 61 s", scheduleAt(23, 59, {1}), 61000, 30000, {kMonday}},
    };
    for (const WeekCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScheduleTicker ticker;
        std::map<QDate, int> fires;
        const QDateTime begin = atUtc(kMonday, 0, 0).addMSecs(c.phaseMs);
        const QDateTime end = atUtc(kMonday.addDays(c.spanDays), 0, 0);
        for (QDateTime now = begin; now < end; now = now.addMSecs(c.periodMs)) {
            if (!ticker.IsScheduleDue(c.schedule, now))
                continue;
            const QDateTime start = atUtc(
                now.date(), c.schedule.StartConvertingAt.time().hour(), c.schedule.StartConvertingAt.time().minute());
            // Fired in the start minute itself or at the tick after it; a tick
            // past midnight belongs to the day before.
            QDateTime startMinute = start <= now ? start : start.addDays(-1);
            EXPECT_LT(startMinute.msecsTo(now), 2 * 60 * 1000) << now.toString(Qt::ISODateWithMs).toStdString();
            ++fires[startMinute.date()];
        }
        std::map<QDate, int> expected;
        for (const QDate& d : c.expectedDays)
            expected[d] = 1;
        EXPECT_EQ(fires, expected);
    }
}

// Short tick sequences: each step gives the clock's time and whether the
// tick is due; `rearm` forgets the previous tick first, as re-arming Timer1 does.
TEST(ScheduleTicker, TickSequences)
{
    struct Tick {
        QDateTime now;
        bool due;
        bool rearm = false;
    };
    struct Case {
        const char* name;
        ScheduleSettings schedule;
        std::vector<Tick> ticks;
    };
    ScheduleSettings off = scheduleAt(22, 30);
    off.ScheduleConvert = false;
    ScheduleSettings withSeconds = scheduleAt(22, 30);
    withSeconds.StartConvertingAt = QDateTime(QDate(1999, 3, 4), QTime(22, 30, 45));
    ScheduleSettings neverLoaded; // a null start time counts as midnight
    neverLoaded.ScheduleConvert = true;

    const Case cases[] = {
        {"off", off, {{at(kWednesday, 22, 29, 30), false}, {at(kWednesday, 22, 30, 31), false}}},
        {"Wednesday, every day", scheduleAt(22, 30), {{at(kWednesday, 22, 30, 42), true}}},
        {"Wednesday, Saturday and Sunday only", scheduleAt(22, 30, {6, 7}), {{at(kWednesday, 22, 30, 42), false}}},
        {"Saturday, Saturday and Sunday only", scheduleAt(22, 30, {6, 7}), {{at(kSaturday, 22, 30, 0), true}}},
        {"Sunday, Saturday only", scheduleAt(22, 30, {6}), {{at(kSunday, 22, 30, 59, 999), false}}},
        {"61 s step over the start minute", scheduleAt(22, 30),
            {{at(kWednesday, 22, 29, 59, 500), false}, {at(kWednesday, 22, 31, 0, 500), true},
                {at(kWednesday, 22, 32, 1, 500), false}}},
        {"a gap of two minutes is not drift", scheduleAt(22, 30),
            {{at(kWednesday, 22, 29, 0), false}, {at(kWednesday, 22, 31, 0), false}}},
        {"the machine slept", scheduleAt(22, 30), {{at(kWednesday, 20, 0), false}, {at(kWednesday, 23, 5), false}}},
        {"clock set back", scheduleAt(22, 30),
            {{at(kWednesday, 22, 31, 30), false}, {at(kWednesday, 22, 29, 50), false}}},
        {"re-armed after the minute: no catch-up", scheduleAt(22, 30),
            {{at(kWednesday, 22, 29, 30), false}, {at(kWednesday, 22, 31, 10), false, true}}},
        {"never twice for one start minute", scheduleAt(22, 30),
            {{at(kWednesday, 22, 30, 5), true}, {at(kWednesday, 22, 30, 50), false},
                {at(kWednesday, 22, 30, 58), false, true}, {at(kWednesday, 22, 31, 57), false},
                {at(kThursday, 22, 30, 1), true}}},
        {"step over Saturday's 23:59 into Sunday", scheduleAt(23, 59, {6}),
            {{at(kSaturday, 23, 58, 59, 500), false}, {at(kSunday, 0, 0, 0, 500), true}}},
        {"Sunday's tick, Saturday's minute", scheduleAt(23, 59, {7}),
            {{at(kSaturday, 23, 58, 59, 500), false}, {at(kSunday, 0, 0, 0, 500), false}}},
        {"start seconds ignored", withSeconds, {{at(kWednesday, 22, 30, 1), true}}},
        {"never loaded", neverLoaded, {{at(kWednesday, 12, 0), false}, {at(kWednesday, 0, 0, 30), true}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScheduleTicker ticker;
        for (const Tick& t : c.ticks) {
            if (t.rearm)
                ticker.reset();
            EXPECT_EQ(ticker.IsScheduleDue(c.schedule, t.now), t.due)
                << t.now.toString(Qt::ISODateWithMs).toStdString();
        }
    }
}

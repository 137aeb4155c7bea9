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
const QDate kSaturday(2026, 12, 12);
const QDate kSunday(2026, 12, 13);

QDateTime at(const QDate& day, int h, int m, int s = 0, int ms = 0)
{
    return QDateTime(day, QTime(h, m, s, ms));
}

// The long runs use a UTC clock: local-time arithmetic costs a time-zone
// lookup per step.
QDateTime atUtc(const QDate& day, int h, int m)
{
    return QDateTime(day, QTime(h, m), Qt::UTC);
}

ScheduleSettings scheduleAt(int h, int m, std::initializer_list<int> days = {})
{
    ScheduleSettings s;
    s.ScheduleConvert = true;
    s.StartConvertingAt = at(QDate(2001, 1, 1), h, m);
    for (int d : days) { // Qt numbering: 1 Monday ... 7 Sunday
        switch (d) {
        case 1: s.Monday = true; break;
        case 2: s.Tuesday = true; break;
        case 3: s.Wednesday = true; break;
        case 4: s.Thursday = true; break;
        case 5: s.Friday = true; break;
        case 6: s.Saturday = true; break;
        case 7: s.Sunday = true; break;
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
            const QDateTime start = atUtc(now.date(), c.schedule.StartConvertingAt.time().hour(),
                                          c.schedule.StartConvertingAt.time().minute());
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

TEST(ScheduleTicker, NeverDueWhenTheScheduleIsOff)
{
    ScheduleSettings s = scheduleAt(22, 30);
    s.ScheduleConvert = false;
    ScheduleTicker ticker;
    for (QDateTime now = at(kMonday, 22, 28, 30); now < at(kMonday, 22, 33); now = now.addSecs(61))
        EXPECT_FALSE(ticker.IsScheduleDue(s, now));
}

TEST(ScheduleTicker, WeekdayRuleAtTheStartMinute)
{
    struct Case {
        QDate day;
        std::initializer_list<int> days;
        bool due;
    };
    const Case cases[] = {
        {kWednesday, {}, true},      {kWednesday, {6, 7}, false}, {kSaturday, {6, 7}, true},
        {kSunday, {6, 7}, true},     {kSunday, {6}, false},       {kMonday, {1}, true},
        {kMonday, {2, 3, 4, 5, 6, 7}, false},
    };
    for (const Case& c : cases) {
        ScheduleTicker ticker;
        SCOPED_TRACE(c.day.toString(Qt::ISODate).toStdString());
        EXPECT_EQ(ticker.IsScheduleDue(scheduleAt(22, 30, c.days), at(c.day, 22, 30, 42)), c.due);
    }
}

TEST(ScheduleTicker, DriftingTickStepsOverTheStartMinute)
{
    const ScheduleSettings s = scheduleAt(22, 30);
    ScheduleTicker ticker;
    EXPECT_FALSE(ticker.IsScheduleDue(s, at(kWednesday, 22, 29, 59, 500)));
    EXPECT_TRUE(ticker.IsScheduleDue(s, at(kWednesday, 22, 31, 0, 500)));
    EXPECT_FALSE(ticker.IsScheduleDue(s, at(kWednesday, 22, 32, 1, 500)));
}

TEST(ScheduleTicker, GapsOfTwoMinutesOrMoreAreNotDrift)
{
    const ScheduleSettings s = scheduleAt(22, 30);
    ScheduleTicker ticker;
    EXPECT_FALSE(ticker.IsScheduleDue(s, at(kWednesday, 22, 29, 0)));
    EXPECT_FALSE(ticker.IsScheduleDue(s, at(kWednesday, 22, 31, 0))); // exactly two minutes
    ScheduleTicker resumed;
    EXPECT_FALSE(resumed.IsScheduleDue(s, at(kWednesday, 20, 0)));
    EXPECT_FALSE(resumed.IsScheduleDue(s, at(kWednesday, 23, 5))); // the machine slept
}

TEST(ScheduleTicker, ClockSetBackIsNotDrift)
{
    const ScheduleSettings s = scheduleAt(22, 30);
    ScheduleTicker ticker;
    EXPECT_FALSE(ticker.IsScheduleDue(s, at(kWednesday, 22, 31, 30)));
    EXPECT_FALSE(ticker.IsScheduleDue(s, at(kWednesday, 22, 29, 50)));
}

TEST(ScheduleTicker, FirstTickAfterReArmingDoesNotCatchUp)
{
    const ScheduleSettings s = scheduleAt(22, 30);
    ScheduleTicker ticker;
    EXPECT_FALSE(ticker.IsScheduleDue(s, at(kWednesday, 22, 29, 30)));
    ticker.reset(); // re-armed: the previous tick is forgotten
    EXPECT_FALSE(ticker.IsScheduleDue(s, at(kWednesday, 22, 31, 10)));
}

TEST(ScheduleTicker, NeverTwiceForOneStartMinute)
{
    const ScheduleSettings s = scheduleAt(22, 30);
    ScheduleTicker ticker;
    EXPECT_TRUE(ticker.IsScheduleDue(s, at(kWednesday, 22, 30, 5)));
    EXPECT_FALSE(ticker.IsScheduleDue(s, at(kWednesday, 22, 30, 50)));
    ticker.reset(); // a short run ended and re-armed the timer in the same minute
    EXPECT_FALSE(ticker.IsScheduleDue(s, at(kWednesday, 22, 30, 58)));
    EXPECT_FALSE(ticker.IsScheduleDue(s, at(kWednesday, 22, 31, 57)));
    // The next day's start minute is a new one.
    EXPECT_TRUE(ticker.IsScheduleDue(s, at(kWednesday.addDays(1), 22, 30, 1)));
}

TEST(ScheduleTicker, DriftAcrossMidnightUsesTheStartDaysWeekday)
{
    // Saturday 23:59 stepped over: the tick lands on Sunday.
    {
        ScheduleTicker ticker;
        const ScheduleSettings s = scheduleAt(23, 59, {6});
        EXPECT_FALSE(ticker.IsScheduleDue(s, at(kSaturday, 23, 58, 59, 500)));
        EXPECT_TRUE(ticker.IsScheduleDue(s, at(kSunday, 0, 0, 0, 500)));
    }
    {
        ScheduleTicker ticker;
        const ScheduleSettings s = scheduleAt(23, 59, {7});
        EXPECT_FALSE(ticker.IsScheduleDue(s, at(kSaturday, 23, 58, 59, 500)));
        EXPECT_FALSE(ticker.IsScheduleDue(s, at(kSunday, 0, 0, 0, 500)));
    }
}

TEST(ScheduleTicker, StartSecondsAndDateAreIgnored)
{
    ScheduleSettings s = scheduleAt(22, 30);
    s.StartConvertingAt = QDateTime(QDate(1999, 3, 4), QTime(22, 30, 45));
    ScheduleTicker ticker;
    EXPECT_TRUE(ticker.IsScheduleDue(s, at(kWednesday, 22, 30, 1)));

    // A start time never loaded counts as midnight.
    ScheduleSettings unset;
    unset.ScheduleConvert = true;
    ScheduleTicker other;
    EXPECT_FALSE(other.IsScheduleDue(unset, at(kWednesday, 12, 0)));
    EXPECT_TRUE(other.IsScheduleDue(unset, at(kWednesday, 0, 0, 30)));
}

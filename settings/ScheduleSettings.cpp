#include "ScheduleSettings.h"

namespace vexlo::settings {

bool LoadSchedule(const IniFile& file, ScheduleSettings& schedule, const QDateTime& now)
{
    // One read of the file for all keys; reading never throws.
    const IniDocument doc = file.load();
    schedule.ScheduleConvert = doc.readFlag("Options", "ScheduleConvert", false);
    if (!schedule.ScheduleConvert)
        return false; // the other fields keep what they had

    schedule.StartConvertingAt = doc.readTime("Options", "StartConvertingAt", now);
    schedule.Sunday = doc.readFlag("Options", "Sunday", false);
    schedule.Monday = doc.readFlag("Options", "Monday", false);
    schedule.Tuesday = doc.readFlag("Options", "Tuesday", false);
    schedule.Wednesday = doc.readFlag("Options", "Wednesday", false);
    schedule.Thursday = doc.readFlag("Options", "Thursday", false);
    schedule.Friday = doc.readFlag("Options", "Friday", false);
    schedule.Saturday = doc.readFlag("Options", "Saturday", false);
    schedule.ExitWhenDone = doc.readFlag("Options", "ExitWhenDone", false);
    schedule.ShunDownWhenDone = doc.readFlag("Options", "ShunDownWhenDone", false);
    return true;
}

} // namespace vexlo::settings

#include "ScheduleSettings.h"

#include <utility>

namespace vexlo::settings {

namespace {

// The weekday keys and their fields, Sunday first.
constexpr std::pair<const char*, bool ScheduleSettings::*> kDays[] = {
    {"Sunday", &ScheduleSettings::Sunday},
    {"Monday", &ScheduleSettings::Monday},
    {"Tuesday", &ScheduleSettings::Tuesday},
    {"Wednesday", &ScheduleSettings::Wednesday},
    {"Thursday", &ScheduleSettings::Thursday},
    {"Friday", &ScheduleSettings::Friday},
    {"Saturday", &ScheduleSettings::Saturday},
};

} // namespace

ScheduleSettings readSchedule(const IniDocument& doc, const QDateTime& now)
{
    ScheduleSettings schedule;
    schedule.ScheduleConvert = doc.readFlag("Options", "ScheduleConvert", false);
    schedule.StartConvertingAt = doc.readTime("Options", "StartConvertingAt", now);
    for (const auto& [key, field] : kDays)
        schedule.*field = doc.readFlag("Options", key, false);
    schedule.ExitWhenDone = doc.readFlag("Options", "ExitWhenDone", false);
    schedule.ShunDownWhenDone = doc.readFlag("Options", "ShunDownWhenDone", false);
    return schedule;
}

void writeSchedule(IniFile& file, const ScheduleSettings& schedule)
{
    file.writeFlag("Options", "ScheduleConvert", schedule.ScheduleConvert);
    file.writeTime("Options", "StartConvertingAt", schedule.StartConvertingAt);
    for (const auto& [key, field] : kDays)
        file.writeFlag("Options", key, schedule.*field);
    file.writeFlag("Options", "ExitWhenDone", schedule.ExitWhenDone);
    file.writeFlag("Options", "ShunDownWhenDone", schedule.ShunDownWhenDone);
}

bool LoadSchedule(const IniFile& file, ScheduleSettings& schedule, const QDateTime& now)
{
    // One read of the file for all keys; reading never throws.
    const IniDocument doc = file.load();
    schedule.ScheduleConvert = doc.readFlag("Options", "ScheduleConvert", false);
    if (!schedule.ScheduleConvert)
        return false; // the other fields keep what they had
    schedule = readSchedule(doc, now);
    return true;
}

} // namespace vexlo::settings

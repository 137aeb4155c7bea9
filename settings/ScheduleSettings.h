#pragma once
// The schedule record kept by the main window, and its loading.
#include "IniFile.h"

#include <QDateTime>

namespace vexlo::settings {

struct ScheduleSettings {
    bool ScheduleConvert = false;
    QDateTime StartConvertingAt; // only the time of day is used
    bool Sunday = false;
    bool Monday = false;
    bool Tuesday = false;
    bool Wednesday = false;
    bool Thursday = false;
    bool Friday = false;
    bool Saturday = false;
    bool ExitWhenDone = false;
    bool ShunDownWhenDone = false;
};

// Every key of the schedule, whatever ScheduleConvert says; StartConvertingAt
// defaults to `now`.
ScheduleSettings readSchedule(const IniDocument& doc, const QDateTime& now);

// Writes the schedule's keys one write each, ScheduleConvert first and then in
// the record's order, so that a failed write leaves the keys before it written
// and the rest untouched. Throws SettingsError.
void writeSchedule(IniFile& file, const ScheduleSettings& schedule);

// Reads Options/ScheduleConvert; only when it is true reads the rest
// (StartConvertingAt defaults to `now`), otherwise the other fields keep their
// values. Returns ScheduleConvert: whether Timer1 is to be armed.
bool LoadSchedule(const IniFile& file, ScheduleSettings& schedule, const QDateTime& now);

} // namespace vexlo::settings

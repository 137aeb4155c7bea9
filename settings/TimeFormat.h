#pragma once
// The one rule for how a time of day is written and read: in the settings file
// (StartConvertingAt) and in the schedule's time box alike.
#include <QLocale>
#include <QString>
#include <QTime>
#include <optional>

namespace vexlo::settings {

// The locale's long time format reduced to what a time of day needs: the
// time-zone field goes together with the blanks, commas and brackets that tie
// it to the time, and a day-period letter Qt does not know ("B") becomes AM/PM.
// Falls back to "HH:mm:ss" when hours, minutes or seconds would be missing.
QString longTimeFormat(const QLocale& locale = QLocale());

// `time` in the long time format of `locale`.
QString formatTimeOfDay(const QTime& time, const QLocale& locale = QLocale());

// Reads a stored time of day under any locale, in every form this program
// writes: the long format of `locale`, then 24-hour "H:mm:ss", then 12-hour
// with English AM/PM ("2:05:09 PM"). Nothing else is guessed.
std::optional<QTime> parseTimeOfDay(const QString& text, const QLocale& locale = QLocale());

} // namespace vexlo::settings

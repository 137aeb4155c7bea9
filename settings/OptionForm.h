#pragma once
// The preferences dialog ("Options").
#include "ScheduleSettings.h"

#include <QDialog>

namespace vexlo::settings {

class TOptionForm;

// Creates the dialog, LoadPreferences, shows it modally. On OK runs
// SavePreferences (which hands the schedule to `schedule`) and returns true.
bool ShowPreferencesDialog(QWidget* owner, ScheduleSettings& schedule);

} // namespace vexlo::settings

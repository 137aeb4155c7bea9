#pragma once
class QWidget;
namespace vexlo::dialogs {
// Creates a fresh about box, shows it modally and destroys it.
void ShowAboutBox(QWidget* owner);
} // namespace vexlo::dialogs

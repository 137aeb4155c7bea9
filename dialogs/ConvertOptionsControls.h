#pragma once
// The output options form's sizes, shared between the form and the file that
// builds and lays out its controls.

namespace vexlo::settings {

// Rows of the recent destination folders the path box lists and keeps.
inline constexpr int kMaxRecentPaths = 10;
// The embedded form's designed height: the dialog without its row of buttons.
inline constexpr int kEmbeddedHeight = 276;

} // namespace vexlo::settings

#pragma once
// The output options form's controls and their placement, shared between the
// form and the file that builds and lays out its controls.
class QWidget;

namespace vexlo::settings {

class TConvertOptionsForm;

// Rows of the recent destination folders the path box lists and keeps.
inline constexpr int kMaxRecentPaths = 10;
// The embedded form's height: the dialog without its row of buttons.
inline constexpr int kEmbeddedHeight = 276;

// The dialog: the video group widens to show its longest items, taking the
// width from the audio group.
void fitBoxesToItems(QWidget* form);
// The embedded form: each group as wide as its texts need in the desktop's
// font; the form wider than its designed width only when they need it.
void layOutEmbedded(TConvertOptionsForm& f);

} // namespace vexlo::settings

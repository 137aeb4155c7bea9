#pragma once
// Sizes of controls that hold their designed size at the standard desktop
// font and grow where a larger font or a longer translation needs more. The
// windows' layouts take these as their controls' minimum sizes.
#include <QSize>

class QAbstractSpinBox;
class QComboBox;
class QPushButton;
class QWidget;

namespace vexlo::dialogs {

// The designed size, or what the button's text needs inside its frame (its
// own font, without the accelerator mark), whichever is larger.
QSize buttonSizeFor(const QPushButton* button, QSize design);
// Fixes the button at buttonSizeFor.
void fitButton(QPushButton* button, QSize design);
// The designed height of a drop-down list or time box, or what one line of
// its font needs in its edit field, whichever is larger.
int fieldHeightFor(const QComboBox* box, int design);
// The width a drop-down list needs to show its longest item whole.
int widthForItems(QComboBox* box);
int fieldHeightFor(const QAbstractSpinBox* box, int design);
// A caption, check box or radio button: at least the designed height, and as
// high and as wide as its text asks.
void fitText(QWidget* widget, int designHeight);

} // namespace vexlo::dialogs

#pragma once
// "Nothing reads cut off": checks a window's laid-out controls against what
// their texts need in the font they are shown with.
#include <QChar>

#include <string>
#include <vector>

class QWidget;

namespace vexlo::test {

// One line per fault found among the visible widgets below `root`: a widget
// that sticks out of its parent, siblings that overlap, a caption (label,
// button, radio or check box) narrower than its text, a drop-down list
// narrower than its longest item. Empty when everything shows whole.
std::vector<std::string> cutOffTexts(const QWidget* root);

} // namespace vexlo::test

class QMenu;

namespace vexlo::test {

// The accelerator letter of a caption ("&Apply": 'a'), lower case; 0 when none.
QChar acceleratorOf(const QString& caption);

// One line per letter that two controls reachable at the same time share:
// the tab titles and the controls outside the tabs together with the
// controls of each page in turn (labels count when they have a buddy).
std::vector<std::string> acceleratorClashes(const QWidget* window);
// The same for the items of one menu.
std::vector<std::string> acceleratorClashes(const QMenu* menu);

} // namespace vexlo::test

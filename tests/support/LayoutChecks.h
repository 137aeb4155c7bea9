#pragma once
// "Nothing reads cut off": checks a window's laid-out controls against what
// their texts need in the font they are shown with.
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

#pragma once
// "Nothing reads cut off": checks a window's laid-out controls against what
// their texts need in the font they are shown with.
#include <QChar>
#include <QString>

#include <string>
#include <utility>
#include <vector>

class QWidget;

namespace vexlo::test {

// Two sibling widgets (by objectName) that lie over each other by design.
using Overlap = std::pair<QString, QString>;

// One line per fault found among the visible widgets below `root`: a widget
// that sticks out of its parent, siblings that overlap (apart from `allowed`
// and decorations that let the mouse through), a text-bearing widget whose
// text, measured in its own font without the accelerator marks (word-wrapped
// labels as wrapped), does not fit its contents rect in width or height: a
// label, a push, radio, check or tool button, a group box title, a tab, a menu
// bar's item, a list header's section, a drop-down list (its longest item)
// and a time box. Empty when everything shows whole.
std::vector<std::string> cutOffTexts(const QWidget* root, const std::vector<Overlap>& allowed = {});

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

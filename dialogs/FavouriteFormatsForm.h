#pragma once
// The favourite output formats: those that the file managers whose menus have
// no submenus (Nemo) offer beside "Convert with Vexlo...". Opened from the
// Advanced page of the preferences.
#include <QDialog>

#include <string>
#include <vector>

class QDialogButtonBox;
class QLabel;
class QListWidget;

namespace vexlo::settings {

class TFavouriteFormatsForm : public QDialog {
    Q_OBJECT
public:
    // One checkable row per title of the catalogue (row n: profile n), those
    // in `checked` checked.
    TFavouriteFormatsForm(QWidget* owner, const std::vector<std::string>& titles, const std::vector<int>& checked);

    // The profile numbers checked, in the catalogue's order.
    std::vector<int> checkedFormats() const;

    QLabel* lblExplanation = nullptr;
    QListWidget* lstFormats = nullptr;
    QDialogButtonBox* buttons = nullptr;
};

} // namespace vexlo::settings

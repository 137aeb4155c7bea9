#pragma once
// The Linux services that show windows or draw (Qt Widgets), and the whole
// Linux set that a program with windows installs at start.
#include "Services.h"

#include <string>
#include <vector>

namespace vexlo::platform {

class LinuxMessageBoxes : public MessageBoxes {
public:
    MessageAnswer show(QWidget* owner, const std::string& title, const std::string& text, MessageIcon icon,
        MessageButtons buttons) override;
};

class LinuxFileDialogs : public FileDialogs {
public:
    std::optional<std::vector<std::string>> openFiles(QWidget* owner, const std::string& title,
        const std::string& initialFolder, const std::vector<FileFilter>& filters, int selectedFilter) override;
    std::optional<std::string> chooseFolder(
        QWidget* owner, const std::string& title, const std::string& startFolder) override;
};

class LinuxDesktop : public Desktop {
public:
    std::string personalFolder() const override;
    std::string systemDirectory() const override;
    QImage extractIcon(const std::string& file, int index) const override;
    void setNoTaskbarButton(QWidget* window) override;
    void activate(QWidget* window) override;
};

// The name filters that the open-file dialog gets for `filters`: the
// description, then the patterns in parentheses, separated by blanks, for Qt
// to apply; the dialog hides that last part, so the description shows as given.
std::vector<std::string> qtNameFilters(const std::vector<FileFilter>& filters);

// Every Linux implementation (created on first use, live until exit): those of
// linuxBaseServices(), the registry with the classes root from the MIME
// database, and the message boxes, dialogs, desktop, power and desktop session.
Services linuxServices();

} // namespace vexlo::platform

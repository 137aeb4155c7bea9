#pragma once
// The Linux implementations of the platform services (what linuxServices()
// hands out), and the text readers they use, open to the tests.
#include "Services.h"

#include <string>

namespace vexlo::platform {

// xdg-open for documents and addresses; "<program folder>palvex-integration"
// for the file-manager integration. Both started detached.
class LinuxShell : public Shell {
public:
    void openDocument(const std::string& pathOrAddress) override;
    bool startShellIntegration(const std::string& parameters) override;
};

class LinuxMessageBoxes : public MessageBoxes {
public:
    MessageAnswer show(QWidget* owner, const std::string& title, const std::string& text,
                       MessageIcon icon, MessageButtons buttons) override;
};

class LinuxFileDialogs : public FileDialogs {
public:
    std::optional<std::vector<std::string>> openFiles(QWidget* owner, const std::string& title,
                                                      const std::string& initialFolder,
                                                      const std::vector<FileFilter>& filters,
                                                      int selectedFilter) override;
    std::optional<std::string> chooseFolder(QWidget* owner, const std::string& title,
                                            const std::string& startFolder) override;
};

class LinuxDesktop : public Desktop {
public:
    std::string personalFolder() const override;
    std::string systemDirectory() const override;
    QImage extractIcon(const std::string& file, int index) const override;
    void setNoTaskbarButton(QWidget* window) override;
    void activate(QWidget* window) override;
};

class LogindPower : public Power {
public:
    void powerOff() override;
};

class ProcAppPaths : public AppPaths {
public:
    std::string executablePath() const override;
};

// The name filters that the open-file dialog gets for `filters`: the
// description, then the patterns in parentheses, separated by blanks, for Qt
// to apply; the dialog hides that last part, so the description shows as given.
std::vector<std::string> qtNameFilters(const std::vector<FileFilter>& filters);

// The documents folder that a user-dirs.dirs text (xdg-user-dirs) configures:
// XDG_DOCUMENTS_DIR, "$HOME/" replaced by `home`. Empty when the text sets none,
// or sets the home folder itself (xdg-user-dirs' way to switch a folder off).
// No trailing "/" is added, and the folder's existence is not checked.
std::string documentsFolderFromUserDirs(const std::string& userDirsText, const std::string& home);

} // namespace vexlo::platform

#pragma once
// The Linux implementations of the platform services that need no window
// system (what linuxBaseServices() hands out), and the text readers they use,
// open to the tests. The others are in LinuxWindowServices.h and
// LinuxDesktopSession.h.
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

class ProcAppPaths : public AppPaths {
public:
    std::string executablePath() const override;
};

// The documents folder that a user-dirs.dirs text (xdg-user-dirs) configures:
// XDG_DOCUMENTS_DIR, "$HOME/" replaced by `home`. Empty when the text sets none,
// or sets the home folder itself (xdg-user-dirs' way to switch a folder off).
// No trailing "/" is added, and the folder's existence is not checked.
std::string documentsFolderFromUserDirs(const std::string& userDirsText, const std::string& home);

// This user's documents folder as ${XDG_CONFIG_HOME:-~/.config}/user-dirs.dirs
// configures it, with a trailing "/"; empty when unset or missing.
std::string documentsFolder();

} // namespace vexlo::platform

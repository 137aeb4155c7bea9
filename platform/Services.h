#pragma once
// Operating-system services behind small interfaces. The application reaches
// them through services(); tests install recording doubles (tests/support/TestDoubles.h).
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QWidget;
class QImage;

namespace vexlo::platform {

class Registry;
class DesktopSession;

// Opening documents and addresses (xdg-open, detached, result not examined) and
// starting the shell-integration helper.
class Shell {
public:
    virtual ~Shell() = default;
    virtual void openDocument(const std::string& pathOrAddress) = 0;
    // Starts the file-manager integration helper detached with `parameters`.
    // Returns false when the helper is not installed; nothing is reported.
    virtual bool startShellIntegration(const std::string& parameters) = 0;
};

enum class MessageIcon { None, Information, Warning, Error, Question };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // A "\r\n" in `text` shows as a line break.
    virtual MessageAnswer show(
        QWidget* owner, const std::string& title, const std::string& text, MessageIcon icon, MessageButtons buttons)
        = 0;
};

struct FileFilter {
    std::string description;
    std::string patterns; // ";"-separated, as "*.m2ts;*.mts"
};

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // Open-file dialog for several files. nullopt when cancelled.
    virtual std::optional<std::vector<std::string>> openFiles(QWidget* owner, const std::string& title,
        const std::string& initialFolder, const std::vector<FileFilter>& filters, int selectedFilter)
        = 0;
    // Folder browser. nullopt when cancelled. The result has no trailing "/".
    virtual std::optional<std::string> chooseFolder(
        QWidget* owner, const std::string& title, const std::string& startFolder)
        = 0;
};

class Drives {
public:
    virtual ~Drives() = default;
    // True when the path's mount is an optical drive (iso9660, udf, /dev/sr*).
    virtual bool isOptical(const std::string& path) const = 0;
};

class Desktop {
public:
    virtual ~Desktop() = default;
    // XDG documents folder with a trailing "/"; empty when unset or missing.
    virtual std::string personalFolder() const = 0;
    // Stands for the Windows system directory; "SHELL32.dll" inside it stands
    // for the icon theme's generic icons.
    virtual std::string systemDirectory() const = 0;
    // Loads icon `index` of `file` as a 16 x 16 image; a null image when none.
    virtual QImage extractIcon(const std::string& file, int index) const = 0;
    // No taskbar button for the application's top-level window.
    virtual void setNoTaskbarButton(QWidget* window) = 0;
    // Show, restore, activate and raise the window.
    virtual void activate(QWidget* window) = 0;
};

class Power {
public:
    virtual ~Power() = default;
    // Asks the system to switch the computer off (never interactive).
    virtual void powerOff() = 0;
};

class AppPaths {
public:
    virtual ~AppPaths() = default;
    // Full path of the running executable.
    virtual std::string executablePath() const = 0;
};

struct ProcessResult {
    bool started = false;    // false: the program could not be started
    bool normalExit = false; // ended by itself (not killed, not crashed)
    int exitCode = -1;
    std::string error; // why it could not start
    // The end of what the program wrote on its standard error (at most
    // kErrorOutputTail bytes); all of it is passed on to this program's own.
    std::string errorOutput;
    static constexpr size_t kErrorOutputTail = 4096;
};

class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;
    // Starts `program` with `arguments` (an argument vector, never a shell) and
    // waits for it to end. While waiting, `waitTick` is called regularly so the
    // caller can keep its windows painted. `started`, when given, is called
    // once as soon as the program runs, before the wait (work that can go on
    // beside it); a launcher that cannot tell calls it not at all.
    virtual ProcessResult runAndWait(const std::string& program, const std::vector<std::string>& arguments,
        const std::function<void()>& waitTick, const std::function<void()>& started = {})
        = 0;
    // Asks the process that runAndWait is waiting for to end (SIGTERM), and
    // kills it when it has not ended after a grace period. Called from
    // `waitTick`; does nothing when no process runs.
    virtual void terminateRunning() {}
};

struct Services {
    Registry* registry = nullptr;
    Shell* shell = nullptr;
    MessageBoxes* messages = nullptr;
    FileDialogs* fileDialogs = nullptr;
    Drives* drives = nullptr;
    Desktop* desktop = nullptr;
    Power* power = nullptr;
    AppPaths* paths = nullptr;
    ProcessLauncher* processes = nullptr;
    DesktopSession* session = nullptr;
};

// The services in force. Until something is installed, those of
// linuxBaseServices(); a program with windows installs linuxServices()
// (LinuxWindowServices.h) at start.
Services& services();
// Replaces the services in force; returns the previous set.
Services installServices(const Services& replacement);
// The Linux implementations that need no window system (created on first use,
// live until exit): the registry without the classes root, the shell, the
// drives, the executable path and the process launcher. The other services
// are null.
Services linuxBaseServices();

// Convenience accessors for the path rules used everywhere.
std::string executablePath();
// Folder of the executable, with a trailing "/".
std::string programFolder();

} // namespace vexlo::platform

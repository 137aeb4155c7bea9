#pragma once
// Recording test doubles of the platform services, and TestPlatform, which
// gives one test its own program folder, registry root and settings file and
// installs the doubles for its lifetime. Nothing here touches the real desktop,
// the user's home or the machine's power.
#include "platform/DesktopSession.h"
#include "platform/MountTable.h"
#include "platform/Registry.h"
#include "platform/Services.h"

#include <QImage>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QTemporaryDir;

namespace vexlo::platform {

class RecordingShell : public Shell {
public:
    void openDocument(const std::string& pathOrAddress) override { opened.push_back(pathOrAddress); }
    bool startShellIntegration(const std::string& parameters) override
    {
        integrationCalls.push_back(parameters);
        return integrationInstalled;
    }
    std::vector<std::string> opened;
    std::vector<std::string> integrationCalls;
    bool integrationInstalled = true;
};

struct ShownMessage {
    std::string title;
    std::string text;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
};

// Answers from `nextAnswers` (front first); when empty, Ok for an Ok box and
// `defaultYesNo` for a question. `onShow`, when set, runs before answering.
class ScriptedMessageBoxes : public MessageBoxes {
public:
    MessageAnswer show(QWidget* owner, const std::string& title, const std::string& text, MessageIcon icon,
        MessageButtons buttons) override;
    std::vector<ShownMessage> shown;
    std::deque<MessageAnswer> nextAnswers;
    MessageAnswer defaultYesNo = MessageAnswer::No;
    std::function<void(const ShownMessage&)> onShow;
};

struct OpenFilesCall {
    std::string title;
    std::string initialFolder;
    std::vector<FileFilter> filters;
    int selectedFilter = 0;
};

// Answers from the queues (front first); an empty queue answers "cancelled".
class ScriptedFileDialogs : public FileDialogs {
public:
    std::optional<std::vector<std::string>> openFiles(QWidget* owner, const std::string& title,
        const std::string& initialFolder, const std::vector<FileFilter>& filters, int selectedFilter) override;
    std::optional<std::string> chooseFolder(
        QWidget* owner, const std::string& title, const std::string& startFolder) override;
    std::deque<std::optional<std::vector<std::string>>> nextOpenFiles;
    std::deque<std::optional<std::string>> nextFolder;
    std::vector<OpenFilesCall> openCalls;
    std::vector<std::pair<std::string, std::string>> folderCalls; // title, start folder
};

class FakeDesktop : public Desktop {
public:
    std::string personalFolder() const override { return personal; }
    std::string systemDirectory() const override { return systemDir; }
    QImage extractIcon(const std::string& file, int index) const override;
    void setNoTaskbarButton(QWidget* window) override { noTaskbarWindows.push_back(window); }
    void activate(QWidget* window) override { activated.push_back(window); }
    std::string personal;
    std::string systemDir = "/usr/lib/vexlo-test-system/";
    mutable std::vector<std::pair<std::string, int>> iconRequests;
    std::vector<QWidget*> noTaskbarWindows;
    std::vector<QWidget*> activated;
};

class RecordingPower : public Power {
public:
    void powerOff() override
    {
        ++powerOffCalls;
        if (onPowerOff)
            onPowerOff();
    }
    int powerOffCalls = 0;
    std::function<void()> onPowerOff;
};

// Records the desktop-session requests: `log` in order ("inhibit", "allow",
// "notify <title>", "flush"); the taskbar progress as (fraction, visible).
class RecordingDesktopSession : public DesktopSession {
public:
    void inhibitSleep() override
    {
        if (held)
            ++doubleHolds;
        held = true;
        log.push_back("inhibit");
    }
    void allowSleep() override
    {
        held = false;
        log.push_back("allow");
    }
    void notify(const DesktopNotification& notification) override
    {
        notifications.push_back(notification);
        log.push_back("notify " + notification.title);
    }
    void setTaskbarProgress(double fraction, bool visible) override { progress.emplace_back(fraction, visible); }
    void flush() override { log.push_back("flush"); }
    bool held = false;
    int doubleHolds = 0; // inhibitSleep() while already held
    std::vector<std::string> log;
    std::vector<DesktopNotification> notifications;
    std::vector<std::pair<double, bool>> progress;
};

class FixedAppPaths : public AppPaths {
public:
    explicit FixedAppPaths(std::string path) : exe(std::move(path)) {}
    std::string executablePath() const override { return exe; }
    std::string exe;
};

// Gives each test its own program folder (<tmp>/bin/, executable
// <tmp>/bin/vexlo), registry root (<tmp>/registry) and documents folder
// (<tmp>/Documents/, created) and installs the doubles above. The real
// ProcessLauncher stays in force (tests run real child processes). Restores the
// previous services on destruction.
class TestPlatform {
public:
    TestPlatform();
    ~TestPlatform();
    TestPlatform(const TestPlatform&) = delete;
    TestPlatform& operator=(const TestPlatform&) = delete;

    std::string root() const;          // the temporary folder, with trailing "/"
    std::string programFolder() const; // <root>bin/
    std::string settingsPath() const;  // <root>bin/vexlo.ini
    std::string registryRoot() const;  // <root>registry
    std::string cacheRoot() const;     // <root>cache, as $XDG_CACHE_HOME

    RecordingShell shell;
    ScriptedMessageBoxes messages;
    ScriptedFileDialogs fileDialogs;
    std::string mountInfo; // empty: nothing optical
    MountTableDrives drives{[this] { return mountInfo; }};
    FakeDesktop desktop;
    RecordingPower power;
    RecordingDesktopSession session;
    std::unique_ptr<FixedAppPaths> paths;
    std::unique_ptr<FolderRegistry> registry;

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    Services m_previous;
    std::string m_oldRegistryEnv;
    bool m_hadRegistryEnv = false;
    std::optional<std::string> m_oldCacheEnv;
};

} // namespace vexlo::platform

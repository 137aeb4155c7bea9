// The Linux implementations of the platform services.
#include "LinuxServices.h"

#include "base/Paths.h"

#include "UserFolders.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace vexlo::platform {

namespace {

QString toQString(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string readTextFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

// ---------------------------------------------------------------------------

void LinuxShell::openDocument(const std::string& pathOrAddress)
{
    QProcess::startDetached(QStringLiteral("xdg-open"), {paths::toQString(pathOrAddress)});
}

bool LinuxShell::startShellIntegration(const std::string& parameters)
{
    const std::string helper = programFolder() + "palvex-integration";
    if (!paths::isRegularFile(helper) || ::access(helper.c_str(), X_OK) != 0)
        return false;
    QProcess::startDetached(paths::toQString(helper), {toQString(parameters)});
    return true;
}

// ---------------------------------------------------------------------------

std::string documentsFolderFromUserDirs(const std::string& userDirsText, const std::string& home)
{
    return userDirFromUserDirs(userDirsText, "DOCUMENTS", home);
}

std::string documentsFolder()
{
    const std::string home = homeFolder();
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        config = xdg;
    else if (!home.empty())
        config = home + "/.config";
    else
        return {};
    const std::string folder
        = documentsFolderFromUserDirs(readTextFile(paths::withoutTrailingSlashes(config) + "/user-dirs.dirs"), home);
    if (!paths::isFolder(folder))
        return {};
    return folder == "/" ? folder : folder + "/";
}

// ---------------------------------------------------------------------------

std::string ProcAppPaths::executablePath() const
{
    char buffer[PATH_MAX + 1];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n > 0)
        return std::string(buffer, static_cast<size_t>(n));
    return {};
}

} // namespace vexlo::platform

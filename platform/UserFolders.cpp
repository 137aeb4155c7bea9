#include "UserFolders.h"

#include "base/Paths.h"

#include "Services.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace vexlo::platform {

namespace {

using paths::withoutTrailingSlashes;

std::string readTextFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool writeAll(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Creates every missing folder of `path` (mode 0700 for new ones, as the XDG
// base-directory rules ask for the config folder).
bool makeFolders(const std::string& path)
{
    if (path.empty() || paths::isFolder(path))
        return !path.empty();
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !makeFolders(path.substr(0, slash)))
        return false;
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

// Copies `from` to `to` unless `to` exists: written to a temporary file first
// and then linked in place, so a reader never sees a half-written file and a
// file that another instance placed meanwhile is kept.
void copyIfAbsent(const std::string& from, const std::string& to)
{
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0)
        return;
    // The folder is made in any case, so that the first write can succeed.
    const size_t slash = to.rfind('/');
    if (slash == std::string::npos || !makeFolders(to.substr(0, slash)))
        return;
    std::string bytes;
    {
        std::ifstream in(from, std::ios::binary);
        if (!in)
            return; // nothing shipped: the file starts empty
        std::ostringstream text;
        text << in.rdbuf();
        bytes = text.str();
    }
    std::string temp = to + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return;
    const bool written = writeAll(fd, bytes) && ::fchmod(fd, 0600) == 0 && ::fsync(fd) == 0;
    ::close(fd);
    // The link fails when `to` appeared meanwhile: that file is kept. A file
    // system without hard links gets a plain rename, unless `to` is there.
    if (written && ::link(temp.c_str(), to.c_str()) != 0 && errno != EEXIST && ::lstat(to.c_str(), &st) != 0
        && ::rename(temp.c_str(), to.c_str()) == 0)
        return;
    ::unlink(temp.c_str());
}

} // namespace

std::string homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return withoutTrailingSlashes(home);
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return withoutTrailingSlashes(pw->pw_dir);
    return {};
}

std::string xdgBaseFolder(const char* variable, const std::string& fallbackBelowHome)
{
    if (const char* value = std::getenv(variable); value && *value == '/')
        return withoutTrailingSlashes(value);
    return homeFolder() + "/" + fallbackBelowHome;
}

std::string configHome() { return xdgBaseFolder("XDG_CONFIG_HOME", ".config"); }

std::string dataHome() { return xdgBaseFolder("XDG_DATA_HOME", ".local/share"); }

std::string cacheHome() { return xdgBaseFolder("XDG_CACHE_HOME", ".cache"); }

std::vector<std::string> xdgSearchFolders(const char* variable, const std::vector<std::string>& defaults)
{
    const char* value = std::getenv(variable);
    if (!value || !*value)
        return defaults;
    std::vector<std::string> folders;
    std::istringstream parts{std::string(value)};
    std::string part;
    while (std::getline(parts, part, ':')) {
        if (!part.empty() && part.front() == '/')
            folders.push_back(withoutTrailingSlashes(part));
    }
    return folders;
}

std::string userDirFromUserDirs(const std::string& userDirsText, const std::string& key, const std::string& home)
{
    const std::string variable = "XDG_" + key + "_DIR";
    std::string found;
    std::istringstream lines(userDirsText);
    std::string line;
    const std::string homeNoSlash = withoutTrailingSlashes(home);
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t pos = line.find_first_not_of(" \t");
        if (pos == std::string::npos || line[pos] == '#')
            continue;
        if (line.compare(pos, variable.size(), variable) != 0)
            continue;
        pos = line.find_first_not_of(" \t", pos + variable.size());
        if (pos == std::string::npos || line[pos] != '=')
            continue;
        pos = line.find_first_not_of(" \t", pos + 1);
        if (pos == std::string::npos)
            continue;
        std::string value;
        if (line[pos] == '"') {
            // Quoted, with backslash escapes, as the shell would read it.
            bool closed = false;
            for (size_t i = pos + 1; i < line.size(); ++i) {
                if (line[i] == '\\' && i + 1 < line.size()) {
                    value += line[++i];
                } else if (line[i] == '"') {
                    closed = true;
                    break;
                } else {
                    value += line[i];
                }
            }
            if (!closed)
                continue;
        } else {
            const size_t end = line.find_first_of(" \t", pos);
            value = line.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        }
        std::string folder;
        if (value == "$HOME" || value == "${HOME}") {
            folder = homeNoSlash;
        } else if (value.rfind("$HOME/", 0) == 0) {
            folder = homeNoSlash + value.substr(5);
        } else if (value.rfind("${HOME}/", 0) == 0) {
            folder = homeNoSlash + value.substr(7);
        } else if (!value.empty() && value.front() == '/') {
            folder = value;
        } else {
            continue; // relative or empty: not a folder
        }
        found = withoutTrailingSlashes(folder); // the last assignment counts
    }
    if (found.empty() || homeNoSlash.empty() || found == homeNoSlash)
        return {};
    return found;
}

std::string userDir(const std::string& key)
{
    const std::string folder = userDirFromUserDirs(readTextFile(configHome() + "/user-dirs.dirs"), key, homeFolder());
    return paths::isFolder(folder) ? folder : std::string();
}

bool folderWritable(const std::string& folder) { return !folder.empty() && ::access(folder.c_str(), W_OK | X_OK) == 0; }

bool portableProgramFolder(const std::string& folder)
{
    if (folder.empty())
        return false;
    struct stat st {};
    if (::lstat((paths::withTrailingSlash(folder) + kInstalledMarker).c_str(), &st) == 0)
        return false;
    return folderWritable(folder);
}

SettingsPlacement placeSettings(
    const std::string& executablePath, bool programFolderWritable, const std::string& configHome)
{
    const size_t slash = executablePath.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : executablePath.substr(0, slash + 1);
    std::string name = executablePath.substr(folder.size());
    if (const size_t dot = paths::extensionStart(name); dot != std::string::npos)
        name.erase(dot);
    name += ".ini";
    SettingsPlacement placement;
    placement.catalogue = folder + name;
    placement.perUser = !programFolderWritable;
    placement.path = placement.perUser ? withoutTrailingSlashes(configHome) + "/vexlo/" + name : placement.catalogue;
    return placement;
}

SettingsPlacement settingsPlacementFor(const std::string& executablePath)
{
    const size_t slash = executablePath.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : executablePath.substr(0, slash + 1);
    SettingsPlacement placement = placeSettings(executablePath, portableProgramFolder(folder), configHome());
    if (!placement.perUser)
        return placement;
    copyIfAbsent(placement.catalogue, placement.path);
    struct stat st {};
    if (::lstat(placement.path.c_str(), &st) != 0) {
        // Not there and not to be made (no usable home or config folder).
        placement.readOnly = !folderWritable(placement.path.substr(0, placement.path.rfind('/')));
    } else if (S_ISLNK(st.st_mode) && ::stat(placement.path.c_str(), &st) != 0) {
        // A link into a folder that is not there (yet): kept for its owner.
        placement.readOnly = true;
        std::string target(4096, '\0');
        const ssize_t n = ::readlink(placement.path.c_str(), target.data(), target.size());
        target.resize(n > 0 ? static_cast<size_t>(n) : 0);
        placement.danglingLink = target.empty() ? std::string("?") : target;
    }
    return placement;
}

std::string settingsFileFor(const std::string& executablePath) { return settingsPlacementFor(executablePath).path; }

std::string defaultDestinationFolder()
{
    const std::string program = programFolder();
    if (program.empty() || portableProgramFolder(program))
        return program;
    std::string folder = userDir("VIDEOS");
    if (folder.empty()) {
        const std::string home = homeFolder();
        folder = paths::isFolder(home + "/Videos") ? home + "/Videos" : home;
    }
    return paths::withTrailingSlash(folder);
}

} // namespace vexlo::platform

// Installing and removing the generated files: atomic writes, removal of
// marked files only, and the update of Thunar's uca.xml in place.
#include "FileManagerActions.h"
#include "FileManagerActionsInternal.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace vexlo::integration {

using namespace detail;

namespace {

namespace fs = std::filesystem;

std::string readFile(const std::string& path, bool* exists = nullptr)
{
    std::ifstream in(path, std::ios::binary);
    if (exists)
        *exists = static_cast<bool>(in);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool writeAtomically(const std::string& path, const std::string& content, mode_t mode, std::ostream& errors)
{
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        errors << "palvex-integration: cannot write " << path << ": " << std::strerror(errno) << "\n";
        return false;
    }
    size_t done = 0;
    bool ok = true;
    while (ok && done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += static_cast<size_t>(n);
    }
    ok = ok && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ::close(fd);
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        errors << "palvex-integration: cannot write " << path << ": " << std::strerror(ok ? errno : savedErrno) << "\n";
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

bool isOurs(const fs::path& file)
{
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(file, ec)))
        return false;
    const std::string text = readFile(file.string());
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line == markLine() || line == "# " + markLine())
            return true;
    }
    return false;
}

// Removes our files from `folder`: those that carry the mark and, unless
// `anyName`, whose name begins with "vexlo-convert".
int removeMarkedFiles(const std::string& folder, bool anyName, std::ostream& errors)
{
    int problems = 0;
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        return 0;
    std::vector<fs::path> doomed;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if ((anyName || name.rfind("vexlo-convert", 0) == 0) && isOurs(entry.path()))
            doomed.push_back(entry.path());
    }
    if (ec) {
        errors << "palvex-integration: cannot read " << folder << ": " << ec.message() << "\n";
        ++problems;
    }
    for (const fs::path& file : doomed) {
        if (!fs::remove(file, ec)) {
            errors << "palvex-integration: cannot remove " << file.string() << ": " << ec.message() << "\n";
            ++problems;
        }
    }
    return problems;
}

// Our scripts in every folder of Nautilus's scripts (the submenu is named in
// the language of the install that wrote it); a folder of ours left empty goes too.
int removeNautilusScripts(const Folders& folders, std::ostream& errors)
{
    int problems = 0;
    std::error_code ec;
    std::vector<fs::path> submenus;
    for (const auto& entry : fs::directory_iterator(nautilusScripts(folders), ec)) {
        if (entry.is_directory(ec) && !entry.is_symlink(ec))
            submenus.push_back(entry.path());
    }
    for (const fs::path& submenu : submenus) {
        bool ours = false;
        for (const auto& entry : fs::directory_iterator(submenu, ec))
            ours = ours || isOurs(entry.path());
        if (!ours)
            continue; // a folder of the user's own
        problems += removeMarkedFiles(submenu.string(), true, errors);
        if (fs::is_empty(submenu, ec))
            fs::remove(submenu, ec);
    }
    return problems;
}

// Whether `folder` holds a file of ours: one that carries the mark and,
// unless `anyName`, whose name begins with "vexlo-convert".
bool holdsMarkedFile(const std::string& folder, bool anyName)
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if ((anyName || name.rfind("vexlo-convert", 0) == 0) && isOurs(entry.path()))
            return true;
    }
    return false;
}

// Whether any entry of ours is there, in whatever form a version wrote it.
bool holdsEntriesOfOurs(const Folders& folders)
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(nautilusScripts(folders), ec)) {
        if (entry.is_directory(ec) && !entry.is_symlink(ec) && holdsMarkedFile(entry.path().string(), true))
            return true;
    }
    for (const std::string& folder : {dolphinFolder(folders), nemoFolder(folders), cajaFolder(folders)}) {
        if (holdsMarkedFile(folder, false))
            return true;
    }
    return readFile(thunarFile(folders)).find(std::string("<unique-id>") + kThunarIdPrefix) != std::string::npos;
}

int updateThunar(const Folders& folders, const std::string& ours, std::ostream& errors)
{
    const std::string path = thunarFile(folders);
    bool exists = false;
    std::string existing = readFile(path, &exists);
    mode_t mode = 0644;
    if (exists) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0)
            mode = st.st_mode & 07777;
    } else if (ours.empty()) {
        return 0; // nothing of ours can be there
    } else {
        // Thunar reads the system's actions while the user has none of his
        // own: start from them, so they do not disappear.
        for (const std::string& dir : folders.configDirs) {
            bool found = false;
            existing = readFile(dir + "/Thunar/uca.xml", &found);
            if (found)
                break;
            existing.clear();
        }
    }
    std::string merged;
    if (!mergeThunarActions(existing, ours, merged)) {
        errors << "palvex-integration: " << path << " cannot be read as Thunar's custom actions; left as it is\n";
        return 1;
    }
    if (exists && merged == existing)
        return 0;
    return writeAtomically(path, merged, mode, errors) ? 0 : 1;
}

} // namespace

bool userEntriesOutdated(const Folders& folders, const std::string& programFolder)
{
    bool exists = false;
    const std::string launcher = readFile(launcherPath(folders), &exists);
    if (exists && launcher.find("\n" + launcherStamp(programFolder)) != std::string::npos)
        return false;
    return (exists && isOurs(launcherPath(folders))) || holdsEntriesOfOurs(folders);
}

int writeFiles(const std::vector<GeneratedFile>& files, std::ostream& errors)
{
    int problems = 0;
    for (const GeneratedFile& file : files) {
        if (!writeAtomically(file.path, file.content, file.executable ? 0755 : 0644, errors))
            ++problems;
    }
    return problems;
}

int removeActions(const Folders& folders, std::ostream& errors)
{
    int problems = removeNautilusScripts(folders, errors);
    std::error_code ec;
    problems += removeMarkedFiles(dolphinFolder(folders), false, errors);
    problems += removeMarkedFiles(nemoFolder(folders), false, errors);
    problems += removeMarkedFiles(cajaFolder(folders), false, errors);
    problems += updateThunar(folders, "", errors);
    if (isOurs(launcherPath(folders)) && !fs::remove(launcherPath(folders), ec)) {
        errors << "palvex-integration: cannot remove " << launcherPath(folders) << ": " << ec.message() << "\n";
        ++problems;
    }
    return problems;
}

int installActions(const Setup& setup, const Folders& folders, std::ostream& errors)
{
    int problems = 0;
    problems += removeNautilusScripts(folders, errors);
    problems += removeMarkedFiles(dolphinFolder(folders), false, errors);
    problems += removeMarkedFiles(nemoFolder(folders), false, errors);
    problems += removeMarkedFiles(cajaFolder(folders), false, errors);
    std::vector<GeneratedFile> files = generatedFiles(setup, folders);
    if (!setup.launcher.empty())
        files.insert(files.begin(), launcherFile(setup, folders));
    problems += writeFiles(files, errors);
    problems += updateThunar(folders, thunarActionsXml(setup), errors);
    return problems;
}

} // namespace vexlo::integration

// Stateless shell and file routines. Every routine opens and releases what it
// uses (registry key, file, directory search) within one call and reports
// nothing to the user: failures lead to the documented fallbacks.
#include "ConvertPublic.h"

#include "base/Paths.h"
#include "base/Text.h"
#include "platform/Registry.h"
#include "platform/Services.h"

#include <QLocale>

#include <algorithm>
#include <climits>
#include <dirent.h>
#include <limits>
#include <sys/stat.h>
#include <vector>

namespace vexlo::shellutil {

using platform::Hive;
using platform::services;

namespace {

bool pathExists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The size in hundredths of `divisor`, rounded half up, written as "0.00".
std::string hundredthsText(uint64_t size, uint64_t divisor, const std::string& decimalPoint)
{
    const unsigned __int128 scaled = static_cast<unsigned __int128>(size) * 100u + divisor / 2;
    const uint64_t hundredths = static_cast<uint64_t>(scaled / divisor);
    const uint64_t whole = hundredths / 100;
    const uint64_t fraction = hundredths % 100;
    std::string text = std::to_string(whole) + decimalPoint;
    if (fraction < 10)
        text += '0';
    text += std::to_string(fraction);
    return text;
}

} // namespace

// ---------------------------------------------------------------------------
// Icons

IconLocation GetDefaultIconLocation(const std::string& Pattern)
{
    IconLocation location;
    const std::string extension = Pattern.size() > 1 ? Pattern.substr(1) : std::string();
    if (extension.empty() || extension.front() != '.')
        return location;
    const platform::Registry* registry = services().registry;
    if (!registry)
        return location;

    std::string className;
    if (registry->keyExists(Hive::ClassesRoot, extension))
        className = registry->readValue(Hive::ClassesRoot, extension, "").value_or(std::string());

    const std::string iconKey = className + "\\DefaultIcon";
    if (!registry->keyExists(Hive::ClassesRoot, iconKey))
        return location;
    const auto value = registry->readValue(Hive::ClassesRoot, iconKey, "");
    if (!value)
        return location;
    const auto comma = value->find(',');
    if (comma == std::string::npos) {
        location.Path = *value;
        return location;
    }
    location.Path = value->substr(0, comma);
    // An index that is no whole number leaves the index at 0.
    if (const auto index = text::parseDecimal(value->substr(comma + 1), text::Signs::Minus, INT32_MIN, INT32_MAX))
        location.Index = *index;
    return location;
}

// ---------------------------------------------------------------------------
// Long spelling of paths

std::string ExpandLongPathPart(const std::string& Prefix)
{
    std::string work = Prefix;
    const bool trailingSlash = !work.empty() && work.back() == '/';
    if (trailingSlash)
        work.pop_back();
    // The root alone (or nothing) has no entry to look up.
    if (work.empty())
        return Prefix;
    const auto slash = work.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : work.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? work : work.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return Prefix;
    if (pathExists(work))
        return Prefix; // stored exactly as written

    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return Prefix;
    std::optional<std::string> found;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string entryName = entry->d_name;
        // Of several spellings that differ in case only, the smallest wins,
        // whatever order the directory lists them in.
        if (text::asciiEqualNoCase(entryName, name) && (!found || entryName < *found))
            found = entryName;
    }
    ::closedir(dir);
    if (!found)
        return Prefix;
    return folder + *found + (trailingSlash ? "/" : "");
}

std::string ExpandLongPath(const std::string& Path)
{
    std::string built;
    std::string rest = Path;
    for (auto slash = rest.find('/'); slash != std::string::npos; slash = rest.find('/')) {
        built = ExpandLongPathPart(built + rest.substr(0, slash + 1));
        rest.erase(0, slash + 1);
    }
    if (!rest.empty())
        built = ExpandLongPathPart(built + rest);
    return built;
}

// ---------------------------------------------------------------------------

std::string GetFileSizeText(const std::string& FileName)
{
    struct stat st {};
    if (::stat(FileName.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return {};
    const auto size = static_cast<uint64_t>(st.st_size < 0 ? 0 : st.st_size);
    if (size < 1000)
        return std::to_string(size) + " Byte";
    const std::string decimalPoint = QLocale().decimalPoint().toStdString();
    if (size < 1000000)
        return hundredthsText(size, 1024, decimalPoint) + " KB";
    return hundredthsText(size, 1024 * 1024, decimalPoint) + " MB";
}

std::string GetPersonalFolder()
{
    const platform::Desktop* desktop = services().desktop;
    if (!desktop)
        return {};
    std::string folder = desktop->personalFolder();
    if (folder.empty())
        return folder;
    while (folder.size() > 1 && folder.back() == '/' && folder[folder.size() - 2] == '/')
        folder.pop_back();
    return paths::withTrailingSlash(folder);
}

bool IsAllDigits(const std::string& Text)
{
    return std::all_of(Text.begin(), Text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsCDROMPath(const std::string& Path)
{
    if (Path.empty() || Path.front() != '/')
        return false;
    const platform::Drives* drives = services().drives;
    return drives && drives->isOptical(Path);
}

// ---------------------------------------------------------------------------
// Path helpers

std::string folderPart(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool fileExists(const std::string& path) { return paths::existsNotFolder(path); }

bool folderExists(const std::string& path) { return paths::isFolder(path); }

} // namespace vexlo::shellutil

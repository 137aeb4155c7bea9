#include "FileRules.h"

#include "base/Paths.h"
#include "base/Text.h"

#include "shellutil/ConvertPublic.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <limits>
#include <stdexcept>
#include <sys/stat.h>

namespace vexlo::app {

bool isSupportedVideoName(const std::string& path)
{
    const std::string ext = text::asciiLower(paths::extensionOf(path));
    if (ext.empty())
        return false;
    if (SupportedVideoPatterns.find(ext) != std::string_view::npos)
        return true;
    const auto modern = text::splitList(ModernVideoPatterns);
    return std::any_of(modern.begin(), modern.end(), [&](std::string_view mask) { return mask.substr(1) == ext; });
}

bool hasControlCharacters(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f;
    });
}

bool maskMatches(std::string_view mask, std::string_view name)
{
    // Iterative wildcard match with one backtrack point for the last "*".
    size_t m = 0, n = 0, star = std::string_view::npos, mark = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || text::asciiLower(mask[m]) == text::asciiLower(name[n]))) {
            ++m;
            ++n;
        } else if (m < mask.size() && mask[m] == '*') {
            star = m++;
            mark = n;
        } else if (star != std::string_view::npos) {
            m = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

std::vector<std::string> matchingFileNames(const std::string& folder, const std::string& masks)
{
    std::vector<std::string> names;
    const auto maskList = text::splitList(masks);
    if (maskList.empty())
        return names;
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return names;
    const std::string base = folder.empty() ? std::string("./") : paths::withTrailingSlash(folder);
    while (dirent* entry = readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name.empty() || name.front() == '.')
            continue; // hidden files, "." and ".."
        if (std::none_of(maskList.begin(), maskList.end(), [&](std::string_view m) { return maskMatches(m, name); }))
            continue;
        if (entry->d_type != DT_REG) {
            if (entry->d_type != DT_UNKNOWN && entry->d_type != DT_LNK)
                continue;
            if (!paths::isRegularFile(base + entry->d_name))
                continue;
        }
        names.emplace_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
            [](char x, char y) { return text::asciiLower(x) < text::asciiLower(y); });
    });
    return names;
}

int parseCommandLineNumber(const std::string& text)
{
    const auto value = text::parseDecimal32(text);
    if (!value)
        throw std::runtime_error("'" + text + "' is not a valid integer value");
    return *value;
}

} // namespace vexlo::app

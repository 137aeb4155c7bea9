#pragma once
// Stateless shell and file routines shared by several windows. POSIX paths:
// "/" separates, a folder part runs up to and including the last "/", an
// extension is the text from the last "." after the last "/".
#include "base/Paths.h"
#include "base/Text.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <string>

namespace vexlo::shellutil {

struct IconLocation {
    std::string Path;
    int32_t Index = 0;
};

IconLocation GetDefaultIconLocation(const std::string& Pattern);
std::string ExpandLongPathPart(const std::string& Prefix);
std::string ExpandLongPath(const std::string& Path);
// "999 Byte", "1.50 KB", "4768.37 MB" (the locale's decimal separator).
std::string GetFileSizeText(const std::string& FileName);
std::string GetPersonalFolder();
bool IsAllDigits(const std::string& Text);
bool IsCDROMPath(const std::string& Path);

// Path helpers used across the program.
// The folder part: up to and including the last "/"; empty when none.
std::string folderPart(const std::string& path);
// True when something other than a folder exists under the path
// (paths::existsNotFolder).
bool fileExists(const std::string& path);
// paths::isFolder.
bool folderExists(const std::string& path);
// The rules of base/ under the names the windows call them by.
using paths::extensionOf;
using text::asciiLower;
using text::asciiUpper;
using text::parseDecimal32;

} // namespace vexlo::shellutil

#pragma once
// Stateless shell and file routines shared by several windows. POSIX paths:
// "/" separates, a folder part runs up to and including the last "/", an
// extension is the text from the last "." after the last "/".
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
// An optionally signed decimal integer that fits 32 bits, the whole text;
// nullopt otherwise.
std::optional<int32_t> parseDecimal32(std::string_view text);
bool IsCDROMPath(const std::string& Path);

// Path helpers used across the program.
// The folder part: up to and including the last "/"; empty when none.
std::string folderPart(const std::string& path);
// The extension with its dot, from the last "." after the last "/"; empty when none.
std::string extensionOf(const std::string& path);
// True when a plain file (not a folder) exists under the path.
bool fileExists(const std::string& path);
bool folderExists(const std::string& path);
// ASCII-only upper-casing.
std::string asciiUpper(std::string text);
std::string asciiLower(std::string text);

} // namespace vexlo::shellutil

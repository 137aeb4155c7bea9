#pragma once
// Rules about which files enter the list, independent of any widget.
#include <string>
#include <string_view>
#include <vector>

namespace vexlo::app {

// The extensions accepted from the command line and from drops.
inline constexpr std::string_view SupportedVideoPatterns
    = "*.avi;*.wmv;*.mpeg;*.mpg;*.m2ts;*.mts;*.m2t;*.qt;*.mov;*.mpm;*.mpv;*.mpa;*.asf;*.wma;*.vob;*.mod;*.mp4;*.3gp;*.3g2";

// True when the path's extension (with its dot, ASCII lower-cased) occurs as a
// substring of SupportedVideoPatterns. An empty extension never does.
bool isSupportedVideoName(const std::string& path);

// True when the text holds a control character (a line break, NUL, ...); such a
// name cannot be stored in the settings file and is not listed.
bool hasControlCharacters(std::string_view text);

// Matches `name` against one mask with "*" and "?", ASCII case ignored.
bool maskMatches(std::string_view mask, std::string_view name);

// The plain, non-hidden files of `folder` (an existing folder, any spelling)
// whose names match one of the ";"-separated masks, sorted ascending without
// regard to case. Names only. Empty when the folder cannot be read.
std::vector<std::string> matchingFileNames(const std::string& folder, const std::string& masks);

// Reads a decimal integer as the command line does (optional sign, digits, the
// whole text). Throws std::runtime_error("'<text>' is not a valid integer value").
int parseCommandLineNumber(const std::string& text);

} // namespace vexlo::app

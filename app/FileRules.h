#pragma once
// Rules about which files enter the list, independent of any widget.
#include "base/VideoNames.h"

#include <string>
#include <string_view>
#include <vector>

namespace vexlo::app {

// The accepted video names, shared with the file-manager integration.
using videonames::acceptedVideoExtensions;
using videonames::acceptedVideoMasks;
using videonames::acceptedVideoMimeTypes;
using videonames::ModernVideoPatterns;
using videonames::SupportedVideoPatterns;

// True when the path's extension (with its dot, ASCII lower-cased) occurs as a
// substring of SupportedVideoPatterns, or is one of ModernVideoPatterns'. An
// empty extension never is.
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

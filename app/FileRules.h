#pragma once
// Rules about which files enter the list, independent of any widget.
#include <string>
#include <string_view>
#include <vector>

namespace vexlo::app {

// The extensions accepted from the command line and from drops.
inline constexpr std::string_view SupportedVideoPatterns
    = "*.avi;*.wmv;*.mpeg;*.mpg;*.m2ts;*.mts;*.m2t;*.qt;*.mov;*.mpm;*.mpv;*.mpa;*.asf;*.wma;*.vob;*.mod;*.mp4;*.3gp;*.3g2";

// Today's containers (phones, screen recorders, downloads, TV recordings),
// accepted besides SupportedVideoPatterns, whose text stays as it is.
inline constexpr std::string_view ModernVideoPatterns
    = "*.mkv;*.webm;*.ts;*.m4v;*.flv;*.dv;*.ogv;*.mxf;*.vob;*.mts;*.m2ts";

// True when the path's extension (with its dot, ASCII lower-cased) occurs as a
// substring of SupportedVideoPatterns, or is one of ModernVideoPatterns'. An
// empty extension never is.
bool isSupportedVideoName(const std::string& path);

// Every accepted extension without its dot, lower case, each once: those of
// SupportedVideoPatterns, then ModernVideoPatterns'. The file dialog, the
// desktop entry and the file-manager actions offer these.
std::vector<std::string> acceptedVideoExtensions();

// The accepted extensions as masks in both letter cases ("*.mts;*.MTS;...").
std::string acceptedVideoMasks();

// The MIME types of the accepted extensions: the desktop entry's MimeType
// list and the file-manager actions' filter.
const std::vector<std::string>& acceptedVideoMimeTypes();

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

#pragma once
// The names of the video files the program takes: the patterns of the file
// list's rules, their extensions, masks and MIME types. The file list, the
// file dialog, the desktop entry and the file-manager actions use them.
#include <string>
#include <string_view>
#include <vector>

namespace vexlo::videonames {

// The extensions accepted from the command line and from drops.
inline constexpr std::string_view SupportedVideoPatterns
    = "*.avi;*.wmv;*.mpeg;*.mpg;*.m2ts;*.mts;*.m2t;*.qt;*.mov;*.mpm;*.mpv;*.mpa;*.asf;*.wma;*.vob;*.mod;*.mp4;*.3gp;*.3g2";

// Today's containers (phones, screen recorders, downloads, TV recordings),
// accepted besides SupportedVideoPatterns, whose text stays as it is.
inline constexpr std::string_view ModernVideoPatterns
    = "*.mkv;*.webm;*.ts;*.m4v;*.flv;*.dv;*.ogv;*.mxf;*.vob;*.mts;*.m2ts";

// Every accepted extension without its dot, lower case, each once: those of
// SupportedVideoPatterns, then ModernVideoPatterns'. The file dialog, the
// desktop entry and the file-manager actions offer these.
std::vector<std::string> acceptedVideoExtensions();

// The accepted extensions as masks in both letter cases ("*.mts;*.MTS;...").
std::string acceptedVideoMasks();

// The MIME types of the accepted extensions: the desktop entry's MimeType
// list and the file-manager actions' filter.
const std::vector<std::string>& acceptedVideoMimeTypes();

} // namespace vexlo::videonames

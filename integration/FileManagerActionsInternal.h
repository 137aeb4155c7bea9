#pragma once
// Shared by the files of FileManagerActions: the mark that generated files
// carry and the folders each file manager reads its actions from.
#include "EntryTexts.h"
#include "FileManagerActions.h"

#include <string>

namespace vexlo::integration::detail {

inline constexpr const char* kMarkValue = "palvex-integration";

inline std::string markLine() { return std::string(kMarkKey) + "=" + kMarkValue; }

// The folder of the scripts, named after the menu in the user's language.
inline std::string nautilusScripts(const Folders& f) { return f.dataHome + "/nautilus/scripts"; }
inline std::string nautilusFolder(const Folders& f) { return nautilusScripts(f) + "/" + inCurrentLanguage(kMenuTitle); }
inline std::string dolphinFolder(const Folders& f) { return f.dataHome + "/kio/servicemenus"; }
inline std::string nemoFolder(const Folders& f) { return f.dataHome + "/nemo/actions"; }
inline std::string cajaFolder(const Folders& f) { return f.dataHome + "/file-manager/actions"; }
inline std::string thunarFile(const Folders& f) { return f.configHome + "/Thunar/uca.xml"; }

// The lines of an up-to-date launcher that name its form and program folder.
std::string launcherStamp(const std::string& programFolder);

} // namespace vexlo::integration::detail

#pragma once
// The output-format catalogue: the run of [VideoFormatN] sections of the
// settings file from N = 0 up to the first without a title, in the order of
// the output dialog's list.
#include "IniFile.h"

#include <string>
#include <vector>

namespace vexlo::settings {

std::vector<std::string> catalogueTitles(const IniDocument& doc);

// The profiles the user marked as favourites, which the file managers whose
// menus have no submenus (Nemo) offer beside the output dialog:
// [Options] FavouriteFormats, profile numbers separated by commas ("3,18";
// empty: none). Without the key, the last profile used (OutputFormat). Only
// numbers the catalogue has, each once, in the catalogue's order.
inline constexpr const char* kFavouriteFormatsKey = "FavouriteFormats";
std::vector<int> favouriteFormats(const IniDocument& doc);
// The key's value for `numbers`: "3,18".
std::string favouriteFormatsText(const std::vector<int>& numbers);

// Adds to `doc` the profiles that `shipped` has beyond the end of `doc`'s own
// run, section by section; keys that `doc` already holds are kept. The
// profiles `doc` has are never changed. Returns how many were added.
int extendCatalogue(IniDocument& doc, const IniDocument& shipped);

// The settings file of the program at `executablePath`
// (platform::settingsFileFor). A per-user file that was copied from an older
// catalogue gets, once per process, the profiles that the shipped catalogue
// has beyond its own, so that an upgrade brings its new output formats to
// every user; the user's own choices and profiles stay as they are. When the
// file cannot be written it is left as it was, with the profiles it has.
std::string settingsFilePathFor(const std::string& executablePath);
// The same file to read and write; read-only (reading the shipped catalogue)
// when the user's own file cannot be had.
IniFile settingsFileFor(const std::string& executablePath);

} // namespace vexlo::settings

#pragma once
// The user's folders as the XDG base-directory and user-dirs conventions place
// them, where the settings file lives, and the default destination folder.
#include <string>
#include <vector>

namespace vexlo::platform {

// $HOME, else the password database's home folder; empty when neither is known.
std::string homeFolder();
// An XDG base folder: the variable's value when it is an absolute path, else
// `fallback` below the home folder. No trailing "/".
std::string xdgBaseFolder(const char* variable, const std::string& fallbackBelowHome);
std::string configHome(); // ${XDG_CONFIG_HOME:-~/.config}
std::string dataHome();   // ${XDG_DATA_HOME:-~/.local/share}
std::string cacheHome();  // ${XDG_CACHE_HOME:-~/.cache}
// A ":"-separated XDG search list: the absolute entries of the variable, or
// `defaults` when the variable is unset or empty.
std::vector<std::string> xdgSearchFolders(const char* variable, const std::vector<std::string>& defaults);

// The folder that a user-dirs.dirs text (xdg-user-dirs) sets for `key`
// ("VIDEOS", "DOCUMENTS", ...: the XDG_<key>_DIR line), "$HOME/" replaced by
// `home`. Empty when the text sets none, or sets the home folder itself
// (xdg-user-dirs' way to switch a folder off). No trailing "/"; the folder's
// existence is not checked.
std::string userDirFromUserDirs(const std::string& userDirsText, const std::string& key, const std::string& home);
// The same from the user's own ${XDG_CONFIG_HOME}/user-dirs.dirs; empty when
// unset or when the folder does not exist.
std::string userDir(const std::string& key);

// True when the current user may create files in `folder`.
bool folderWritable(const std::string& folder);

// The file that the install step puts into an installed program folder. Its
// presence makes the folder an installed one, whoever runs the program (root
// may write into it): settings then never live there.
inline constexpr const char* kInstalledMarker = "vexlo.installed";

// True for a portable program folder (a build folder, an unpacked copy): one
// without the install marker that the current user may write to. Only there
// does the settings file live beside the executable.
bool portableProgramFolder(const std::string& folder);

// Where the settings file of the program at `executablePath` lives. Beside the
// executable (its name with ".ini" in place of an extension) for a portable
// program folder; otherwise <configHome>/vexlo/<name>.ini, one per user.
struct SettingsPlacement {
    std::string path;      // the settings file
    bool perUser = false;  // true: below the user's config folder
    std::string catalogue; // the shipped file beside the executable
    // The user's own file cannot be had (no usable home or config folder, or
    // a link that leads nowhere): the shipped catalogue is read instead, and
    // nothing is written; `path` stays the user's file, left as it is.
    bool readOnly = false;
    std::string danglingLink; // the target of `path` when it is a link that leads nowhere
};
SettingsPlacement placeSettings(
    const std::string& executablePath, bool programFolderWritable, const std::string& configHome);

// The settings file for the program at `executablePath`, decided afresh. A
// per-user file that does not exist yet is created as a copy of the shipped
// catalogue (never replacing a file that another instance created meanwhile);
// when that fails, or the file is a link that leads nowhere, the placement is
// read-only (see SettingsPlacement).
std::string settingsFileFor(const std::string& executablePath);
// The same, with where the shipped catalogue is and whether the file is the user's own.
SettingsPlacement settingsPlacementFor(const std::string& executablePath);

// The default destination folder, with a trailing "/": the program folder
// while it is portable; otherwise the XDG videos
// folder, else ~/Videos when it exists, else the home folder.
std::string defaultDestinationFolder();

} // namespace vexlo::platform

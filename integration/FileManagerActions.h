#pragma once
// "Convert with Vexlo" in the context menus of the file managers, for the
// current user: what palvex-integration writes and takes away again.
//
// Every file or entry written here carries a mark (the key
// X-Vexlo-Generated, or the unique-id prefix "vexlo-convert-" in Thunar's
// uca.xml), and removing takes away exactly the marked ones, so a user's own
// actions are never touched. Installing first removes what an earlier
// install left, so installing twice gives what installing once gives, and a
// profile that left the catalogue leaves the menus too.
#include "settings/IniFile.h"

#include <QtGlobal>

#include <ostream>
#include <string>
#include <vector>

namespace vexlo::integration {

// One output profile of the catalogue.
struct Profile {
    int number = 0;
    std::string title;
};

// The profiles of a settings file text: sections VideoFormat0, 1, ... with a
// Title, up to the first without one.
std::vector<Profile> catalogueProfiles(const std::string& settingsText);
std::vector<Profile> catalogueProfiles(const settings::IniDocument& settings);

// The folders that the file managers read.
struct Folders {
    std::string dataHome;                // ${XDG_DATA_HOME:-~/.local/share}
    std::string configHome;              // ${XDG_CONFIG_HOME:-~/.config}
    std::vector<std::string> configDirs; // ${XDG_CONFIG_DIRS:-/etc/xdg}
};
Folders foldersFromEnvironment();

// The video types that the actions are offered for where a file manager
// filters by MIME type (the same list as vexlo.desktop's MimeType).
const std::vector<std::string>& videoMimeTypes();
// The name patterns where a file manager filters by name: the supported
// extensions, in lower and upper case (camcorders write "00001.MTS").
std::vector<std::string> videoNamePatterns();

// The mark that generated files carry.
inline constexpr const char* kMarkKey = "X-Vexlo-Generated";
inline constexpr const char* kThunarIdPrefix = "vexlo-convert-";
// In English; the entries show them translated (EntryTexts.h).
inline constexpr const char* kMenuTitle = QT_TRANSLATE_NOOP("FileManagerActions", "Convert with Vexlo");
inline constexpr const char* kDialogTitle = QT_TRANSLATE_NOOP("FileManagerActions", "Convert with Vexlo...");

struct GeneratedFile {
    std::string path;
    std::string content;
    bool executable = false;
};

// What `programFolder` (with trailing "/") holds: vexlo and palvex-integration.
struct Setup {
    std::string programFolder;
    std::vector<Profile> profiles;
    // The per-user launcher (launcherPath) that the entries start the program
    // through, so that they stay harmless once the program is gone; empty:
    // they start it directly (the entries that ship with the package).
    std::string launcher{};
    // False: no files for Dolphin and Caja, whose entries an installed
    // program ships system-wide, and Nemo's only for the favourites beyond
    // `shippedFavourites`.
    bool keyFileManagers = true;
    // Nemo has no submenus: it offers the output dialog and these profiles
    // (numbers of `profiles`, settings::favouriteFormats) rather than all of
    // them; the other file managers list every profile in their submenu.
    std::vector<int> favourites{};
    // The favourites that the entries an installed program ships for every
    // user offer in Nemo already (those of the shipped catalogue).
    std::vector<int> shippedFavourites{};
};

// The form of what palvex-integration writes for a user, which the launcher
// carries as "# X-Vexlo-Form=<form>". Raise it whenever a user's entries
// change form: at its next start, Vexlo has entries of an older form written
// again (userEntriesOutdated).
inline constexpr int kEntriesForm = 4;

// The launcher of the user's entries, <dataHome>/vexlo/vexlo-launch: a POSIX
// shell script ("launcher vexlo ARGS..." or "launcher palvex-integration
// ARGS...") that starts the named program from the program folder, or, when
// that program is gone, takes the user's entries away (Nautilus scripts, the
// file-manager files with the mark, Thunar's actions with our unique-id
// prefix however Thunar has written the file since, itself) and
// says so once, on standard error and as a desktop notification.
std::string launcherPath(const Folders& folders);
GeneratedFile launcherFile(const Setup& setup, const Folders& folders);

// Whether the user's entries must be written again for the program in
// `programFolder` (with trailing "/"): entries of ours are there, but the
// launcher is missing (entries of a version before it, which start the
// program directly), of an older form, or starts another program folder.
// Reads the launcher alone while it is up to date (every start of a user
// whose entries are current); the entries' folders only when it is not.
bool userEntriesOutdated(const Folders& folders, const std::string& programFolder);

// The arguments that follow the program for one action: {"002:", "--"} for
// profile 2 (the profile form of the command line, every file converted into
// its own folder), {"-1234", "--"} beyond three digits, {"ADD:", "--"} for the
// output dialog (number < 0).
std::vector<std::string> vexloArguments(int profileNumber);

// Every file for Nautilus, Dolphin, Nemo and Caja (Thunar shares one file with
// the user: thunarActionsXml and mergeThunarActions).
std::vector<GeneratedFile> generatedFiles(const Setup& setup, const Folders& folders);

// The files for Dolphin, Nemo and Caja that an installed program ships below
// `shareFolder` (<prefix>/share), for every user (Nemo's: the output dialog
// and `setup.favourites`, the shipped catalogue's).
std::vector<GeneratedFile> systemFiles(const Setup& setup, const std::string& shareFolder);

// Our <action> elements for uca.xml, one after another in the submenu
// "Convert with Vexlo" (Thunar 4.17 and later), between kThunarBegin and
// kThunarEnd.
std::string thunarActionsXml(const Setup& setup);
// `existing` (a uca.xml text; empty: none) without our actions, with
// `ours` (may be empty) added before </actions>. Everything else is kept as
// written. False (and `result` untouched) when `existing` is not a uca.xml
// that can be read.
bool mergeThunarActions(const std::string& existing, const std::string& ours, std::string& result);

// The lines of uca.xml that enclose our actions, so that the launcher can
// take them out without reading XML.
inline constexpr const char* kThunarBegin = "<!-- vexlo-convert: begin -->";
inline constexpr const char* kThunarEnd = "<!-- vexlo-convert: end -->";

// Install and remove. Problems are written to `errors`, one line each, and
// counted in the result; whatever can be done is done. With a launcher in
// `setup`, installing also writes it (removing takes it away).
int installActions(const Setup& setup, const Folders& folders, std::ostream& errors);
// Writes each file atomically (its folder made when missing); returns the problems.
int writeFiles(const std::vector<GeneratedFile>& files, std::ostream& errors);
int removeActions(const Folders& folders, std::ostream& errors);

} // namespace vexlo::integration

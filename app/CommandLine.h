#pragma once
// Reading the program's arguments: what they ask for (profile, destination,
// silent start, the files to list, the messages owed to the user), without
// acting on any of it. The main window carries the request out.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vexlo::app {

// One thing an argument asks for, in the order of the arguments.
struct CommandLineItem {
    enum class Kind {
        AddFile,      // list the file `path` (when it exists and is not listed yet)
        AddPattern,   // list the files matching the pattern `path`
        Unsupported,  // tell the user that `path` cannot be converted
        CreateFolder, // create the destination folder `path` with its parents
        Silent,       // from here on nobody sees the window
    };
    Kind kind;
    std::string path;
    bool operator==(const CommandLineItem&) const = default;
};

struct CommandLineRequest {
    int32_t formatIndex = -1; // the profile number; -1: none given
    std::string destPath;     // the destination folder with a trailing "/"; empty: none
    bool silent = false;
    std::vector<CommandLineItem> items;
    // A profile number that did not read as a decimal integer: reading
    // stopped at that argument, and no run is requested.
    std::optional<std::string> error;

    // The run the arguments request: with a profile number it converts without
    // asking, else the output dialog is shown first.
    bool convertWithoutAsking() const { return formatIndex >= 0; }
};

// `programFolder` (with a trailing "/") stands for an empty folder prefix
// ("ADD:"). A relative name is relative to the last folder named, else to
// `workingFolder`; with a working folder every name, folder prefix and
// destination comes out absolute (a list saved from it names the same files
// from wherever the program starts next). A relative file name that names no
// file after the last file's folder, but one from the working folder (after a
// folder prefix: from that folder), is taken from there: the names a shell
// passes ("card/a.mts card/b.mts") each name their file.
CommandLineRequest readCommandLine(
    const std::vector<std::string>& arguments, const std::string& programFolder, const std::string& workingFolder = {});

} // namespace vexlo::app

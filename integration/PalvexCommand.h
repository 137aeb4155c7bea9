#pragma once
// The command lines of palvex-integration: the registration text that Vexlo
// passes, and the Nautilus scripts' call.
#include <ostream>
#include <string>
#include <vector>

namespace vexlo::integration {

struct Command {
    enum Action { Install, Remove, Help, Invalid } action = Install;
    bool silent = false;
    std::string library; // the quoted library path, when given (not used)
    std::string error;   // for Invalid
};

// Reads the arguments as one text of words (a double-quoted word may hold
// blanks): /u or --remove removes, /s is silent, /i or --install installs
// (the default), -h or --help; a quoted word or one ending in ".dll" names the
// library. Switches compare without regard to case; "-" may stand for "/".
Command parseCommand(const std::vector<std::string>& arguments);

// The files a Nautilus script was started for: its `arguments` (names
// relative to `cwd`, absolute paths or file:// addresses), which name each file
// exactly. (NAUTILUS_SCRIPT_SELECTED_FILE_PATHS is not read: a line break in a
// name would split it into other files' names.) Other addresses are skipped
// with a line on `errors`.
std::vector<std::string> scriptFiles(
    const std::vector<std::string>& arguments, const std::string& cwd, std::ostream& errors);

// The argument vector that starts Vexlo for a script of `profile` ("ADD" or a
// decimal profile number): <programFolder>vexlo, the profile words, the files.
// Empty when `profile` is neither.
std::vector<std::string> scriptCommand(
    const std::string& programFolder, const std::string& profile, const std::vector<std::string>& files);

} // namespace vexlo::integration

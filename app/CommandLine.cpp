#include "CommandLine.h"
#include "base/Paths.h"
#include "base/Text.h"

#include "FileRules.h"
#include "shellutil/ConvertPublic.h"

#include <filesystem>
#include <stdexcept>

namespace vexlo::app {

namespace {

bool existsOnDisk(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

} // namespace

CommandLineRequest readCommandLine(
    const std::vector<std::string>& arguments, const std::string& programFolder, const std::string& workingFolder)
{
    using Kind = CommandLineItem::Kind;
    CommandLineRequest request;
    const std::string working = paths::withTrailingSlash(workingFolder);
    const auto absolute
        = [&working](const std::string& path) { return (path.empty() || path[0] == '/') ? path : working + path; };
    std::string current = working;
    std::string base = working; // the last folder named by a prefix, else the working folder
    bool filesOnly = false;
    try {
        for (const std::string& arg : arguments) {
            if (!filesOnly && arg == "--") {
                filesOnly = true;
                continue;
            }
            if (!filesOnly && arg.size() >= 4 && arg.find(':') == 3) {
                // Profile prefix "002:<folder>" or folder prefix "ADD:<folder>".
                const std::string prefix = arg.substr(0, 3);
                if (text::asciiUpper(prefix) != "ADD")
                    request.formatIndex = parseCommandLineNumber(prefix);
                current = arg.substr(4);
                if (current.empty())
                    current = programFolder;
                current = paths::withTrailingSlash(absolute(current));
                base = current;
                continue;
            }
            if (!filesOnly && !arg.empty() && arg[0] == '-') {
                const std::string rest = arg.substr(1);
                if (shellutil::IsAllDigits(rest)) {
                    request.formatIndex = parseCommandLineNumber(rest);
                } else if (text::asciiUpper(rest) == "S") {
                    request.silent = true;
                    request.items.push_back({Kind::Silent, {}});
                } else {
                    // A folder that cannot be created is still taken.
                    request.items.push_back({Kind::CreateFolder, absolute(rest)});
                    request.destPath = paths::withTrailingSlash(absolute(rest));
                }
                continue;
            }
            // A file name or pattern. An absolute name stands as it is; a
            // relative one follows the last folder named, else the working
            // folder.
            std::string joined = (!arg.empty() && arg[0] == '/') ? arg : current + arg;
            // A shell hands over relative names as typed or expanded, each
            // from the working folder ("card/*.mts" gives card/a.mts
            // card/b.mts): a name that names no file after the last file's
            // folder but one from the working folder (or the folder a prefix
            // named) is that file.
            if (!arg.empty() && arg[0] != '/' && joined.find_first_of("*?") == std::string::npos
                && !existsOnDisk(joined)) {
                const std::string fromBase = base + arg;
                if (fromBase != joined && existsOnDisk(fromBase))
                    joined = fromBase;
            }
            if (!isSupportedVideoName(joined)) {
                request.items.push_back({Kind::Unsupported, joined});
                continue;
            }
            if (joined.find_first_of("*?") != std::string::npos) {
                request.items.push_back({Kind::AddPattern, joined});
            } else {
                request.items.push_back({Kind::AddFile, joined});
                // A name without a folder leaves the current folder unset, so
                // the next relative name is looked up in the working folder too.
                current = shellutil::folderPart(joined);
            }
        }
    } catch (const std::runtime_error& e) {
        request.error = e.what();
    }
    return request;
}

} // namespace vexlo::app

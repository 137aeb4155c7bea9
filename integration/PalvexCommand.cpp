#include "PalvexCommand.h"

#include "base/Paths.h"
#include "base/Text.h"

#include "FileManagerActions.h"

#include <algorithm>
#include <cctype>

namespace vexlo::integration {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = text::asciiLower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string percentDecoded(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

Command parseCommand(const std::vector<std::string>& arguments)
{
    Command command;
    struct Word {
        std::string text;
        bool quoted;
    };
    std::vector<Word> words;
    for (const std::string& arg : arguments) {
        size_t i = 0;
        while (i < arg.size()) {
            if (std::isspace(static_cast<unsigned char>(arg[i]))) {
                ++i;
                continue;
            }
            Word word{{}, false};
            while (i < arg.size() && !std::isspace(static_cast<unsigned char>(arg[i]))) {
                if (arg[i] == '"') {
                    word.quoted = true;
                    const size_t close = arg.find('"', i + 1);
                    const size_t end = close == std::string::npos ? arg.size() : close;
                    word.text += arg.substr(i + 1, end - i - 1);
                    i = close == std::string::npos ? arg.size() : close + 1;
                } else {
                    word.text += arg[i++];
                }
            }
            words.push_back(word);
        }
    }
    for (const Word& word : words) {
        const std::string w = text::asciiLower(word.text);
        if (word.quoted || (w.size() > 4 && w.compare(w.size() - 4, 4, ".dll") == 0)) {
            command.library = word.text;
        } else if (w == "/u" || w == "-u" || w == "--remove") {
            command.action = Command::Remove;
        } else if (w == "/i" || w == "-i" || w == "--install") {
            command.action = Command::Install;
        } else if (w == "/s" || w == "-s") {
            command.silent = true;
        } else if (w == "-h" || w == "--help" || w == "/?") {
            command.action = Command::Help;
            return command;
        } else {
            command.action = Command::Invalid;
            command.error = "unknown argument \"" + word.text + "\" (try --help)";
            return command;
        }
    }
    return command;
}

std::vector<std::string> scriptFiles(
    const std::vector<std::string>& arguments, const std::string& cwd, std::ostream& errors)
{
    std::vector<std::string> files;
    for (const std::string& arg : arguments) {
        if (arg.empty())
            continue;
        if (arg.front() == '/') {
            files.push_back(arg);
        } else if (text::asciiLower(arg.substr(0, 7)) == "file://") {
            // file:///path or file://localhost/path
            const size_t slash = arg.find('/', 7);
            if (slash != std::string::npos && (slash == 7 || text::asciiLower(arg.substr(7, slash - 7)) == "localhost"))
                files.push_back(percentDecoded(arg.substr(slash)));
            else
                errors << "palvex-integration: not a local file: " << arg << "\n";
        } else if (const size_t colon = arg.find("://"); colon != std::string::npos
                   && std::all_of(arg.begin(), arg.begin() + static_cast<long>(colon),
                       [](unsigned char c) { return std::isalnum(c) || c == '+' || c == '-' || c == '.'; })) {
            errors << "palvex-integration: not a local file: " << arg << "\n";
        } else {
            files.push_back(paths::withTrailingSlash(cwd) + arg);
        }
    }
    return files;
}

std::vector<std::string> scriptCommand(
    const std::string& programFolder, const std::string& profile, const std::vector<std::string>& files)
{
    int number = -1;
    if (text::asciiLower(profile) != "add") {
        const auto parsed = text::parseDecimal(profile, text::Signs::None, 0, 999'999'999);
        if (!parsed)
            return {};
        number = static_cast<int>(*parsed);
    }
    std::vector<std::string> command{programFolder + "vexlo"};
    for (const std::string& arg : vexloArguments(number))
        command.push_back(arg);
    command.insert(command.end(), files.begin(), files.end());
    return command;
}

} // namespace vexlo::integration

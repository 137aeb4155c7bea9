// fake-trevok: a scripted stand-in for the conversion engine, for tests.
//
// Install it as <program folder>/trevok (FakeEngine.h: installFakeEngine).
// Every call appends one line to the log and then performs the actions of its
// script line.
//
// Files (an environment variable overrides each default; <base> is the folder
// that holds the registry root $VEXLO_REGISTRY, e.g. the TestPlatform's root):
//   log     FAKE_TREVOK_LOG     default <base>/fake-trevok.log
//   script  FAKE_TREVOK_SCRIPT  default <base>/fake-trevok.script
//
// Log: one line per call, the arguments (argv[1], argv[2], ...) separated by a
// TAB. Inside an argument "\" is written "\\", a line feed "\n" and a TAB
// "\t", so a line is always one call. The number of lines already in the log
// is the call's number (0-based).
//
// Script: line k (0-based) scripts call k. A missing or blank line means
// "target flag=0". A line is a list of words performed left to right:
//   flag=TEXT    write TEXT (may be empty) as the AbortFlag
//   noflag       do not write the AbortFlag (it keeps its previous value)
//   target       write the target file (field 2 of argv[1]) as a copy of the
//                source (field 1): a real clip as source gives a result of
//                the same length; 16 bytes when the source cannot be read
//   target=half  ... with the first half of the source (a result that ends
//                early)
//   target=N     ... with N bytes that are no video (target=0: an empty file)
//   target=from:NAME  ... as a copy of the file NAME in the source's folder
//                (a result made by the test: fewer tracks, say)
//   swapsource=NAME  rename the source to NAME (in its folder) and write a
//                different file under the source's name, as a user who keeps
//                a clip and copies the next card's clip of that name does
//   dropcaches   write 2 to /proc/sys/vm/drop_caches (root only): the file
//                systems read their inodes again
//   say=TEXT     write "trevok: TEXT" and a line end on standard error, each
//                "_" of TEXT as a space
//   err=TEXT     the same without "trevok: " (ffmpeg's words that follow)
//   sleep=MS     sleep MS milliseconds
//   waitfor=NAME wait until the file NAME (in the source's folder) exists, at
//                most 60 s: the test decides when the engine ends
//   percent=N    keep N as the file's percentage in $TREVOK_PROGRESS_FILE
//                ("042\n", written in place, as the engine does)
//   exit=CODE    end at once with exit code CODE (flag as written so far)
//   crash        abort() at once (killed by SIGABRT)
//   kill         end at once through SIGKILL
// Unless the line holds a flag= or noflag word, "0" is written as the
// AbortFlag when the words have run, as the real engine does. The AbortFlag
// goes through platform::FolderRegistry at $VEXLO_REGISTRY, like the engine.
#include "platform/Registry.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string envOr(const char* name, const std::string& fallback)
{
    const char* v = std::getenv(name);
    return (v && *v) ? std::string(v) : fallback;
}

std::string baseFolder(const std::string& registryRoot)
{
    std::string r = registryRoot;
    while (r.size() > 1 && r.back() == '/')
        r.pop_back();
    const auto slash = r.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : r.substr(0, slash);
}

std::string escape(const std::string& s)
{
    std::string out;
    for (char c : s) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else
            out += c;
    }
    return out;
}

size_t countLines(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    size_t n = 0;
    std::string line;
    while (std::getline(in, line))
        ++n;
    return n;
}

std::string scriptLine(const std::string& path, size_t index)
{
    std::ifstream in(path, std::ios::binary);
    std::string line;
    for (size_t i = 0; std::getline(in, line); ++i) {
        if (i == index) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return line;
        }
    }
    return {};
}

// Field 2 of the engine's argument.
std::string targetOf(const std::string& argument)
{
    const auto first = argument.find('|');
    if (first == std::string::npos)
        return {};
    const auto second = argument.find('|', first + 1);
    return argument.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
}

// Field 1 of the engine's argument.
std::string sourceOf(const std::string& argument) { return argument.substr(0, argument.find('|')); }

} // namespace

int main(int argc, char** argv)
{
    const std::string registryRoot = vexlo::platform::defaultRegistryRoot();
    const std::string base = baseFolder(registryRoot);
    const std::string logPath = envOr("FAKE_TREVOK_LOG", base + "/fake-trevok.log");
    const std::string scriptPath = envOr("FAKE_TREVOK_SCRIPT", base + "/fake-trevok.script");

    const size_t call = countLines(logPath);
    {
        std::string line;
        for (int i = 1; i < argc; ++i) {
            if (i > 1)
                line += '\t';
            line += escape(argv[i]);
        }
        std::ofstream log(logPath, std::ios::binary | std::ios::app);
        log << line << '\n';
    }

    std::string script = scriptLine(scriptPath, call);
    if (script.find_first_not_of(" \t") == std::string::npos)
        script = "target flag=0";

    vexlo::platform::FolderRegistry registry(registryRoot);
    const auto writeFlag = [&](const std::string& text) {
        registry.writeValue(vexlo::platform::Hive::CurrentUser, vexlo::platform::kAbortFlagKey, "", text);
    };
    const std::string target = argc > 1 ? targetOf(argv[1]) : std::string();

    bool flagDecided = false;
    std::istringstream words(script);
    std::string word;
    while (words >> word) {
        const auto eq = word.find('=');
        const std::string key = word.substr(0, eq);
        const std::string value = eq == std::string::npos ? std::string() : word.substr(eq + 1);
        if (key == "flag") {
            writeFlag(value);
            flagDecided = true;
        } else if (key == "noflag") {
            flagDecided = true;
        } else if (key == "target") {
            std::string bytes;
            const bool from = value.starts_with("from:") && argc > 1;
            if (value.empty() || value == "half" || from) {
                const std::string source = argc > 1 ? sourceOf(argv[1]) : std::string();
                std::ifstream in(
                    from ? source.substr(0, source.rfind('/') + 1) + value.substr(5) : source, std::ios::binary);
                std::ostringstream copy;
                copy << in.rdbuf();
                bytes = copy.str();
                if (bytes.empty())
                    bytes = std::string(16, 'v');
                if (value == "half")
                    bytes.resize(bytes.size() / 2);
            } else {
                const long n = std::strtol(value.c_str(), nullptr, 10);
                bytes = std::string(static_cast<size_t>(n > 0 ? n : 0), 'v');
            }
            std::ofstream out(target, std::ios::binary | std::ios::trunc);
            out << bytes;
        } else if (key == "swapsource" && argc > 1) {
            const std::string source = sourceOf(argv[1]);
            const std::string folder = source.substr(0, source.rfind('/') + 1);
            std::rename(source.c_str(), (folder + value).c_str());
            std::ofstream(source, std::ios::binary) << "the next card's clip";
        } else if (key == "dropcaches") {
            std::ofstream("/proc/sys/vm/drop_caches") << "2\n";
        } else if (key == "say" || key == "err") {
            std::string line = value;
            std::replace(line.begin(), line.end(), '_', ' ');
            std::fprintf(stderr, "%s%s\n", key == "say" ? "trevok: " : "", line.c_str());
        } else if (key == "waitfor" && argc > 1) {
            const std::string source = sourceOf(argv[1]);
            const std::string path = source.substr(0, source.rfind('/') + 1) + value;
            for (int i = 0; i < 6000 && !std::ifstream(path); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } else if (key == "percent") {
            if (const char* file = std::getenv("TREVOK_PROGRESS_FILE"); file && *file) {
                char text[8];
                std::snprintf(text, sizeof text, "%03ld\n", std::strtol(value.c_str(), nullptr, 10));
                std::fstream out(file, std::ios::in | std::ios::out | std::ios::binary);
                out.write(text, 4);
            }
        } else if (key == "sleep") {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::strtol(value.c_str(), nullptr, 10)));
        } else if (key == "exit") {
            return static_cast<int>(std::strtol(value.c_str(), nullptr, 10));
        } else if (key == "crash") {
            std::abort();
        } else if (key == "kill") {
            std::raise(SIGKILL);
        }
    }
    if (!flagDecided)
        writeFlag("0");
    return 0;
}

#include "PassFolder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace vexlo::engine {

namespace {

constexpr std::string_view kPrefix = "trevok-passes-";

// The start time of process `pid` in clock ticks since boot (field 22 of
// /proc/<pid>/stat); nullopt when there is no such process.
std::optional<unsigned long long> startTicks(long pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%ld/stat", pid);
    std::FILE* f = std::fopen(path, "re");
    if (!f)
        return std::nullopt;
    char text[1024];
    const size_t n = std::fread(text, 1, sizeof text - 1, f);
    std::fclose(f);
    text[n] = '\0';
    // The command name (field 2) may hold spaces and brackets: count from
    // its closing bracket, which is the last one.
    const std::string_view line(text, n);
    const size_t close = line.rfind(')');
    if (close == std::string_view::npos)
        return std::nullopt;
    unsigned long long ticks = 0;
    // Fields 3 to 21 are skipped, then field 22.
    if (std::sscanf(text + close + 1,
            " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u %*d %*d %*d %*d %*d %*d %llu", &ticks)
        != 1)
        return std::nullopt;
    return ticks;
}

std::string ownName()
{
    const long pid = long(::getpid());
    return std::string(kPrefix) + std::to_string(pid) + "-" + std::to_string(startTicks(pid).value_or(0)) + "-";
}

} // namespace

std::string temporaryFolder()
{
    struct stat st {};
    if (const char* t = std::getenv("TMPDIR"); t && *t == '/' && ::stat(t, &st) == 0 && S_ISDIR(st.st_mode))
        return t;
    return "/tmp";
}

PassFolder::~PassFolder() { remove(); }

bool PassFolder::create(std::string& error, uint64_t needed)
{
    const std::string folder = temporaryFolder();
    if (const auto room = roomIn(folder); room && *room < needed) {
        const auto kb = [](uint64_t bytes) { return std::to_string((bytes + 1023) / 1024) + " KB"; };
        error = "the first pass's statistics need about " + kb(needed) + " in " + folder + ", which has room for "
            + kb(*room) + " (free some, or name another folder in $TMPDIR)";
        return false;
    }
    std::string path = folder + "/" + ownName() + "XXXXXX";
    if (!::mkdtemp(path.data())) {
        error = "no folder for the first pass's statistics could be made in " + folder;
        return false;
    }
    m_path = path;
    return true;
}

std::string PassFolder::logPrefix() const
{
    return (m_path.empty() ? temporaryFolder() + "/" + ownName() + "XXXXXX" : m_path) + "/pass";
}

void PassFolder::remove()
{
    if (m_path.empty())
        return;
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
    m_path.clear();
}

uint64_t statisticsRoom(double pictures)
{
    const double records = std::max(pictures, 0.0) + 1;
    return uint64_t(records * 278) + 3 * 4096;
}

std::optional<uint64_t> roomIn(const std::string& folder)
{
    struct statvfs fs {};
    // Some FUSE file systems tell no size at all.
    if (::statvfs(folder.c_str(), &fs) != 0 || fs.f_blocks == 0)
        return std::nullopt;
    return uint64_t(::geteuid() == 0 ? fs.f_bfree : fs.f_bavail) * fs.f_frsize;
}

void removeDeadPassFolders(const std::string& tempFolder)
{
    DIR* dir = ::opendir(tempFolder.c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.substr(0, kPrefix.size()) != kPrefix)
            continue;
        long pid = 0;
        unsigned long long ticks = 0;
        int used = 0;
        if (std::sscanf(entry->d_name + kPrefix.size(), "%ld-%llu-%n", &pid, &ticks, &used) != 2 || used == 0)
            continue;
        const auto running = startTicks(pid);
        if (running && (*running == ticks || ticks == 0))
            continue; // its engine still runs (or may: its start was not known)
        const std::string path = tempFolder + "/" + entry->d_name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
            continue;
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    ::closedir(dir);
}

} // namespace vexlo::engine

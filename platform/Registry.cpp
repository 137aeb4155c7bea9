// The registry stand-in: HKEY_CURRENT_USER as a folder tree, HKEY_CLASSES_ROOT
// from the MIME database and the icon theme.
#include "Registry.h"

#include "base/Paths.h"
#include "base/Text.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QString>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace vexlo::platform {

using text::asciiEqualNoCase;

namespace {

constexpr char kHiveFolder[] = "HKEY_CURRENT_USER";
constexpr char kDefaultValueFile[] = "@";
// Temporary files of atomic writes start with "%t": every '%' of an encoded
// name is followed by two hex digits, so no key or value can be named like them.
constexpr char kTempPrefix[] = "%tmp.";

// The entry of `folder` (ending with "/") named `name`: the exact name when it
// exists with the wanted kind, else the first entry equal without regard to
// ASCII case. nullopt when there is none.
std::optional<std::string> findEntry(const std::string& folder, const std::string& name, bool wantFolder)
{
    auto hasKind = [wantFolder](const std::string& path) {
        return wantFolder ? paths::isFolder(path) : paths::isRegularFile(path);
    };
    if (hasKind(folder + name))
        return name;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return std::nullopt;
    std::optional<std::string> found;
    while (dirent* entry = ::readdir(dir)) {
        const std::string entryName = entry->d_name;
        if (entryName == "." || entryName == "..")
            continue;
        if (asciiEqualNoCase(entryName, name) && hasKind(folder + entryName)) {
            found = entryName;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

bool makeFolder(const std::string& path)
{
    if (::mkdir(path.c_str(), 0777) == 0)
        return true;
    return errno == EEXIST && paths::isFolder(path);
}

bool makeFolders(const std::string& path)
{
    // `path` ends with "/"; create every missing folder along it.
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (!paths::isFolder(prefix) && !makeFolder(prefix))
            return false;
    }
    return true;
}

bool writeAll(int fd, std::string_view text)
{
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

std::optional<std::string> readWholeFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return text;
}

std::string homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/tmp";
}

} // namespace

std::string encodeRegistryName(std::string_view name)
{
    if (name == "." || name == "..") {
        std::string out;
        for (size_t i = 0; i < name.size(); ++i)
            out += "%2E";
        return out;
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(name.size());
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '%' || b == '/' || b < 0x20 || b == 0x7F) {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

std::string decodeRegistryName(std::string_view encoded)
{
    auto hexValue = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    std::string out;
    out.reserve(encoded.size());
    for (size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '%' && i + 2 < encoded.size()) {
            const int hi = hexValue(encoded[i + 1]);
            const int lo = hexValue(encoded[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += encoded[i];
    }
    return out;
}

std::vector<std::string> splitRegistryKey(std::string_view key)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= key.size()) {
        size_t end = key.find('\\', start);
        if (end == std::string_view::npos)
            end = key.size();
        if (end > start)
            parts.emplace_back(key.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string valueFileName(std::string_view name)
{
    if (name.empty())
        return kDefaultValueFile;
    std::string encoded = encodeRegistryName(name);
    // A named value "@" must not take the place of the default value.
    if (encoded == kDefaultValueFile)
        return "%40";
    return encoded;
}

namespace {

// True when `path` exists as a folder we may write to, or the nearest part of
// it that exists is one (so the rest can be created).
bool treeWritable(std::string path)
{
    for (;;) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0)
            return S_ISDIR(st.st_mode) && ::access(path.c_str(), W_OK | X_OK) == 0;
        const size_t slash = path.rfind('/');
        if (errno != ENOENT || slash == std::string::npos)
            return false;
        path = slash == 0 ? std::string("/") : path.substr(0, slash);
    }
}

// A folder of this user's alone: ours, no link, no access for others.
bool privateFolder(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid()
        && (st.st_mode & 077) == 0;
}

// <tmp>/vexlo-<uid>, made private; the next free variant when someone else
// holds that name. Decided the same way by every process of the user.
std::string privateTemporaryFolder()
{
    std::string tmp = "/tmp";
    if (const char* t = std::getenv("TMPDIR"); t && *t == '/' && paths::isFolder(t))
        tmp = paths::withoutTrailingSlashes(t);
    const std::string base = tmp + "/vexlo-" + std::to_string(::geteuid());
    for (int n = 0; n < 100; ++n) {
        const std::string folder = n == 0 ? base : base + "-" + std::to_string(n);
        ::mkdir(folder.c_str(), 0700);
        if (privateFolder(folder))
            return folder;
    }
    return base;
}

} // namespace

std::string defaultRegistryRoot()
{
    if (const char* env = std::getenv("VEXLO_REGISTRY"); env && *env)
        return env;
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        config = xdg;
    else if (const std::string home = homeFolder(); !home.empty())
        config = home + "/.config";
    while (config.size() > 1 && config.back() == '/')
        config.pop_back();
    if (!config.empty() && treeWritable(config + "/vexlo/registry"))
        return config + "/vexlo/registry";
    // No usable home (a service account, a read-only home): the engine's
    // report is kept where this user may write, for the session or below the
    // temporary folder.
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime && *runtime == '/' && privateFolder(runtime) && treeWritable(std::string(runtime) + "/vexlo/registry"))
        return paths::withoutTrailingSlashes(runtime) + "/vexlo/registry";
    return privateTemporaryFolder() + "/registry";
}

FolderRegistry::FolderRegistry(std::string root, const Registry* classesRoot)
    : m_root(std::move(root)), m_classesRoot(classesRoot)
{
    while (m_root.size() > 1 && m_root.back() == '/')
        m_root.pop_back();
}

// The folder of an existing key, with a trailing "/".
std::optional<std::string> FolderRegistry::findKeyFolder(std::string_view key) const
{
    std::string folder = m_root + "/" + kHiveFolder + "/";
    if (!paths::isFolder(folder))
        return std::nullopt;
    for (const std::string& part : splitRegistryKey(key)) {
        const auto entry = findEntry(folder, encodeRegistryName(part), true);
        if (!entry)
            return std::nullopt;
        folder += *entry + "/";
    }
    return folder;
}

bool FolderRegistry::keyExists(Hive hive, std::string_view key) const
{
    if (hive == Hive::ClassesRoot)
        return m_classesRoot && m_classesRoot->keyExists(hive, key);
    return findKeyFolder(key).has_value();
}

std::optional<std::string> FolderRegistry::readValue(Hive hive, std::string_view key, std::string_view name) const
{
    if (hive == Hive::ClassesRoot)
        return m_classesRoot ? m_classesRoot->readValue(hive, key, name) : std::nullopt;
    const auto folder = findKeyFolder(key);
    if (!folder)
        return std::nullopt;
    const auto file = findEntry(*folder, valueFileName(name), false);
    if (!file)
        return std::nullopt;
    return readWholeFile(*folder + *file);
}

bool FolderRegistry::createKey(Hive hive, std::string_view key)
{
    if (hive != Hive::CurrentUser)
        return false;
    std::string folder = m_root + "/" + kHiveFolder + "/";
    if (!makeFolders(folder))
        return false;
    for (const std::string& part : splitRegistryKey(key)) {
        const std::string encoded = encodeRegistryName(part);
        if (const auto entry = findEntry(folder, encoded, true)) {
            folder += *entry + "/";
            continue;
        }
        folder += encoded;
        if (!makeFolder(folder))
            return false;
        folder += "/";
    }
    return true;
}

bool FolderRegistry::writeValue(Hive hive, std::string_view key, std::string_view name, std::string_view text)
{
    if (hive != Hive::CurrentUser || !createKey(hive, key))
        return false;
    const auto folder = findKeyFolder(key);
    if (!folder)
        return false;
    const std::string wanted = valueFileName(name);
    const std::string fileName = findEntry(*folder, wanted, false).value_or(wanted);
    const std::string target = *folder + fileName;
    if (paths::isFolder(target))
        return false; // a subkey of that name is in the way

    static std::atomic<unsigned> counter{0};
    const std::string temp
        = *folder + kTempPrefix + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1));
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(temp.c_str(), target.c_str()) == 0)
        return true;
    ::unlink(temp.c_str());
    return false;
}

bool FolderRegistry::deleteValue(Hive hive, std::string_view key, std::string_view name)
{
    if (hive != Hive::CurrentUser)
        return !readValue(hive, key, name).has_value();
    const auto folder = findKeyFolder(key);
    if (!folder)
        return true;
    // Names compare without regard to case, so several files may answer.
    while (const auto file = findEntry(*folder, valueFileName(name), false)) {
        if (::unlink((*folder + *file).c_str()) != 0 && errno != ENOENT)
            return false;
    }
    return true;
}

} // namespace vexlo::platform

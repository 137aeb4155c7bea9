#include "DesktopApps.h"

#include "base/Paths.h"
#include "base/Text.h"

#include "Product.h"
#include "UserFolders.h"

#include <QFile>
#include <QMimeDatabase>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace vexlo::platform {

namespace {

namespace fs = std::filesystem;

std::string trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The items of a ";"-list value, blanks around them left out.
std::vector<std::string> listItems(const std::string& value)
{
    std::vector<std::string> items;
    for (const std::string_view part : text::splitList(value))
        if (std::string item = trimmed(std::string(part)); !item.empty())
            items.push_back(std::move(item));
    return items;
}

// The keys of the groups of a key file (desktop entry or mimeapps.list):
// group name -> key -> value. The first occurrence of a key wins.
using KeyFile = std::map<std::string, std::map<std::string, std::string>>;

KeyFile readKeyFile(const std::string& path)
{
    KeyFile groups;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::string group;
    while (std::getline(in, line)) {
        line = trimmed(line);
        if (line.empty() || line[0] == '#')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            group = line.substr(1, line.size() - 2);
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos || group.empty())
            continue;
        groups[group].emplace(trimmed(line.substr(0, eq)), trimmed(line.substr(eq + 1)));
    }
    return groups;
}

struct Application {
    std::vector<std::string> mimeTypes;
    bool usable = false; // an application entry that is not hidden
};

// Installed desktop entries by desktop id ("kde-foo.desktop" for
// applications/kde/foo.desktop); the first data folder that holds an id wins.
std::map<std::string, Application> installedApplications(const std::vector<std::string>& dataFolders)
{
    std::map<std::string, Application> apps;
    for (const std::string& data : dataFolders) {
        const fs::path base = fs::path(data) / "applications";
        std::error_code ec;
        if (!fs::is_directory(base, ec))
            continue;
        for (auto it = fs::recursive_directory_iterator(base, fs::directory_options::skip_permission_denied, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (it->path().extension() != ".desktop" || !it->is_regular_file(ec))
                continue;
            std::string id = fs::relative(it->path(), base, ec).generic_string();
            std::replace(id.begin(), id.end(), '/', '-');
            if (apps.count(id))
                continue;
            const KeyFile file = readKeyFile(it->path().string());
            Application app;
            if (const auto group = file.find("Desktop Entry"); group != file.end()) {
                const auto& keys = group->second;
                const auto value = [&keys](const char* key) {
                    const auto found = keys.find(key);
                    return found == keys.end() ? std::string() : found->second;
                };
                app.usable = value("Type") == "Application" && value("Hidden") != "true";
                app.mimeTypes = listItems(value("MimeType"));
            }
            apps.emplace(id, std::move(app));
        }
    }
    return apps;
}

} // namespace

bool desktopHasApplicationFor(const std::vector<std::string>& mimeTypes)
{
    const std::string config = configHome();
    const std::string data = dataHome();
    std::vector<std::string> dataFolders{data};
    for (const std::string& folder : xdgSearchFolders("XDG_DATA_DIRS", {"/usr/local/share", "/usr/share"}))
        dataFolders.push_back(folder);
    std::vector<std::string> listFolders{config};
    for (const std::string& folder : xdgSearchFolders("XDG_CONFIG_DIRS", {"/etc/xdg"}))
        listFolders.push_back(folder);
    for (const std::string& folder : dataFolders)
        listFolders.push_back(folder + "/applications");

    // Desktop-specific lists come before the general one in each folder.
    std::vector<std::string> listNames;
    if (const char* desktops = std::getenv("XDG_CURRENT_DESKTOP"); desktops && *desktops) {
        for (const std::string_view name : text::splitList(desktops, ':'))
            listNames.push_back(text::asciiLower(std::string(name)) + "-mimeapps.list");
    }
    listNames.push_back("mimeapps.list");

    const std::map<std::string, Application> apps = installedApplications(dataFolders);
    const auto installed = [&apps](const std::string& id) {
        const auto found = apps.find(id);
        return found != apps.end() && found->second.usable;
    };
    const std::set<std::string> wanted(mimeTypes.begin(), mimeTypes.end());
    std::set<std::string> removed;
    for (const std::string& folder : listFolders) {
        for (const std::string& name : listNames) {
            const KeyFile list = readKeyFile(folder + "/" + name);
            for (const char* group : {"Default Applications", "Added Associations"}) {
                const auto entries = list.find(group);
                if (entries == list.end())
                    continue;
                for (const std::string& type : wanted) {
                    const auto ids = entries->second.find(type);
                    if (ids == entries->second.end())
                        continue;
                    for (const std::string& id : listItems(ids->second)) {
                        if (installed(id) && !removed.count(id))
                            return true;
                    }
                }
            }
            if (const auto entries = list.find("Removed Associations"); entries != list.end()) {
                for (const std::string& type : wanted) {
                    if (const auto ids = entries->second.find(type); ids != entries->second.end()) {
                        for (const std::string& id : listItems(ids->second))
                            removed.insert(id);
                    }
                }
            }
        }
    }
    for (const auto& [id, app] : apps) {
        if (!app.usable || removed.count(id))
            continue;
        for (const std::string& type : app.mimeTypes) {
            if (wanted.count(type))
                return true;
        }
    }
    return false;
}

namespace {

std::vector<std::string> typeNamesOf(const std::string& path)
{
    const QMimeDatabase database;
    const QMimeType type = database.mimeTypeForFile(paths::toQString(path), QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault())
        return {};
    std::vector<std::string> names{type.name().toStdString()};
    for (const QString& alias : type.aliases())
        names.push_back(alias.toStdString());
    return names;
}

} // namespace

bool desktopCanOpen(const std::string& path)
{
    const std::vector<std::string> names = typeNamesOf(path);
    return !names.empty() && desktopHasApplicationFor(names);
}

std::string helpDocument(const std::string& programFolder)
{
    const std::string compiled = programFolder + product::kHelpFile;
    // The compiled help's type under both its names, whatever MIME database
    // is at hand.
    std::vector<std::string> types{"application/vnd.ms-htmlhelp", "application/x-chm"};
    for (const std::string& name : typeNamesOf(compiled))
        types.push_back(name);
    if (desktopHasApplicationFor(types))
        return compiled;
    const std::string pages = programFolder + "help/index.htm";
    if (paths::isRegularFile(pages))
        return pages;
    return compiled;
}

} // namespace vexlo::platform

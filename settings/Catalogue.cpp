#include "Catalogue.h"

#include "RunSettings.h"
#include "platform/UserFolders.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <mutex>
#include <set>

namespace vexlo::settings {

std::vector<std::string> catalogueTitles(const IniDocument& doc)
{
    std::vector<std::string> titles;
    for (int32_t n = 0; n < INT32_MAX; ++n) {
        std::string title = doc.readText(profileSectionName(n), "Title", "");
        if (title.empty())
            break;
        titles.push_back(std::move(title));
    }
    return titles;
}

std::vector<int> favouriteFormats(const IniDocument& doc)
{
    const size_t count = catalogueTitles(doc).size();
    std::set<int> chosen;
    if (const std::optional<std::string> list = doc.value("Options", kFavouriteFormatsKey)) {
        for (size_t from = 0; from <= list->size();) {
            const size_t comma = std::min(list->find(',', from), list->size());
            if (const auto n = parseIniInteger(std::string_view(*list).substr(from, comma - from)))
                chosen.insert(*n);
            from = comma + 1;
        }
    } else {
        chosen.insert(doc.readInteger("Options", "OutputFormat", 0));
    }
    std::vector<int> favourites;
    for (int n : chosen) {
        if (n >= 0 && size_t(n) < count)
            favourites.push_back(n);
    }
    return favourites;
}

std::string favouriteFormatsText(const std::vector<int>& numbers)
{
    std::string text;
    for (int n : numbers)
        text += (text.empty() ? "" : ",") + std::to_string(n);
    return text;
}

int extendCatalogue(IniDocument& doc, const IniDocument& shipped)
{
    const int32_t have = int32_t(catalogueTitles(doc).size());
    const int32_t offered = int32_t(catalogueTitles(shipped).size());
    for (int32_t n = have; n < offered; ++n) {
        const std::string section = profileSectionName(n);
        for (const std::string& key : shipped.allKeys(section)) {
            if (!doc.value(section, key))
                doc.setValue(section, key, shipped.value(section, key).value_or(""));
        }
    }
    return offered > have ? offered - have : 0;
}

namespace {

// The placement, with a per-user file brought up to the shipped catalogue.
platform::SettingsPlacement placeAndUpgrade(const std::string& executablePath)
{
    platform::SettingsPlacement placement = platform::settingsPlacementFor(executablePath);
    const std::string& path = placement.path;
    if (!placement.perUser || placement.readOnly)
        return placement; // the catalogue itself, or nothing to upgrade
    static std::mutex mutex;
    static std::set<std::string> looked;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!looked.insert(path).second)
            return placement;
    }
    try {
        const IniDocument shipped = IniFile(placement.catalogue).load();
        const size_t offered = catalogueTitles(shipped).size();
        IniFile file(path);
        // Read first: a file that is up to date is not written at all.
        if (offered > catalogueTitles(file.load()).size())
            file.update([&](IniDocument& doc) { extendCatalogue(doc, shipped); });
    } catch (const SettingsError&) {
        // Unreadable or unwritable: the run goes on with the profiles it has.
    }
    return placement;
}

} // namespace

std::string settingsFilePathFor(const std::string& executablePath) { return placeAndUpgrade(executablePath).path; }

IniFile settingsFileFor(const std::string& executablePath)
{
    const platform::SettingsPlacement placement = placeAndUpgrade(executablePath);
    if (placement.readOnly)
        return IniFile(placement.path, placement.catalogue);
    return IniFile(placement.path);
}

} // namespace vexlo::settings

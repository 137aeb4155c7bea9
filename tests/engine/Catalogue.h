#pragma once
// The installed profile catalogue (data/vexlo.ini) read by the program's own
// settings reader and handed over as the program's run hands it to trevok:
// the profile's settings, the engine's argument text, and the engine's
// reading of that text.
#include "conversion/ConversionJob.h"
#include "engine/EngineArgument.h"
#include "settings/Catalogue.h"
#include "settings/IniFile.h"
#include "settings/RunSettings.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

namespace vexlo::engine::test {

struct CatalogueProfile {
    int number = 0;
    std::string title;
    EngineRequest request; // source and target left empty
    std::string fileType;  // ".mp4"
};

// Profiles 0, 1, ... up to the first section without a title.
inline std::vector<CatalogueProfile> loadCatalogue(const std::string& path)
{
    const settings::IniDocument doc = settings::IniFile(path).load();
    const std::vector<std::string> titles = settings::catalogueTitles(doc);
    std::vector<CatalogueProfile> out;
    for (int n = 0; n < int(titles.size()); ++n) {
        settings::RunSettings rs;
        settings::loadProfileSettings(doc, n, rs);
        const auto parsed = parseEngineArgument(conversion::buildEngineArgument("/in/source", "/out/target", rs, 'S'));
        if (const auto* refused = std::get_if<ArgumentError>(&parsed)) {
            ADD_FAILURE() << titles[size_t(n)] << ": " << refused->message;
            continue;
        }
        CatalogueProfile p{n, titles[size_t(n)], std::get<EngineRequest>(parsed), rs.FileType};
        p.request.source.clear();
        p.request.target.clear();
        out.push_back(std::move(p));
    }
    return out;
}

inline std::vector<CatalogueProfile> installedCatalogue()
{
    return loadCatalogue(std::string(VEXLO_SOURCE_DIR) + "/data/vexlo.ini");
}

} // namespace vexlo::engine::test

#pragma once
// The installed profile catalogue (data/vexlo.ini) read as the engine's
// caller reads it, so that the suites hand trevok the arguments a run would.
#include "engine/EngineArgument.h"

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace vexlo::engine::test {

struct CatalogueProfile {
    int number = 0;
    std::string title;
    EngineRequest request; // source and target left empty
    std::string fileType;  // ".mp4"
};

inline std::string trimmed(std::string s)
{
    const auto b = s.find_first_not_of(" \t\r");
    const auto e = s.find_last_not_of(" \t\r");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// Profiles 0, 1, ... up to the first section without a Title.
inline std::vector<CatalogueProfile> loadCatalogue(const std::string& path)
{
    std::ifstream in(path);
    std::map<std::string, std::map<std::string, std::string>> sections;
    std::string line, section;
    while (std::getline(in, line)) {
        line = trimmed(line);
        if (line.empty() || line[0] == ';')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            continue;
        }
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            sections[section].try_emplace(trimmed(line.substr(0, eq)), trimmed(line.substr(eq + 1)));
    }
    std::vector<CatalogueProfile> out;
    for (int n = 0;; ++n) {
        auto& keys = sections["VideoFormat" + std::to_string(n)];
        auto get = [&](const char* key, const std::string& def) {
            const auto it = keys.find(key);
            return it == keys.end() ? def : it->second;
        };
        if (get("Title", "").empty())
            break;
        CatalogueProfile p;
        p.number = n;
        p.title = get("Title", "");
        p.fileType = get("FileType", ".mp4");
        EngineRequest& r = p.request;
        r.videoFormat = get("VideoFormat", "");
        r.audioFormat = get("AudioFormat", "ACC");
        // "Up to W x H" is handed over as -W x -H.
        std::string size = get("FrameSize", "320 x 240");
        const bool bound = size.rfind("Up to ", 0) == 0;
        if (bound)
            size = size.substr(6);
        const auto x = size.find('x');
        const int sign = bound ? -1 : 1;
        r.frameWidth = x == std::string::npos ? 0 : sign * std::stoi(size.substr(0, x));
        r.frameHeight = x == std::string::npos ? 0 : sign * std::stoi(size.substr(x + 1));
        r.videoBitrate = std::stoi(get("VideoBitrate", "512"));
        const std::string rate = get("Framerate", "Same as source file");
        r.frameRate = rate == "Same as source file" || rate.empty() ? "0" : rate;
        r.channelCount = std::stoi(get("Channels", "1")) + 1;
        r.audioBitrate = std::stoi(get("AudioBitrate", "128"));
        r.sampleRate = std::stoi(get("SampleBitrate", "44100"));
        r.isPsp = std::stoi(get("IsPSP", "0"));
        r.marker = Marker::Silent;
        out.push_back(p);
    }
    return out;
}

inline std::vector<CatalogueProfile> installedCatalogue()
{
    return loadCatalogue(std::string(VEXLO_SOURCE_DIR) + "/data/vexlo.ini");
}

} // namespace vexlo::engine::test

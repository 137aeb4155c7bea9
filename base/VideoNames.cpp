#include "VideoNames.h"

#include "Text.h"

#include <algorithm>

namespace vexlo::videonames {

std::vector<std::string> acceptedVideoExtensions()
{
    std::vector<std::string> extensions;
    for (const std::string_view list : {SupportedVideoPatterns, ModernVideoPatterns})
        for (const std::string_view mask : text::splitList(list)) {
            std::string ext = text::asciiLower(std::string(mask.substr(mask.find('.') + 1)));
            if (std::find(extensions.begin(), extensions.end(), ext) == extensions.end())
                extensions.push_back(std::move(ext));
        }
    return extensions;
}

std::string acceptedVideoMasks()
{
    std::string masks;
    for (const std::string& ext : acceptedVideoExtensions()) {
        masks += (masks.empty() ? "*." : ";*.") + ext;
        if (const std::string upper = text::asciiUpper(ext); upper != ext)
            masks += ";*." + upper;
    }
    return masks;
}

const std::vector<std::string>& acceptedVideoMimeTypes()
{
    // AVI under both names: shared-mime-info 2.4 (Debian 13) calls it
    // video/vnd.avi, with video/x-msvideo an alias; older ones the other way round.
    static const std::vector<std::string> types{"video/mp2t", "video/x-msvideo", "video/vnd.avi", "video/x-ms-wmv",
        "video/mpeg", "video/quicktime", "video/x-ms-asf", "application/vnd.ms-asf", "audio/x-ms-wma", "video/mp4",
        "video/3gpp", "video/3gpp2", "video/dvd", "video/x-matroska", "video/webm", "video/x-flv", "video/dv",
        "video/ogg", "application/mxf"};
    return types;
}

} // namespace vexlo::videonames

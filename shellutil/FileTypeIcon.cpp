#include "FileTypeIcon.h"

#include "ConvertPublic.h"
#include "base/Paths.h"
#include "platform/Services.h"

namespace vexlo::shellutil {

QImage GetFileTypeIcon(const std::string& FileName, int FallbackIndex)
{
    std::string iconFile = FileName;
    int index = 0;
    if (FileName.rfind("*.", 0) == 0) {
        const IconLocation location = GetDefaultIconLocation(FileName);
        iconFile = location.Path;
        index = location.Index;
    }
    const platform::Desktop* desktop = platform::services().desktop;
    if (!desktop)
        return {};
    if (iconFile.empty() || !fileExists(iconFile)) {
        iconFile = paths::withTrailingSlash(desktop->systemDirectory()) + "SHELL32.dll";
        index = FallbackIndex;
    }
    return desktop->extractIcon(iconFile, index);
}

} // namespace vexlo::shellutil

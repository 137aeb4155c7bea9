#pragma once
// The icon of a file type, for the windows that list files.
#include <QImage>

#include <string>

namespace vexlo::shellutil {

// A small (16 x 16) icon for a file path or an extension pattern ("*.ext"); a
// null image when none could be extracted. The icon file is found through
// GetDefaultIconLocation (ConvertPublic.h); when there is none, icon
// `FallbackIndex` of the system's generic icons stands in.
QImage GetFileTypeIcon(const std::string& FileName, int FallbackIndex);

} // namespace vexlo::shellutil

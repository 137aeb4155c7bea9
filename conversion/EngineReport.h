#pragma once
// What the engine said on its standard error, read for the user.
#include <string>

namespace vexlo::conversion {

// Why the engine failed, from the end of its standard error: its last own
// line ("trevok: ...") without that prefix and the lines after it (ffmpeg's
// last words), at most 12, progress lines left out. Empty when it said
// nothing or that the file was cancelled.
std::string engineFailure(const std::string& errorOutput);

// The last line that is not empty.
std::string lastLine(const std::string& text);

} // namespace vexlo::conversion

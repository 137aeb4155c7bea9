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

// The common reasons of a failure (`why` as engineFailure gives it) in plain
// words of the user's language: the file is empty, damaged or not a video,
// has no pictures, the disk is full, the folder cannot be written. Empty for
// any other reason, which is then shown in the engine's own words.
std::string plainReason(const std::string& why, const std::string& source);

} // namespace vexlo::conversion

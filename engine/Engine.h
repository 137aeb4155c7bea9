#pragma once
// The engine program: `trevok "<13 fields>"`. Reads the argument, converts the
// source into the target with ffmpeg, shows its progress, and writes the
// AbortFlag before it ends (0 complete, 1 stop the run, 2 failed or cancelled).
#include <string>

namespace vexlo::engine {

// Exit statuses.
inline constexpr int kExitComplete = 0;
inline constexpr int kExitFailed = 2;
// Converted, but the source's data ended before its declared length (a cut
// copy): the converted part is kept, the AbortFlag says 0 (1 after "Stop
// after this file"), and the caller keeps the source.
inline constexpr int kExitIncomplete = 3;

// "the source is incomplete: 2.0 of 4.0 s converted" when the target's
// running time falls short of the source's (isShortOf); "" otherwise.
std::string incompleteSource(const std::string& target, double sourceSeconds);

// Writes the AbortFlag (the default value of platform::kAbortFlagKey under
// HKEY_CURRENT_USER of the registry stand-in at platform::defaultRegistryRoot()).
// False when it cannot be written.
bool writeAbortFlag(int value);

// True when a window can be shown: a DISPLAY or WAYLAND_DISPLAY is set and
// QT_QPA_PLATFORM does not name a platform without a screen ("offscreen",
// "minimal").
bool displayPresent();

// The whole program; returns the exit status.
int runEngine(int argc, char** argv);

} // namespace vexlo::engine

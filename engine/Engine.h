#pragma once
// The engine program: `trevok "<13 fields>"`. Reads the argument, converts the
// source into the target with ffmpeg, shows its progress, and writes the
// AbortFlag before it ends (0 complete, 1 stop the run, 2 failed or cancelled).
// Its exit statuses are those of base/EngineContract.h.
#include <optional>
#include <string>

namespace vexlo::engine {

// "the source is incomplete: 2.0 of 4.0 s converted" when the target's
// running time (`converted`; nullopt: not known) falls short of the source's
// (contract::isShortOf), or when the source's data was seen to end early
// (`endedEarly`, ffmpeg's line: the source's index promised more); ""
// otherwise.
std::string incompleteSource(std::optional<double> converted, double sourceSeconds, const std::string& endedEarly = {});

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

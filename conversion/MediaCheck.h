#pragma once
// What a finished file holds, read with ffmpeg's demuxing library, to check a
// result against its source before the source may go. The library is loaded
// at the first check, not at the program's start (it pulls in every codec
// library, a tenth of a second on each start of a program that links it).
#include <cstdint>
#include <string>

namespace vexlo::conversion {

struct MediaFacts {
    bool readable = false;
    double durationSeconds = 0; // 0: not known
    bool video = false;         // a picture stream that is not a cover picture
    bool audio = false;
    std::string error; // why the file does not read
};

MediaFacts readMediaFacts(const std::string& path);

// How far a result's running time may lie from its source's: 0.5 s (the
// frame and audio-frame rounding of a rate change, an encoder's priming)
// plus 1 % of the source's length.
double durationTolerance(double sourceSeconds);

// The result holds the source's running time within the tolerance and the
// kinds of streams the source has. False with the reason in `why` (in
// English; the caller words it for the user).
enum class ResultVerdict : uint8_t {
    Complete,
    Unreadable,    // not a media file the library reads
    MissingStream, // pictures or sound of the source are not there
    Shorter,       // ends early (an incomplete source, an engine that stopped)
    Longer,        // runs beyond the source (damaged time stamps)
    SourceUnknown, // the source's own length is not known: cannot be checked
};
ResultVerdict judgeResult(const MediaFacts& source, const MediaFacts& result);

} // namespace vexlo::conversion

#pragma once
// What a finished file holds, read with ffmpeg's demuxing library, to check a
// result against its source before the source may go. The library is loaded
// at the first check, not at the program's start (it pulls in every codec
// library, a tenth of a second on each start of a program that links it).
#include <cstdint>
#include <string>
#include <vector>

namespace vexlo::conversion {

struct MediaFacts {
    bool readable = false;
    double durationSeconds = 0; // 0: not known
    bool video = false;         // a picture stream that is not a cover picture
    bool audio = false;
    // The tracks a user would miss: picture streams (cover pictures left
    // out), sound tracks, subtitle tracks; streams of a kind the library does
    // not know are not counted.
    int videoStreams = 0;
    int audioStreams = 0;
    int subtitleStreams = 0;
    std::string error; // why the file does not read
};

MediaFacts readMediaFacts(const std::string& path);

// Loads ffmpeg's demuxing library for the checks (once). False, with a text
// that names the library and the loader's reason, when it cannot be loaded:
// no result can then be checked, and no run may start.
bool mediaCheckAvailable(std::string& error);

// The library's file names, replaceable by tests before the first check (a
// name that does not load makes the check unavailable).
struct MediaLibraryNames {
    std::string util;
    std::string format;
};
MediaLibraryNames defaultMediaLibraryNames();
// Forgets a loaded binding and loads `names` at the next check.
void reloadMediaLibraryForTest(const MediaLibraryNames& names);

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

// The tracks of the source that a result does not hold (a profile that
// carries one sound track, picture subtitles into MP4, a second picture
// stream): each kind with the result's and the source's count.
struct TrackCount {
    enum Kind : uint8_t { Video, Audio, Subtitle } kind;
    int held;
    int inSource;
};
std::vector<TrackCount> missingTracks(const MediaFacts& source, const MediaFacts& result);

} // namespace vexlo::conversion

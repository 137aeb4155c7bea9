#pragma once
// From a conversion request to the ffmpeg command line: encoders, container,
// filters and rates. Plain C++, no process is started here.
#include "EngineArgument.h"

#include <string>
#include <variant>
#include <vector>

namespace vexlo::engine {

// What the request means in ffmpeg's terms.
struct OutputPlan {
    std::string muxer;          // ffmpeg's -f name ("mp4", "psp", "avi", "mpeg", "dvd", ...); "" = by extension
    std::string videoEncoder;   // "mpeg4", "libx264", "libxvid", "mpeg1video", "mpeg2video"
    std::string videoTag;       // four-character code ("DX50", "XVID") or ""
    std::string audioEncoder;   // "aac", "libmp3lame", "mp2"
    int sampleRate = 0;         // after fitting to the encoder's rates; 0 = the source's
    std::vector<std::string> videoFilters; // in order; joined with "," for -vf
};

struct PlanError {
    std::string message;
};

// Lower-cased extension of `path` with its dot (".mp4"), "" when none.
std::string extensionOf(const std::string& path);

std::variant<OutputPlan, PlanError> planOutput(const EngineRequest& request);

// The full argument vector after the program name. Source and target are
// written as "file:<path>" so that no name is read as an option or a protocol.
// `progressUrl` is where ffmpeg writes its -progress lines ("pipe:1").
std::vector<std::string> buildFfmpegArguments(const EngineRequest& request, const OutputPlan& plan,
                                              const std::string& progressUrl = "pipe:1");

} // namespace vexlo::engine

#pragma once
// From a conversion request to the ffmpeg command line: encoders, container,
// filters and rates. Plain C++, no process is started here.
#include "EngineArgument.h"
#include "PictureShape.h"
#include "SourceProbe.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace vexlo::engine {

// A subtitle track carried into the output: ffmpeg's encoder for it ("copy"
// keeps it as it is; "srt", "mov_text" and "webvtt" turn text into SubRip,
// MP4's text and WebVTT).
struct SubtitlePlan {
    int stream = 0;
    std::string encoder;
    std::string title; // written where the container keeps it elsewhere than ffmpeg does (MP4)
};

// A sound track after the first: converted like the first, with its own
// channels and rate where the encoder cannot take the first one's settings
// for it (0: as the first track's options say).
struct AudioTrackPlan {
    int stream = 0;
    int channels = 0;
    int sampleRate = 0;
    std::string title;
};

// The level an H.264 or H.265 stream declares, and the peak rate and buffer
// (kbit/s, kbit) that keep it within that level; empty: none declared.
struct VideoLevel {
    std::string name; // "4.0", "3.1", ...
    int64_t maxRate = 0, buffer = 0;
    bool operator==(const VideoLevel&) const = default;
};

// The lowest level of `encoder` (libx264: High profile; libx265: Main tier)
// whose frame size and picture rate take `width` x `height` at `fps`.
VideoLevel videoLevel(const std::string& encoder, int64_t width, int64_t height, double fps);

// What the request means for this source in ffmpeg's terms.
struct OutputPlan {
    std::string muxer;              // ffmpeg's -f name ("mp4", "psp", "avi", "mpeg", "dvd", ...); "" = by extension
    std::string videoEncoder;       // "mpeg4", "libx264", "libx265", "libsvtav1", "libvpx-vp9", "libxvid", ...
    std::string videoTag;           // four-character code ("DX50", "XVID", "hvc1") or ""
    std::string audioEncoder;       // "aac", "libmp3lame", "mp2", "libopus", "flac"
    int sampleRate = 0;             // after fitting to the encoder's rates; 0 = the source's
    int channels = 0;               // channels written; 0 = the source's
    std::optional<int> videoStream; // the source's stream numbers; none: not in the output
    std::optional<int> audioStream;
    std::string audioTitle; // the first sound track's name, for MP4 (below)
    // Every sound track after the first (where the container holds several),
    // and the subtitles the container holds.
    std::vector<AudioTrackPlan> moreAudioStreams;
    std::vector<SubtitlePlan> subtitles;
    bool keepChapters = false; // archives and MP4 files keep the chapters
    // The output ends here (seconds): a little after the source's running
    // time, so that a time stamp damaged far beyond it cannot make the
    // engine encode for hours. Pictures stamped later are dropped. 0: no bound.
    // For a source whose stamps may jump (stampJumps) the bound is twice its
    // expected time line plus 10 s, and only a picture stamped more than 10 s
    // after the one before is dropped: ffmpeg takes up the jumps of joined
    // recordings and of a damaged stamp itself, and leaves a time line with
    // no such gap.
    double timeBound = 0;
    bool stampJumps = false;
    // Such a source whose time line, measured by its size, runs longer than
    // its stamps: recordings joined end to end, each with its stamps from the
    // start. ffmpeg is told to take up jumps ahead of more than half a second
    // (-dts_delta_threshold), not only of more than 10 s (below).
    bool stampsRestart = false;
    // The recording date written into the output ("2019-06-01T10:20:30.000000Z"); "" none.
    std::string creationTime;
    // A silent track of this length stands in for missing sound (PSP files
    // need one); 0 = none.
    double silentAudioSeconds = 0;
    std::string frameRate;                 // -r; "" = the source's timing
    double picturesPerSecond = 0;          // written (-r, else the source's rate); 0 when unknown
    VideoLevel level;                      // H.264/H.265 at constant quality: the level declared and its caps
    std::vector<std::string> videoFilters; // in order; joined with "," for -vf
    std::string pixelFormat;               // the pictures written: "yuv420p", or "yuv420p10le" for deep colour
    bool flatPictures = false;             // a screen, slides, drawn animation (VideoStreamInfo)
    bool fastStart = false;                // MP4 with its index before the pictures (+faststart)
    PictureShape picture;
    ColourPlan colours;
};

struct PlanError {
    std::string message;
};

// The deinterlacer: it turns the frames flagged interlaced into progressive
// ones (one picture per frame, at the first field's instant) and passes the
// others untouched.
inline constexpr const char* kDeinterlaceFilter = "bwdif=mode=send_frame:parity=auto:deint=interlaced";
// The same for pictures under 16 samples a side, which bwdif refuses.
inline constexpr const char* kSmallPictureDeinterlaceFilter = "yadif=mode=send_frame:parity=auto:deint=interlaced";
// Ahead of it for sources that declare no interlacing: finds woven fields
// by their combing and flags those frames interlaced, so that captures
// flagged progressive by mistake are deinterlaced too. Its interlace
// threshold is raised from 1.04 to 1.5: at 1.04 it takes sharp moving edges
// of progressive pictures for combing (and the deinterlacer would soften
// them); at 1.5 clean woven fields are still found. It never calls a frame
// progressive (prog_thres out of reach): that would clear the interlaced flag
// that decoders set on each frame of streams that declare nothing (DV).
inline constexpr const char* kCombDetectFilter = "idet=intl_thres=1.5:prog_thres=1000";
// Ahead of that for sources flagged interlaced whose pictures are
// progressive: their flags cleared, only the frames found combed are
// deinterlaced.
inline constexpr const char* kClearFieldsFilter = "setfield=prog";
// Telecined film (3:2 pulldown): each frame rebuilt from the fields of one
// film picture, in the stream's field order ("tt", "bb", "tb", "bt"): left
// to itself, fieldmatch took the wrong parity and left two frames in five
// combed. Frames still combed where it compares them (at cuts) are flagged
// for the deinterlacer; comparing every frame (combmatch=full) would take
// sharp edges for combing. Then the one repeated frame of every five is
// dropped.
std::string fieldMatchFilter(const std::string& fieldOrder);
inline constexpr const char* kDecimateFilter = "decimate";

// The output's time bound for a source of `seconds` (0: none).
double outputTimeBound(double seconds);
// The same for a source whose stamps may jump, whose time line runs
// `expected` seconds (expectedSeconds()).
double jumpingTimeBound(double expected);

// Bits per sample of an ffmpeg pixel format name (8 unless it says more).
int sampleBits(const std::string& pixelFormat);

// Lower-cased extension of `path` with its dot (".mp4"), "" when none.
std::string extensionOf(const std::string& path);

// Whether the plan for `request` depends on whether the source's pictures
// are flat (VideoStreamInfo::flatPictures).
bool flatPicturesMatter(const EngineRequest& request);

// The plan for `request` on a source that holds what `source` says.
std::variant<OutputPlan, PlanError> planOutput(const EngineRequest& request, const SourceInfo& source);

// MPEG-1 and MPEG-2 video take only these rates: the nearest one to `rate`.
Rational standardMpegRate(const Rational& rate);

// The full argument vector after the program name. Source and target are
// written as "file:<path>" so that no name is read as an option or a protocol.
// The log names each line's level (what ProgressParser reads).
// `progressUrl` is where ffmpeg writes its -progress lines ("pipe:1").
std::vector<std::string> buildFfmpegArguments(
    const EngineRequest& request, const OutputPlan& plan, const std::string& progressUrl = "pipe:1");

// One run of ffmpeg of a conversion, and its share of the conversion's time
// (for the progress shown: the first pass covers 0 to share, ...).
struct FfmpegPass {
    std::vector<std::string> arguments;
    double share = 1;
    // A file the pass must leave with something in it for the next pass (a
    // first pass's statistics); empty when it leaves none.
    std::string leaves;
};

// VP9 is encoded in two passes: the first reads the pictures and writes its
// statistics (ffmpeg's -passlogfile `logPrefix`, which adds "-0.log") and no
// output file; the second encodes the target with them.
bool encodesInTwoPasses(const OutputPlan& plan);

// The runs of ffmpeg that convert `request`: buildFfmpegArguments() alone,
// or the two passes (encodesInTwoPasses()), the second with those arguments
// and the pass's options.
std::vector<FfmpegPass> buildFfmpegPasses(const EngineRequest& request, const OutputPlan& plan,
    const std::string& logPrefix, const std::string& progressUrl = "pipe:1");

} // namespace vexlo::engine

#pragma once
// What the source holds, as ffprobe reports it: the first video stream (its
// coded size, pixel shape, rotation, rates, fields and colours) and the first
// audio stream. The plan of the conversion is made from it.
#include "EngineArgument.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexlo::engine {

// What the pictures of a stream flagged interlaced show (readSource() looks
// at its first frames): fields filmed apart, as the flag says (also when
// the pictures do not tell: still, or too few); both fields of each frame
// from one instant (progressive segmented frames: 25p or 30p carried as 50i
// or 60i); or 24p film telecined into 60i (3:2 pulldown: of every five
// frames two are woven from two film pictures, and two fields repeat).
enum class FieldContent { AsFlagged, Progressive, Telecined };

struct VideoStreamInfo {
    int index = 0;     // the stream's number in the file
    int64_t width = 0; // coded size
    int64_t height = 0;
    Rational sampleAspect{1, 1}; // pixel shape; 1:1 when the file says nothing usable
    int rotation = 0;            // display rotation in degrees: 0, 90, 180 or 270
    Rational frameRate{0, 1};    // average rate; {0, 1} when unknown
    Rational baseRate{0, 1};     // ffprobe's r_frame_rate (the least common rate)
    std::string fieldOrder;      // "progressive", "tt", ... or ""
    FieldContent fields = FieldContent::AsFlagged;
    std::string pixelFormat; // "yuv420p", "yuvj420p", ...
    std::string colorRange;  // "tv", "pc" or "" when not told
    std::string colorSpace;  // the matrix: "bt709", "smpte170m", ... or ""
    std::string colorPrimaries;
    std::string colorTransfer;
    // The pictures are flat colour with sharp edges, as a screen, slides or
    // drawn animation show them (the first picture and the one in the
    // middle); only readSource() tells, when asked.
    bool flatPictures = false;
};

struct AudioStreamInfo {
    int index = 0;
    int channels = 0;
    int sampleRate = 0;
    std::string title; // the track's name ("Commentary"), "" when none
};

struct SubtitleStreamInfo {
    int index = 0;
    std::string codec; // ffmpeg's name: "mov_text", "subrip", "hdmv_pgs_subtitle", ...
    std::string title;
};

struct SourceInfo {
    std::optional<VideoStreamInfo> video;
    std::optional<AudioStreamInfo> audio;
    // The running time, 0 when not known: the longer of the first video's and
    // the first sound's own durations where the file's index gives them, else
    // the file's. A stream's index stays right when one time stamp in it is
    // damaged, while the file's duration is then taken from that stamp.
    double durationSeconds = 0;
    std::string videoCodec;                   // the first video's codec ("h264", ...), "" without one
    std::vector<AudioStreamInfo> audioTracks; // every sound track, in file order (the first is `audio`)
    std::vector<SubtitleStreamInfo> subtitles;
    int chapters = 0;
    std::string creationTime; // the container's creation_time tag as written, "" when none
    // The container's time stamps may jump (MPEG-TS, MPEG program streams:
    // recordings joined end to end start their stamps afresh; ffmpeg's own
    // reading takes up each jump), so that the file's duration, read from its
    // first and last stamps, can fall short of its time line.
    bool discontinuousTimes = false;
    // The time line as the file's size gives it at the byte rate of its first
    // packets (0 when not measured): for such files only.
    double sizeSeconds = 0;
    // The recording time an AVCHD camcorder writes into its H.264 stream
    // (RecordingDate.h), looked for in the first packets while the streams
    // were read (cameraTimeRead: its first 30 pictures were read).
    bool cameraTimeRead = false;
    std::optional<int64_t> cameraTime;
    // A read of the file failed while its streams were read (a card's read
    // error near its end, where the duration is read): the message, as
    // ffmpeg would say it ("file:<source>: Input/output error"); "" none.
    std::string readError;
};

// A colour or field name as ffmpeg gives it, "" for what the file does not
// say ("unknown", "reserved", "unspecified").
std::string knownName(std::string_view name);

// A display rotation in degrees as 0, 90, 180 or 270 (the nearest quarter
// turn; 0 for what is not a finite, sensible angle).
int quarterTurn(double degrees);

// The rules both readers apply to what they found:
// the audio stream's record, with its channel count and rate brought into range;
AudioStreamInfo audioStream(int index, int64_t channels, int64_t sampleRate, std::string title = {});
// the running time when it is a plausible one (finite, positive, under 1e9 s), else 0;
double plausibleDuration(double seconds);
// the running time from the longest of the streams' own durations (0 where
// unknown), else from the file's;
double runningTime(double longestStream, double file);
// the running time the conversion is measured against before it has read
// the source: a time line with jumps whose size says another length than
// its first and last stamps (joined recordings, a damaged stamp) is taken at
// its size's length;
double expectedSeconds(const SourceInfo& source);
// a source that holds neither pictures nor sound is refused.
std::optional<SourceInfo> usableSource(SourceInfo info, std::string& error);

// One frame of a stream flagged interlaced, measured against the frames
// before and after it with ffmpeg's idet sums: its fields comb against each
// other (filmed apart; idet's threshold 1.04), fit together clearly (one
// instant, with motion to tell: the lines of the frames around fit between
// its own lines 2.5 times worse than its own do, where idet takes 1.5,
// which noisy camera footage filmed as fields reaches in slow pans), and a
// field repeats the previous frame's (idet's threshold 3).
struct FieldVerdict {
    bool combed = false;
    bool progressive = false;
    bool repeated = false;
};

// What the verdicts of a stream's first frames, in order, say; nullopt while
// more are needed (`ended`: none follow). Progressive: 15 frames without
// combing, two in three clearly progressive. Telecined: 15 frames whose
// fields repeat in each five, always in the same two places (a 3:2
// pulldown; its frames beside the woven ones comb against their
// neighbours, and any three frames hold a repeat). Fields filmed apart
// comb and never repeat: a combed frame and three frames without a repeat
// end the look as flagged, as do still pictures, which tell nothing. At most 60 frames are judged; fewer
// at the stream's end (8 for progressive, 10 for telecined, else as
// flagged).
std::optional<FieldContent> judgeFields(const std::vector<FieldVerdict>& verdicts, bool ended);

// Reads ffprobe's "flat" output of the entries that probeArguments() asks for.
// Never throws; what does not read is left at its default. Cover pictures
// (attached pictures) are not taken as the video stream.
SourceInfo parseProbeOutput(std::string_view text);

// The arguments of ffprobe (after the program name) for `source`.
std::vector<std::string> probeArguments(const std::string& source);

// The ffprobe to use: $VEXLO_FFPROBE when set; else "ffprobe" beside the
// ffmpeg in use; else the first on $PATH. "" when there is none.
// (trevok reads sources itself, with readSource(), unless $VEXLO_FFPROBE
// names a prober.)
std::string ffprobeProgram(const std::string& ffmpeg);

// Reads `source` inside this process with ffmpeg's demuxing libraries: the
// same result as probeSource() without starting a program. On failure returns
// nullopt and sets `error` to what the libraries said. `lookForFlat`: tells
// flatPictures too (one or two more pictures decoded, where the plan's
// settings depend on it: flatPicturesMatter()).
std::optional<SourceInfo> readSource(const std::string& source, std::string& error, bool lookForFlat = false);

// The running time of a converted file as readSource() gives it
// (durationSeconds), read from the container's header where it holds the
// lengths of the first picture and sound streams (MP4, QuickTime, AVI, ...:
// nothing decoded, the streams' packets left unread); other files are read
// by readSource(). nullopt for a file that does not read as media.
std::optional<double> readRunningTime(const std::string& file);

// Runs ffprobe on `source`. On failure returns nullopt and sets `error` to
// what ffprobe said (or why it could not run).
std::optional<SourceInfo> probeSource(const std::string& ffprobe, const std::string& source, std::string& error);

} // namespace vexlo::engine

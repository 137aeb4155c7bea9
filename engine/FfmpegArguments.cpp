#include "FfmpegArguments.h"

#include "base/Paths.h"
#include "base/Text.h"

#include <algorithm>
#include <numeric>
#include <cstdlib>
#include <cstdio>
#include <initializer_list>
#include <span>
#include <string_view>

namespace vexlo::engine {

namespace {

// Speeds chosen so that a 1080i camcorder clip converts at least at half its
// running time on a two-core machine (bench/engine/modern-profiles). Of the
// settings that fast, these give the smallest H.265 and AV1 files for the
// picture quality of the H.264 output on camera footage.
constexpr const char* kH264Preset = "faster"; // as small as "fast" at the same SSIM, a fifth quicker
constexpr const char* kHevcPreset = "veryfast";
constexpr const char* kAv1Preset = "9";
// Flat pictures (a screen, slides, drawn animation) carry no noise for the
// searches to lose time on: x264 searches wider (uneven-hexagon motion
// search, finer decisions, a third reference, as many as level 4.0 holds
// for 1080p), about a tenth smaller at the same SSIM; SVT-AV1's tools for
// such pictures (palettes, copies within the picture) and CDEF make its
// files a quarter of the size, and preset 10 keeps them quicker than the
// peer's (data/PROFILES.md, "Flat pictures").
constexpr const char* kH264FlatSearch = "me=umh:subme=7:ref=3:mixed-refs=1";
constexpr const char* kAv1FlatPreset = "10";
// VP9 in two passes at the "good" deadline: the first pass only gathers
// statistics and takes a small share of the time; the second's speed sets
// the cost. libvpx gives the same file at every speed from 5 up; speed 3
// searches more: a fifth to a quarter smaller at the same SSIM on camera
// footage and screen pictures, a few per cent in noisy low light, for
// about a tenth more CPU time (bench/engine/quality, data/PROFILES.md).
constexpr const char* kVp9FirstPassSpeed = "4";
constexpr const char* kVp9Speed = "3";
constexpr double kVp9FirstPassShare = 0.25; // of the CPU time of both passes

enum class Family { Mp4, Avi, MpegPs, WebM, Other };

// Which streams a container can hold: each codec below says in which kinds it goes.
enum class Holds {
    Everything, // Matroska, and whatever ffmpeg guesses from another extension
    Mp4,        // every video; every sound but FLAC
    QuickTime,  // the older codecs, and H.265
    Older,      // AVI, MPEG program streams, 3GP, PSP files: no H.265, AV1, VP9, Opus or FLAC
    WebM        // VP9 or AV1, and Opus
};

struct Container {
    Family family = Family::Other;
    std::string muxer;
    Holds holds = Holds::Everything;
    std::string_view video = "mpeg4"; // the codecs when a profile names none
    std::string_view audio = "aac";
};

Container containerFor(const std::string& ext, bool psp)
{
    if (ext == ".mp4" || ext == ".m4v")
        return psp ? Container{Family::Mp4, "psp", Holds::Older} : Container{Family::Mp4, "mp4", Holds::Mp4};
    if (ext == ".mov" || ext == ".qt")
        return {Family::Mp4, "mov", Holds::QuickTime};
    if (ext == ".3gp" || ext == ".3g2")
        return {Family::Mp4, ext.substr(1), Holds::Older};
    if (ext == ".avi" || ext == ".divx")
        return {Family::Avi, "avi", Holds::Older, "mpeg4", "mp3"};
    if (ext == ".mpg" || ext == ".mpeg" || ext == ".mpe" || ext == ".m1v")
        return {Family::MpegPs, "mpeg", Holds::Older, "mpeg1", "mp2"};
    if (ext == ".vob")
        return {Family::MpegPs, "vob", Holds::Older, "mpeg2", "mp2"};
    if (ext == ".mkv")
        return {Family::Other, "matroska"};
    if (ext == ".webm")
        return {Family::WebM, "webm", Holds::WebM, "vp9", "opus"};
    return {};
}

// The video codecs by their profile identifier, and what each can do.
struct VideoCodec {
    std::string_view id;
    const char* encoder;    // ffmpeg's name
    const char* name;       // what a human calls it, for messages
    const char* aviTag;     // the four-character code written into AVI files, "" none
    bool constantQuality;   // today's players' encoders: a constant quality when no bit rate is given
    bool standardRatesOnly; // MPEG-1 and MPEG-2 video: the standard frame rates only
    bool older;             // AVI, MPEG program streams, 3GP and PSP files hold it
    bool quickTime;         // QuickTime holds it
    bool webm;              // WebM holds it
};

// Which encoders take other settings for flat pictures: x264 at constant
// quality, and SVT-AV1.
bool flatSettings(const VideoCodec& codec, int64_t kbit)
{
    return (codec.id == "h264" && kbit <= 0) || codec.id == "av1";
}

constexpr VideoCodec kVideoCodecs[] = {
    {"mpeg4", "mpeg4", "MPEG-4 Part 2", "", false, false, true, true, false},
    {"h264", "libx264", "H.264", "", true, false, true, true, false},
    {"hevc", "libx265", "H.265/HEVC", "", true, false, false, true, false},
    {"av1", "libsvtav1", "AV1", "", true, false, false, false, true},
    {"vp9", "libvpx-vp9", "VP9", "", true, false, false, false, true},
    {"divx", "mpeg4", "MPEG-4 Part 2", "DX50", false, false, true, true, false},
    {"xvid", "libxvid", "MPEG-4 Part 2", "XVID", false, false, true, true, false},
    {"mpeg1", "mpeg1video", "MPEG-1", "", false, true, true, true, false},
    {"mpeg2", "mpeg2video", "MPEG-2", "", false, true, true, true, false},
};

// The sample rates the audio encoders take.
constexpr int kAacRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000, 64000, 88200, 96000};
constexpr int kPspAacRates[] = {24000, 48000};
constexpr int kMp3Rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
constexpr int kMp2Rates[] = {16000, 22050, 24000, 32000, 44100, 48000};
constexpr int kOpusRates[] = {8000, 12000, 16000, 24000, 48000};

// The audio codecs by their profile identifier, and what each can do.
struct AudioCodec {
    std::string_view id;
    const char* encoder;
    const char* name;
    std::span<const int> rates; // empty: any rate (the source's is kept)
    int maxChannels;
    bool older; // AVI, MPEG program streams, 3GP, PSP files and QuickTime hold it
    bool mp4;   // MP4 holds it
    bool webm;  // WebM holds it
};

constexpr AudioCodec kAudioCodecs[] = {
    {"aac", "aac", "AAC", kAacRates, 8, true, true, false},
    {"mp3", "libmp3lame", "MP3", kMp3Rates, 2, true, true, false},
    {"mp2", "mp2", "MPEG audio layer 2", kMp2Rates, 2, true, true, false},
    {"opus", "libopus", "Opus", kOpusRates, 8, false, true, true},
    {"flac", "flac", "FLAC", {}, 8, false, false, false}, // lossless: the source's rate and channels
};

// The codec named by a profile identifier (ASCII case ignored), or null.
template<typename Codec, size_t N> const Codec* codecById(const Codec (&table)[N], const std::string& identifier)
{
    const std::string id = text::asciiLower(identifier);
    for (const Codec& codec : table)
        if (codec.id == id)
            return &codec;
    return nullptr;
}

// The codec that ffmpeg's encoder `name` writes, or null.
template<typename Codec, size_t N> const Codec* codecByEncoder(const Codec (&table)[N], const std::string& name)
{
    for (const Codec& codec : table)
        if (name == codec.encoder)
            return &codec;
    return nullptr;
}

// The nearest of `rates` to `wanted`.
int nearest(int wanted, std::span<const int> rates)
{
    int best = *rates.begin();
    for (const int r : rates)
        if (std::abs(r - wanted) < std::abs(best - wanted))
            best = r;
    return best;
}

std::string rateText(const Rational& r)
{
    return r.den == 1 ? std::to_string(r.num) : std::to_string(r.num) + "/" + std::to_string(r.den);
}

} // namespace

int sampleBits(const std::string& pixelFormat)
{
    // "yuv420p10le", "yuv422p12be", "p010le", "gray10le"...
    for (const int bits : {16, 14, 12, 10, 9}) {
        const std::string n = std::to_string(bits);
        for (const char* end : {"le", "be"}) {
            const std::string tail = n + end;
            if (pixelFormat.size() >= tail.size()
                && pixelFormat.compare(pixelFormat.size() - tail.size(), tail.size(), tail) == 0)
                return bits;
        }
    }
    if (pixelFormat.rfind("p010", 0) == 0)
        return 10;
    return 8;
}

namespace {

double rateValue(const Rational& r) { return r.den > 0 ? double(r.num) / double(r.den) : 0.0; }

std::string fraction(int64_t num, int64_t den) { return std::to_string(num) + "/" + std::to_string(den); }

// Why the container cannot hold these streams, or "" when it can.
std::string carriageProblem(
    const Container& c, const std::string& ext, const VideoCodec* video, const AudioCodec* audio)
{
    const std::string where = "a \"" + ext + "\" file";
    switch (c.holds) {
    case Holds::WebM:
        if (video && !video->webm)
            return where + " (WebM) holds VP9 or AV1 video, not " + video->name;
        if (audio && !audio->webm)
            return where + " (WebM) holds Opus sound, not " + audio->name;
        return {};
    case Holds::Older:
        if (video && !video->older)
            return where + " cannot hold " + video->name + " video (use .mp4, .mkv or, for VP9 and AV1, .webm)";
        if (audio && !audio->older)
            return where + " cannot hold " + audio->name + " sound (use .mkv, or .webm for Opus)";
        return {};
    case Holds::QuickTime:
        if (video && !video->quickTime)
            return where + " (QuickTime) cannot hold " + video->name + " video (use .mp4, .mkv or .webm)";
        if (audio && !audio->older)
            return where + " (QuickTime) cannot hold " + audio->name + " sound (use .mkv, or .webm for Opus)";
        return {};
    case Holds::Mp4:
        if (audio && !audio->mp4)
            return where + " cannot hold " + audio->name + " sound (use .mkv)";
        return {};
    case Holds::Everything:
        return {};
    }
    return {};
}

// The constant quality of each encoder when no bit rate is given: the usual
// level, and a higher one for archives (Matroska targets). Each level keeps
// at least the picture quality (SSIM and PSNR against the filmed scene) that
// the 1080i camera clip had before bwdif and the tunings below.
std::string constantQuality(const std::string& encoder, bool archive)
{
    if (encoder == "libx264")
        return archive ? "18" : "23";
    if (encoder == "libx265")
        return archive ? "22" : "24";
    if (encoder == "libsvtav1")
        return archive ? "24" : "30";
    return archive ? "26" : "33"; // libvpx-vp9
}

// Which run of ffmpeg the arguments are for: 0 the only one; 1 and 2 the
// passes of a two-pass encode, with the statistics' name.
struct PassStep {
    int number = 0;
    std::string logPrefix;
};

// The video encoder's part of the command line.
void appendVideoArguments(
    std::vector<std::string>& a, const EngineRequest& request, const OutputPlan& plan, const PassStep& pass)
{
    std::string filters;
    for (const auto& f : plan.videoFilters)
        filters += (filters.empty() ? "" : ",") + f;
    a.insert(a.end(), {"-vf", filters, "-c:v", plan.videoEncoder});
    if (!plan.videoTag.empty())
        a.insert(a.end(), {"-vtag", plan.videoTag});
    // Bit rates in 64 bits: a hand-edited field may hold any 32-bit value.
    const int64_t kbit = request.videoBitrate;
    const VideoCodec* codec = codecByEncoder(kVideoCodecs, plan.videoEncoder);
    const bool modern = codec && codec->constantQuality;
    if (kbit > 0) {
        a.insert(a.end(), {"-b:v", std::to_string(kbit) + "k"});
    } else if (modern) {
        a.insert(a.end(), {"-crf", constantQuality(plan.videoEncoder, plan.muxer == "matroska")});
        if (plan.videoEncoder == "libvpx-vp9")
            a.insert(a.end(), {"-b:v", "0"}); // constant quality, no rate cap
    }
    if (!plan.frameRate.empty())
        a.insert(a.end(), {"-r", plan.frameRate});

    const bool mpegVideo = plan.videoEncoder == "mpeg1video" || plan.videoEncoder == "mpeg2video";
    if (plan.videoEncoder == "libx264") {
        a.insert(a.end(), {"-preset", kH264Preset});
        // Camera footage: the film tuning (lighter deblocking, psychovisual
        // trellis) keeps grain and texture that the default smooths away,
        // about 12 % smaller at the same SSIM. Bit-rate profiles keep the
        // encoder's defaults.
        if (kbit <= 0)
            a.insert(a.end(), {"-tune", "film"});
        if (plan.flatPictures)
            a.insert(a.end(), {"-x264-params", kH264FlatSearch});
        if (plan.muxer == "psp")
            a.insert(a.end(), {"-profile:v", "main", "-level:v", "3.0", "-refs", "3"});
        if (!plan.level.name.empty())
            a.insert(a.end(),
                {"-level:v", plan.level.name, "-maxrate", std::to_string(plan.level.maxRate) + "k", "-bufsize",
                    std::to_string(plan.level.buffer) + "k"});
    } else if (plan.videoEncoder == "libx265") {
        std::string params = "log-level=error";
        if (!plan.level.name.empty())
            params += ":level-idc=" + plan.level.name + ":vbv-maxrate=" + std::to_string(plan.level.maxRate)
                + ":vbv-bufsize=" + std::to_string(plan.level.buffer);
        a.insert(a.end(), {"-preset", kHevcPreset, "-x265-params", params});
    } else if (plan.videoEncoder == "libsvtav1") {
        // $VEXLO_AV1_PRESET (0 slowest to 13 fastest) stands in for slow machines and tests.
        const char* preset = std::getenv("VEXLO_AV1_PRESET");
        const std::optional<int32_t> level = preset ? parseDecimal(preset) : std::nullopt;
        const bool usable = level && *level >= 0 && *level <= 13;
        a.insert(a.end(),
            {"-preset", usable ? std::string(preset) : std::string(plan.flatPictures ? kAv1FlatPreset : kAv1Preset)});
        // Quantisation matrices: about 5 % smaller at the same SSIM, at no cost in speed.
        // Without CDEF the grain and fine texture of camera footage survive: a
        // quarter smaller at the same SSIM against the filmed scene, a little
        // quicker; flat pictures lose as much, and get CDEF.
        a.insert(a.end(),
            {"-svtav1-params", plan.flatPictures ? "enable-qm=1:enable-cdef=1:scm=1" : "enable-qm=1:enable-cdef=0"});
    } else if (plan.videoEncoder == "libvpx-vp9") {
        // The realtime deadline, even at its slowest, needs more than twice
        // the bytes of two passes at the "good" one for the same SSIM.
        a.insert(a.end(),
            {"-deadline", "good", "-cpu-used", pass.number == 1 ? kVp9FirstPassSpeed : kVp9Speed, "-row-mt", "1",
                "-tile-columns", "2"});
        if (pass.number > 0)
            a.insert(a.end(), {"-pass", std::to_string(pass.number), "-passlogfile", pass.logPrefix});
    } else if (mpegVideo) {
        // VCD/SVCD/DVD stream constraints: short GOPs, two B-frames, a
        // video buffer the players know, and a peak rate they can read.
        const int64_t rate = kbit > 0 ? kbit : 1150;
        const bool mpeg1 = plan.videoEncoder == "mpeg1video";
        const int64_t cap = mpeg1 ? 4000 : 9800;
        const int64_t peak = std::max(rate, std::min(mpeg1 ? std::max<int64_t>(rate, 1150) : rate * 3 / 2, cap));
        const int64_t bufBits = mpeg1 ? (rate <= 1150 ? 40 * 1024 * 8 : 112 * 1024 * 8) : 224 * 1024 * 8;
        a.insert(a.end(),
            {"-g", mpeg1 ? "18" : "15", "-bf", "2", "-maxrate", std::to_string(peak) + "k", "-bufsize",
                std::to_string(bufBits)});
    } else {
        // MPEG-4 Part 2 (mpeg4, libxvid): a keyframe at least every 10 s of 25 fps.
        a.insert(a.end(), {"-g", "250"});
        if (plan.videoEncoder == "mpeg4")
            a.insert(a.end(), {"-mbd", "rd", "-trellis", "1"});
    }
    // What the pixels are, where the stream or the container can say it.
    const ColourPlan& c = plan.colours;
    if (!c.tagMatrix.empty())
        a.insert(a.end(),
            {"-color_range", c.tagRange, "-colorspace", c.tagMatrix, "-color_primaries", c.tagPrimaries, "-color_trc",
                c.tagTransfer});
}

// The text subtitle codecs (ffmpeg decodes each into the same text events).
bool isTextSubtitle(const std::string& codec)
{
    static const std::initializer_list<const char*> text = {"subrip", "ass", "ssa", "mov_text", "webvtt", "text",
        "microdvd", "subviewer", "subviewer1", "sami", "realtext", "jacosub", "mpl2", "pjs", "vplayer", "stl"};
    return std::any_of(text.begin(), text.end(), [&](const char* name) { return codec == name; });
}

// How the container of `muxer` takes a subtitle codec: "copy" as it is, an
// encoder's name to turn text into its own form, "" not at all. Matroska
// holds SubRip, ASS/SSA and the picture subtitles as they are and other
// text as SubRip; MP4 and QuickTime hold text as MP4's text; WebM holds
// WebVTT; a VOB holds DVD subtitles. Closed captions and teletext go nowhere.
std::string subtitleEncoderFor(const std::string& muxer, const std::string& codec)
{
    const bool text = isTextSubtitle(codec);
    if (muxer == "matroska") {
        for (const char* name : {"subrip", "ass", "ssa", "dvd_subtitle", "hdmv_pgs_subtitle", "dvb_subtitle"})
            if (codec == name)
                return "copy";
        return text ? "srt" : "";
    }
    if (muxer == "mp4" || muxer == "mov")
        return codec == "mov_text" ? "copy" : text ? "mov_text" : "";
    if (muxer == "webm")
        return codec == "webvtt" ? "copy" : text ? "webvtt" : "";
    if (muxer == "vob")
        return codec == "dvd_subtitle" ? "copy" : "";
    return {};
}

// Whether the container of `muxer` keeps every sound track: not the
// handhelds' and phones' files (PSP, 3GP), whose players take one, nor a
// container left to ffmpeg's guess.
bool keepsEverySoundTrack(const std::string& muxer)
{
    for (const char* name : {"mp4", "mov", "matroska", "webm", "avi", "mpeg", "dvd", "vob"})
        if (muxer == name)
            return true;
    return false;
}

// The channels and rate written for a sound track of `channels` at
// `sampleRate` (0: the source's own, left to ffmpeg): the nearest rate the
// encoder takes, and no more channels than it takes. Lossless sound (no
// rates listed) keeps the source's.
struct AudioFit {
    int channels = 0;
    int sampleRate = 0;
};

AudioFit fitAudio(
    const EngineRequest& request, int channels, int sampleRate, std::span<const int> rates, int maxChannels)
{
    AudioFit fit;
    const bool lossless = rates.empty();
    const int wantedRate = request.sampleRate > 0 ? request.sampleRate : sampleRate;
    if (wantedRate > 0 && !lossless) {
        const int fitted = nearest(wantedRate, rates);
        if (request.sampleRate > 0 || fitted != sampleRate)
            fit.sampleRate = fitted;
    }
    if (request.channelCount > 0 && !lossless)
        fit.channels = std::min(request.channelCount, maxChannels);
    else if (channels > maxChannels)
        fit.channels = maxChannels;
    return fit;
}

// The streams beyond the first picture and sound, and the chapters: every
// sound track and the subtitles where the container holds them; archives
// and MP4 files keep the chapters.
void planMoreStreams(OutputPlan& plan, const SourceInfo& source)
{
    plan.keepChapters = source.chapters > 0 && (plan.muxer == "matroska" || plan.muxer == "mp4");
    if (plan.audioStream && keepsEverySoundTrack(plan.muxer))
        for (const AudioStreamInfo& track : source.audioTracks)
            if (track.index != *plan.audioStream)
                plan.moreAudioStreams.push_back({track.index, track.channels, track.sampleRate, track.title});
    for (const SubtitleStreamInfo& track : source.subtitles)
        if (std::string encoder = subtitleEncoderFor(plan.muxer, track.codec); !encoder.empty())
            plan.subtitles.push_back({track.index, std::move(encoder), track.title});
}

// The codecs a request names for `container` (its own ones where it names
// none), with the encoders, the tag and the muxer they take.
struct Codecs {
    const VideoCodec* video = nullptr;
    const AudioCodec* audio = nullptr;
};

std::variant<Codecs, PlanError> chooseCodecs(const EngineRequest& request, const Container& container, OutputPlan& plan)
{
    Codecs c;
    c.video = codecById(kVideoCodecs, request.videoFormat.empty() ? std::string(container.video) : request.videoFormat);
    if (!c.video)
        return PlanError{"the video format \"" + request.videoFormat
            + "\" is unknown (known: mpeg4, h264, hevc, av1, vp9, divx, xvid, mpeg1, mpeg2 or empty)"};
    // "ACC" is the catalogue's own spelling of AAC.
    const std::string audio = text::asciiEqualNoCase(request.audioFormat, "acc") ? "aac" : request.audioFormat;
    c.audio = codecById(kAudioCodecs, audio.empty() ? std::string(container.audio) : audio);
    if (!c.audio)
        return PlanError{
            "the audio format \"" + request.audioFormat + "\" is unknown (known: ACC or aac, mp3, mp2, opus, flac)"};
    // MPEG program streams carry no AAC: MPEG audio layer 2 stands in.
    if (container.family == Family::MpegPs && c.audio->id == "aac")
        c.audio = codecById(kAudioCodecs, "mp2");

    plan.videoEncoder = c.video->encoder;
    plan.audioEncoder = c.audio->encoder;
    // Four-character tags are an AVI matter; MP4 writes its own sample entry.
    if (container.family == Family::Avi)
        plan.videoTag = c.video->aviTag;
    // Apple's players and browsers take H.265 in MP4 only with the hvc1 sample entry.
    if (c.video->id == "hevc" && container.family == Family::Mp4)
        plan.videoTag = "hvc1";
    if (c.video->id == "mpeg2" && plan.muxer == "mpeg")
        plan.muxer = "dvd"; // an MPEG-2 program stream with the DVD's packet layout
    return c;
}

// The sample rate and channels: each encoder takes only its own, and the
// nearest it takes is used. FLAC is for archives: the source's sound as it
// is, whatever rate and channels are asked for. The first track's settings
// are the output's; a further track gets its own where they would not fit it
// (planMoreStreams() left each track's own channels and rate in its plan).
void planAudioFormat(
    OutputPlan& plan, const EngineRequest& request, const SourceInfo& source, const AudioCodec& codec, bool psp)
{
    const bool anyAudio = plan.audioStream || plan.silentAudioSeconds > 0;
    const bool pspAac = psp && codec.id == "aac";
    const std::span<const int> rates = pspAac ? std::span<const int>(kPspAacRates) : codec.rates;
    const int maxChannels = pspAac ? 2 : codec.maxChannels;
    if (!anyAudio)
        return;
    if (source.audio) {
        const AudioFit first = fitAudio(request, source.audio->channels, source.audio->sampleRate, rates, maxChannels);
        plan.channels = first.channels;
        plan.sampleRate = first.sampleRate;
    } else {
        // Silence for a PSP file: the profile's rate, else 48 kHz, in stereo
        // unless the profile says otherwise.
        const AudioFit silence = fitAudio(request, 2, 48000, rates, maxChannels);
        plan.sampleRate = silence.sampleRate > 0 || rates.empty() ? silence.sampleRate : nearest(48000, rates);
        plan.channels = silence.channels > 0 ? silence.channels : 2;
    }
    for (AudioTrackPlan& track : plan.moreAudioStreams) {
        const AudioFit own = fitAudio(request, track.channels, track.sampleRate, rates, maxChannels);
        // What the first track's options make of this track, and what it needs.
        const int channels = own.channels > 0 ? own.channels : track.channels;
        const int rate = own.sampleRate > 0 ? own.sampleRate : track.sampleRate;
        track.channels
            = channels > 0 && channels != (plan.channels > 0 ? plan.channels : track.channels) ? channels : 0;
        track.sampleRate = rate > 0 && rate != (plan.sampleRate > 0 ? plan.sampleRate : track.sampleRate) ? rate : 0;
    }
}

// Frame rate: MPEG-1/2 only know the standard rates, the nearest to the
// one asked for or, for "0", to the source's own.
void planFrameRate(OutputPlan& plan, const EngineRequest& request, const VideoStreamInfo& stream, bool standardOnly)
{
    const Rational asked = parseFrameRate(request.frameRate).value_or(Rational{0, 1});
    if (asked.num > 0) {
        plan.frameRate = rateText(standardOnly ? standardMpegRate(asked) : asked);
    } else if (standardOnly) {
        const Rational own = stream.frameRate.num > 0 ? stream.frameRate : stream.baseRate;
        plan.frameRate = rateText(standardMpegRate(own.num > 0 ? own : Rational{25, 1}));
    } else if (stream.frameRate.num > 0 && stream.baseRate.num > 0 && rateValue(stream.frameRate) <= 120
        && std::abs(rateValue(stream.frameRate) / rateValue(stream.baseRate) - 1) > 0.01) {
        // A variable rate (phone clips): the output keeps the source's average
        // rate, steady. Left alone, ffmpeg would repeat frames up to the
        // timing base of all the rates used (60 for a mix of 30 and 20).
        // Interlaced streams that report their field rate as the base fall
        // here too and keep their frame rate.
        plan.frameRate = rateText(stream.frameRate);
    }
}

// Picture: the frame asked for, the picture's display aspect kept, and the
// colours and bit depth of the output.
void planPicture(OutputPlan& plan, const EngineRequest& request, const VideoStreamInfo& stream, const VideoCodec& codec)
{
    FrameKind kind = FrameKind::Square;
    if (codec.id == "mpeg1")
        kind = FrameKind::Vcd;
    else if (codec.id == "mpeg2" && (request.frameWidth == 720 || request.frameWidth == 704)
        && (request.frameHeight == 480 || request.frameHeight == 576))
        kind = FrameKind::Dvd;
    plan.picture = shapePicture(stream, request.frameWidth, request.frameHeight, kind);
    plan.colours = planColours(stream, plan.picture.frameWidth, plan.picture.frameHeight);
    // AV1 and H.265 write 10-bit 4:2:0 (AV1's Main profile, H.265's Main 10,
    // which every AV1 player and the H.265 players of phones and TVs
    // decode): smaller at the same quality than 8 bits from any source
    // (data/PROFILES.md). H.265 keeps the BT.2020 matrix of a deep-colour
    // (HDR) source. The others write 8-bit 4:2:0.
    plan.pixelFormat = codec.id == "av1" || codec.id == "hevc" ? "yuv420p10le" : "yuv420p";
    plan.flatPictures = stream.flatPictures && flatSettings(codec, request.videoBitrate);
    if (codec.id == "hevc" && sampleBits(stream.pixelFormat) > 8) {
        if (plan.colours.inMatrix == "bt2020") {
            plan.colours.outMatrix = "bt2020";
            plan.colours.tagMatrix = stream.colorSpace == "bt2020c" ? "bt2020c" : "bt2020nc";
            plan.colours.convert = plan.colours.fullRangeIn;
        }
    }
}

// The video filters, in order: the time bound, the deinterlacer, the scaler,
// the matrix, the frame around the picture and the pixel format.
void planVideoFilters(OutputPlan& plan, const VideoStreamInfo& stream)
{
    const PictureShape& shape = plan.picture;

    // Pictures stamped far beyond the source's end (a damaged time stamp)
    // are dropped; pictures without a time pass.
    if (plan.stampJumps) {
        plan.videoFilters.push_back("select=not(gt(t-prev_t\\,10))");
    } else if (plan.timeBound > 0) {
        char bound[32];
        std::snprintf(bound, sizeof bound, "%.3f", plan.timeBound);
        plan.videoFilters.push_back(std::string("select=not(gt(t\\,") + bound + "))");
    }
    // Progressive output: frames flagged interlaced are deinterlaced first
    // (rotation, done by ffmpeg itself, comes before any of these). Sources
    // that declare no interlacing are searched for combing first, and so
    // are those flagged interlaced whose first frames showed progressive
    // pictures (their flags cleared first). Telecined film gets its film
    // pictures back: fields matched into the frames they came from, the
    // frames left combed (a cut, video laid over the film) deinterlaced,
    // and the one copy in every five frames dropped.
    // bwdif keeps more of the picture than yadif (against the filmed scene:
    // SSIM 0.9025 against 0.8978 on the 1080i camera clip) and costs less.
    // It refuses planes under 3 x 4 samples (a 4:2:0 picture under 6 x 8,
    // 4:1:0 under 12 x 16), where yadif, which takes 3 x 3, still works.
    const std::string& fields = stream.fieldOrder;
    const bool flagged = !fields.empty() && fields != "progressive";
    if (flagged && stream.fields == FieldContent::Progressive)
        plan.videoFilters.push_back(kClearFieldsFilter);
    if (!flagged || stream.fields == FieldContent::Progressive)
        plan.videoFilters.push_back(kCombDetectFilter);
    if (flagged && stream.fields == FieldContent::Telecined)
        plan.videoFilters.push_back(fieldMatchFilter(fields));
    const bool bwdifFits = stream.width <= 0 || stream.height <= 0 || std::min(stream.width, stream.height) >= 16;
    plan.videoFilters.push_back(bwdifFits ? kDeinterlaceFilter : kSmallPictureDeinterlaceFilter);
    if (flagged && stream.fields == FieldContent::Telecined)
        plan.videoFilters.push_back(kDecimateFilter);
    if (shape.scale || plan.colours.fullRangeIn) {
        std::string scale = "scale=" + std::to_string(shape.pictureWidth) + ":" + std::to_string(shape.pictureHeight);
        if (plan.colours.fullRangeIn)
            scale += ":in_range=full:out_range=limited";
        plan.videoFilters.push_back(scale);
    }
    // The matrix is converted after scaling, on the smaller picture, by a
    // filter that works on the YUV samples directly (the scaler would go
    // through RGB for it, which costs a third more on the default profile).
    if (plan.colours.inMatrix != plan.colours.outMatrix)
        plan.videoFilters.push_back("colormatrix=" + plan.colours.inMatrix + ":" + plan.colours.outMatrix);
    if (!shape.keepsSourceShape) {
        plan.videoFilters.push_back("setsar=1");
        if (shape.pictureWidth != shape.frameWidth || shape.pictureHeight != shape.frameHeight)
            plan.videoFilters.push_back("pad=" + std::to_string(shape.frameWidth) + ":"
                + std::to_string(shape.frameHeight) + ":" + std::to_string(shape.left) + ":" + std::to_string(shape.top)
                + ":black");
        if (!(shape.displayAspect == Rational{1, 1}))
            plan.videoFilters.push_back("setdar=" + fraction(shape.displayAspect.num, shape.displayAspect.den));
    }
    plan.videoFilters.push_back("format=" + plan.pixelFormat);
    // The pictures leave the chain tagged with what they are. ffmpeg 7 takes
    // the encoder's tags from the frames (the options below alone leave the
    // primaries and transfer unknown) and has the filters meet the options'
    // matrix: without these tags the scaler converted the matrix to the
    // output's once more, after colormatrix had (greens 16 levels too dark).
    // Tagged here, nothing before asks the scaler for a conversion.
    const ColourPlan& c = plan.colours;
    if (!c.tagMatrix.empty())
        plan.videoFilters.push_back("setparams=range=" + c.tagRange + ":colorspace=" + c.tagMatrix
            + ":color_primaries=" + c.tagPrimaries + ":color_trc=" + c.tagTransfer);
}

} // namespace

VideoLevel videoLevel(const std::string& encoder, int64_t width, int64_t height, double fps)
{
    struct Level {
        const char* name;
        double maxSize, maxRate; // H.264: macroblocks a frame and a second; H.265: luma samples
        int64_t bitRate, buffer; // kbit/s and kbit, before the profile's factor
    };
    // H.264 (ITU-T H.264, Annex A, table A-1: MaxFS, MaxMBPS, MaxBR, MaxCPB;
    // level 1b left out). High profile allows 1.25 times MaxBR and MaxCPB
    // (table A-2, cpbBrVclFactor 1250).
    static const Level h264[] = {{"1.0", 99, 1485, 64, 175}, {"1.1", 396, 3000, 192, 500},
        {"1.2", 396, 6000, 384, 1000}, {"1.3", 396, 11880, 768, 2000}, {"2.0", 396, 11880, 2000, 2000},
        {"2.1", 792, 19800, 4000, 4000}, {"2.2", 1620, 20250, 4000, 4000}, {"3.0", 1620, 40500, 10000, 10000},
        {"3.1", 3600, 108000, 14000, 14000}, {"3.2", 5120, 216000, 20000, 20000}, {"4.0", 8192, 245760, 20000, 25000},
        {"4.1", 8192, 245760, 50000, 62500}, {"4.2", 8704, 522240, 50000, 62500},
        {"5.0", 22080, 589824, 135000, 135000}, {"5.1", 36864, 983040, 240000, 240000},
        {"5.2", 36864, 2073600, 240000, 240000}, {"6.0", 139264, 4177920, 240000, 240000},
        {"6.1", 139264, 8355840, 480000, 480000}, {"6.2", 139264, 16711680, 800000, 800000}};
    // H.265 Main tier (ITU-T H.265, Annex A, tables A.8 and A.9:
    // MaxLumaPs, MaxLumaSr, MaxBR, MaxCPB; Main and Main 10 at factor 1000).
    // Levels 4, 5 and 6 are left out: they hold the pictures of their .1
    // steps at lower rates, players are made for the .1 steps (1080p or
    // 2160p at 60 frames), and level 4's 12 Mbit/s is half what H.264 High
    // allows the same 1080 picture (noisy footage then stays far below the
    // quality asked for). A picture that fits them is declared at the .1 step.
    static const Level h265[] = {{"1", 36864, 552960, 128, 350}, {"2", 122880, 3686400, 1500, 1500},
        {"2.1", 245760, 7372800, 3000, 3000}, {"3", 552960, 16588800, 6000, 6000},
        {"3.1", 983040, 33177600, 10000, 10000}, {"4.1", 2228224, 133693440, 20000, 20000},
        {"5.1", 8912896, 534773760, 40000, 40000}, {"5.2", 8912896, 1069547520, 60000, 60000},
        {"6.1", 35651584, 2139095040, 120000, 120000}, {"6.2", 35651584, 4278190080.0, 240000, 240000}};
    const bool avc = encoder == "libx264";
    if ((!avc && encoder != "libx265") || width <= 0 || height <= 0 || fps <= 0)
        return {};
    const double size = avc ? double((width + 15) / 16) * double((height + 15) / 16) : double(width) * double(height);
    const auto fits = [&](const Level& l) { return size <= l.maxSize && size * fps <= l.maxRate; };
    const auto pick = [&](const auto& table) -> VideoLevel {
        for (const Level& l : table)
            if (fits(l))
                return avc ? VideoLevel{l.name, l.bitRate * 5 / 4, l.buffer * 5 / 4}
                           : VideoLevel{l.name, l.bitRate, l.buffer};
        return {};
    };
    return avc ? pick(h264) : pick(h265);
}

std::string fieldMatchFilter(const std::string& fieldOrder)
{
    // "tb": top field coded first, bottom one shown first; "bt" the other way.
    return fieldOrder == "bb" || fieldOrder == "tb" ? "fieldmatch=order=bff" : "fieldmatch=order=tff";
}

double outputTimeBound(double seconds) { return seconds > 0 ? seconds * 1.05 + 2.0 : 0.0; }

double jumpingTimeBound(double expected) { return expected > 0 ? expected * 2 + 10.0 : 0.0; }

Rational standardMpegRate(const Rational& r)
{
    static const Rational rates[]
        = {{24000, 1001}, {24, 1}, {25, 1}, {30000, 1001}, {30, 1}, {50, 1}, {60000, 1001}, {60, 1}};
    const double wanted = rateValue(r);
    Rational best = rates[0];
    for (const auto& c : rates)
        if (std::abs(rateValue(c) - wanted) < std::abs(rateValue(best) - wanted))
            best = c;
    return best;
}

std::string extensionOf(const std::string& path) { return text::asciiLower(paths::extensionOf(path)); }

bool flatPicturesMatter(const EngineRequest& request)
{
    OutputPlan scratch;
    const auto chosen = chooseCodecs(request, containerFor(extensionOf(request.target), request.isPsp != 0), scratch);
    const Codecs* codecs = std::get_if<Codecs>(&chosen);
    return codecs && codecs->video && flatSettings(*codecs->video, request.videoBitrate);
}

std::variant<OutputPlan, PlanError> planOutput(const EngineRequest& request, const SourceInfo& source)
{
    OutputPlan plan;
    const std::string ext = extensionOf(request.target);
    const bool psp = request.isPsp != 0;
    const Container container = containerFor(ext, psp);
    if (psp && container.family != Family::Mp4)
        return PlanError{"a PSP file must have the extension .mp4, not \"" + ext + "\""};
    plan.muxer = container.muxer;
    const auto chosen = chooseCodecs(request, container, plan);
    if (const auto* refused = std::get_if<PlanError>(&chosen))
        return *refused;
    const Codecs codecs = std::get<Codecs>(chosen);

    if (!source.video && psp)
        return PlanError{"the PSP plays only videos, and this source holds sound alone"};
    if (const std::string problem = carriageProblem(
            container, ext, source.video ? codecs.video : nullptr, source.audio || psp ? codecs.audio : nullptr);
        !problem.empty())
        return PlanError{problem};
    plan.fastStart = container.muxer == "mp4" && request.videoBitrate <= 0 && codecs.video->constantQuality;
    if (source.video)
        plan.videoStream = source.video->index;
    if (source.audio) {
        plan.audioStream = source.audio->index;
        plan.audioTitle = source.audio->title;
    } else if (psp && source.video)
        plan.silentAudioSeconds = std::max(source.durationSeconds, 0.04);
    planMoreStreams(plan, source);
    plan.stampJumps = source.discontinuousTimes;
    plan.stampsRestart = plan.stampJumps && expectedSeconds(source) > source.durationSeconds;
    plan.timeBound
        = plan.stampJumps ? jumpingTimeBound(expectedSeconds(source)) : outputTimeBound(source.durationSeconds);
    planAudioFormat(plan, request, source, *codecs.audio, psp);
    if (!source.video)
        return plan;
    // Telecined film comes out at its own rate, four frames of every five.
    VideoStreamInfo video = *source.video;
    if (video.fields == FieldContent::Telecined && !video.fieldOrder.empty() && video.fieldOrder != "progressive") {
        const auto fourFifths = [](Rational r) {
            const int64_t num = r.num * 4, den = r.den * 5, common = std::gcd(num, den);
            return common > 0 ? Rational{num / common, den / common} : r;
        };
        video.frameRate = fourFifths(video.frameRate);
        video.baseRate = fourFifths(video.baseRate);
    }
    planFrameRate(plan, request, video, codecs.video->standardRatesOnly);
    planPicture(plan, request, video, *codecs.video);
    const Rational own = video.frameRate.num > 0 ? video.frameRate : video.baseRate;
    plan.picturesPerSecond
        = plan.frameRate.empty() ? rateValue(own) : rateValue(parseFrameRate(plan.frameRate).value_or(own));
    // Constant quality lets a noisy picture take any rate: the stream is
    // held to the lowest level its frame size and rate fit (PSP files keep
    // their fixed main profile at 3.0).
    if (request.videoBitrate <= 0 && !psp)
        plan.level
            = videoLevel(plan.videoEncoder, plan.picture.frameWidth, plan.picture.frameHeight, plan.picturesPerSecond);
    planVideoFilters(plan, video);
    return plan;
}

namespace {

std::vector<std::string> ffmpegArguments(
    const EngineRequest& request, const OutputPlan& plan, const std::string& progressUrl, const PassStep& pass)
{
    // The first of two passes reads the pictures alone and writes no file.
    const bool firstPass = pass.number == 1;
    std::vector<std::string> a
        = {"-hide_banner", "-loglevel", "level+verbose", "-nostdin", "-y", "-nostats", "-progress", progressUrl};
    // Recordings joined end to end: at each join every stream's stamps jump
    // back by the first recording's length. ffmpeg takes up a jump back of
    // each stream on its own, into one offset for the whole file, so that the
    // streams after the first one that meets the join are moved twice; the
    // second move shows as a jump ahead, which it takes up only beyond its
    // threshold (10 s). Below that (recordings shorter than 10 s) the
    // pictures kept a gap of the recording's length, filled with copies of a
    // picture. At half a second every such move is taken up. Not for other
    // sources: a stream's own gap beyond the threshold (sound missing for a
    // moment in a broadcast) would be closed, and it would run ahead.
    if (plan.stampsRestart)
        a.insert(a.end(), {"-dts_delta_threshold", "0.5"});
    a.insert(a.end(), {"-i", "file:" + request.source});
    if (plan.silentAudioSeconds > 0 && !firstPass) {
        // Generated silence, as long as the pictures.
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3f", plan.silentAudioSeconds);
        a.insert(a.end(),
            {"-f", "lavfi", "-i",
                std::string("anullsrc=channel_layout=") + (plan.channels == 1 ? "mono" : "stereo")
                    + ":sample_rate=" + std::to_string(plan.sampleRate) + ":duration=" + seconds});
    }
    // The chosen streams (an archive's further sound tracks and subtitles
    // too); data streams stay out.
    if (plan.videoStream)
        a.insert(a.end(), {"-map", "0:" + std::to_string(*plan.videoStream)});
    if (firstPass) {
        appendVideoArguments(a, request, plan, pass);
        if (plan.timeBound > 0) {
            char bound[32];
            std::snprintf(bound, sizeof bound, "%.3f", plan.timeBound);
            a.insert(a.end(), {"-t", bound});
        }
        a.insert(a.end(), {"-f", "null", "-"});
        return a;
    }
    if (plan.audioStream)
        a.insert(a.end(), {"-map", "0:" + std::to_string(*plan.audioStream)});
    else if (plan.silentAudioSeconds > 0)
        a.insert(a.end(), {"-map", "1:a:0"});
    for (const AudioTrackPlan& track : plan.moreAudioStreams)
        a.insert(a.end(), {"-map", "0:" + std::to_string(track.stream)});
    for (const SubtitlePlan& track : plan.subtitles)
        a.insert(a.end(), {"-map", "0:" + std::to_string(track.stream)});
    a.insert(a.end(), {"-map_chapters", plan.keepChapters ? "0" : "-1"});

    if (plan.videoStream)
        appendVideoArguments(a, request, plan, pass);
    if (plan.audioStream || plan.silentAudioSeconds > 0) {
        a.insert(a.end(), {"-c:a", plan.audioEncoder});
        if (request.audioBitrate > 0 && plan.audioEncoder != "flac") // lossless has no bit rate
            a.insert(a.end(), {"-b:a", std::to_string(request.audioBitrate) + "k"});
        if (plan.channels > 0) {
            // A downmix at the standard levels (left = FL + 0.707 FC + 0.707 SL)
            // for every encoder: the resampler scales the mix down to avoid
            // clipping when it mixes in integers (MP3, MP2), but not in floats
            // (AAC, Opus), unless its bound is above any row's sum.
            a.insert(a.end(), {"-ac", std::to_string(plan.channels), "-rematrix_maxval", "8"});
        }
        if (plan.sampleRate > 0)
            a.insert(a.end(), {"-ar", std::to_string(plan.sampleRate)});
        // A further track that the first one's settings do not fit (more
        // channels or another rate than the encoder takes) gets its own.
        for (size_t i = 0; i < plan.moreAudioStreams.size(); ++i) {
            const AudioTrackPlan& track = plan.moreAudioStreams[i];
            const std::string output = ":a:" + std::to_string(i + 1);
            if (track.channels > 0)
                a.insert(a.end(), {"-ac" + output, std::to_string(track.channels)});
            if (track.sampleRate > 0)
                a.insert(a.end(), {"-ar" + output, std::to_string(track.sampleRate)});
        }
    }
    for (size_t i = 0; i < plan.subtitles.size(); ++i)
        a.insert(a.end(), {"-c:s:" + std::to_string(i), plan.subtitles[i].encoder});
    if (plan.silentAudioSeconds > 0)
        a.push_back("-shortest");
    if (plan.timeBound > 0) {
        char bound[32];
        std::snprintf(bound, sizeof bound, "%.3f", plan.timeBound);
        a.insert(a.end(), {"-t", bound});
    }
    if (!plan.creationTime.empty())
        a.insert(a.end(), {"-metadata", "creation_time=" + plan.creationTime});
    // The tracks' languages and names go with them (ffmpeg copies the tags),
    // but MP4 and QuickTime files name a track in its handler only.
    if (plan.muxer == "mp4" || plan.muxer == "mov") {
        const auto name = [&a](const std::string& stream, const std::string& title) {
            if (!title.empty())
                a.insert(a.end(), {"-metadata:s:" + stream, "handler_name=" + title});
        };
        if (plan.audioStream)
            name("a:0", plan.audioTitle);
        for (size_t i = 0; i < plan.moreAudioStreams.size(); ++i)
            name("a:" + std::to_string(i + 1), plan.moreAudioStreams[i].title);
        for (size_t i = 0; i < plan.subtitles.size(); ++i)
            name("s:" + std::to_string(i), plan.subtitles[i].title);
    }

    std::string movflags;
    if (plan.videoStream && !plan.colours.tagMatrix.empty() && (plan.muxer == "mp4" || plan.muxer == "mov"))
        movflags += "+write_colr";
    // Files for players that start while downloading (sound alone too): the index goes first.
    if (plan.fastStart)
        movflags += "+faststart";
    if (!movflags.empty())
        a.insert(a.end(), {"-movflags", movflags});

    if (!plan.muxer.empty())
        a.insert(a.end(), {"-f", plan.muxer});
    a.push_back("file:" + request.target);
    return a;
}

} // namespace

std::vector<std::string> buildFfmpegArguments(
    const EngineRequest& request, const OutputPlan& plan, const std::string& progressUrl)
{
    return ffmpegArguments(request, plan, progressUrl, {});
}

bool encodesInTwoPasses(const OutputPlan& plan) { return plan.videoStream && plan.videoEncoder == "libvpx-vp9"; }

std::vector<FfmpegPass> buildFfmpegPasses(
    const EngineRequest& request, const OutputPlan& plan, const std::string& logPrefix, const std::string& progressUrl)
{
    if (!encodesInTwoPasses(plan))
        return {{ffmpegArguments(request, plan, progressUrl, {}), 1, {}}};
    return {{ffmpegArguments(request, plan, progressUrl, {1, logPrefix}), kVp9FirstPassShare, logPrefix + "-0.log"},
        {ffmpegArguments(request, plan, progressUrl, {2, logPrefix}), 1 - kVp9FirstPassShare, {}}};
}

} // namespace vexlo::engine

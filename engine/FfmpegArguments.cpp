#include "FfmpegArguments.h"

#include <algorithm>
#include <cstdlib>
#include <initializer_list>

namespace vexlo::engine {

namespace {

std::string lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

enum class Family { Mp4, Avi, MpegPs, Other };

struct Container {
    Family family = Family::Other;
    std::string muxer;
};

Container containerFor(const std::string& ext, bool psp)
{
    if (ext == ".mp4" || ext == ".m4v")
        return {Family::Mp4, psp ? "psp" : "mp4"};
    if (ext == ".mov" || ext == ".qt")
        return {Family::Mp4, "mov"};
    if (ext == ".3gp")
        return {Family::Mp4, "3gp"};
    if (ext == ".3g2")
        return {Family::Mp4, "3g2"};
    if (ext == ".avi" || ext == ".divx")
        return {Family::Avi, "avi"};
    if (ext == ".mpg" || ext == ".mpeg" || ext == ".mpe" || ext == ".m1v")
        return {Family::MpegPs, "mpeg"};
    if (ext == ".vob")
        return {Family::MpegPs, "vob"};
    if (ext == ".mkv")
        return {Family::Other, "matroska"};
    return {Family::Other, ""};
}

// The nearest of `rates` to `wanted`.
int nearest(int wanted, std::initializer_list<int> rates)
{
    int best = *rates.begin();
    for (const int r : rates)
        if (std::abs(r - wanted) < std::abs(best - wanted))
            best = r;
    return best;
}

// MPEG-1 and MPEG-2 video only know a fixed set of frame rates.
Rational standardMpegRate(const Rational& r)
{
    static const Rational rates[] = {{24000, 1001}, {24, 1}, {25, 1}, {30000, 1001},
                                     {30, 1},       {50, 1}, {60000, 1001}, {60, 1}};
    const double wanted = double(r.num) / double(r.den);
    Rational best = rates[0];
    for (const auto& c : rates)
        if (std::abs(double(c.num) / double(c.den) - wanted)
            < std::abs(double(best.num) / double(best.den) - wanted))
            best = c;
    return best;
}

std::string rateText(const Rational& r)
{
    return r.den == 1 ? std::to_string(r.num) : std::to_string(r.num) + "/" + std::to_string(r.den);
}

} // namespace

std::string extensionOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return lower(std::string_view(path).substr(dot));
}

std::variant<OutputPlan, PlanError> planOutput(const EngineRequest& request)
{
    OutputPlan plan;
    const std::string ext = extensionOf(request.target);
    const bool psp = request.isPsp != 0;
    const Container container = containerFor(ext, psp);
    if (psp && container.family != Family::Mp4)
        return PlanError{"a PSP file must have the extension .mp4, not \"" + ext + "\""};
    plan.muxer = container.muxer;

    const std::string video = lower(request.videoFormat);
    bool mpegVideo = false;
    if (video.empty()) {
        if (container.muxer == "vob") {
            plan.videoEncoder = "mpeg2video";
            mpegVideo = true;
        } else if (container.family == Family::MpegPs) {
            plan.videoEncoder = "mpeg1video";
            mpegVideo = true;
        } else {
            plan.videoEncoder = "mpeg4";
        }
    } else if (video == "mpeg4") {
        plan.videoEncoder = "mpeg4";
    } else if (video == "h264") {
        plan.videoEncoder = "libx264";
    } else if (video == "divx") {
        plan.videoEncoder = "mpeg4";
        plan.videoTag = "DX50";
    } else if (video == "xvid") {
        plan.videoEncoder = "libxvid";
        plan.videoTag = "XVID";
    } else if (video == "mpeg1") {
        plan.videoEncoder = "mpeg1video";
        mpegVideo = true;
    } else if (video == "mpeg2") {
        plan.videoEncoder = "mpeg2video";
        mpegVideo = true;
    } else {
        return PlanError{"the video format \"" + request.videoFormat
                         + "\" is unknown (known: mpeg4, h264, divx, xvid, mpeg1, mpeg2 or empty)"};
    }
    // Four-character tags are an AVI matter; MP4 writes its own sample entry.
    if (container.family != Family::Avi)
        plan.videoTag.clear();
    if (mpegVideo && container.family == Family::MpegPs && plan.videoEncoder == "mpeg2video"
        && plan.muxer == "mpeg")
        plan.muxer = "dvd"; // an MPEG-2 program stream with the DVD's packet layout

    const std::string audio = lower(request.audioFormat);
    if (audio == "acc" || audio == "aac") {
        plan.audioEncoder = "aac";
    } else if (audio == "mp3") {
        plan.audioEncoder = "libmp3lame";
    } else if (audio == "mp2") {
        plan.audioEncoder = "mp2";
    } else if (audio.empty()) {
        plan.audioEncoder = container.family == Family::MpegPs ? "mp2"
                            : container.family == Family::Avi  ? "libmp3lame"
                                                               : "aac";
    } else {
        return PlanError{"the audio format \"" + request.audioFormat
                         + "\" is unknown (known: ACC or aac, mp3, mp2)"};
    }
    // MPEG program streams carry no AAC: MPEG audio layer 2 stands in.
    if (container.family == Family::MpegPs && plan.audioEncoder == "aac")
        plan.audioEncoder = "mp2";

    // Each encoder takes only its own sample rates; the nearest one is used.
    if (request.sampleRate > 0) {
        const int wanted = request.sampleRate;
        if (psp && plan.audioEncoder == "aac")
            plan.sampleRate = nearest(wanted, {24000, 48000});
        else if (plan.audioEncoder == "aac")
            plan.sampleRate = nearest(wanted, {8000, 11025, 12000, 16000, 22050, 24000, 32000,
                                               44100, 48000, 64000, 88200, 96000});
        else if (plan.audioEncoder == "libmp3lame")
            plan.sampleRate = nearest(wanted, {8000, 11025, 12000, 16000, 22050, 24000, 32000,
                                               44100, 48000});
        else
            plan.sampleRate = nearest(wanted, {16000, 22050, 24000, 32000, 44100, 48000});
    }

    // Frames: progressive output, the profile's size with square pixels.
    plan.videoFilters.push_back("yadif=mode=send_frame:parity=auto:deint=interlaced");
    if (request.frameWidth > 0 || request.frameHeight > 0) {
        const std::string w = request.frameWidth > 0 ? std::to_string(request.frameWidth) : "-2";
        const std::string h = request.frameHeight > 0 ? std::to_string(request.frameHeight) : "-2";
        plan.videoFilters.push_back("scale=" + w + ":" + h);
        plan.videoFilters.push_back("setsar=1");
    }
    plan.videoFilters.push_back("format=yuv420p");
    return plan;
}

std::vector<std::string> buildFfmpegArguments(const EngineRequest& request, const OutputPlan& plan,
                                              const std::string& progressUrl)
{
    std::vector<std::string> a = {"-hide_banner", "-nostdin", "-y", "-nostats",
                                  "-progress", progressUrl, "-i", "file:" + request.source};
    // The first video and the first audio stream, when there are any.
    a.insert(a.end(), {"-map", "0:v:0?", "-map", "0:a:0?", "-sn", "-dn", "-map_chapters", "-1"});

    std::string filters;
    for (const auto& f : plan.videoFilters)
        filters += (filters.empty() ? "" : ",") + f;
    a.insert(a.end(), {"-vf", filters, "-c:v", plan.videoEncoder});
    if (!plan.videoTag.empty())
        a.insert(a.end(), {"-vtag", plan.videoTag});
    if (request.videoBitrate > 0)
        a.insert(a.end(), {"-b:v", std::to_string(request.videoBitrate) + "k"});

    const Rational rate = parseFrameRate(request.frameRate).value_or(Rational{0, 1});
    const bool mpegVideo = plan.videoEncoder == "mpeg1video" || plan.videoEncoder == "mpeg2video";
    if (rate.num > 0)
        a.insert(a.end(), {"-r", rateText(mpegVideo ? standardMpegRate(rate) : rate)});

    if (plan.videoEncoder == "libx264") {
        a.insert(a.end(), {"-preset", "fast"});
        if (plan.muxer == "psp")
            a.insert(a.end(), {"-profile:v", "main", "-level:v", "3.0", "-refs", "3"});
    } else if (mpegVideo) {
        // VCD/SVCD/DVD stream constraints: short GOPs, two B-frames, a
        // video buffer the players know, and a peak rate they can read.
        const int kbit = request.videoBitrate > 0 ? request.videoBitrate : 1150;
        const bool mpeg1 = plan.videoEncoder == "mpeg1video";
        const int cap = mpeg1 ? 4000 : 9800;
        const int maxKbit = std::max(kbit, std::min(mpeg1 ? std::max(kbit, 1150) : kbit * 3 / 2, cap));
        const int bufBits = mpeg1 ? (kbit <= 1150 ? 40 * 1024 * 8 : 112 * 1024 * 8)
                                  : 224 * 1024 * 8;
        a.insert(a.end(), {"-g", mpeg1 ? "18" : "15", "-bf", "2", "-maxrate",
                           std::to_string(maxKbit) + "k", "-bufsize", std::to_string(bufBits)});
    } else {
        // MPEG-4 Part 2 (mpeg4, libxvid): a keyframe at least every 10 s of 25 fps.
        a.insert(a.end(), {"-g", "250"});
        if (plan.videoEncoder == "mpeg4")
            a.insert(a.end(), {"-mbd", "rd", "-trellis", "1"});
    }

    a.insert(a.end(), {"-c:a", plan.audioEncoder});
    if (request.audioBitrate > 0)
        a.insert(a.end(), {"-b:a", std::to_string(request.audioBitrate) + "k"});
    if (request.channelCount > 0)
        a.insert(a.end(), {"-ac", std::to_string(request.channelCount)});
    if (plan.sampleRate > 0)
        a.insert(a.end(), {"-ar", std::to_string(plan.sampleRate)});

    if (!plan.muxer.empty())
        a.insert(a.end(), {"-f", plan.muxer});
    a.push_back("file:" + request.target);
    return a;
}

} // namespace vexlo::engine

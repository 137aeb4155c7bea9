#include "SourceProbe.h"

#include "base/Paths.h"
#include "base/Text.h"

#include "ChildProcess.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <map>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vexlo::engine {

namespace {

std::optional<int64_t> readInt(const std::string& text)
{
    constexpr int64_t kLargest = 999'999'999'999'999'999; // 18 digits
    return vexlo::text::parseDecimal(text, vexlo::text::Signs::Minus, -kLargest, kLargest);
}

// "30000/1001" or "32:27"; only positive fractions count.
std::optional<Rational> readFraction(const std::string& text)
{
    const size_t sep = text.find_first_of("/:");
    if (sep == std::string::npos)
        return std::nullopt;
    const auto num = readInt(text.substr(0, sep));
    const auto den = readInt(text.substr(sep + 1));
    if (!num || !den || *num <= 0 || *den <= 0)
        return std::nullopt;
    return Rational{*num, *den};
}

} // namespace

std::string knownName(std::string_view name)
{
    return name == "unknown" || name == "reserved" || name == "unspecified" ? std::string() : std::string(name);
}

int quarterTurn(double degrees)
{
    if (!std::isfinite(degrees) || std::abs(degrees) >= 1e6)
        return 0;
    const int quarter = int(std::lround(degrees / 90.0)) % 4;
    return (quarter + 4) % 4 * 90;
}

AudioStreamInfo audioStream(int index, int64_t channels, int64_t sampleRate, std::string title)
{
    AudioStreamInfo a;
    a.title = std::move(title);
    a.index = index;
    a.channels = int(std::clamp<int64_t>(channels, 0, 1024));
    a.sampleRate = int(std::clamp<int64_t>(sampleRate, 0, 10000000));
    return a;
}

double plausibleDuration(double seconds)
{
    return std::isfinite(seconds) && seconds > 0 && seconds < 1e9 ? seconds : 0;
}

double runningTime(double longestStream, double file)
{
    const double own = plausibleDuration(longestStream);
    return own > 0 ? own : plausibleDuration(file);
}

double expectedSeconds(const SourceInfo& source)
{
    // Stamps and size that differ by more than a quarter (more than a
    // variable bit rate makes of the first packets' rate): the stamps have
    // jumped, at a join or at a damaged stamp, which the file's duration
    // takes for its end.
    const double stamps = source.durationSeconds, size = source.sizeSeconds;
    if (source.discontinuousTimes && size > 0 && (size > stamps * 1.25 || stamps > size * 1.25))
        return size;
    return stamps;
}

std::optional<SourceInfo> usableSource(SourceInfo info, std::string& error)
{
    if (!info.video && !info.audio) {
        error = "it holds neither pictures nor sound";
        return std::nullopt;
    }
    return info;
}

SourceInfo parseProbeOutput(std::string_view text)
{
    // streams.stream.<n>.<key>=<value>, format.duration="..."
    std::map<int, std::map<std::string, std::string>> streams;
    std::map<std::string, std::string> format;
    int chapters = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            continue;
        const std::string_view key = line.substr(0, eq);
        std::string value(line.substr(eq + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        static constexpr std::string_view streamPrefix = "streams.stream.";
        if (key.substr(0, streamPrefix.size()) == streamPrefix) {
            const std::string_view rest = key.substr(streamPrefix.size());
            const size_t dot = rest.find('.');
            if (dot == std::string_view::npos)
                continue;
            const auto n = readInt(std::string(rest.substr(0, dot)));
            if (!n || *n < 0 || *n > 100000)
                continue;
            std::string name(rest.substr(dot + 1));
            // Side data and tags: only their last part matters here.
            if (name.rfind("side_data_list.", 0) == 0 || name.rfind("tags.", 0) == 0)
                name = name.substr(name.rfind('.') + 1) == "rotation" ? "rotation"
                    : name.rfind("tags.", 0) == 0                     ? name
                                                                      : std::string();
            if (!name.empty())
                streams[int(*n)][name] = value;
        } else if (key.substr(0, 7) == "format.") {
            format[std::string(key.substr(7))] = value;
        } else if (key.substr(0, 17) == "chapters.chapter." && key.size() > 3 && key.substr(key.size() - 3) == ".id") {
            chapters = std::min(chapters + 1, 100000);
        }
    }

    SourceInfo info;
    double longest = 0;
    const auto seconds = [](const std::string& text) { return plausibleDuration(text::parseNumberOr(text, 0)); };
    for (auto& [n, s] : streams) {
        const std::string type = s["codec_type"];
        const int index = int(readInt(s["index"]).value_or(n));
        if (type == "video" && !info.video && s["disposition.attached_pic"] != "1") {
            VideoStreamInfo v;
            v.index = index;
            v.width = readInt(s["width"]).value_or(0);
            v.height = readInt(s["height"]).value_or(0);
            if (v.width <= 0 || v.height <= 0)
                continue; // a stream without pictures is no picture source
            v.sampleAspect = readFraction(s["sample_aspect_ratio"]).value_or(Rational{1, 1});
            std::string rotation = s["rotation"];
            if (rotation.empty())
                rotation = s["tags.rotate"];
            v.rotation = quarterTurn(text::parseNumberOr(rotation, 0));
            v.frameRate = readFraction(s["avg_frame_rate"]).value_or(Rational{0, 1});
            v.baseRate = readFraction(s["r_frame_rate"]).value_or(Rational{0, 1});
            v.fieldOrder = knownName(s["field_order"]);
            v.pixelFormat = s["pix_fmt"];
            v.colorRange = knownName(s["color_range"]);
            v.colorSpace = knownName(s["color_space"]);
            v.colorPrimaries = knownName(s["color_primaries"]);
            v.colorTransfer = knownName(s["color_transfer"]);
            info.video = v;
            info.videoCodec = s["codec_name"];
            longest = std::max(longest, seconds(s["duration"]));
            if (format["tags.creation_time"].empty())
                format["tags.creation_time"] = s["tags.creation_time"];
        } else if (type == "audio") {
            info.audioTracks.push_back(audioStream(
                index, readInt(s["channels"]).value_or(0), readInt(s["sample_rate"]).value_or(0), s["tags.title"]));
            if (!info.audio) {
                info.audio = info.audioTracks.back();
                longest = std::max(longest, seconds(s["duration"]));
            }
        } else if (type == "subtitle") {
            info.subtitles.push_back({index, s["codec_name"], s["tags.title"]});
        }
    }
    info.durationSeconds = runningTime(longest, text::parseNumberOr(format["duration"], 0));
    info.discontinuousTimes = format["format_name"] == "mpegts" || format["format_name"] == "mpeg";
    info.creationTime = format["tags.creation_time"];
    info.chapters = chapters;
    return info;
}

std::vector<std::string> probeArguments(const std::string& source)
{
    return {"-v", "error", "-hide_banner", "-show_entries",
        "stream=index,codec_type,codec_name,width,height,sample_aspect_ratio,r_frame_rate,avg_frame_rate,"
        "field_order,pix_fmt,color_range,color_space,color_primaries,color_transfer,channels,"
        "sample_rate,duration:stream_disposition=attached_pic:stream_tags=rotate,creation_time,title:"
        "stream_side_data=rotation:format=duration,format_name:format_tags=creation_time:chapter=id",
        "-of", "flat", "file:" + source};
}

std::string ffprobeProgram(const std::string& ffmpeg)
{
    if (const char* over = std::getenv("VEXLO_FFPROBE"); over && *over) {
        const std::string program = over;
        return program.find('/') == std::string::npos ? paths::findOnPath(program) : program;
    }
    const size_t slash = ffmpeg.rfind('/');
    if (slash != std::string::npos) {
        const std::string beside = ffmpeg.substr(0, slash + 1) + "ffprobe";
        if (::access(beside.c_str(), X_OK) == 0)
            return beside;
    }
    return paths::findOnPath("ffprobe");
}

std::optional<SourceInfo> probeSource(const std::string& ffprobe, const std::string& source, std::string& error)
{
    ChildProcess child;
    if (!child.start(ffprobe, probeArguments(source), error)) {
        error = "ffprobe (" + ffprobe + ") could not be started: " + error;
        return std::nullopt;
    }
    std::string out, err;
    bool outOpen = true, errOpen = true;
    char buffer[8192];
    while (outOpen || errOpen) {
        pollfd fds[2] = {{outOpen ? child.stdoutFd() : -1, POLLIN, 0}, {errOpen ? child.stderrFd() : -1, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const long n = ChildProcess::readSome(fds[i].fd, buffer, sizeof buffer);
            if (n == 0) {
                (i == 0 ? outOpen : errOpen) = false;
            } else if (n > 0) {
                std::string& sink = i == 0 ? out : err;
                if (sink.size() < (1u << 20))
                    sink.append(buffer, size_t(n));
            }
        }
    }
    const int status = child.wait();
    while (!err.empty() && (err.back() == '\n' || err.back() == '\r'))
        err.pop_back();
    if (status < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = err.empty() ? "ffprobe could not read it" : err;
        return std::nullopt;
    }
    return usableSource(parseProbeOutput(out), error);
}

std::optional<FieldContent> judgeFields(const std::vector<FieldVerdict>& verdicts, bool ended)
{
    const size_t n = verdicts.size();
    size_t combed = 0, progressive = 0, repeated = 0;
    unsigned repeatPhases = 0; // where in each five frames a field repeated
    bool everyCycleRepeats = true;
    size_t sinceRepeat = 0; // a 3:2 pulldown repeats a field in every three frames
    for (size_t i = 0; i < n; ++i) {
        sinceRepeat = verdicts[i].repeated ? 0 : sinceRepeat + 1;
        everyCycleRepeats = everyCycleRepeats && sinceRepeat < 3;
        combed += verdicts[i].combed;
        progressive += verdicts[i].progressive;
        repeated += verdicts[i].repeated;
        if (verdicts[i].repeated)
            repeatPhases |= 1u << (i % 5);
        if (i % 5 == 4)
            everyCycleRepeats = everyCycleRepeats
                && std::any_of(verdicts.begin() + std::ptrdiff_t(i - 4), verdicts.begin() + std::ptrdiff_t(i + 1),
                    [](const FieldVerdict& v) { return v.repeated; });
    }
    const bool canBeProgressive = combed == 0 && n - progressive <= n / 3 + 1;
    const bool canBeTelecined = everyCycleRepeats && std::popcount(repeatPhases) <= 2;
    const bool last = ended || n >= 60;
    if (canBeProgressive && n >= (last ? 8u : 15u) && progressive * 3 >= n * 2)
        return FieldContent::Progressive;
    if (canBeTelecined && n >= (last ? 10u : 15u) && repeated * 4 >= n)
        return FieldContent::Telecined;
    if (last || (!canBeProgressive && !canBeTelecined))
        return FieldContent::AsFlagged;
    return std::nullopt;
}

} // namespace vexlo::engine

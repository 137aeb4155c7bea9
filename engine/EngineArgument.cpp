#include "EngineArgument.h"

#include "base/Text.h"

#include <charconv>
#include <limits>
#include <vector>

namespace vexlo::engine {

namespace {

std::vector<std::string_view> splitFields(std::string_view text)
{
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        const size_t bar = text.find('|', start);
        if (bar == std::string_view::npos) {
            fields.push_back(text.substr(start));
            return fields;
        }
        fields.push_back(text.substr(start, bar - start));
        start = bar + 1;
    }
}

// Shows a field's text in a message without letting control bytes through.
std::string printable(std::string_view text)
{
    std::string out;
    for (const char c : text.substr(0, 80)) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) {
            static const char hex[] = "0123456789abcdef";
            out += "\\x";
            out += hex[u >> 4];
            out += hex[u & 15];
        } else {
            out += c;
        }
    }
    if (text.size() > 80)
        out += "...";
    return out;
}

} // namespace

std::optional<int32_t> parseDecimal(std::string_view text) { return vexlo::text::parseDecimal32(text); }

std::optional<Rational> parseFrameRate(std::string_view text)
{
    auto digitsOnly = [](std::string_view s) {
        if (s.empty() || s.size() > 9)
            return false;
        for (const char c : s)
            if (c < '0' || c > '9')
                return false;
        return true;
    };
    auto toInt = [](std::string_view s) {
        int64_t v = 0;
        for (const char c : s)
            v = v * 10 + (c - '0');
        return v;
    };
    if (text == "23.976" || text == "23.98")
        return Rational{24000, 1001};
    if (text == "29.97" || text == "29.976")
        return Rational{30000, 1001};
    if (text == "59.94")
        return Rational{60000, 1001};
    if (const size_t slash = text.find('/'); slash != std::string_view::npos) {
        const auto num = text.substr(0, slash);
        const auto den = text.substr(slash + 1);
        if (!digitsOnly(num) || !digitsOnly(den) || toInt(den) == 0)
            return std::nullopt;
        return Rational{toInt(num), toInt(den)};
    }
    const size_t dot = text.find('.');
    const auto whole = text.substr(0, dot);
    if (dot == std::string_view::npos)
        return digitsOnly(whole) ? std::optional(Rational{toInt(whole), 1}) : std::nullopt;
    const auto fraction = text.substr(dot + 1);
    if ((!whole.empty() && !digitsOnly(whole)) || !digitsOnly(fraction) || fraction.size() > 6)
        return std::nullopt;
    int64_t den = 1;
    for (size_t i = 0; i < fraction.size(); ++i)
        den *= 10;
    return Rational{(whole.empty() ? 0 : toInt(whole)) * den + toInt(fraction), den};
}

std::variant<EngineRequest, ArgumentError> parseEngineArgument(std::string_view argument)
{
    const auto fields = splitFields(argument);
    if (fields.size() != kFieldCount)
        return ArgumentError{
            "the argument has " + std::to_string(fields.size()) + " fields separated by \"|\"; 13 are required"};

    static const char* const names[kFieldCount]
        = {"source file", "target file", "video format", "frame width", "frame height", "video bit rate", "frame rate",
            "channel count", "audio bit rate", "sample rate", "audio format", "PSP flag", "marker"};
    EngineRequest r;
    int32_t* const integers[kFieldCount] = {nullptr, nullptr, nullptr, &r.frameWidth, &r.frameHeight, &r.videoBitrate,
        nullptr, &r.channelCount, &r.audioBitrate, &r.sampleRate, nullptr, &r.isPsp, nullptr};
    for (int i = 0; i < kFieldCount; ++i) {
        if (!integers[i])
            continue;
        const auto value = parseDecimal(fields[i]);
        if (!value)
            return ArgumentError{"field " + std::to_string(i + 1) + " (" + names[i] + ") is \"" + printable(fields[i])
                + "\", not a decimal integer"};
        *integers[i] = *value;
    }
    r.source = std::string(fields[0]);
    r.target = std::string(fields[1]);
    r.videoFormat = std::string(fields[2]);
    r.frameRate = std::string(fields[6]);
    r.audioFormat = std::string(fields[10]);
    if (r.source.empty())
        return ArgumentError{"field 1 (source file) is empty"};
    if (r.target.empty())
        return ArgumentError{"field 2 (target file) is empty"};
    if (r.source.find('\0') != std::string::npos || r.target.find('\0') != std::string::npos)
        return ArgumentError{"a file name holds a NUL byte"};
    if (!parseFrameRate(r.frameRate))
        return ArgumentError{"field 7 (frame rate) is \"" + printable(r.frameRate)
            + "\", not a frame rate (\"0\" keeps the source's rate)"};
    const std::string_view marker = fields[12];
    if (marker == "S" || marker == "s")
        r.marker = Marker::Silent;
    else if (marker == "N" || marker == "n" || marker.empty())
        r.marker = Marker::Normal;
    else
        return ArgumentError{
            "field 13 (marker) is \"" + printable(marker) + "\"; \"S\" (silent) or \"N\" (normal) is expected"};
    // Both sides negative: a bound (at most -W x -H); one side alone cannot be.
    if ((r.frameWidth < 0) != (r.frameHeight < 0))
        return ArgumentError{"the frame size " + std::to_string(r.frameWidth) + " x " + std::to_string(r.frameHeight)
            + " has one negative side (a bound has both negative)"};
    return r;
}

std::string formatEngineArgument(const EngineRequest& r)
{
    auto n = [](int32_t v) { return std::to_string(v); };
    return r.source + '|' + r.target + '|' + r.videoFormat + '|' + n(r.frameWidth) + '|' + n(r.frameHeight) + '|'
        + n(r.videoBitrate) + '|' + r.frameRate + '|' + n(r.channelCount) + '|' + n(r.audioBitrate) + '|'
        + n(r.sampleRate) + '|' + r.audioFormat + '|' + n(r.isPsp) + '|' + (r.marker == Marker::Silent ? "S" : "N");
}

} // namespace vexlo::engine

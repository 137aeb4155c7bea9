#include "ProgressParser.h"

#include "base/Text.h"

#include <algorithm>
#include <cstdio>

namespace vexlo::engine {

namespace {

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::optional<int64_t> parseCount(std::string_view s)
{
    return text::parseDecimal(s, text::Signs::None, 0, 999'999'999'999'999'999); // 18 digits
}

// Keeps a partial line until its end arrives; hands over every complete line.
template<typename F> void splitLines(std::string& pending, std::string_view bytes, F&& line)
{
    pending.append(bytes);
    size_t start = 0;
    for (;;) {
        const size_t end = pending.find_first_of("\r\n", start);
        if (end == std::string::npos)
            break;
        line(std::string_view(pending).substr(start, end - start));
        start = end + 1;
    }
    pending.erase(0, start);
    // A line without an end for this long is not ffmpeg's: drop it.
    if (pending.size() > 64 * 1024)
        pending.clear();
}

} // namespace

std::optional<int64_t> parseClock(std::string_view text)
{
    text = trim(text);
    const size_t c1 = text.find(':');
    const size_t c2 = c1 == std::string_view::npos ? c1 : text.find(':', c1 + 1);
    if (c2 == std::string_view::npos)
        return std::nullopt;
    const auto h = parseCount(text.substr(0, c1));
    const auto m = parseCount(text.substr(c1 + 1, c2 - c1 - 1));
    std::string_view sec = text.substr(c2 + 1);
    std::string_view frac;
    if (const size_t dot = sec.find('.'); dot != std::string_view::npos) {
        frac = sec.substr(dot + 1);
        sec = sec.substr(0, dot);
    }
    const auto s = parseCount(sec);
    if (!h || !m || !s || *m >= 60 || *s >= 60 || *h > 1000000)
        return std::nullopt;
    int64_t us = ((*h * 60 + *m) * 60 + *s) * 1000000;
    int64_t scale = 100000;
    for (const char c : frac) {
        if (c < '0' || c > '9')
            return std::nullopt;
        us += (c - '0') * scale;
        scale /= 10;
    }
    return us;
}

std::string formatClock(int64_t seconds)
{
    seconds = std::max<int64_t>(seconds, 0);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
        static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return buf;
}

namespace {

// The part of the conversion done (0..1), counting the passes before; nullopt
// when not known.
std::optional<double> doneFraction(const ProgressState& state)
{
    if (state.ended)
        return state.passStart + state.passShare;
    if (!state.durationUs || *state.durationUs <= 0)
        return std::nullopt;
    const double pass = std::clamp(double(state.doneUs) / double(*state.durationUs), 0.0, 1.0);
    return state.passStart + state.passShare * pass;
}

} // namespace

std::optional<int> ProgressState::percent() const
{
    const auto fraction = doneFraction(*this);
    if (!fraction)
        return std::nullopt;
    // 100 only once the last pass has ended.
    if (ended && *fraction > 0.999)
        return 100;
    return static_cast<int>(std::clamp<int64_t>(int64_t(*fraction * 100), 0, 99));
}

std::optional<int64_t> ProgressState::remainingSeconds(double elapsedSeconds) const
{
    if (ended && passStart + passShare > 0.999)
        return 0;
    const auto fraction = doneFraction(*this);
    if (!fraction || elapsedSeconds <= 0 || (doneUs <= 0 && !ended))
        return std::nullopt;
    if (*fraction < 0.01)
        return std::nullopt; // too early for an estimate
    return static_cast<int64_t>(elapsedSeconds / std::min(1.0, *fraction) - elapsedSeconds + 0.5);
}

bool ProgressParser::feedProgress(std::string_view bytes)
{
    bool blockEnded = false;
    splitLines(m_progressPending, bytes, [&](std::string_view line) { progressLine(line, blockEnded); });
    return blockEnded;
}

void ProgressParser::progressLine(std::string_view line, bool& blockEnded)
{
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return;
    const std::string_view key = trim(line.substr(0, eq));
    const std::string_view value = trim(line.substr(eq + 1));
    if (key == "out_time_us" || key == "out_time_ms") { // both are microseconds
        if (const auto v = parseCount(value))
            m_state.doneUs = std::max(m_state.doneUs, *v);
    } else if (key == "frame" && m_pictureRate > 0) {
        if (const auto v = parseCount(value))
            m_state.doneUs = std::max(m_state.doneUs, int64_t(double(*v) * 1e6 / m_pictureRate));
    } else if (key == "progress") {
        blockEnded = true;
        if (value == "end")
            m_state.ended = true;
    }
}

void ProgressParser::setDuration(int64_t us)
{
    if (us <= 0)
        return;
    m_state.durationUs = us;
    m_durationSeen = true;
}

void ProgressParser::feedLog(std::string_view bytes)
{
    splitLines(m_logPending, bytes, [&](std::string_view line) { logLine(line); });
}

namespace {

// A log line taken apart: the last context's name ("h264", "mpegts", "" for
// ffmpeg's own lines), the level ("error", ...; "" when not given), the text,
// and the line as shown to people: the contexts and the text.
struct LogLine {
    std::string_view context, level, text;
    std::string shown;
};

LogLine splitLogLine(std::string_view line)
{
    static constexpr std::string_view levels[]
        = {"quiet", "panic", "fatal", "error", "warning", "info", "verbose", "debug", "trace"};
    LogLine l;
    std::string_view rest = trim(line);
    size_t contextsEnd = 0;
    while (rest.size() > 2 && rest.front() == '[') {
        const size_t close = rest.find("] ");
        if (close == std::string_view::npos)
            break;
        const std::string_view inside = rest.substr(1, close - 1);
        if (std::find(std::begin(levels), std::end(levels), inside) != std::end(levels)) {
            l.level = inside;
            rest.remove_prefix(close + 2);
            break;
        }
        const size_t at = inside.find(" @ ");
        if (at == std::string_view::npos)
            break;
        l.context = inside.substr(0, at);
        rest.remove_prefix(close + 2);
        contextsEnd = size_t(rest.data() - trim(line).data());
    }
    l.text = trim(rest);
    l.shown = std::string(trim(line).substr(0, contextsEnd)) + std::string(l.text);
    return l;
}

bool startsWith(std::string_view text, std::string_view start) { return text.substr(0, start.size()) == start; }

} // namespace

void ProgressParser::readingLine(
    std::string_view context, std::string_view level, std::string_view text, const std::string& shown)
{
    const auto note = [&shown](std::string& first) {
        if (first.empty())
            first = shown.substr(0, 400);
    };
    if (context.empty()) {
        // ffmpeg's own lines: "<source>: <why>" when reading a packet failed
        // (or a packet or frame came out flagged corrupt), and a decoder's
        // refusal of a packet.
        if (!m_sourceUrl.empty() && startsWith(text, m_sourceUrl + ": ")) {
            const std::string_view why = text.substr(m_sourceUrl.size() + 2);
            if (startsWith(why, "corrupt input packet"))
                return;
            if (!startsWith(why, "corrupt decoded frame"))
                note(m_readError);
            note(m_damage);
        } else if (startsWith(text, "Error while decoding stream #")) {
            note(m_damage);
        }
        return;
    }
    // The errors of the source's demuxer, its parsers (they have no codec:
    // "NULL") and its decoders.
    if (level != "error" && level != "fatal" && level != "panic")
        return;
    const bool input = context == "NULL" || (!m_demuxer.empty() && context == m_demuxer)
        || std::find(m_decoders.begin(), m_decoders.end(), context) != m_decoders.end();
    if (!input)
        return;
    // A recording split into files at a GOP (a camcorder's at 2 GB) starts
    // the next file with pictures that refer to the file before: the decoder
    // says so and leaves them out. Damaged data says more than this.
    static constexpr std::string_view referencesBefore[]
        = {"mmco: unref short failure", "mmco: unref long failure", "reference picture missing during reorder",
            "Missing reference picture", "co located POCs unavailable", "Could not find ref with POC"};
    for (const std::string_view words : referencesBefore)
        if (startsWith(text, words))
            return;
    // Some outputs have the names of inputs (an AVI or MPEG muxer, MPEG-4,
    // MPEG-2, AAC and MP2 encoders): their own complaints are not the source's.
    static constexpr std::string_view outputsWords[] = {"buffer underflow", "packet too large",
        "non monotonically increasing dts", "Timestamps are unset", "Encoder did not produce proper pts"};
    for (const std::string_view words : outputsWords)
        if (text.find(words) != std::string_view::npos)
            return;
    if (text.find("partial file") != std::string_view::npos
        || text.find("File ended prematurely") != std::string_view::npos)
        note(m_endedEarly);
    note(m_damage);
}

void ProgressParser::logLine(std::string_view line)
{
    const LogLine parts = splitLogLine(line);
    const std::string_view t = parts.shown;
    if (t.empty())
        return;
    // "Input #0, mpegts, from 'file:...':" names the demuxer; the lines under
    // "Stream mapping:" the decoders: "Stream #0:0 -> #0:0 (h264 (native) ->
    // mpeg4 (native))", "(mp3 (mp3float) -> aac (native))".
    if (parts.context.empty() && startsWith(parts.text, "Input #0, ")) {
        const std::string_view rest = parts.text.substr(10);
        m_demuxer = std::string(rest.substr(0, rest.find(", from ")));
    } else if (parts.context.empty() && parts.text == "Stream mapping:") {
        m_inMapping = true;
    } else if (m_inMapping && startsWith(parts.text, "Stream #")) {
        if (const size_t open = parts.text.find(" ("); open != std::string_view::npos) {
            const std::string_view codecs = parts.text.substr(open + 2);
            const size_t space = codecs.find(' ');
            const size_t close = codecs.find(')');
            if (space != std::string_view::npos && close != std::string_view::npos && codecs[space + 1] == '('
                && close > space + 2) {
                const std::string_view decoder = codecs.substr(space + 2, close - space - 2);
                m_decoders.emplace_back(decoder == "native" ? codecs.substr(0, space) : decoder);
            }
        }
    } else if (m_inMapping) {
        m_inMapping = false;
    }
    readingLine(parts.context, parts.level, parts.text, parts.shown);
    if ((parts.context.empty() || startsWith(parts.context, "in#0/")) && startsWith(parts.text, "Input stream #0:")) {
        // "Input stream #0:1 (audio): 1724 packets read (720560 bytes); 1724
        // frames decoded (2648064 samples); ", from ffmpeg 7 on in the input's
        // context and with "; 0 decode errors" before the samples.
        const std::string_view rest = parts.text.substr(16);
        const auto number = [](std::string_view text) { return parseCount(text.substr(0, text.find_first_of(" ("))); };
        const auto index = number(rest);
        const size_t framesAt = rest.find("; ");
        const size_t decodedAt = rest.find(" frames decoded");
        if (index && *index < 100000 && framesAt != std::string_view::npos && decodedAt != std::string_view::npos
            && decodedAt > framesAt) {
            Decoded d{int(*index), number(rest.substr(framesAt + 2)).value_or(-1), -1};
            const std::string_view after = rest.substr(decodedAt + 15);
            const size_t samplesAt = after.find(" samples)");
            const size_t open = after.substr(0, samplesAt).rfind('(');
            if (samplesAt != std::string_view::npos && open != std::string_view::npos)
                d.samples = number(after.substr(open + 1)).value_or(-1);
            m_decoded.push_back(d);
        }
    }
    // The verbose lines (the filters' and encoders' set-up, the sums above)
    // say nothing about a failure.
    if (parts.level == "verbose")
        return;
    if (!m_durationSeen && t.substr(0, 9) == "Duration:") {
        m_durationSeen = true; // the first input's; later ones are the output's
        std::string_view rest = t.substr(9);
        rest = rest.substr(0, rest.find(','));
        m_state.durationUs = parseClock(rest);
    }
    if (m_writeFailure.empty()) {
        // ffmpeg's own words when the output cannot be written. Some of them
        // (the trailer of AVI and Matroska files) do not change its exit status.
        static constexpr std::string_view failures[]
            = {"Error writing trailer", "Could not write header", "Error submitting a packet to the muxer",
                "av_interleaved_write_frame()", "Error muxing a packet", "Error closing file",
                "No space left on device", "Disk quota exceeded", "File too large", "Error writing output"};
        for (const auto& f : failures)
            if (t.find(f) != std::string_view::npos) {
                m_writeFailure = std::string(t.substr(0, 400));
                break;
            }
    }
    m_tail[m_tailNext] = std::string(t.substr(0, 400));
    m_tailNext = (m_tailNext + 1) % 8;
}

std::optional<int64_t> ProgressParser::decodedFrames(int index) const
{
    for (const Decoded& d : m_decoded)
        if (d.index == index && d.frames >= 0)
            return d.frames;
    return std::nullopt;
}

std::optional<int64_t> ProgressParser::decodedSamples(int index) const
{
    for (const Decoded& d : m_decoded)
        if (d.index == index && d.samples >= 0)
            return d.samples;
    return std::nullopt;
}

std::string ProgressParser::logTail() const
{
    std::string out;
    for (int i = 0; i < 8; ++i) {
        const std::string& line = m_tail[(m_tailNext + i) % 8];
        if (line.empty())
            continue;
        if (!out.empty())
            out += '\n';
        out += line;
    }
    return out;
}

} // namespace vexlo::engine

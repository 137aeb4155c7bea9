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

std::optional<int> ProgressState::percent() const
{
    if (ended)
        return 100;
    if (!durationUs || *durationUs <= 0)
        return std::nullopt;
    const int64_t p = doneUs * 100 / *durationUs;
    return static_cast<int>(std::clamp<int64_t>(p, 0, 99));
}

std::optional<int64_t> ProgressState::remainingSeconds(double elapsedSeconds) const
{
    if (ended)
        return 0;
    if (!durationUs || *durationUs <= 0 || doneUs <= 0 || elapsedSeconds <= 0)
        return std::nullopt;
    const double fraction = std::min(1.0, double(doneUs) / double(*durationUs));
    if (fraction < 0.01)
        return std::nullopt; // too early for an estimate
    return static_cast<int64_t>(elapsedSeconds / fraction - elapsedSeconds + 0.5);
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

void ProgressParser::logLine(std::string_view line)
{
    const std::string_view t = trim(line);
    if (t.empty())
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

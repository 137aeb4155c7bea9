#pragma once
// Reads what ffmpeg reports while it converts: the source's duration from its
// log ("  Duration: 00:00:10.01, start: ...") and the -progress blocks
// ("out_time_us=...", ..., "progress=continue"). Bytes may arrive in any
// pieces; lines of any content are taken without harm.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexlo::engine {

// "HH:MM:SS.xx" as microseconds; nullopt for "N/A" or anything else.
std::optional<int64_t> parseClock(std::string_view text);

// "00:00:04 " style text of a number of seconds (hours grow as needed).
std::string formatClock(int64_t seconds);

struct ProgressState {
    std::optional<int64_t> durationUs; // of the source, when the log told it
    int64_t doneUs = 0;                // output time written so far
    bool ended = false;                // "progress=end" was seen
    // 0..100 when the duration is known, else nullopt.
    std::optional<int> percent() const;
    // Remaining seconds, estimated from the elapsed wall time.
    std::optional<int64_t> remainingSeconds(double elapsedSeconds) const;
};

class ProgressParser {
public:
    // Feed the -progress stream; returns true when a block ended (a
    // "progress=" line), so that the display can be brought up to date.
    bool feedProgress(std::string_view bytes);
    // Feed ffmpeg's log; the first "Duration:" sets the total. The last lines
    // are kept for the error message.
    void feedLog(std::string_view bytes);
    // The total as the engine read it from the source, in place of the log's
    // (which follows the file's duration, even when one damaged time stamp
    // makes that hours long). Values of 0 or less are ignored.
    void setDuration(int64_t us);

    const ProgressState& state() const { return m_state; }
    // The last few non-empty log lines, joined by "\n".
    std::string logTail() const;
    // ffmpeg reported that writing the output failed (header, packets,
    // trailer, closing), even when it then exits with status 0; the line.
    const std::string& writeFailure() const { return m_writeFailure; }

private:
    void progressLine(std::string_view line, bool& blockEnded);
    void logLine(std::string_view line);
    ProgressState m_state;
    std::string m_progressPending;
    std::string m_logPending;
    std::string m_tail[8];
    int m_tailNext = 0;
    bool m_durationSeen = false;
    std::string m_writeFailure;
};

} // namespace vexlo::engine

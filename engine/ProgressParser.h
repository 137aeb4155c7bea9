#pragma once
// Reads what ffmpeg reports while it converts: the source's duration from its
// log ("  Duration: 00:00:10.01, start: ...") and the -progress blocks
// ("out_time_us=...", ..., "progress=continue"), and what its log says went
// wrong while reading the source. Bytes may arrive in any pieces; lines of
// any content are taken without harm. The log is read as ffmpeg writes it
// with "-loglevel level+verbose": "[h264 @ 0x55..] [error] text" (the
// contexts, then the level; lines without a context are ffmpeg's own).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexlo::engine {

// "HH:MM:SS.xx" as microseconds; nullopt for "N/A" or anything else.
std::optional<int64_t> parseClock(std::string_view text);

// "00:00:04 " style text of a number of seconds (hours grow as needed).
std::string formatClock(int64_t seconds);

struct ProgressState {
    std::optional<int64_t> durationUs; // of the source, when the log told it
    int64_t doneUs = 0;                // output time written so far
    bool ended = false;                // "progress=end" was seen
    // The run of ffmpeg this state is of, as a part of the conversion: it
    // starts at `passStart` (0..1) and covers `passShare` of it.
    double passStart = 0, passShare = 1;
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
    // This run is one pass of several (ProgressState::passStart, passShare).
    void setPass(double start, double share)
    {
        m_state.passStart = start;
        m_state.passShare = share;
    }
    // A pass that writes no pictures (the first of two) has ffmpeg's output
    // time stay 0: its progress is counted by the pictures encoded, at
    // `perSecond` pictures a second written (0: not counted).
    void setPictureRate(double perSecond) { m_pictureRate = perSecond; }

    const ProgressState& state() const { return m_state; }
    // The last few non-empty log lines, joined by "\n".
    std::string logTail() const;
    // ffmpeg reported that writing the output failed (header, packets,
    // trailer, closing), even when it then exits with status 0; the line.
    const std::string& writeFailure() const { return m_writeFailure; }

    // The source as ffmpeg names it ("file:/media/clip.m2ts"): its lines about
    // the input start with it.
    void setSourceUrl(std::string url) { m_sourceUrl = std::move(url); }
    // What the log said about reading the source, each the first such line
    // as ffmpeg wrote it (without the level), "" when none:
    // - a read of the source failed ("file:<source>: Input/output error"),
    //   which ffmpeg takes for the file's end;
    const std::string& readError() const { return m_readError; }
    // - the source's data ends before its index says ("partial file",
    //   "File ended prematurely"): a cut copy;
    const std::string& dataEndedEarly() const { return m_endedEarly; }
    // - any of these, or damaged data that the decoders papered over: errors
    //   of the source's demuxer, parsers and decoders, "Error while decoding
    //   stream", "corrupt decoded frame". Not the packets that the MPEG-TS
    //   demuxer flags for a jump in the packet counters ("corrupt input
    //   packet"), which recordings joined end to end have at each join.
    const std::string& sourceDamage() const { return m_damage; }

    // What the decoders made of the source's stream `index`, as ffmpeg's
    // verbose log sums it up at the end ("Input stream #0:1 (audio): ...;
    // 1724 frames decoded (2648064 samples);"): the pictures, or the sound's
    // samples; nullopt when not told.
    std::optional<int64_t> decodedFrames(int index) const;
    std::optional<int64_t> decodedSamples(int index) const;

private:
    void progressLine(std::string_view line, bool& blockEnded);
    void logLine(std::string_view line);
    void readingLine(std::string_view context, std::string_view level, std::string_view text, const std::string& shown);
    ProgressState m_state;
    std::string m_progressPending;
    std::string m_logPending;
    std::string m_tail[8];
    int m_tailNext = 0;
    bool m_durationSeen = false;
    double m_pictureRate = 0;
    std::string m_writeFailure;
    std::string m_sourceUrl;
    std::string m_demuxer;               // the input's, as its log lines name it ("mpegts")
    std::vector<std::string> m_decoders; // the input streams' decoders ("h264", "mp3float")
    bool m_inMapping = false;
    std::string m_readError, m_endedEarly, m_damage;
    struct Decoded {
        int index;
        int64_t frames, samples; // -1: not told
    };
    std::vector<Decoded> m_decoded;
};

} // namespace vexlo::engine

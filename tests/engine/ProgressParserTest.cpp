#include "engine/ProgressParser.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>

using namespace vexlo::engine;

namespace {

const std::string kLog = "Input #0, mpegts, from 'file:/v/a.m2ts':\r\n"
                         "  Duration: 00:01:40.50, start: 1.400000, bitrate: 8421 kb/s\n"
                         "  Stream #0:0[0x1011]: Video: h264 (High)\n"
                         "Output #0, mp4, to 'file:/o/a.mp4':\n"
                         "  Duration: 00:00:03.00, start: 0\n";

const std::string kProgress
    = "frame=10\nfps=0.0\nout_time_us=25125000\nout_time_ms=25125000\nout_time=00:00:25.125000\n"
      "progress=continue\n"
      "frame=20\nout_time_us=N/A\nprogress=continue\n"
      "frame=30\nout_time_us=50250000\nprogress=end\n";

} // namespace

TEST(ProgressParser, ReadsDurationAndProgressInAnyPieces)
{
    std::mt19937 random(7);
    for (int round = 0; round < 50; ++round) {
        ProgressParser p;
        int blocks = 0;
        std::optional<int> percentAfterFirst;
        for (size_t at = 0; at < kLog.size();) {
            const size_t n = 1 + random() % 17;
            p.feedLog(std::string_view(kLog).substr(at, n));
            at += n;
        }
        for (size_t at = 0; at < kProgress.size();) {
            const size_t n = 1 + random() % 13;
            if (p.feedProgress(std::string_view(kProgress).substr(at, n)) && ++blocks == 1)
                percentAfterFirst = p.state().percent();
            at += n;
        }
        EXPECT_EQ(percentAfterFirst, 25);
        ASSERT_EQ(p.state().durationUs, 100500000); // the input's, not the output's
        EXPECT_TRUE(p.state().ended);
        EXPECT_EQ(p.state().percent(), 100);
        EXPECT_EQ(p.state().doneUs, 50250000); // "N/A" changes nothing
    }
    ProgressParser p;
    p.feedLog(kLog);
    p.feedProgress("out_time_us=25125000\nprogress=continue\n");
    EXPECT_EQ(p.state().percent(), 25);
    EXPECT_EQ(p.state().remainingSeconds(10.0), 30); // a quarter in 10 s: 30 s to go
}

TEST(ProgressParser, UnknownDurationMeansNoPercent)
{
    ProgressParser p;
    p.feedLog("  Duration: N/A, start: 0.000000, bitrate: N/A\n");
    p.feedProgress("out_time_us=5000000\nprogress=continue\n");
    EXPECT_FALSE(p.state().durationUs);
    EXPECT_FALSE(p.state().percent());
    EXPECT_FALSE(p.state().remainingSeconds(3.0));
}

TEST(ProgressParser, PercentStaysBelowHundredUntilTheEnd)
{
    ProgressParser p;
    p.feedLog("Duration: 00:00:10.00,\n");
    p.feedProgress("out_time_us=12000000\nprogress=continue\n"); // past the source's length
    EXPECT_EQ(p.state().percent(), 99);
    p.feedProgress("progress=end\n");
    EXPECT_EQ(p.state().percent(), 100);
}

// A pass of several covers its share of the whole: the first pass's end is
// where the second starts, and only the last one's end is 100. A first pass
// writes no pictures (ffmpeg's output time stays 0): it counts the pictures
// encoded, at the rate it is given.
TEST(ProgressParser, PassesShareTheWhole)
{
    const std::tuple<double, double, double, const char*, std::optional<int>, std::optional<int64_t>> cases[] = {
        {0, 0.25, 0, "out_time_us=5000000\nprogress=continue\n", 12, 70}, // 12.5 % in 10 s
        {0, 0.25, 30, "frame=150\nout_time_us=0\nprogress=continue\n", 12, 70},
        {0, 0.25, 0, "frame=150\nout_time_us=0\nprogress=continue\n", 0, std::nullopt},
        {0, 0.25, 0, "progress=end\n", 25, 30},
        {0.25, 0.75, 0, "out_time_us=0\nprogress=continue\n", 25, std::nullopt},
        {0.25, 0.75, 0, "out_time_us=5000000\nprogress=continue\n", 62, 6},
        {0.25, 0.75, 0, "out_time_us=12000000\nprogress=continue\n", 99, 0},
        {0.25, 0.75, 0, "progress=end\n", 100, 0},
    };
    for (const auto& [start, share, rate, fed, percent, remaining] : cases) {
        SCOPED_TRACE(std::to_string(start) + " " + fed);
        ProgressParser p;
        p.setDuration(10000000);
        p.setPass(start, share);
        p.setPictureRate(rate);
        p.feedProgress(fed);
        EXPECT_EQ(p.state().percent(), percent);
        EXPECT_EQ(p.state().remainingSeconds(10.0), remaining);
    }
}

TEST(ProgressParser, AnyBytesAreHarmless)
{
    std::mt19937 random(11);
    ProgressParser p;
    std::string junk;
    for (int i = 0; i < 200000; ++i)
        junk += static_cast<char>(random() % 256);
    p.feedLog(junk);
    p.feedProgress(junk);
    p.feedLog(std::string(100000, 'x')); // an endless line is dropped, not kept
    EXPECT_LE(p.logTail().size(), 8u * 401u);
}

TEST(ProgressParser, LogTailKeepsTheLastLines)
{
    ProgressParser p;
    for (int i = 0; i < 20; ++i)
        p.feedLog("line " + std::to_string(i) + "\n\n");
    EXPECT_EQ(p.logTail(), "line 12\nline 13\nline 14\nline 15\nline 16\nline 17\nline 18\nline 19");
}

TEST(ProgressParser, Clocks)
{
    EXPECT_EQ(parseClock("00:00:10.01"), 10010000);
    EXPECT_EQ(parseClock(" 01:02:03.5"), 3723500000);
    EXPECT_EQ(parseClock("00:00:07"), 7000000);
    for (const char* bad : {"N/A", "", "10.0", "00:60:00", "00:00:61", "aa:bb:cc", "00:00:01.x"})
        EXPECT_FALSE(parseClock(bad)) << bad;
    EXPECT_EQ(formatClock(3723), "01:02:03");
    EXPECT_EQ(formatClock(-5), "00:00:00");
}

TEST(ProgressParser, WhatWentWrongReadingTheSourceIsToldFromOtherLines)
{
    // ffmpeg's log with levels, up to the conversion; then one line.
    const std::string head = "[mp3 @ 0x1] [warning] Estimating duration from bitrate, this may be inaccurate\n"
                             "[info] Input #0, mov,mp4,m4a,3gp,3g2,mj2, from 'file:/v/a b.mp4':\n"
                             "[info]   Duration: 00:00:10.00, start: 0.000000, bitrate: 900 kb/s\n"
                             "[info] Stream mapping:\n"
                             "[info]   Stream #0:0 -> #0:0 (h264 (native) -> mpeg4 (native))\n"
                             "[info]   Stream #0:1 -> #0:1 (mp3 (mp3float) -> aac (native))\n"
                             "[info] Output #0, mp4, to 'file:/o/a.mp4':\n";
    enum Kind { None, Damage, EndedEarly, ReadError };
    const struct {
        const char* line;
        Kind kind;
        const char* said; // the line as told: without its level
    } cases[] = {
        {"[error] file:/v/a b.mp4: Input/output error", ReadError, "file:/v/a b.mp4: Input/output error"},
        {"[error] file:/v/a b.mp4: Invalid data found when processing input", ReadError,
            "file:/v/a b.mp4: Invalid data found when processing input"},
        {"[mov,mp4,m4a,3gp,3g2,mj2 @ 0x2] [error] stream 1, offset 0x1e: partial file", EndedEarly,
            "[mov,mp4,m4a,3gp,3g2,mj2 @ 0x2] stream 1, offset 0x1e: partial file"},
        {"[warning] file:/v/a b.mp4: corrupt decoded frame in stream 0", Damage,
            "file:/v/a b.mp4: corrupt decoded frame in stream 0"},
        {"[error] Error while decoding stream #0:1: Invalid data found when processing input", Damage,
            "Error while decoding stream #0:1: Invalid data found when processing input"},
        {"[h264 @ 0x3] [error] Invalid NAL unit size (0 > 4287).", Damage,
            "[h264 @ 0x3] Invalid NAL unit size (0 > 4287)."},
        {"[mp3float @ 0x4] [error] Header missing", Damage, "[mp3float @ 0x4] Header missing"},
        {"[NULL @ 0x5] [error] missing picture in access unit", Damage, "[NULL @ 0x5] missing picture in access unit"},
        // Not the source's data: the packet counters at a join of two
        // recordings, warnings, the output's side, other files, pictures that
        // refer to the file before a split.
        {"[warning] file:/v/a b.mp4: corrupt input packet in stream 0", None, ""},
        {"[mpegts @ 0x6] [warning] Packet corrupt (stream = 0, dts = 2822922).", None, ""},
        {"[h264 @ 0x3] [warning] Increasing reorder buffer to 1", None, ""},
        {"[libx264 @ 0x7] [error] broken ffmpeg default settings detected", None, ""},
        {"[mp4 @ 0x8] [error] Application provided invalid, non monotonically increasing dts", None, ""},
        {"[error] file:/v/a b.mp4.txt: Input/output error", None, ""},
        {"[error] file:/o/a.mp4: Input/output error", None, ""},
        {"[h264 @ 0x3] [error] mmco: unref short failure", None, ""},
        // An MPEG program stream converted into one: the muxer has the demuxer's name.
        {"[mov,mp4,m4a,3gp,3g2,mj2 @ 0xb] [error] buffer underflow st=0 bufi=1234 size=5678", None, ""},
        {"[swscaler @ 0x9] [swscaler @ 0xa] [warning] deprecated pixel format used", None, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        ProgressParser p;
        p.setSourceUrl("file:/v/a b.mp4");
        const std::string text = head + c.line + "\n[info] video:433kB audio:2kB subtitle:0kB\n";
        for (size_t i = 0; i < text.size(); i += 11)
            p.feedLog(std::string_view(text).substr(i, 11));
        EXPECT_EQ(p.readError(), c.kind == ReadError ? c.said : "");
        EXPECT_EQ(p.dataEndedEarly(), c.kind == EndedEarly ? c.said : "");
        EXPECT_EQ(p.sourceDamage(), c.said);
    }
    // The log's last lines, for a failure, are shown without their levels
    // too, and the duration is read as before.
    ProgressParser p;
    p.feedLog(head + "[fatal] Conversion failed!\n");
    EXPECT_EQ(p.logTail().find("[info]"), std::string::npos) << p.logTail();
    EXPECT_NE(p.logTail().find("\nConversion failed!"), std::string::npos) << p.logTail();
    EXPECT_EQ(p.state().durationUs, 10000000);
}

TEST(ProgressParser, WhatTheDecodersMadeOfTheSourceIsReadFromItsSums)
{
    // ffmpeg 5 and 6; ffmpeg 7 (the input's context, decode errors).
    for (const char* log : {"[verbose] Input file #0 (file:/v/a.m2ts):\n"
                            "[verbose]   Input stream #0:0 (video): 1500 packets read (4153267 bytes); 1500 frames "
                            "decoded; \n"
                            "[verbose]   Input stream #0:1 (audio): 1724 packets read (720560 bytes); 1724 frames "
                            "decoded (2648064 samples); \n"
                            "[verbose]   Input stream #0:2 (subtitle): 3 packets read (99 bytes); \n",
             "[in#0/mpegts @ 0x5] [verbose]   Input stream #0:0 (video): 1500 packets read (4153267 bytes); 1500 "
             "frames decoded; 0 decode errors; \n"
             "[in#0/mpegts @ 0x5] [verbose]   Input stream #0:1 (audio): 1724 packets read (720560 bytes); 1724 "
             "frames decoded; 0 decode errors (2648064 samples); \n"
             "[in#0/mpegts @ 0x5] [verbose]   Input stream #0:2 (subtitle): 3 packets read (99 bytes); \n"}) {
        SCOPED_TRACE(log);
        ProgressParser p;
        p.feedLog(std::string(log)
            + "[verbose]   Output stream #0:1 (audio): 2586 frames encoded (2648064 samples); 2587 packets muxed\n");
        EXPECT_EQ(p.decodedFrames(0), 1500);
        EXPECT_EQ(p.decodedSamples(0), std::nullopt);
        EXPECT_EQ(p.decodedFrames(1), 1724);
        EXPECT_EQ(p.decodedSamples(1), 2648064);
        EXPECT_EQ(p.decodedFrames(2), std::nullopt);
        EXPECT_EQ(p.decodedFrames(3), std::nullopt);
        EXPECT_EQ(p.logTail(), "") << "the sums are no reason for a failure";
    }
}

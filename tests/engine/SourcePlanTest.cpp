// What ffprobe says about a source, and what the plan makes of it: streams,
// rates, channels, silence for PSP files, and any field value without harm.
#include "ArgumentWords.h"
#include "engine/FfmpegArguments.h"
#include "engine/ProgressParser.h"
#include "engine/SourceProbe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

using namespace vexlo::engine;
using vexlo::engine::test::has;
using vexlo::engine::test::option;

namespace {

SourceInfo clip(int64_t w, int64_t h, Rational rate, bool audio = true, int channels = 2)
{
    SourceInfo s;
    VideoStreamInfo v;
    v.width = w;
    v.height = h;
    v.frameRate = v.baseRate = rate;
    s.video = v;
    if (audio)
        s.audio = AudioStreamInfo{1, channels, 48000, ""};
    s.durationSeconds = 2;
    return s;
}

EngineRequest request(const std::string& target, const std::string& video, const std::string& audio)
{
    EngineRequest r;
    r.source = "/in/clip";
    r.target = target;
    r.videoFormat = video;
    r.audioFormat = audio;
    r.frameWidth = 320;
    r.frameHeight = 240;
    r.frameRate = "0";
    r.channelCount = 2;
    r.sampleRate = 44100;
    return r;
}

std::vector<std::string> argsFor(const EngineRequest& r, const SourceInfo& s)
{
    auto plan = planOutput(r, s);
    if (auto* e = std::get_if<PlanError>(&plan)) {
        ADD_FAILURE() << e->message;
        return {};
    }
    return buildFfmpegArguments(r, std::get<OutputPlan>(plan));
}

} // namespace

TEST(SourceProbe, ReadsTheStreamsThatMatter)
{
    // A phone clip: a cover picture first, the video turned by -90 degrees
    // in its display matrix, two sound tracks.
    const SourceInfo s
        = parseProbeOutput("streams.stream.0.index=0\n"
                           "streams.stream.0.codec_type=\"video\"\n"
                           "streams.stream.0.width=300\nstreams.stream.0.height=300\n"
                           "streams.stream.0.disposition.attached_pic=1\n"
                           "streams.stream.1.index=1\n"
                           "streams.stream.1.codec_type=\"video\"\n"
                           "streams.stream.1.width=1920\nstreams.stream.1.height=1080\n"
                           "streams.stream.1.sample_aspect_ratio=\"0:1\"\n"
                           "streams.stream.1.pix_fmt=\"yuvj420p\"\n"
                           "streams.stream.1.color_range=\"pc\"\n"
                           "streams.stream.1.color_space=\"unknown\"\n"
                           "streams.stream.1.r_frame_rate=\"60/1\"\n"
                           "streams.stream.1.avg_frame_rate=\"1800/73\"\n"
                           "streams.stream.1.field_order=\"progressive\"\n"
                           "streams.stream.1.side_data_list.side_data.0.side_data_type=\"Display Matrix\"\n"
                           "streams.stream.1.side_data_list.side_data.0.rotation=-90\n"
                           "streams.stream.2.index=2\nstreams.stream.2.codec_type=\"audio\"\n"
                           "streams.stream.2.channels=1\nstreams.stream.2.sample_rate=\"44100\"\n"
                           "streams.stream.3.index=3\nstreams.stream.3.codec_type=\"audio\"\n"
                           "streams.stream.3.channels=6\n"
                           "format.duration=\"1.250000\"\n");
    ASSERT_TRUE(s.video);
    EXPECT_EQ(s.video->index, 1);
    EXPECT_EQ(s.video->width, 1920);
    EXPECT_EQ(s.video->rotation, 270);
    EXPECT_EQ(s.video->sampleAspect, (Rational{1, 1})); // "0:1" says nothing
    EXPECT_EQ(s.video->frameRate, (Rational{1800, 73}));
    EXPECT_EQ(s.video->baseRate, (Rational{60, 1}));
    EXPECT_EQ(s.video->colorRange, "pc");
    EXPECT_EQ(s.video->colorSpace, "");
    ASSERT_TRUE(s.audio);
    EXPECT_EQ(s.audio->index, 2);
    EXPECT_EQ(s.audio->channels, 1);
    EXPECT_EQ(s.audio->sampleRate, 44100);
    EXPECT_DOUBLE_EQ(s.durationSeconds, 1.25);
}

TEST(SourceProbe, AnyTextReadsWithoutHarm)
{
    const char* texts[] = {
        "",
        "garbage\n=\n==\nstreams.stream.\nstreams.stream.x.width=1\n",
        "streams.stream.0.codec_type=\"video\"\nstreams.stream.0.width=99999999999999999999\n"
        "streams.stream.0.height=-5\n",
        "streams.stream.0.codec_type=\"video\"\nstreams.stream.0.width=8\nstreams.stream.0.height=8\n"
        "streams.stream.0.side_data_list.side_data.0.rotation=1e308\n"
        "streams.stream.0.avg_frame_rate=\"9223372036854775807/0\"\n",
        "streams.stream.999999999999.codec_type=\"audio\"\nformat.duration=\"nan\"\n",
    };
    for (const char* t : texts) {
        const SourceInfo s = parseProbeOutput(t);
        if (s.video) {
            EXPECT_GT(s.video->width, 0);
            EXPECT_GT(s.video->height, 0);
        }
        EXPECT_GE(s.durationSeconds, 0);
    }
}

TEST(SourcePlan, StreamsThatAreMissing)
{
    // No sound: a PSP file gets silence of the profile's format, as long as
    // the pictures; other files get pictures only.
    EngineRequest psp = request("/o/a.mp4", "h264", "ACC");
    psp.isPsp = 1;
    psp.sampleRate = 48000;
    const auto silent = argsFor(psp, clip(320, 240, {25, 1}, false));
    EXPECT_EQ(option(silent, "-f"), "lavfi");
    ASSERT_TRUE(option(silent, "-i"));
    const auto second = std::find(std::find(silent.begin(), silent.end(), "-i") + 1, silent.end(), "-i");
    ASSERT_LT(second + 1, silent.end());
    const std::string silence = *(second + 1);
    EXPECT_EQ(silence, "anullsrc=channel_layout=stereo:sample_rate=48000:duration=2.000");
    EXPECT_TRUE(has(silent, "1:a:0"));
    EXPECT_TRUE(has(silent, "-shortest"));
    EXPECT_EQ(option(silent, "-c:a"), "aac");

    const auto plain = argsFor(request("/o/a.mp4", "mpeg4", "ACC"), clip(320, 240, {25, 1}, false));
    EXPECT_FALSE(option(plain, "-c:a"));
    EXPECT_FALSE(has(plain, "-shortest"));
    EXPECT_EQ(option(plain, "-map"), "0:0");

    // Sound alone: no PSP file; elsewhere the sound is converted.
    SourceInfo sound;
    sound.audio = AudioStreamInfo{0, 2, 44100, ""};
    const auto refused = planOutput(psp, sound);
    ASSERT_TRUE(std::holds_alternative<PlanError>(refused));
    EXPECT_NE(std::get<PlanError>(refused).message.find("PSP"), std::string::npos);
    const auto audioOnly = argsFor(request("/o/a.mp4", "mpeg4", "ACC"), sound);
    EXPECT_FALSE(option(audioOnly, "-c:v"));
    EXPECT_FALSE(option(audioOnly, "-vf"));
    EXPECT_EQ(option(audioOnly, "-c:a"), "aac");
}

TEST(SourcePlan, RatesAndChannelsTheEncodersTake)
{
    struct Case {
        const char *what, *target, *video, *audio;
        Rational sourceRate, baseRate;
        const char* asked;
        std::optional<std::string> rate;
        double pictures; // a second written: the first pass's progress counts them
        bool telecined = false;
    };
    const Case cases[] = {
        {"MPEG-1, 5 fps source", "/o/a.mpg", "mpeg1", "mp2", {5, 1}, {5, 1}, "0", "24000/1001", 23.976},
        {"MPEG-2, 15 fps source", "/o/a.mpg", "mpeg2", "mp2", {15, 1}, {15, 1}, "0", "24000/1001", 23.976},
        {"MPEG-2, PAL source", "/o/a.mpg", "mpeg2", "mp2", {25, 1}, {25, 1}, "0", "25", 25},
        {"MPEG-2, 1080i reporting its field rate", "/o/a.vob", "", "", {30000, 1001}, {60000, 1001}, "0", "30000/1001",
            29.97},
        {"MPEG-4, 5 fps source stays", "/o/a.mp4", "mpeg4", "ACC", {5, 1}, {5, 1}, "0", std::nullopt, 5},
        {"variable rate: steady at the average", "/o/a.mp4", "h264", "ACC", {1800, 73}, {60, 1}, "0", "1800/73",
            24.658},
        {"variable rate into AVI", "/o/a.avi", "xvid", "mp3", {1800, 73}, {60, 1}, "0", "1800/73", 24.658},
        {"asked rate wins", "/o/a.avi", "divx", "mp3", {1800, 73}, {60, 1}, "15", "15", 15},
        {"telecined film: four frames of five", "/o/a.webm", "vp9", "opus", {30000, 1001}, {30000, 1001}, "0",
            std::nullopt, 23.976, true},
        {"a rate nobody knows", "/o/a.mkv", "h264", "ACC", {0, 1}, {0, 1}, "0", std::nullopt, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EngineRequest r = request(c.target, c.video, c.audio);
        r.frameRate = c.asked;
        SourceInfo s = clip(320, 240, c.sourceRate);
        s.video->baseRate = c.baseRate;
        if (c.telecined) {
            s.video->fieldOrder = "tt";
            s.video->fields = FieldContent::Telecined;
        }
        EXPECT_EQ(option(argsFor(r, s), "-r"), c.rate);
        const auto plan = planOutput(r, s);
        ASSERT_TRUE(std::holds_alternative<OutputPlan>(plan));
        EXPECT_NEAR(std::get<OutputPlan>(plan).picturesPerSecond, c.pictures, 0.001);
    }

    // Channels and sample rates: MP2 and MP3 carry at most two channels,
    // whatever the source has when the profile keeps the source's count.
    EngineRequest keep = request("/o/a.mpg", "mpeg1", "mp2");
    keep.channelCount = 0;
    keep.sampleRate = 0;
    SourceInfo surround = clip(1920, 1080, {25, 1}, true, 6);
    surround.audio->sampleRate = 8000; // MPEG audio layer 2 starts at 16000
    auto args = argsFor(keep, surround);
    EXPECT_EQ(option(args, "-ac"), "2");
    EXPECT_EQ(option(args, "-ar"), "16000");
    keep.target = "/o/a.mp4";
    keep.audioFormat = "ACC";
    args = argsFor(keep, surround);
    EXPECT_FALSE(option(args, "-ac")); // AAC takes 5.1
    EXPECT_FALSE(option(args, "-ar")); // 8000 Hz is an AAC rate: kept
}

TEST(SourcePlan, AnyFieldValueIsHandledWithoutOverflow)
{
    // Hand-edited values at the ends of the 32-bit range: the command line
    // carries them as they are (ffmpeg then refuses what it cannot do).
    for (const char* video : {"mpeg1", "mpeg2", "mpeg4", "h264"}) {
        SCOPED_TRACE(video);
        EngineRequest r = request("/o/a.mpg", video, "mp2");
        if (std::string(video).rfind("mpeg", 0) != 0 || std::string(video) == "mpeg4")
            r.target = "/o/a.mp4";
        r.videoBitrate = INT_MAX;
        r.audioBitrate = INT_MAX;
        r.channelCount = INT_MAX;
        r.sampleRate = INT_MAX;
        r.frameWidth = INT_MAX;
        r.frameHeight = INT_MAX;
        const auto args = argsFor(r, clip(1920, 1080, {25, 1}));
        EXPECT_EQ(option(args, "-b:v"), "2147483647k");
        if (std::string(video).rfind("mpeg", 0) == 0 && std::string(video) != "mpeg4") {
            EXPECT_EQ(option(args, "-maxrate"), "2147483647k"); // never below the bit rate
        }
        EXPECT_EQ(option(args, "-ac"), "2");
    }
}

TEST(ProgressParser, FailedWritesAreSeenInTheLog)
{
    const char* failures[] = {
        "[avi @ 0x55] Error writing trailer of file:/d/a.avi: No space left on device\n",
        "[matroska @ 0x1] Error writing trailer of file:/d/a.mkv: No space left on device\n",
        "av_interleaved_write_frame(): No space left on device\n",
        "Could not write header for output file #0 (incorrect codec parameters ?): Permission denied\n",
        "[mp4 @ 0x2] Error submitting a packet to the muxer: Disk quota exceeded\n",
        "Error closing file file:/d/a.mp4: No space left on device\n",
    };
    for (const char* line : failures) {
        ProgressParser p;
        // In pieces, as pipes deliver it.
        const std::string text = std::string("Input #0, mpegts\n  Duration: 00:00:10.00, start: 0\n") + line;
        for (size_t i = 0; i < text.size(); i += 7)
            p.feedLog(std::string_view(text).substr(i, 7));
        EXPECT_NE(p.writeFailure(), "") << line;
    }
    ProgressParser ok;
    ok.feedLog("Input #0, mpegts\n  Duration: 00:00:10.00, start: 0\n[mpeg4 @ 0x1] Invalid pts (0) <= last (0)\n"
               "video:100kB audio:20kB subtitle:0kB other streams:0kB global headers:0kB muxing overhead: 1%\n");
    EXPECT_EQ(ok.writeFailure(), "");
}

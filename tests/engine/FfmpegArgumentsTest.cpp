#include "Catalogue.h"
#include "ArgumentWords.h"
#include "engine/FfmpegArguments.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <tuple>

using namespace vexlo::engine;
using vexlo::engine::test::has;
using vexlo::engine::test::installedCatalogue;
using vexlo::engine::test::option;

namespace {

// A camcorder clip: 1920 x 1080 at 29.97 frames a second with stereo sound.
SourceInfo camcorder()
{
    SourceInfo s;
    VideoStreamInfo v;
    v.width = 1920;
    v.height = 1080;
    v.frameRate = v.baseRate = {30000, 1001};
    s.video = v;
    s.audio = AudioStreamInfo{1, 2, 48000, ""};
    s.durationSeconds = 10;
    return s;
}

OutputPlan planOk(const EngineRequest& r, const SourceInfo& source = camcorder())
{
    return vexlo::engine::test::planOrFail(r, source);
}

EngineRequest request(const std::string& target, const std::string& video, const std::string& audio)
{
    return vexlo::engine::test::requestOf("/in/clip.m2ts", target, video, audio);
}

// The arguments for a catalogue profile converting the camcorder clip.
EngineRequest profileRequest(const vexlo::engine::test::CatalogueProfile& profile)
{
    EngineRequest r = profile.request;
    r.source = "/in/clip.m2ts";
    r.target = "/out/clip" + profile.fileType;
    return r;
}

std::vector<std::string> profileArguments(
    const vexlo::engine::test::CatalogueProfile& profile, const SourceInfo& source = camcorder())
{
    const EngineRequest r = profileRequest(profile);
    return buildFfmpegArguments(r, planOk(r, source));
}

// What the arguments name: the container, the video encoder and its tag, the audio encoder.
using Codecs = std::array<std::string, 4>;
Codecs codecsOf(const std::vector<std::string>& args)
{
    return {option(args, "-f").value_or(""), option(args, "-c:v").value_or(""), option(args, "-vtag").value_or(""),
        option(args, "-c:a").value_or("")};
}

} // namespace

TEST(FfmpegArguments, EveryCatalogueProfileMapsToItsEncodersAndContainer)
{
    auto catalogue = installedCatalogue();
    ASSERT_EQ(catalogue.size(), 25u) << "data/vexlo.ini";
    catalogue.resize(18); // the bit-rate profiles; the constant-quality ones below
    for (const auto& profile : catalogue) {
        SCOPED_TRACE(profile.title);
        EngineRequest r = profile.request;
        r.source = "/in/My Clip.m2ts";
        r.target = "/out/My Clip" + profile.fileType;
        const OutputPlan plan = planOk(r);
        const auto args = buildFfmpegArguments(r, plan);
        EXPECT_EQ(option(args, "-b:v"), std::to_string(r.videoBitrate) + "k");
        EXPECT_EQ(option(args, "-b:a"), std::to_string(r.audioBitrate) + "k");
        EXPECT_EQ(option(args, "-ac"), std::to_string(r.channelCount));
        EXPECT_EQ(option(args, "-ar"), std::to_string(r.sampleRate)); // all catalogue rates fit
        const std::string filters = option(args, "-vf").value_or("");
        // bwdif: yadif loses detail that no encoder gets back.
        EXPECT_NE(filters.find("bwdif=mode=send_frame:parity=auto:deint=interlaced"), std::string::npos) << filters;
        EXPECT_EQ(filters.find("yadif"), std::string::npos) << filters;
        // Bit-rate profiles keep the encoder's own tuning.
        EXPECT_FALSE(option(args, "-tune"));
        // The frame is the profile's, whatever the picture inside it.
        const std::string w = std::to_string(r.frameWidth), h = std::to_string(r.frameHeight);
        EXPECT_TRUE(filters.find("pad=" + w + ":" + h + ":") != std::string::npos
            || filters.find("scale=" + w + ":" + h) != std::string::npos)
            << filters;
        if (r.frameRate == "0" && r.videoFormat.rfind("mpeg", 0) != 0) {
            EXPECT_FALSE(option(args, "-r"));
        } else if (r.frameRate == "29.976") {
            EXPECT_EQ(option(args, "-r"), "30000/1001");
        }
        // The names reach ffmpeg only as file: URLs, as the last output argument.
        EXPECT_EQ(option(args, "-i"), "file:/in/My Clip.m2ts");
        EXPECT_EQ(args.back(), "file:" + r.target);
        EXPECT_NE(std::find(args.begin(), args.end(), "-nostdin"), args.end());
        EXPECT_NE(std::find(args.begin(), args.end(), "-y"), args.end());
        // Deinterlacing comes before scaling; scaling the fields together would
        // smear them.
        EXPECT_LT(filters.find("bwdif"), filters.find("format="));
    }
    // The profiles that tell the encoders and containers apart.
    const struct {
        size_t number;
        const char *muxer, *videoEncoder, *tag, *audioEncoder;
    } telling[] = {
        {0, "mp4", "mpeg4", "", "aac"},
        {7, "psp", "mpeg4", "", "aac"},
        {9, "psp", "libx264", "", "aac"},
        {10, "mp4", "libx264", "", "aac"},
        {11, "avi", "mpeg4", "DX50", "libmp3lame"},
        {12, "avi", "libxvid", "XVID", "libmp3lame"},
        {16, "mpeg", "mpeg1video", "", "mp2"},
        {17, "dvd", "mpeg2video", "", "mp2"},
    };
    for (const auto& e : telling) {
        SCOPED_TRACE(catalogue.at(e.number).title);
        EXPECT_EQ(codecsOf(profileArguments(catalogue.at(e.number))),
            (Codecs{e.muxer, e.videoEncoder, e.tag, e.audioEncoder}));
    }
}

TEST(FfmpegArguments, TheSmallestPicturesAreDeinterlacedByYadif)
{
    // bwdif needs planes of 3 x 4 samples at least; yadif takes 3 x 3.
    const struct {
        int width, height;
        const char* deinterlacer;
    } cases[] = {{1920, 1080, "bwdif="}, {16, 16, "bwdif="}, {16, 14, "yadif="}, {14, 16, "yadif="}, {8, 6, "yadif="},
        {0, 0, "bwdif="}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        SourceInfo source = camcorder();
        source.video->width = c.width;
        source.video->height = c.height;
        const EngineRequest r = request("/o/a.mp4", "h264", "");
        const auto filters = option(buildFfmpegArguments(r, planOk(r, source)), "-vf").value_or("");
        EXPECT_NE(filters.find(c.deinterlacer), std::string::npos) << filters;
        EXPECT_EQ(filters.find(std::string(c.deinterlacer) == "bwdif=" ? "yadif=" : "bwdif="), std::string::npos);
    }
}

TEST(FfmpegArguments, HostileNamesStayFileUrls)
{
    for (const std::string name : {"-i", "-y.mp4", "concat:/a.mp4", "http://x/y.mp4", "pipe:1", "a b 'c' \"d\".mp4",
             "\xc3\xa9t\xc3\xa9.mp4", "-"}) {
        EngineRequest r = request("/out/" + name + ".mp4", "mpeg4", "ACC");
        r.source = name;
        const auto args = buildFfmpegArguments(r, planOk(r));
        EXPECT_EQ(option(args, "-i"), "file:" + name);
        EXPECT_EQ(args.back(), "file:/out/" + name + ".mp4");
        // Apart from those two, the command is that of a harmless name.
        EngineRequest plain = request("/out/plain.mp4", "mpeg4", "ACC");
        plain.source = "plain";
        auto expected = buildFfmpegArguments(plain, planOk(plain));
        ASSERT_EQ(args.size(), expected.size());
        for (size_t i = 0; i < args.size(); ++i)
            if (expected[i] != "file:plain" && expected[i] != "file:/out/plain.mp4") {
                EXPECT_EQ(args[i], expected[i]) << name;
            }
    }
}

TEST(FfmpegArguments, IdentifiersAndContainers)
{
    struct Case {
        const char *target, *video, *audio;
        const char *muxer, *encoder, *tag, *audioEncoder;
    };
    const Case cases[] = {
        {"/o/a.mp4", "", "ACC", "mp4", "mpeg4", "", "aac"},
        {"/o/a.MP4", "H264", "aac", "mp4", "libx264", "", "aac"},
        {"/o/a.avi", "", "", "avi", "mpeg4", "", "libmp3lame"},
        {"/o/a.avi", "DivX", "MP3", "avi", "mpeg4", "DX50", "libmp3lame"},
        {"/o/a.mp4", "divx", "ACC", "mp4", "mpeg4", "", "aac"}, // no AVI tag in MP4
        {"/o/a.mpg", "", "", "mpeg", "mpeg1video", "", "mp2"},
        {"/o/a.mpg", "mpeg1", "ACC", "mpeg", "mpeg1video", "", "mp2"}, // no AAC in MPEG-PS
        {"/o/a.mpg", "mpeg2", "mp2", "dvd", "mpeg2video", "", "mp2"},
        {"/o/a.vob", "", "", "vob", "mpeg2video", "", "mp2"},
        {"/o/a.mkv", "h264", "mp3", "matroska", "libx264", "", "libmp3lame"},
        {"/o.d/noext", "mpeg4", "ACC", "", "mpeg4", "", "aac"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const OutputPlan p = planOk(request(c.target, c.video, c.audio));
        EXPECT_EQ(p.muxer, c.muxer);
        EXPECT_EQ(p.videoEncoder, c.encoder);
        EXPECT_EQ(p.videoTag, c.tag);
        EXPECT_EQ(p.audioEncoder, c.audioEncoder);
    }
}

TEST(FfmpegArguments, RefusesUnknownIdentifiersAndPspOutsideMp4)
{
    struct Case {
        const char *target, *video, *audio;
        int psp;
        const char* messagePart;
    };
    const Case cases[] = {
        {"/o/a.mp4", "wmv9", "ACC", 0, "video format \"wmv9\""},
        {"/o/a.mp4", "mpeg4", "vorbis", 0, "audio format \"vorbis\""},
        {"/o/a.avi", "mpeg4", "ACC", 1, "PSP"},
    };
    for (const auto& c : cases) {
        EngineRequest r = request(c.target, c.video, c.audio);
        r.isPsp = c.psp;
        const auto p = planOutput(r, camcorder());
        ASSERT_TRUE(std::holds_alternative<PlanError>(p)) << c.video << c.audio;
        EXPECT_NE(std::get<PlanError>(p).message.find(c.messagePart), std::string::npos)
            << std::get<PlanError>(p).message;
    }
}

TEST(FfmpegArguments, RatesFitWhatTheEncodersAccept)
{
    struct Case {
        const char *target, *video, *audio;
        int psp, sampleRate, expectedRate;
        const char *frameRate, *expectedFrameRate;
    };
    const Case cases[] = {
        {"/o/a.avi", "xvid", "mp3", 0, 96000, 48000, "25", "25"},
        {"/o/a.mp4", "mpeg4", "ACC", 0, 54000, 48000, "12.5", "125/10"},
        {"/o/a.mp4", "mpeg4", "ACC", 1, 44100, 48000, "29.976", "30000/1001"},
        {"/o/a.mp4", "h264", "ACC", 1, 22050, 24000, "0", nullptr},
        {"/o/a.mpg", "mpeg1", "mp2", 0, 8000, 16000, "12", "24000/1001"},
        {"/o/a.mpg", "mpeg2", "mp2", 0, 0, 0, "29.97", "30000/1001"},
        // Half-way between two rates the lower one is taken.
        {"/o/a.avi", "xvid", "mp3", 0, 46050, 44100, "0", nullptr},
        {"/o/a.webm", "vp9", "opus", 0, 10000, 8000, "0", nullptr},
        {"/o/a.mp4", "mpeg4", "ACC", 1, 36000, 24000, "0", nullptr},
        {"/o/a.mpg", "mpeg2", "mp2", 0, 0, 0, "24.5", "24"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.target) + " " + c.video + " " + c.frameRate);
        EngineRequest r = request(c.target, c.video, c.audio);
        r.isPsp = c.psp;
        r.sampleRate = c.sampleRate;
        r.frameRate = c.frameRate;
        const auto args = buildFfmpegArguments(r, planOk(r));
        EXPECT_EQ(option(args, "-ar"), c.expectedRate ? std::optional(std::to_string(c.expectedRate)) : std::nullopt);
        EXPECT_EQ(
            option(args, "-r"), c.expectedFrameRate ? std::optional<std::string>(c.expectedFrameRate) : std::nullopt);
    }
}

TEST(FfmpegArguments, ZeroMeansTheSourceOrTheEncodersChoice)
{
    EngineRequest r = request("/o/a.mp4", "mpeg4", "ACC");
    r.frameWidth = r.frameHeight = r.videoBitrate = r.channelCount = r.audioBitrate = r.sampleRate = 0;
    const auto args = buildFfmpegArguments(r, planOk(r));
    for (const char* absent : {"-b:v", "-b:a", "-ac", "-ar", "-r"})
        EXPECT_FALSE(option(args, absent)) << absent;
    EXPECT_EQ(option(args, "-vf").value_or("").find("scale"), std::string::npos);

    r.frameWidth = 640; // one side given: the other follows the source's aspect
    EXPECT_NE(
        option(buildFfmpegArguments(r, planOk(r)), "-vf").value_or("").find("scale=640:360,colormatrix=bt709:bt601,"),
        std::string::npos);
}

TEST(FfmpegArguments, MpegPeakRateNeverBelowTheBitRate)
{
    for (const int kbit : {190, 1150, 2376, 6000, 12000}) {
        for (const char* video : {"mpeg1", "mpeg2"}) {
            EngineRequest r = request("/o/a.mpg", video, "mp2");
            r.videoBitrate = kbit;
            const auto args = buildFfmpegArguments(r, planOk(r));
            const std::string maxrate = option(args, "-maxrate").value_or("0k");
            EXPECT_GE(std::stoi(maxrate), kbit) << video << " " << kbit;
        }
    }
}

TEST(FfmpegArguments, ExtensionRule)
{
    EXPECT_EQ(extensionOf("/a/b.MP4"), ".mp4");
    EXPECT_EQ(extensionOf("/a.d/b"), "");
    EXPECT_EQ(extensionOf("b.tar.avi"), ".avi");
    EXPECT_EQ(extensionOf(""), "");
}

namespace {

// A camcorder's 10-bit HDR clip: 3840 x 2160 HLG in BT.2020.
SourceInfo deepColour()
{
    SourceInfo s = camcorder();
    s.video->width = 3840;
    s.video->height = 2160;
    s.video->pixelFormat = "yuv422p10le";
    s.video->colorSpace = "bt2020nc";
    s.video->colorPrimaries = "bt2020";
    s.video->colorTransfer = "arib-std-b67";
    return s;
}

} // namespace

TEST(FfmpegArguments, ConstantQualityProfilesForTodaysPlayers)
{
    struct Expect {
        int number;
        const char *muxer, *encoder, *tag, *audioEncoder, *crf;
        bool fastStart;
        const char* size;  // the scaled picture of the 1080 camcorder source, "" = none
        const char* speed; // -preset, or -cpu-used of VP9's second pass (bench/engine/quality)
        const char* tune;  // x264's tuning for camera footage, "" = none
        // SVT-AV1's own parameters: quantisation matrices, and no CDEF, which
        // smooths away the sensor grain of camera footage
        const char* svtParams;
        const char* pixelFormat; // of an 8-bit source: AV1 and H.265 write 10 bits
    };
    const Expect expected[] = {
        {18, "mp4", "libx264", "", "aac", "23", true, "", "faster", "film", "", "yuv420p"},
        {19, "mp4", "libx265", "hvc1", "aac", "24", true, "", "veryfast", "", "", "yuv420p10le"},
        {20, "mp4", "libx264", "", "aac", "23", true, "", "faster", "film", "", "yuv420p"},
        {21, "mp4", "libx264", "", "aac", "23", true, "scale=1280:720", "faster", "film", "", "yuv420p"},
        {22, "webm", "libsvtav1", "", "libopus", "30", false, "", "9", "", "enable-qm=1:enable-cdef=0", "yuv420p10le"},
        {23, "webm", "libvpx-vp9", "", "libopus", "33", false, "", "3", "", "", "yuv420p"},
        {24, "matroska", "libx265", "", "flac", "22", false, "", "veryfast", "", "", "yuv420p10le"},
    };
    const auto catalogue = installedCatalogue();
    ASSERT_EQ(catalogue.size(), 25u);
    for (const Expect& e : expected) {
        const auto& profile = catalogue.at(size_t(e.number));
        SCOPED_TRACE(profile.title);
        const auto args = profileArguments(profile);
        EXPECT_EQ(codecsOf(args), (Codecs{e.muxer, e.encoder, e.tag, e.audioEncoder}));
        EXPECT_EQ(option(args, "-crf"), e.crf);
        EXPECT_EQ(option(args, e.encoder == std::string("libvpx-vp9") ? "-cpu-used" : "-preset"), e.speed);
        EXPECT_EQ(option(args, "-tune").value_or(""), e.tune);
        EXPECT_EQ(option(args, "-svtav1-params").value_or(""), e.svtParams);
        // Constant quality: no average rate (VP9 needs "0" to leave its cap off).
        EXPECT_EQ(option(args, "-b:v"),
            e.encoder == std::string("libvpx-vp9") ? std::optional<std::string>("0") : std::nullopt);
        EXPECT_EQ(option(args, "-movflags").value_or("").find("+faststart") != std::string::npos, e.fastStart);
        const std::string filters = option(args, "-vf").value_or("");
        if (*e.size) {
            EXPECT_NE(filters.find(e.size), std::string::npos) << filters;
        } else {
            EXPECT_EQ(filters.find("scale="), std::string::npos) << filters;
        }
        EXPECT_NE(filters.find(std::string("format=") + e.pixelFormat + ",setparams"), std::string::npos) << filters;
        if (e.audioEncoder == std::string("flac")) {
            // The archive keeps the source's sound as it is: no rate, channels or bit rate.
            EXPECT_FALSE(option(args, "-ar"));
            EXPECT_FALSE(option(args, "-ac"));
            EXPECT_FALSE(option(args, "-b:a"));
        } else {
            EXPECT_EQ(option(args, "-ar"), "48000");
            EXPECT_EQ(option(args, "-ac"), "2");
        }
    }
}

TEST(FfmpegArguments, FlatPicturesGetTheSearchesMadeForThem)
{
    // A screen, slides, drawn animation: the constant-quality H.264 profiles
    // search wider, AV1 takes its tools for such pictures and CDEF at a
    // quicker preset. Every other profile's command stays as it is, and
    // only for these are the source's pictures looked at.
    SourceInfo flat = camcorder();
    flat.video->flatPictures = true;
    const char* wider = "me=umh:subme=7:ref=3:mixed-refs=1";
    const struct {
        int number;
        const char* option;
        const char *camera, *flat;
    } changed[] = {{18, "-x264-params", "", wider}, {20, "-x264-params", "", wider}, {21, "-x264-params", "", wider},
        {22, "-preset", "9", "10"},
        {22, "-svtav1-params", "enable-qm=1:enable-cdef=0", "enable-qm=1:enable-cdef=1:scm=1"}};
    const auto catalogue = installedCatalogue();
    for (size_t n = 0; n < catalogue.size(); ++n) {
        SCOPED_TRACE(catalogue[n].title);
        const auto cameraArgs = profileArguments(catalogue[n]), flatArgs = profileArguments(catalogue[n], flat);
        bool any = false;
        for (const auto& c : changed) {
            if (size_t(c.number) != n)
                continue;
            any = true;
            EXPECT_EQ(option(cameraArgs, c.option).value_or(""), c.camera);
            EXPECT_EQ(option(flatArgs, c.option).value_or(""), c.flat);
        }
        if (!any) {
            EXPECT_EQ(flatArgs, cameraArgs);
        }
        EXPECT_EQ(flatPicturesMatter(profileRequest(catalogue[n])), any);
    }
}

TEST(FfmpegArguments, MatroskaArchivesGetAHigherQualityThanPlayerFiles)
{
    const struct {
        const char *video, *playerTarget, *archiveCrf;
    } cases[] = {
        {"h264", "/o/a.mp4", "18"}, {"hevc", "/o/a.mp4", "22"}, {"av1", "/o/a.webm", "24"}, {"vp9", "/o/a.webm", "26"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.video);
        const EngineRequest player = request(c.playerTarget, c.video, "");
        const EngineRequest archive = request("/o/a.mkv", c.video, "");
        const auto playerCrf = option(buildFfmpegArguments(player, planOk(player)), "-crf");
        const auto archiveCrf = option(buildFfmpegArguments(archive, planOk(archive)), "-crf");
        ASSERT_TRUE(playerCrf && archiveCrf);
        EXPECT_EQ(*archiveCrf, c.archiveCrf);
        EXPECT_LT(std::stoi(*archiveCrf), std::stoi(*playerCrf)); // lower is better
    }
}

TEST(FfmpegArguments, IdentifiersCompareWithoutCaseAndABitRateStaysAnAverage)
{
    EngineRequest r = request("/o/a.MKV", "HEVC", "FLAC");
    OutputPlan p = planOk(r);
    EXPECT_EQ(p.videoEncoder, "libx265");
    EXPECT_EQ(p.videoTag, ""); // hvc1 is an MP4 matter
    EXPECT_EQ(p.audioEncoder, "flac");
    r = request("/o/a.webm", "Av1", "Opus");
    r.videoBitrate = 1500;
    const auto args = buildFfmpegArguments(r, planOk(r));
    EXPECT_EQ(option(args, "-b:v"), "1500k");
    EXPECT_FALSE(option(args, "-crf"));
    // WebM's own codecs when a profile names none.
    p = planOk(request("/o/a.webm", "", ""));
    EXPECT_EQ(p.videoEncoder, "libvpx-vp9");
    EXPECT_EQ(p.audioEncoder, "libopus");
    // Opus takes only its own rates.
    r = request("/o/a.webm", "vp9", "opus");
    r.sampleRate = 44100;
    EXPECT_EQ(option(buildFfmpegArguments(r, planOk(r)), "-ar"), "48000");
    // Sound alone goes to the phone profiles too: its index comes first as well.
    SourceInfo sound;
    sound.audio = AudioStreamInfo{0, 2, 44100, ""};
    r = request("/o/a.mp4", "h264", "ACC");
    EXPECT_EQ(option(buildFfmpegArguments(r, planOk(r, sound)), "-movflags"), "+faststart");
    // A bit-rate profile of MP4 keeps its index where it was.
    r = request("/o/a.mp4", "h264", "ACC");
    r.videoBitrate = 1000;
    EXPECT_FALSE(planOk(r).fastStart);
}

TEST(FfmpegArguments, AContainerRefusesWhatItCannotHold)
{
    struct Case {
        const char *target, *video, *audio;
        const char* messagePart;
    };
    const Case cases[] = {
        {"/o/a.webm", "h264", "opus", "VP9 or AV1 video, not H.264"},
        {"/o/a.webm", "mpeg4", "opus", "not MPEG-4 Part 2"},
        {"/o/a.webm", "vp9", "ACC", "Opus sound, not AAC"},
        {"/o/a.webm", "av1", "mp3", "Opus sound, not MP3"},
        {"/o/a.avi", "hevc", "mp3", "cannot hold H.265/HEVC video"},
        {"/o/a.avi", "xvid", "opus", "cannot hold Opus sound"},
        {"/o/a.mpg", "vp9", "mp2", "cannot hold VP9 video"},
        {"/o/a.mpg", "mpeg2", "flac", "cannot hold FLAC sound"},
        {"/o/a.3gp", "av1", "ACC", "cannot hold AV1 video"},
        {"/o/a.mov", "vp9", "ACC", "cannot hold VP9 video"},
        {"/o/a.mp4", "hevc", "flac", "cannot hold FLAC sound"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.target) + " " + c.video + " " + c.audio);
        const auto p = planOutput(request(c.target, c.video, c.audio), camcorder());
        ASSERT_TRUE(std::holds_alternative<PlanError>(p));
        EXPECT_NE(std::get<PlanError>(p).message.find(c.messagePart), std::string::npos)
            << std::get<PlanError>(p).message;
    }
    // What a container cannot hold does not matter when the source has none of it.
    SourceInfo silent = camcorder();
    silent.audio.reset();
    EXPECT_TRUE(std::holds_alternative<OutputPlan>(planOutput(request("/o/a.webm", "vp9", "ACC"), silent)));
    // What the containers can hold.
    for (const auto& [target, video, audio] : {std::tuple{"/o/a.mp4", "av1", "opus"},
             std::tuple{"/o/a.mp4", "vp9", "ACC"}, std::tuple{"/o/a.mov", "hevc", "ACC"},
             std::tuple{"/o/a.mkv", "vp9", "flac"}, std::tuple{"/o/a.mkv", "av1", "opus"}}) {
        SCOPED_TRACE(std::string(target) + " " + video + " " + audio);
        planOk(request(target, video, audio));
    }
}

TEST(FfmpegArguments, DeepColourIsKeptByH265AndConvertedForPlayersByTheOthers)
{
    // The archive (H.265): 10 bits, BT.2020 kept, HLG tagged as it was.
    EngineRequest r = request("/o/a.mkv", "hevc", "flac");
    auto args = buildFfmpegArguments(r, planOk(r, deepColour()));
    std::string filters = option(args, "-vf").value_or("");
    EXPECT_NE(filters.find("format=yuv420p10le"), std::string::npos) << filters;
    EXPECT_EQ(filters.find("colormatrix"), std::string::npos) << filters;
    EXPECT_EQ(option(args, "-colorspace"), "bt2020nc");
    EXPECT_EQ(option(args, "-color_primaries"), "bt2020");
    EXPECT_EQ(option(args, "-color_trc"), "arib-std-b67");
    // The frames carry the same tags (ffmpeg 7 takes them from there).
    EXPECT_TRUE(
        filters.ends_with(",setparams=range=tv:colorspace=bt2020nc:color_primaries=bt2020:color_trc=arib-std-b67"))
        << filters;

    // H.264 and VP9: 8-bit 4:2:0, AV1 10-bit 4:2:0, with the matrix
    // converted and the source's primaries and transfer still named.
    for (const auto& [target, video, audio, format] :
        {std::tuple{"/o/a.mp4", "h264", "ACC", "yuv420p"}, std::tuple{"/o/a.webm", "av1", "opus", "yuv420p10le"},
            std::tuple{"/o/a.webm", "vp9", "opus", "yuv420p"}}) {
        SCOPED_TRACE(video);
        r = request(target, video, audio);
        r.frameWidth = -1920;
        r.frameHeight = -1080;
        args = buildFfmpegArguments(r, planOk(r, deepColour()));
        filters = option(args, "-vf").value_or("");
        EXPECT_TRUE(filters.ends_with(std::string("scale=1920:1080,colormatrix=bt2020:bt709,setsar=1,format=") + format
            + ",setparams=range=tv:colorspace=bt709:color_primaries=bt2020:color_trc=arib-std-b67"))
            << filters;
        EXPECT_EQ(option(args, "-colorspace"), "bt709");
        EXPECT_EQ(option(args, "-color_trc"), "arib-std-b67");
    }
    // An 8-bit source in H.265: 10 bits, its own matrix.
    args = buildFfmpegArguments(request("/o/a.mp4", "hevc", "ACC"), planOk(request("/o/a.mp4", "hevc", "ACC")));
    EXPECT_NE(option(args, "-vf").value_or("").find("format=yuv420p10le,"), std::string::npos);
    EXPECT_EQ(option(args, "-colorspace"), "bt709");

    EXPECT_EQ(sampleBits("yuv420p"), 8);
    EXPECT_EQ(sampleBits("yuvj420p"), 8);
    EXPECT_EQ(sampleBits("yuv420p10le"), 10);
    EXPECT_EQ(sampleBits("yuv422p12be"), 12);
    EXPECT_EQ(sampleBits("p010le"), 10);
    EXPECT_EQ(sampleBits(""), 8);
}

TEST(FfmpegArguments, Av1PresetCanBeSetForSlowMachines)
{
    const EngineRequest r = request("/o/a.webm", "av1", "opus");
    ::setenv("VEXLO_AV1_PRESET", "13", 1);
    EXPECT_EQ(option(buildFfmpegArguments(r, planOk(r)), "-preset"), "13");
    for (const char* unusable : {"14", "-1", "fast", ""}) {
        ::setenv("VEXLO_AV1_PRESET", unusable, 1);
        EXPECT_EQ(option(buildFfmpegArguments(r, planOk(r)), "-preset"), "9") << unusable;
    }
    ::unsetenv("VEXLO_AV1_PRESET");
}

TEST(FfmpegArguments, AFullRangeSourceKeptAtItsSizeBecomesLimitedRange)
{
    // MJPEG cameras and phones write the full 0..255 range; players expect
    // 16..235, so the samples are converted even when the size stays.
    struct Case {
        const char *what, *target, *video, *audio;
        int width, height;
        const char *pixelFormat, *range;
        int sourceWidth, sourceHeight;
        const char* scale; // "" = no scale filter at all
    };
    const Case cases[] = {
        {"MJPEG at its own size", "/o/a.avi", "mpeg4", "mp3", 0, 0, "yuvj420p", "", 640, 480,
            "scale=640:480:in_range=full:out_range=limited"},
        {"phone clip inside the bound", "/o/a.mp4", "h264", "ACC", -1920, -1080, "yuv420p", "pc", 1080, 1920,
            "scale=1080:1920:in_range=full:out_range=limited"},
        {"full range, scaled", "/o/a.mp4", "h264", "ACC", 640, 360, "yuv420p", "pc", 1280, 720,
            "scale=640:360:in_range=full:out_range=limited"},
        {"limited range at its own size", "/o/a.mp4", "h264", "ACC", 0, 0, "yuv420p", "tv", 1280, 720, ""},
        {"yuvj pixels tagged limited", "/o/a.avi", "mpeg4", "mp3", 0, 0, "yuvj420p", "tv", 640, 480, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SourceInfo source = camcorder();
        source.video->width = c.sourceWidth;
        source.video->height = c.sourceHeight;
        source.video->pixelFormat = c.pixelFormat;
        source.video->colorRange = c.range;
        EngineRequest r = request(c.target, c.video, c.audio);
        r.frameWidth = c.width;
        r.frameHeight = c.height;
        const std::string filters = option(buildFfmpegArguments(r, planOk(r, source)), "-vf").value_or("");
        if (*c.scale) {
            EXPECT_NE(filters.find(std::string(c.scale) + ","), std::string::npos) << filters;
        } else {
            EXPECT_EQ(filters.find("scale="), std::string::npos) << filters;
        }
    }
}

TEST(FfmpegArguments, DvdFramesAre720Or704WideWithNonSquarePixels)
{
    // A wide source fills every DVD frame, flagged 16:9; other MPEG-2 frames
    // and other encoders get square pixels and bars.
    struct Case {
        const char* video;
        int width, height;
        Rational dar;
        bool bars;
    };
    const Case cases[] = {
        {"mpeg2", 720, 480, {16, 9}, false},
        {"mpeg2", 720, 576, {16, 9}, false},
        {"mpeg2", 704, 480, {16, 9}, false},
        {"mpeg2", 704, 576, {16, 9}, false},
        {"mpeg2", 640, 480, {1, 1}, true},
        {"mpeg2", 704, 400, {1, 1}, true},
        {"mpeg4", 704, 576, {1, 1}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.video) + " " + std::to_string(c.width) + "x" + std::to_string(c.height));
        EngineRequest r = request("/o/a.mpg", c.video, "mp2");
        r.frameWidth = c.width;
        r.frameHeight = c.height;
        const OutputPlan plan = planOk(r);
        EXPECT_EQ(plan.picture.displayAspect, c.dar);
        EXPECT_EQ(plan.picture.frameWidth, c.width);
        EXPECT_EQ(plan.picture.frameHeight, c.height);
        const std::string filters = option(buildFfmpegArguments(r, plan), "-vf").value_or("");
        EXPECT_EQ(filters.find("pad=") != std::string::npos, c.bars) << filters;
        if (c.dar == Rational{16, 9}) {
            EXPECT_NE(filters.find("setdar=16/9"), std::string::npos) << filters;
        }
    }
}

TEST(FfmpegArguments, ConstantQualityH264AndH265KeepToALevelTheirPicturesFit)
{
    const struct {
        const char* encoder;
        int64_t width, height;
        double fps;
        VideoLevel level;
    } rows[] = {
        {"libx264", 1920, 1080, 25, {"4.0", 25000, 31250}}, // 8160 macroblocks, 204000 a second
        {"libx264", 1920, 1080, 50, {"4.2", 62500, 78125}}, // 408000 a second: past 4.1
        {"libx264", 1280, 720, 30000.0 / 1001, {"3.1", 17500, 17500}},
        {"libx264", 640, 360, 25, {"3.0", 12500, 12500}}, // 920 macroblocks: past 2.1's 792
        {"libx264", 320, 240, 25, {"1.3", 960, 2500}},
        {"libx264", 3840, 2160, 30, {"5.1", 300000, 300000}},
        {"libx265", 1920, 1080, 25, {"4.1", 20000, 20000}}, // fits 4: its .1 step
        {"libx265", 1920, 1080, 60, {"4.1", 20000, 20000}},
        {"libx265", 640, 360, 25, {"2.1", 3000, 3000}},
        {"libx265", 3840, 2160, 30, {"5.1", 40000, 40000}},
        {"libx265", 7680, 4320, 30, {"6.1", 120000, 120000}},
        {"libsvtav1", 1920, 1080, 25, {}},
        {"libx264", 0, 0, 25, {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.encoder) + " " + std::to_string(r.width) + "x" + std::to_string(r.height));
        EXPECT_EQ(videoLevel(r.encoder, r.width, r.height, r.fps), r.level);
    }
    // On the command line: profile 18 (H.264) and 19 (H.265) on the 1080 camcorder clip.
    const auto catalogue = installedCatalogue();
    const auto h264 = profileArguments(catalogue.at(18));
    EXPECT_EQ(option(h264, "-level:v"), "4.0");
    EXPECT_EQ(option(h264, "-maxrate"), "25000k");
    EXPECT_EQ(option(h264, "-bufsize"), "31250k");
    EXPECT_EQ(option(profileArguments(catalogue.at(19)), "-x265-params"),
        "log-level=error:level-idc=4.1:vbv-maxrate=20000:vbv-bufsize=20000");
}

// VP9 goes in two passes: the first reads the pictures alone into its
// statistics and writes no file; the second is the one-pass command with the
// statistics. Every other encoder keeps one run.
TEST(FfmpegArguments, Vp9EncodesInTwoPasses)
{
    const std::tuple<const char*, const char*, const char*, size_t> cases[] = {{"/o/a.webm", "vp9", "opus", 2},
        {"/o/a.mkv", "vp9", "flac", 2}, {"/o/a.webm", "av1", "opus", 1}, {"/o/a.mp4", "h264", "ACC", 1}};
    for (const auto& [target, video, audio, count] : cases) {
        SCOPED_TRACE(std::string(target) + " " + video);
        const EngineRequest r = request(target, video, audio);
        const OutputPlan plan = planOk(r);
        const auto one = buildFfmpegArguments(r, plan);
        const auto passes = buildFfmpegPasses(r, plan, "/t/stats/pass");
        ASSERT_EQ(passes.size(), count);
        EXPECT_NEAR(passes.front().share + passes.back().share * (count - 1), 1.0, 1e-9);
        if (count == 1) {
            EXPECT_EQ(passes[0].arguments, one);
            continue;
        }
        const auto& first = passes[0].arguments;
        const auto& second = passes[1].arguments;
        EXPECT_GT(passes[0].share, 0.0);
        EXPECT_LT(passes[0].share, 0.5);
        for (const auto& [args, number] : {std::pair{&first, "1"}, std::pair{&second, "2"}}) {
            EXPECT_EQ(option(*args, "-pass"), number);
            EXPECT_EQ(option(*args, "-passlogfile"), "/t/stats/pass");
            EXPECT_EQ(option(*args, "-deadline"), "good");
            EXPECT_EQ(option(*args, "-crf"), option(one, "-crf"));
            EXPECT_EQ(option(*args, "-vf"), option(one, "-vf"));
            EXPECT_EQ(option(*args, "-t"), option(one, "-t"));
        }
        EXPECT_EQ(
            std::vector<std::string>(first.end() - 3, first.end()), (std::vector<std::string>{"-f", "null", "-"}));
        EXPECT_FALSE(has(first, "-c:a"));
        EXPECT_EQ(std::count(first.begin(), first.end(), "-map"), 1) << "the pictures alone";
        std::vector<std::string> withoutPass = second;
        const auto at = std::find(withoutPass.begin(), withoutPass.end(), "-pass");
        withoutPass.erase(at, at + 4);
        EXPECT_EQ(withoutPass, one);
    }
}

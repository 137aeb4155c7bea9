// The installed catalogue (vexlo.ini) and the factory values (VideoFormat.dat).
#include "settings/RunSettings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>

using namespace vexlo::settings;

namespace {

const std::vector<std::string> kTitles = {
    "MP4 MPEG-4 Video (*.mp4)",
    "iPod MPEG-4 Video (320x240, 4:3) - High Quanlity",
    "iPod MPEG-4 Video (320x180, 16:9) - High Quanlity",
    "iPod MPEG-4 Video (320x240, 4:3)",
    "iPod MPEG-4 Video (320x180, 16:9)",
    "iPod MPEG-4 Video (320x240, 4:3) - Low Quanlity, Less File Size",
    "iPod MPEG-4 Video (320x180, 16:9) - Low Quanlity, Less File Size",
    "PSP MPEG-4 Video (368x208)",
    "PSP MPEG-4 Video (368x208) - High Quanlity",
    "PSP AVC Video (368x208)",
    "MP4 MPEG-4 AVC Video (*.mp4)",
    "DivX Video Format (*.avi)",
    "XviD Video Format (*.avi)",
    "Archor Video (*.avi)",
    "Creative Zen Vision (*.avi)",
    "iRiver PMP-100 (*.avi)",
    "MPEG-1/VCD Video (*.mpg)",
    "MPEG-2/SVCD/DVD Video (*.mpg)",
    "MP4 H.264 Video - Same as source (*.mp4)",
    "MP4 H.265/HEVC Video - Same as source (*.mp4)",
    "MP4 H.264 Video for phones and the web, 1080p (*.mp4)",
    "MP4 H.264 Video for phones and the web, 720p (*.mp4)",
    "WebM AV1 Video (*.webm)",
    "WebM VP9 Video (*.webm)",
    "MKV H.265 archive, same as source (*.mkv)",
};

// The items of the output dialog's parameter boxes.
const std::set<std::string> kFrameSizes = {
    "80 x 60", "128 x 96", "160 x 120", "160 x 128", "176 x 144", "320 x 180", "320 x 240",
    "352 x 240", "368 x 192", "368 x 208", "480 x 272", "480 x 320", "640 x 360", "640 x 480",
    "720 x 480", "720 x 576", "853 x 480", "1280 x 720", "1440 x 1080", "1920 x 1080",
    "Same as source file", "Up to 1280 x 720", "Up to 1920 x 1080"};
const std::set<std::string> kVideoBitrates = {"0", "190", "216", "384", "400", "512", "768",
                                              "1000", "1150", "1200", "1500", "2000", "2376",
                                              "3000", "4000", "6000", "8000", "10000", "12000"};
const std::set<std::string> kFramerates = {"12", "15", "20", "23.976", "25", "29.976", "30",
                                           "Same as source file"};
const std::set<std::string> kAudioBitrates = {"32", "48", "56", "64", "96", "112",
                                              "128", "160", "192", "224", "256", "320"};
const std::set<std::string> kSampleRates = {"8000", "16000", "22050", "24000", "32000",
                                            "44100", "48000", "54000", "96000"};
const std::vector<std::string> kParameterKeys = {"FrameSize", "VideoBitrate", "Framerate",
                                                 "AudioBitrate", "SampleBitrate", "Channels"};

IniDocument dataFile(const char* name)
{
    return IniFile(std::string(VEXLO_SOURCE_DIR "/data/") + name).load();
}

TEST(Catalogue, TwentyFiveProfilesWithTheListsTitles)
{
    const IniDocument ini = dataFile("vexlo.ini");
    for (size_t n = 0; n < kTitles.size(); ++n)
        EXPECT_EQ(ini.readText(profileSectionName(int(n)), "Title", ""), kTitles[n]) << n;
    EXPECT_EQ(ini.readText(profileSectionName(25), "Title", ""), "");
}

TEST(Catalogue, EveryProfileIsCompleteAndMatchesTheDialogLists)
{
    const IniDocument ini = dataFile("vexlo.ini");
    const std::set<std::string> videoFormats = {"mpeg4", "h264", "divx", "xvid", "mpeg1",
                                                "mpeg2", "hevc", "av1",  "vp9"};
    const std::set<std::string> audioFormats = {"ACC", "mp3", "mp2", "opus", "flac"};
    for (int n = 0; n < int(kTitles.size()); ++n) {
        SCOPED_TRACE(n);
        const std::string s = profileSectionName(n);
        EXPECT_EQ(ini.keys(s).size(), 12u);
        EXPECT_TRUE(videoFormats.count(ini.readText(s, "VideoFormat", "?")));
        EXPECT_TRUE(audioFormats.count(ini.readText(s, "AudioFormat", "?")));
        const std::string type = ini.readText(s, "FileType", "?");
        EXPECT_TRUE(type == ".mp4" || type == ".avi" || type == ".mpg" || type == ".webm" || type == ".mkv")
            << type;
        EXPECT_TRUE(ini.readInteger(s, "IsPSP", -1) == 0 || ini.readInteger(s, "IsPSP", -1) == 1);
        EXPECT_EQ(ini.readInteger(s, "IsPSP", -1) == 1, kTitles[n].rfind("PSP", 0) == 0);
        EXPECT_TRUE(ini.readInteger(s, "Edit", -1) == 0 || ini.readInteger(s, "Edit", -1) == 1);
        EXPECT_TRUE(kFrameSizes.count(ini.readText(s, "FrameSize", "?")));
        EXPECT_TRUE(kVideoBitrates.count(ini.readText(s, "VideoBitrate", "?")));
        EXPECT_TRUE(kFramerates.count(ini.readText(s, "Framerate", "?")));
        EXPECT_TRUE(kAudioBitrates.count(ini.readText(s, "AudioBitrate", "?")));
        EXPECT_TRUE(kSampleRates.count(ini.readText(s, "SampleBitrate", "?")));
        const int channels = ini.readInteger(s, "Channels", -1);
        EXPECT_TRUE(channels == 0 || channels == 1);
        RunSettings r;
        EXPECT_NO_THROW(loadProfileSettings(ini, n, r));
        // A size, the source's size, or a bound ("Up to W x H") on both sides.
        EXPECT_EQ(r.FrameWidth == 0, ini.readText(s, "FrameSize", "?") == "Same as source file");
        EXPECT_EQ(r.FrameWidth < 0, r.FrameHeight < 0);
    }
}

TEST(Catalogue, ProfilesForTodaysPlayersAreConstantQuality)
{
    const IniDocument ini = dataFile("vexlo.ini");
    struct Expected {
        const char *video, *audio, *type;
        bool edit;
        int32_t width, height;
        int32_t audioKbit;
    };
    const Expected expected[] = {
        {"h264", "ACC", ".mp4", true, 0, 0, 160},        {"hevc", "ACC", ".mp4", true, 0, 0, 160},
        {"h264", "ACC", ".mp4", false, -1920, -1080, 128}, {"h264", "ACC", ".mp4", false, -1280, -720, 128},
        {"av1", "opus", ".webm", true, 0, 0, 128},       {"vp9", "opus", ".webm", true, 0, 0, 128},
        {"hevc", "flac", ".mkv", false, 0, 0, 320},
    };
    for (int n = 18; n < 25; ++n) {
        SCOPED_TRACE(n);
        const Expected& e = expected[n - 18];
        RunSettings r;
        loadProfileSettings(ini, n, r);
        EXPECT_EQ(r.VideoFormat, e.video);
        EXPECT_EQ(r.AudioFormat, e.audio);
        EXPECT_EQ(r.FileType, e.type);
        EXPECT_EQ(ini.readFlag(profileSectionName(n), "Edit", !e.edit), e.edit);
        EXPECT_EQ(r.FrameWidth, e.width);
        EXPECT_EQ(r.FrameHeight, e.height);
        EXPECT_EQ(r.VideoBitrate, 0); // constant quality
        EXPECT_EQ(r.FrameRate, "0");  // the source's rate
        EXPECT_EQ(r.AudioBitrate, e.audioKbit);
        EXPECT_EQ(r.SampleRate, 48000);
        EXPECT_EQ(r.ChannelCount, 2);
        EXPECT_EQ(r.IsPSP, 0);
    }
}

TEST(Catalogue, TheFirstEighteenProfilesStayByteForByte)
{
    // Numbers and values are stored in users' settings and used on the
    // command line: the files up to profile 18 are what earlier versions
    // shipped (length and FNV-1a hash of those bytes).
    const auto prefixHash = [](const char* name) {
        std::ifstream in(std::string(VEXLO_SOURCE_DIR "/data/") + name, std::ios::binary);
        const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const size_t end = all.find("\n[VideoFormat18]");
        uint64_t h = 0xcbf29ce484222325ull;
        for (size_t i = 0; i < std::min(end, all.size()); ++i)
            h = (h ^ uint8_t(all[i])) * 0x100000001b3ull;
        return std::pair{end, h};
    };
    EXPECT_EQ(prefixHash("vexlo.ini"), (std::pair<size_t, uint64_t>{4400, 0xdb2872a44ea2d34eull}));
    EXPECT_EQ(prefixHash("VideoFormat.dat"), (std::pair<size_t, uint64_t>{2415, 0x0fd4ab5d10ef4939ull}));
}

} // namespace

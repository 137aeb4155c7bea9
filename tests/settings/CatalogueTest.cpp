// The installed catalogue (vexlo.ini) and the factory values (VideoFormat.dat).
#include "settings/OutputChoices.h"
#include "settings/RunSettings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>

using namespace vexlo::settings;

namespace {

// The number of profiles the installed catalogue holds.
constexpr int kProfiles = 25;

// The items of one of the output dialog's parameter boxes.
template<size_t N> std::set<std::string> itemSet(const std::array<std::string_view, N>& items)
{
    return {items.begin(), items.end()};
}

const std::vector<std::string> kParameterKeys
    = {"FrameSize", "VideoBitrate", "Framerate", "AudioBitrate", "SampleBitrate", "Channels"};

IniDocument dataFile(const char* name) { return IniFile(std::string(VEXLO_SOURCE_DIR "/data/") + name).load(); }

TEST(Catalogue, TwentyFiveProfilesWithTheListsTitles)
{
    const IniDocument ini = dataFile("vexlo.ini");
    // The first eighteen are the dialog's built-in titles, misspellings included.
    for (size_t n = 0; n < kBuiltInProfileTitles.size(); ++n)
        EXPECT_EQ(ini.readText(profileSectionName(int(n)), "Title", ""), kBuiltInProfileTitles[n]) << n;
    EXPECT_EQ(ini.readText(profileSectionName(1), "Title", ""), "iPod MPEG-4 Video (320x240, 4:3) - High Quanlity");
    // The newer ones follow, and nothing after them.
    std::set<std::string> titles;
    for (int n = 0; n < kProfiles; ++n) {
        const std::string title = ini.readText(profileSectionName(n), "Title", "");
        EXPECT_FALSE(title.empty()) << n;
        EXPECT_TRUE(titles.insert(title).second) << "twice: " << title;
    }
    EXPECT_EQ(ini.readText(profileSectionName(18), "Title", ""), "MP4 H.264 Video - Same as source (*.mp4)");
    EXPECT_EQ(ini.readText(profileSectionName(24), "Title", ""), "MKV H.265 archive, same as source (*.mkv)");
    EXPECT_EQ(ini.readText(profileSectionName(kProfiles), "Title", ""), "");
}

TEST(Catalogue, EveryProfileIsCompleteAndMatchesTheDialogLists)
{
    const IniDocument ini = dataFile("vexlo.ini");
    const std::set<std::string> videoFormats
        = {"mpeg4", "h264", "divx", "xvid", "mpeg1", "mpeg2", "hevc", "av1", "vp9"};
    const std::set<std::string> audioFormats = {"ACC", "mp3", "mp2", "opus", "flac"};
    const auto frameSizes = itemSet(kFrameSizeItems);
    const auto videoBitrates = itemSet(kVideoBitrateItems);
    const auto framerates = itemSet(kFramerateItems);
    const auto audioBitrates = itemSet(kAudioBitrateItems);
    const auto sampleRates = itemSet(kSampleRateItems);
    for (int n = 0; n < kProfiles; ++n) {
        SCOPED_TRACE(n);
        const std::string s = profileSectionName(n);
        EXPECT_EQ(ini.keys(s).size(), 12u);
        EXPECT_TRUE(videoFormats.count(ini.readText(s, "VideoFormat", "?")));
        EXPECT_TRUE(audioFormats.count(ini.readText(s, "AudioFormat", "?")));
        const std::string type = ini.readText(s, "FileType", "?");
        EXPECT_TRUE(type == ".mp4" || type == ".avi" || type == ".mpg" || type == ".webm" || type == ".mkv") << type;
        EXPECT_TRUE(ini.readInteger(s, "IsPSP", -1) == 0 || ini.readInteger(s, "IsPSP", -1) == 1);
        EXPECT_EQ(ini.readInteger(s, "IsPSP", -1) == 1, ini.readText(s, "Title", "").rfind("PSP", 0) == 0);
        EXPECT_TRUE(ini.readInteger(s, "Edit", -1) == 0 || ini.readInteger(s, "Edit", -1) == 1);
        EXPECT_TRUE(frameSizes.count(ini.readText(s, "FrameSize", "?")));
        EXPECT_TRUE(videoBitrates.count(ini.readText(s, "VideoBitrate", "?")));
        EXPECT_TRUE(framerates.count(ini.readText(s, "Framerate", "?")));
        EXPECT_TRUE(audioBitrates.count(ini.readText(s, "AudioBitrate", "?")));
        EXPECT_TRUE(sampleRates.count(ini.readText(s, "SampleBitrate", "?")));
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
        {"h264", "ACC", ".mp4", true, 0, 0, 160},
        {"hevc", "ACC", ".mp4", true, 0, 0, 160},
        {"h264", "ACC", ".mp4", false, -1920, -1080, 128},
        {"h264", "ACC", ".mp4", false, -1280, -720, 128},
        {"av1", "opus", ".webm", true, 0, 0, 128},
        {"vp9", "opus", ".webm", true, 0, 0, 128},
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

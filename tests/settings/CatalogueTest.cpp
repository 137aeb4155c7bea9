// The installed catalogue (vexlo.ini) and the factory values (VideoFormat.dat).
#include "settings/RunSettings.h"

#include <gtest/gtest.h>

#include <algorithm>
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
};

// The items of the output dialog's parameter boxes.
const std::set<std::string> kFrameSizes = {
    "80 x 60", "128 x 96", "160 x 120", "160 x 128", "176 x 144", "320 x 180", "320 x 240",
    "352 x 240", "368 x 192", "368 x 208", "480 x 272", "480 x 320", "640 x 360", "640 x 480",
    "720 x 480", "720 x 576", "853 x 480", "1280 x 720", "1440 x 1080", "1920 x 1080",
    "Same as source file"};
const std::set<std::string> kVideoBitrates = {"190", "216", "384", "400", "512", "768",
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

TEST(Catalogue, EighteenProfilesWithTheListsTitles)
{
    const IniDocument ini = dataFile("vexlo.ini");
    for (size_t n = 0; n < kTitles.size(); ++n)
        EXPECT_EQ(ini.readText(profileSectionName(int(n)), "Title", ""), kTitles[n]) << n;
    EXPECT_EQ(ini.readText(profileSectionName(18), "Title", ""), "");
}

TEST(Catalogue, EveryProfileIsCompleteAndMatchesTheDialogLists)
{
    const IniDocument ini = dataFile("vexlo.ini");
    const std::set<std::string> videoFormats = {"mpeg4", "h264", "divx", "xvid", "mpeg1", "mpeg2"};
    const std::set<std::string> audioFormats = {"ACC", "mp3", "mp2"};
    for (int n = 0; n < int(kTitles.size()); ++n) {
        SCOPED_TRACE(n);
        const std::string s = profileSectionName(n);
        EXPECT_EQ(ini.keys(s).size(), 12u);
        EXPECT_TRUE(videoFormats.count(ini.readText(s, "VideoFormat", "?")));
        EXPECT_TRUE(audioFormats.count(ini.readText(s, "AudioFormat", "?")));
        const std::string type = ini.readText(s, "FileType", "?");
        EXPECT_TRUE(type == ".mp4" || type == ".avi" || type == ".mpg") << type;
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
        EXPECT_GT(r.FrameWidth, 0);
    }
}

TEST(Catalogue, FactoryValuesHaveTheSameSectionsAndStartingValues)
{
    const IniDocument ini = dataFile("vexlo.ini");
    const IniDocument dat = dataFile("VideoFormat.dat");
    for (int n = 0; n < int(kTitles.size()); ++n) {
        SCOPED_TRACE(n);
        const std::string s = profileSectionName(n);
        EXPECT_EQ(dat.keys(s), kParameterKeys);
        for (const auto& key : kParameterKeys)
            EXPECT_EQ(dat.value(s, key), ini.value(s, key)) << key;
    }
    EXPECT_FALSE(dat.hasSection(profileSectionName(int(kTitles.size()))));
}

} // namespace

// Loading the run's settings from the settings file.
#include "settings/RunSettings.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace vexlo::settings;

namespace {

const std::string kFolder = "/opt/vexlo/";

RunSettings load(const std::string& file) { return loadRunSettings(IniDocument::parse(file), kFolder); }

TEST(RunSettingsLoad, NoFileGivesDefaults)
{
    const RunSettings r = load("");
    EXPECT_EQ(r.FrameWidth, 320);
    EXPECT_EQ(r.FrameHeight, 240);
    EXPECT_EQ(r.VideoBitrate, 512);
    EXPECT_EQ(r.FrameRate, "0");
    EXPECT_EQ(r.ChannelCount, 2);
    EXPECT_EQ(r.AudioBitrate, 128);
    EXPECT_EQ(r.SampleRate, 44100);
    EXPECT_EQ(r.VideoFormat, "");
    EXPECT_EQ(r.AudioFormat, "ACC");
    EXPECT_EQ(r.FileType, ".mp4");
    EXPECT_EQ(r.IsPSP, 0);
    EXPECT_TRUE(r.ConvertToSamePath);
    EXPECT_TRUE(r.OverwriteExistFile);
    EXPECT_FALSE(r.PromptOverwrite);
    EXPECT_FALSE(r.DelFileWhenCanceled);
    EXPECT_FALSE(r.DeleteSourceWhenDone);
    EXPECT_TRUE(r.KeepRecordingDate);
    EXPECT_EQ(r.DestPath, kFolder);
    EXPECT_EQ(loadRunSettings(IniDocument(), "/opt/vexlo").DestPath, kFolder);
}

TEST(RunSettingsLoad, OptionsAndChosenProfile)
{
    const RunSettings r
        = load("[Options]\nOutputFormat=0x2\nDestPath=/out/\nConvertToSamePath=0\nOverwriteExistFile=0\n"
               "PromptOverwrite=2\nDelFileWhenCanceled=1\nDeleteSourceWhenDone=yes\nKeepRecordingDate=0\n"
               "[VideoFormat2]\nVideoFormat=xvid\nAudioFormat=mp3\nFileType=.avi\nIsPSP=1\n"
               "FrameSize=640 x 480\nVideoBitrate=1200\nFramerate=29.976\nAudioBitrate=192\n"
               "SampleBitrate=48000\nChannels=0\n");
    EXPECT_EQ(r.DestPath, "/out/");
    EXPECT_FALSE(r.ConvertToSamePath);
    EXPECT_FALSE(r.OverwriteExistFile);
    EXPECT_TRUE(r.PromptOverwrite);
    EXPECT_TRUE(r.DelFileWhenCanceled);
    EXPECT_FALSE(r.DeleteSourceWhenDone);
    EXPECT_FALSE(r.KeepRecordingDate);
    EXPECT_EQ(r.VideoFormat, "xvid");
    EXPECT_EQ(r.AudioFormat, "mp3");
    EXPECT_EQ(r.FileType, ".avi");
    EXPECT_EQ(r.IsPSP, 1);
    EXPECT_EQ(r.FrameWidth, 640);
    EXPECT_EQ(r.FrameHeight, 480);
    EXPECT_EQ(r.VideoBitrate, 1200);
    EXPECT_EQ(r.FrameRate, "29.976");
    EXPECT_EQ(r.AudioBitrate, 192);
    EXPECT_EQ(r.SampleRate, 48000);
    EXPECT_EQ(r.ChannelCount, 1);
}

struct ProfileCase {
    const char* name;
    std::string keys; // lines of section VideoFormat0
    int width, height, videoBitrate, channels;
    std::string frameRate;
};

class ProfileLoad : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(ProfileLoad, Fields)
{
    const ProfileCase& c = GetParam();
    RunSettings r;
    loadProfileSettings(IniDocument::parse("[VideoFormat0]\n" + c.keys), 0, r);
    EXPECT_EQ(r.FrameWidth, c.width);
    EXPECT_EQ(r.FrameHeight, c.height);
    EXPECT_EQ(r.VideoBitrate, c.videoBitrate);
    EXPECT_EQ(r.ChannelCount, c.channels);
    EXPECT_EQ(r.FrameRate, c.frameRate);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProfileLoad,
    ::testing::Values(ProfileCase{"SameAsSourceSize", "FrameSize=Same as source file\n", 0, 0, 512, 2, "0"},
        ProfileCase{"EmptySize", "FrameSize=\n", 0, 0, 512, 2, "0"},
        ProfileCase{"UpperCaseXIsNoSeparator", "FrameSize=320 X 240\n", 0, 0, 512, 2, "0"},
        ProfileCase{"NoBlanks", "FrameSize=720x576\n", 720, 576, 512, 2, "0"},
        ProfileCase{"HexSidesUpperCaseX", "FrameSize=0X140 x 0XF0\n", 320, 240, 512, 2, "0"},
        ProfileCase{"RateSameAsSource", "Framerate=Same as source file\n", 320, 240, 512, 2, "0"},
        ProfileCase{"RateEmpty", "Framerate=\n", 320, 240, 512, 2, "0"},
        ProfileCase{"RateOtherCase", "Framerate=same as source file\n", 320, 240, 512, 2, "same as source file"},
        ProfileCase{"RateKeptAsText", "Framerate=29.976\n", 320, 240, 512, 2, "29.976"},
        ProfileCase{"MonoChannel", "Channels=0\n", 320, 240, 512, 1, "0"},
        ProfileCase{"StereoChannel", "Channels=1\n", 320, 240, 512, 2, "0"},
        ProfileCase{"NoChannelChosen", "Channels=-1\n", 320, 240, 512, 0, "0"},
        ProfileCase{"HexBitrate", "VideoBitrate=0x200\n", 320, 240, 512, 2, "0"},
        ProfileCase{"EmptyBitrate", "VideoBitrate=\n", 320, 240, 512, 2, "0"},
        ProfileCase{"BitrateNotInList", "VideoBitrate=500\n", 320, 240, 500, 2, "0"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RunSettingsLoad, FrameSizeSideThatIsNoInteger)
{
    const std::pair<const char*, const char*> cases[] = {
        {"abc x 240", "'abc' is not a valid integer value"},
        {"320 x abc", "'abc' is not a valid integer value"},
        {"x", "'' is not a valid integer value"},
        {"320 x 240 x 2", "'240 x 2' is not a valid integer value"},
        {"1280 x 99999999999", "'99999999999' is not a valid integer value"},
    };
    for (const auto& [size, message] : cases) {
        RunSettings r;
        try {
            loadProfileSettings(IniDocument::parse(std::string("[VideoFormat3]\nFrameSize=") + size), 3, r);
            ADD_FAILURE() << size << " loaded";
        } catch (const SettingsError& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
    }
}

TEST(RunSettingsLoad, FrameSizeBoundIsHandedOverNegative)
{
    for (const auto& [size, width, height] : {std::tuple{"Up to 1920 x 1080", -1920, -1080},
             std::tuple{"  Up to 1280 x 720 ", -1280, -720}, std::tuple{"Up to 1080x1920", -1080, -1920}}) {
        RunSettings r;
        loadProfileSettings(IniDocument::parse(std::string("[VideoFormat20]\nFrameSize=") + size), 20, r);
        EXPECT_EQ(r.FrameWidth, width) << size;
        EXPECT_EQ(r.FrameHeight, height) << size;
    }
    // A bound needs two positive sides; "up to" is not the box's text.
    for (const char* size : {"Up to 0 x 720", "Up to -1280 x 720", "Up to 1280 x", "up to 1280 x 720"}) {
        RunSettings r;
        EXPECT_THROW(loadProfileSettings(IniDocument::parse(std::string("[VideoFormat20]\nFrameSize=") + size), 20, r),
            SettingsError)
            << size;
    }
}

TEST(RunSettingsLoad, OutputFormatBeyondCatalogueGivesProfileDefaults)
{
    const RunSettings r = load("[Options]\nOutputFormat=18\n[VideoFormat0]\nVideoFormat=h264\nFrameSize=640 x 480\n");
    EXPECT_EQ(r.VideoFormat, "");
    EXPECT_EQ(r.FrameWidth, 320);
    EXPECT_EQ(r.FrameHeight, 240);
    EXPECT_EQ(r.AudioFormat, "ACC");
    EXPECT_EQ(r.FileType, ".mp4");
}

TEST(RunSettingsLoad, ProfileSectionNames)
{
    EXPECT_EQ(profileSectionName(0), "VideoFormat0");
    EXPECT_EQ(profileSectionName(12), "VideoFormat12");
    EXPECT_EQ(profileSectionName(-1), "VideoFormat-1");
    // The dialog's "nothing chosen" profile is read back from exactly that section.
    const RunSettings r = load("[Options]\nOutputFormat=-1\n[VideoFormat-1]\nVideoBitrate=768\n");
    EXPECT_EQ(r.VideoBitrate, 768);
}

} // namespace

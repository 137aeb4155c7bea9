#pragma once
// The conversion settings record that a run loads from the settings file at
// its start, and the loaders that fill it.
#include "IniFile.h"

#include <cstdint>
#include <string>

namespace vexlo::settings {

// The shared text of the frame-size and frame-rate boxes' last item.
inline constexpr std::string_view kSameAsSource = "Same as source file";
// The prefix of a frame size that is a bound ("Up to 1920 x 1080"): the
// picture keeps the source's shape and is made no larger than W x H.
inline constexpr std::string_view kUpTo = "Up to ";

// "VideoFormat" followed by n in decimal ("VideoFormat0", "VideoFormat-1").
std::string profileSectionName(int32_t n);

struct RunSettings {
    std::string DestPath; // ends with "/"
    bool ConvertToSamePath = true;
    bool OverwriteExistFile = true; // loaded, not consulted by the run
    bool PromptOverwrite = false;
    bool DelFileWhenCanceled = false;
    bool DeleteSourceWhenDone = false;
    bool KeepRecordingDate = true; // the engine keeps the source's recording date on the target
    bool ContinueOnError = false;  // a file that cannot be converted: go on with the next (else the run stops)
    std::string VideoFormat;
    std::string AudioFormat = "ACC";
    std::string FileType = ".mp4";
    int32_t FrameWidth = 320; // both negative: at most -W x -H ("Up to W x H")
    int32_t FrameHeight = 240;
    int32_t VideoBitrate = 512;
    std::string FrameRate = "0";
    int32_t ChannelCount = 2;
    int32_t AudioBitrate = 128;
    int32_t SampleRate = 44100;
    int32_t IsPSP = 0;
};

// Fills the profile fields from section profileSectionName(n). Throws
// SettingsError("'<text>' is not a valid integer value") when a part of
// FrameSize around its "x" is not an integer.
void loadProfileSettings(const IniDocument& doc, int32_t n, RunSettings& into);
// Fills every field; the profile is Options/OutputFormat. `defaultDestination`
// (with trailing "/") is the DestPath default.
RunSettings loadRunSettings(const IniDocument& doc, const std::string& defaultDestination);

} // namespace vexlo::settings

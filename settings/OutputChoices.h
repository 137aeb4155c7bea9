#pragma once
// What the output dialog offers: the profile titles its list shows until the
// catalogue is read, and the items of its parameter boxes, in their order. A
// catalogue's stored values are among these items, or the box shows nothing.
#include "RunSettings.h"

#include <array>
#include <string_view>

namespace vexlo::settings {

// The titles of profiles 0 to 17; an installed catalogue starts with them.
inline constexpr std::array<std::string_view, 18> kBuiltInProfileTitles = {
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

// The bounds ("Up to W x H") come last, after the source's size.
inline constexpr std::array<std::string_view, 23> kFrameSizeItems = {
    "80 x 60",
    "128 x 96",
    "160 x 120",
    "160 x 128",
    "176 x 144",
    "320 x 180",
    "320 x 240",
    "352 x 240",
    "368 x 192",
    "368 x 208",
    "480 x 272",
    "480 x 320",
    "640 x 360",
    "640 x 480",
    "720 x 480",
    "720 x 576",
    "853 x 480",
    "1280 x 720",
    "1440 x 1080",
    "1920 x 1080",
    kSameAsSource,
    "Up to 1280 x 720",
    "Up to 1920 x 1080",
};
static_assert(
    kFrameSizeItems[21].substr(0, kUpTo.size()) == kUpTo && kFrameSizeItems[22].substr(0, kUpTo.size()) == kUpTo);

// "0": no bit rate, the encoder's constant quality.
inline constexpr std::array<std::string_view, 19> kVideoBitrateItems = {
    "0",
    "190",
    "216",
    "384",
    "400",
    "512",
    "768",
    "1000",
    "1150",
    "1200",
    "1500",
    "2000",
    "2376",
    "3000",
    "4000",
    "6000",
    "8000",
    "10000",
    "12000",
};

// "29.976" is spelled this way.
inline constexpr std::array<std::string_view, 8> kFramerateItems = {
    "12",
    "15",
    "20",
    "23.976",
    "25",
    "29.976",
    "30",
    kSameAsSource,
};

inline constexpr std::array<std::string_view, 12> kAudioBitrateItems = {
    "32",
    "48",
    "56",
    "64",
    "96",
    "112",
    "128",
    "160",
    "192",
    "224",
    "256",
    "320",
};

inline constexpr std::array<std::string_view, 9> kSampleRateItems = {
    "8000",
    "16000",
    "22050",
    "24000",
    "32000",
    "44100",
    "48000",
    "54000",
    "96000",
};

// Stored as the position: 0 mono, 1 stereo.
inline constexpr std::array<std::string_view, 2> kChannelItems = {"Mono", "Stereo"};

} // namespace vexlo::settings

// What the engine said, read for the user: its reason, and the common
// reasons in plain words.
#include "conversion/EngineReport.h"
#include "support/TestDoubles.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace vexlo;

namespace {

TEST(EngineReport, CommonReasonsInPlainWords)
{
    platform::TestPlatform tp;
    const std::string empty = tp.root() + "empty.mts";
    const std::string clip = tp.root() + "broken.mts";
    test::writeFile(empty, "");
    test::writeFile(clip, "not a video at all");
    struct Case {
        std::string why;
        const std::string& source;
        const char* plain;
    };
    const Case cases[] = {
        {"could not read " + empty + ": Invalid data found when processing input", empty, "The file is empty."},
        {"could not read " + clip + ": Invalid data found when processing input", clip,
            "The file is damaged or is not a video."},
        {"could not read " + clip + ": it holds neither pictures nor sound", clip, "The file has no pictures."},
        {"could not convert x: the PSP plays only videos, and this source holds sound alone", clip,
            "The file has no pictures."},
        {"could not convert x: the target could not be written:\n[out#0] No space left on device", clip,
            "The disk is full."},
        {"could not convert x: the first pass's statistics need about 67 KB in /tmp, which has room for 0 KB", clip,
            "The folder for temporary files is full or cannot be written."},
        {"could not convert x: the first pass could not write its statistics whole to /tmp/v/p (the temporary "
         "folder is full or not writable; $TMPDIR names another)\n[out#0] No space left on device",
            clip, "The folder for temporary files is full or cannot be written."},
        {"could not convert x: ffmpeg failed:\nfile:/o/.a.part.mp4: Permission denied", clip,
            "The destination folder cannot be written."},
        {"could not read " + clip + ": Permission denied", clip, "The file is damaged or is not a video."},
        {"could not convert x: the audio format \"wav\" is unknown", clip, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(conversion::plainReason(c.why, c.source), c.plain) << c.why;
}

TEST(EngineReport, TheEnginesOwnLastLineAndFfmpegsAfterIt)
{
    EXPECT_EQ(conversion::engineFailure("trevok: progress 5%\ntrevok: could not convert: x\n[in#0] y\n"
                                        "trevok: progress 6%\n"),
        "could not convert: x\n[in#0] y");
    EXPECT_EQ(conversion::engineFailure("trevok: cancelled; the target is incomplete: t\n"), "");
    EXPECT_EQ(conversion::engineFailure("ffmpeg only\n"), "");
    EXPECT_EQ(conversion::lastLine("trevok: error while loading shared libraries: libavformat.so.59\n\n"),
        "trevok: error while loading shared libraries: libavformat.so.59");
}

} // namespace

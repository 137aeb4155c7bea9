// The result check: what a file holds as ffmpeg's demuxing library reads it,
// the verdict on a result against its source, the tracks it lacks, and a
// library that does not load.
#include "base/EngineContract.h"
#include "conversion/MediaCheck.h"
#include "support/TestDoubles.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace vexlo;
using namespace vexlo::conversion;

namespace {

MediaFacts facts(double seconds, int video, int audio, int subtitles = 0)
{
    MediaFacts f;
    f.readable = video + audio > 0;
    f.durationSeconds = seconds;
    f.videoStreams = video;
    f.audioStreams = audio;
    f.subtitleStreams = subtitles;
    f.video = video > 0;
    f.audio = audio > 0;
    return f;
}

// The one length rule, at both edges: 0.5 s plus 0.1 % of the source.
TEST(MediaCheck, JudgesTheResultAgainstTheSource)
{
    struct Case {
        MediaFacts source;
        MediaFacts result;
        ResultVerdict verdict;
    };
    const Case cases[] = {
        {facts(600, 1, 1), facts(600, 1, 1), ResultVerdict::Complete},
        {facts(600, 1, 1), facts(598.95, 1, 1), ResultVerdict::Complete}, // 1.05 s short
        {facts(600, 1, 1), facts(598.85, 1, 1), ResultVerdict::Shorter},  // 1.15 s short
        {facts(600, 1, 1), facts(595.2, 1, 1), ResultVerdict::Shorter},   // a copy without its last 5 s
        {facts(1200, 1, 1), facts(1189.9, 1, 1), ResultVerdict::Shorter}, // 20 min, 10 s short
        {facts(600, 1, 1), facts(601.05, 1, 1), ResultVerdict::Complete}, // 1.05 s long
        {facts(600, 1, 1), facts(601.15, 1, 1), ResultVerdict::Longer},
        {facts(0.3, 1, 0), facts(0.7, 1, 0), ResultVerdict::Complete}, // 0.5 s at any length
        {facts(0.3, 1, 0), facts(0.9, 1, 0), ResultVerdict::Longer},
        {facts(60, 1, 1), facts(60, 1, 0), ResultVerdict::MissingStream}, // no sound
        {facts(60, 1, 1), facts(60, 0, 1), ResultVerdict::MissingStream}, // no pictures
        {facts(60, 1, 1), facts(0, 1, 1), ResultVerdict::Unreadable},     // length unknown
        {facts(60, 1, 1), MediaFacts{}, ResultVerdict::Unreadable},
        {facts(0, 1, 1), facts(60, 1, 1), ResultVerdict::SourceUnknown}, // never "complete"
    };
    for (const Case& c : cases)
        EXPECT_EQ(judgeResult(c.source, c.result), c.verdict)
            << c.source.durationSeconds << " -> " << c.result.durationSeconds;
    EXPECT_FALSE(contract::isShortOf(0, 0)) << "an unknown length is never short";
}

TEST(MediaCheck, NamesTheTracksAResultLacks)
{
    EXPECT_TRUE(missingTracks(facts(9, 1, 2, 1), facts(9, 1, 2, 1)).empty());
    EXPECT_TRUE(missingTracks(facts(9, 1, 1), facts(9, 1, 1, 1)).empty()) << "more is never less";
    const auto missing = missingTracks(facts(9, 2, 3, 2), facts(9, 1, 1, 2));
    ASSERT_EQ(missing.size(), 2u);
    EXPECT_EQ(missing[0].kind, TrackCount::Video);
    EXPECT_EQ(missing[0].held, 1);
    EXPECT_EQ(missing[0].inSource, 2);
    EXPECT_EQ(missing[1].kind, TrackCount::Audio);
    EXPECT_EQ(missing[1].held, 1);
    EXPECT_EQ(missing[1].inSource, 3);
}

// Real files made with ffmpeg: the streams a user would miss are counted, a
// cover picture is no picture stream, and a file with neither pictures nor
// sound does not read as media.
TEST(MediaCheck, CountsTheTracksOfRealFiles)
{
    platform::TestPlatform tp;
    const QString root = QString::fromStdString(tp.root());
    test::writeFile(tp.root() + "s.srt", "1\n00:00:00,000 --> 00:00:01,000\nHallo\n");
    const QStringList tone = {"-f", "lavfi", "-i", "sine=d=1"};
    const QStringList picture = {"-f", "lavfi", "-i", "testsrc=d=1:s=64x48:r=10"};
    struct Case {
        const char* name;
        QStringList inputs;
        QStringList maps;
        int video, audio, subtitles;
        bool readable;
    };
    const Case cases[] = {
        {"tracks.mkv", picture + tone + tone + QStringList{"-i", root + "s.srt"},
            {"-map", "0", "-map", "1", "-map", "2", "-map", "3"}, 1, 2, 1, true},
        {"cover.mp4", tone + QStringList{"-f", "lavfi", "-i", "color=red:s=64x48:d=0.1"},
            {"-map", "0", "-map", "1", "-c:v", "png", "-disposition:v", "attached_pic"}, 0, 1, 0, true},
        {"subtitles.mkv", {"-i", root + "s.srt"}, {"-map", "0"}, 0, 0, 1, false},
    };
    for (const Case& c : cases) {
        const QString path = root + c.name;
        test::toolOutput("ffmpeg", QStringList{"-v", "error", "-y"} + c.inputs + c.maps + QStringList{path});
        const MediaFacts f = readMediaFacts(path.toStdString());
        EXPECT_EQ(f.videoStreams, c.video) << c.name;
        EXPECT_EQ(f.audioStreams, c.audio) << c.name;
        EXPECT_EQ(f.subtitleStreams, c.subtitles) << c.name;
        EXPECT_EQ(f.readable, c.readable) << c.name << ": " << f.error;
    }
}

// A library that does not load makes the check unavailable, named in the
// reason; it never lets a result pass.
TEST(MediaCheck, ALibraryThatDoesNotLoadIsNoPass)
{
    platform::TestPlatform tp;
    test::writeClip(tp.root() + "clip.m2ts");
    const MediaLibraryNames shipped = defaultMediaLibraryNames();
    EXPECT_TRUE(shipped.format.starts_with("libavformat.so.")) << "the versioned name: " << shipped.format;
    reloadMediaLibraryForTest({shipped.util, "libavformat.so.0"});
    std::string why;
    EXPECT_FALSE(mediaCheckAvailable(why));
    EXPECT_NE(why.find("libavformat.so.0"), std::string::npos) << why;
    EXPECT_FALSE(readMediaFacts(tp.root() + "clip.m2ts").readable);
    reloadMediaLibraryForTest(shipped);
    EXPECT_TRUE(mediaCheckAvailable(why)) << why;
    EXPECT_TRUE(readMediaFacts(tp.root() + "clip.m2ts").readable);
}

} // namespace

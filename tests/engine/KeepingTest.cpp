// What the engine keeps of a source and how it guards the result: the
// recording date (container times, the camcorder's MDPM message), the
// archive's tracks and chapters, the search for combing, the output's time
// bound and the check for a source that ends early.
#include "ArgumentWords.h"
#include "engine/FfmpegArguments.h"
#include "engine/RecordingDate.h"
#include "engine/SourceProbe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <optional>

using namespace vexlo::engine;
using vexlo::engine::test::has;
using vexlo::engine::test::option;

namespace {

constexpr int64_t k20190601_102030 = 1559384430; // 2019-06-01 10:20:30 UTC

// An SEI NAL payload with one user-data-unregistered message holding an
// MDPM block of the entries given (tag, four bytes each).
std::string mdpmSei(const std::vector<std::array<uint8_t, 5>>& entries)
{
    std::string body = {'\x17', '\xee', '\x8c', '\x60', '\xf8', '\x4d', '\x11', '\xd9', '\x8c', '\xd6', '\x08', '\x00',
        '\x20', '\x0c', '\x9a', '\x66'};
    body += "MDPM";
    body += char(entries.size());
    for (const auto& e : entries)
        body.append(reinterpret_cast<const char*>(e.data()), 5);
    return std::string{'\x05', char(body.size())} + body + '\x80';
}

std::string dateSei(uint8_t zone, uint8_t century, uint8_t year, uint8_t month, uint8_t day, uint8_t hour,
    uint8_t minute, uint8_t second)
{
    return mdpmSei({{0x13, 0x00, 0x00, 0x00, 0x00}, {0x18, zone, century, year, month},
        {0x19, day, hour, minute, second}, {0x70, 0x01, 0x02, 0x03, 0x04}});
}

SourceInfo archiveSource()
{
    SourceInfo s;
    VideoStreamInfo v;
    v.index = 0;
    v.width = 640;
    v.height = 480;
    v.frameRate = v.baseRate = {25, 1};
    v.fieldOrder = "progressive";
    s.video = v;
    s.audioTracks = {{1, 2, 48000, ""}, {2, 6, 44100, "Commentary"}};
    s.audio = s.audioTracks[0];
    s.subtitles = {{3, "mov_text", ""}, {4, "hdmv_pgs_subtitle", ""}, {5, "subrip", "Words"}, {6, "eia_608", ""},
        {7, "dvd_subtitle", ""}};
    s.chapters = 2;
    s.durationSeconds = 10;
    return s;
}

EngineRequest requestFor(const std::string& target, const std::string& video, const std::string& audio)
{
    return vexlo::engine::test::requestOf("/in/clip.mp4", target, video, audio);
}

OutputPlan planFor(const EngineRequest& r, const SourceInfo& s) { return vexlo::engine::test::planOrFail(r, s); }

std::vector<std::string> maps(const std::vector<std::string>& args)
{
    std::vector<std::string> out;
    for (size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "-map")
            out.push_back(args[i + 1]);
    return out;
}

} // namespace

TEST(RecordingDate, ContainerTimesInTheFormsMuxersWrite)
{
    EXPECT_EQ(parseContainerTime("2019-06-01T10:20:30.000000Z"), k20190601_102030);
    EXPECT_EQ(parseContainerTime("2019-06-01T10:20:30Z"), k20190601_102030);
    EXPECT_EQ(parseContainerTime("2019-06-01 10:20:30"), k20190601_102030);
    EXPECT_EQ(parseContainerTime("2019-06-01T12:20:30+02:00"), k20190601_102030);
    EXPECT_EQ(parseContainerTime("2019-06-01T05:20:30-0500"), k20190601_102030);
    // Unset clocks and zero dates, impossible days, the future, other text.
    for (const char* bad :
        {"1970-01-01T00:00:00.000000Z", "1904-01-01T00:00:00Z", "2019-02-30T10:00:00Z", "2019-06-01T24:00:00Z",
            "2019-06-01", "2019-06-01T10:20:30 junk", "", "9999-01-01T00:00:00Z", "2019-06-01T10:20:30+99:00"})
        EXPECT_FALSE(parseContainerTime(bad)) << bad;
    EXPECT_EQ(containerTimeText(k20190601_102030), "2019-06-01T10:20:30.000000Z");
    EXPECT_EQ(parseContainerTime(containerTimeText(k20190601_102030)), k20190601_102030);
}

TEST(RecordingDate, TheCamcordersMdpmMessageInItsZone)
{
    // 2019-06-01 19:20:30 local at +09:00 (zone 0x12: nine whole hours).
    EXPECT_EQ(mdpmRecordingTime(dateSei(0x12, 0x20, 0x19, 0x06, 0x01, 0x19, 0x20, 0x30)), k20190601_102030);
    // 05:20:30 at -05:00 (0x20 west, 0x0a five hours).
    EXPECT_EQ(mdpmRecordingTime(dateSei(0x2a, 0x20, 0x19, 0x06, 0x01, 0x05, 0x20, 0x30)), k20190601_102030);
    // 15:50:30 at +05:30 (0x01 half an hour).
    EXPECT_EQ(mdpmRecordingTime(dateSei(0x0b, 0x20, 0x19, 0x06, 0x01, 0x15, 0x50, 0x30)), k20190601_102030);
    // 12:20:30 at +01:00 with summer time (0x40): two hours ahead.
    EXPECT_EQ(mdpmRecordingTime(dateSei(0x42, 0x20, 0x19, 0x06, 0x01, 0x12, 0x20, 0x30)), k20190601_102030);
    // Not BCD, impossible dates, a message cut short, another UUID.
    EXPECT_FALSE(mdpmRecordingTime(dateSei(0x00, 0x20, 0x1a, 0x06, 0x01, 0x10, 0x20, 0x30)));
    EXPECT_FALSE(mdpmRecordingTime(dateSei(0x00, 0x20, 0x19, 0x13, 0x01, 0x10, 0x20, 0x30)));
    const std::string whole = dateSei(0x00, 0x20, 0x19, 0x06, 0x01, 0x10, 0x20, 0x30);
    EXPECT_EQ(mdpmRecordingTime(whole), k20190601_102030);
    for (size_t cut = 0; cut < whole.size() - 1; ++cut)
        EXPECT_FALSE(mdpmRecordingTime(whole.substr(0, cut))) << cut;
    std::string other = whole;
    other[3] = '\x00';
    EXPECT_FALSE(mdpmRecordingTime(other));
    // Without a date entry there is no date.
    EXPECT_FALSE(mdpmRecordingTime(mdpmSei({{0x13, 1, 2, 3, 4}})));
}

TEST(RecordingDate, FoundInAccessUnitsOfBothLayoutsAndThroughEscapes)
{
    // 00:00:03 puts two zero bytes before a 03, which the stream escapes
    // as 00 00 03 03 (the payload's size counts the unescaped bytes).
    const std::string sei = dateSei(0x00, 0x20, 0x19, 0x06, 0x01, 0x00, 0x00, 0x03);
    const size_t at = sei.find(std::string("\x00\x00\x03", 3));
    ASSERT_NE(at, std::string::npos);
    std::string escaped = sei;
    escaped.insert(at + 3, 1, '\x03');
    const int64_t expected = 1559347203; // 2019-06-01 00:00:03 UTC
    const std::string nal = std::string(1, '\x06') + escaped;
    const std::string slice = "\x65\x88\x84\x00\x33";
    // Annex B: start codes of three and four bytes, the SEI between others.
    const std::string annexB = std::string("\x00\x00\x00\x01\x09\xf0", 6) + std::string("\x00\x00\x01", 3) + nal
        + std::string("\x00\x00\x00\x01", 4) + slice;
    EXPECT_EQ(accessUnitRecordingTime(reinterpret_cast<const uint8_t*>(annexB.data()), annexB.size(), 0), expected);
    // Length-prefixed (four bytes), as MP4 stores it.
    std::string prefixed;
    for (const std::string& unit : {std::string("\x09\xf0", 2), nal, slice}) {
        const uint32_t n = uint32_t(unit.size());
        prefixed += std::string{char(n >> 24), char(n >> 16), char(n >> 8), char(n)} + unit;
    }
    EXPECT_EQ(accessUnitRecordingTime(reinterpret_cast<const uint8_t*>(prefixed.data()), prefixed.size(), 4), expected);
    // A length running past the end, and a unit without an SEI.
    std::string broken = prefixed;
    broken[3] = '\x7f';
    EXPECT_FALSE(accessUnitRecordingTime(reinterpret_cast<const uint8_t*>(broken.data()), broken.size(), 4));
    EXPECT_FALSE(accessUnitRecordingTime(reinterpret_cast<const uint8_t*>(slice.data()), slice.size(), 0));
}

TEST(SourceLength, AStreamsOwnLengthWinsOverADamagedFilesDuration)
{
    EXPECT_EQ(runningTime(1.0, 10800.4), 1.0);
    EXPECT_EQ(runningTime(0, 12.5), 12.5);
    EXPECT_EQ(runningTime(0, -1), 0);
}

// Every word of the output's part that is about one track: "-ac:a:1=2".
std::vector<std::string> trackOptions(const std::vector<std::string>& args)
{
    std::vector<std::string> out;
    for (size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i].rfind("-ac:", 0) == 0 || args[i].rfind("-ar:", 0) == 0 || args[i].rfind("-c:s:", 0) == 0
            || args[i].rfind("-metadata:s:", 0) == 0)
            out.push_back(args[i] + "=" + args[i + 1]);
    return out;
}

TEST(TrackPlan, EveryContainerKeepsTheSoundTracksAndSubtitlesItHolds)
{
    // The source: pictures (0), stereo at 48 kHz (1), 5.1 at 44.1 kHz (2),
    // MP4 text (3), Blu-ray pictures (4), SubRip (5), captions (6), DVD pictures
    // (7). The 5.1 track and the SubRip have names, which MP4 keeps in its
    // handlers.
    using Words = std::vector<std::string>;
    const struct {
        const char *target, *video, *audio;
        int psp, channels, sampleRate;
        Words maps, options;
        const char* chapters;
    } cases[] = {
        {"/o/a.mkv", "hevc", "flac", 0, 0, 0, {"0:0", "0:1", "0:2", "0:3", "0:4", "0:5", "0:7"},
            {"-c:s:0=srt", "-c:s:1=copy", "-c:s:2=copy", "-c:s:3=copy"}, "0"},
        {"/o/a.mp4", "h264", "ACC", 0, 0, 0, {"0:0", "0:1", "0:2", "0:3", "0:5"},
            {"-c:s:0=copy", "-c:s:1=mov_text", "-metadata:s:a:1=handler_name=Commentary",
                "-metadata:s:s:1=handler_name=Words"},
            "0"},
        {"/o/a.mov", "mpeg4", "ACC", 0, 0, 0, {"0:0", "0:1", "0:2", "0:3", "0:5"},
            {"-c:s:0=copy", "-c:s:1=mov_text", "-metadata:s:a:1=handler_name=Commentary",
                "-metadata:s:s:1=handler_name=Words"},
            "-1"},
        {"/o/a.webm", "vp9", "opus", 0, 0, 0, {"0:0", "0:1", "0:2", "0:3", "0:5"},
            {"-ar:a:1=48000", "-c:s:0=webvtt", "-c:s:1=webvtt"}, "-1"},
        {"/o/a.avi", "xvid", "mp3", 0, 0, 0, {"0:0", "0:1", "0:2"}, {"-ac:a:1=2"}, "-1"},
        {"/o/a.vob", "mpeg2", "mp2", 0, 0, 0, {"0:0", "0:1", "0:2", "0:7"}, {"-ac:a:1=2", "-c:s:0=copy"}, "-1"},
        {"/o/a.mpg", "mpeg1", "mp2", 0, 0, 0, {"0:0", "0:1", "0:2"}, {"-ac:a:1=2"}, "-1"},
        // A profile's channels and rate are every track's.
        {"/o/a.mp4", "h264", "ACC", 0, 2, 48000, {"0:0", "0:1", "0:2", "0:3", "0:5"},
            {"-c:s:0=copy", "-c:s:1=mov_text", "-metadata:s:a:1=handler_name=Commentary",
                "-metadata:s:s:1=handler_name=Words"},
            "0"},
        {"/o/a.webm", "vp9", "opus", 0, 1, 44100, {"0:0", "0:1", "0:2", "0:3", "0:5"},
            {"-c:s:0=webvtt", "-c:s:1=webvtt"}, "-1"},
        // Handhelds and phones play one sound track.
        {"/o/a.mp4", "h264", "ACC", 1, 2, 48000, {"0:0", "0:1"}, {}, "-1"},
        {"/o/a.3gp", "h264", "ACC", 0, 0, 0, {"0:0", "0:1"}, {}, "-1"},
        {"/o/a.flv", "mpeg4", "mp3", 0, 0, 0, {"0:0", "0:1"}, {}, "-1"},
    };
    const SourceInfo source = archiveSource();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.target) + " " + c.video + " psp " + std::to_string(c.psp));
        EngineRequest r = requestFor(c.target, c.video, c.audio);
        r.isPsp = c.psp;
        r.channelCount = c.channels;
        r.sampleRate = c.sampleRate;
        const auto args = buildFfmpegArguments(r, planFor(r, source));
        EXPECT_EQ(maps(args), c.maps);
        EXPECT_EQ(trackOptions(args), c.options);
        EXPECT_EQ(option(args, "-map_chapters"), c.chapters);
        // The profile's settings, once for every track.
        EXPECT_EQ(option(args, "-ac"), c.channels ? std::optional(std::to_string(c.channels)) : std::nullopt);
    }
}

TEST(OutputPlan, CombingIsSearchedForOnlyWhereTheSourceDeclaresNoInterlacing)
{
    const EngineRequest r = requestFor("/out/clip.mp4", "h264", "ACC");
    for (const char* fields : {"progressive", ""}) {
        SourceInfo s = archiveSource();
        s.video->fieldOrder = fields;
        const auto vf = option(buildFfmpegArguments(r, planFor(r, s)), "-vf").value_or("");
        EXPECT_NE(vf.find(std::string(kCombDetectFilter) + "," + kDeinterlaceFilter), std::string::npos) << vf;
    }
    for (const char* fields : {"tt", "bb", "tb", "bt"}) {
        SourceInfo s = archiveSource();
        s.video->fieldOrder = fields;
        const auto vf = option(buildFfmpegArguments(r, planFor(r, s)), "-vf").value_or("");
        EXPECT_EQ(vf.find("idet"), std::string::npos) << vf;
        EXPECT_NE(vf.find(kDeinterlaceFilter), std::string::npos) << vf;
    }
}

TEST(OutputPlan, FlaggedFieldsAreFilteredAsTheirPicturesShowThem)
{
    const EngineRequest r = requestFor("/out/clip.mp4", "h264", "ACC");
    const struct {
        FieldContent fields;
        std::string chain;
        const char* rate; // -r, "" none
    } cases[] = {
        {FieldContent::AsFlagged, std::string(",") + kDeinterlaceFilter + ",", ""},
        {FieldContent::Progressive,
            std::string(",") + kClearFieldsFilter + "," + kCombDetectFilter + "," + kDeinterlaceFilter + ",", ""},
        {FieldContent::Telecined,
            std::string(",fieldmatch=order=tff,") + kDeinterlaceFilter + "," + kDecimateFilter + ",", "24000/1001"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.fields));
        SourceInfo s = archiveSource();
        s.video->fieldOrder = "tt";
        s.video->fields = c.fields;
        // An H.264 stream that gives its field rate as the base rate.
        s.video->frameRate = {30000, 1001};
        s.video->baseRate = {60000, 1001};
        const auto args = buildFfmpegArguments(r, planFor(r, s));
        EXPECT_NE(option(args, "-vf").value_or("").find(c.chain), std::string::npos)
            << option(args, "-vf").value_or("");
        EXPECT_EQ(option(args, "-r").value_or(""), *c.rate ? c.rate : "30000/1001");
    }
}

TEST(FieldJudgement, FramesOfEachKindAreToldApartFromTheFirstOnes)
{
    const FieldVerdict combed{true, false, false}, clear{false, true, false}, unclear{}, repeat{true, false, true};
    const auto times = [](std::vector<FieldVerdict> cycle, size_t n) {
        std::vector<FieldVerdict> v;
        while (v.size() < n)
            v.push_back(cycle[v.size() % cycle.size()]);
        return v;
    };
    const auto then = [](std::vector<FieldVerdict> v, FieldVerdict last) {
        v.push_back(last);
        return v;
    };
    const struct {
        const char* what;
        std::vector<FieldVerdict> verdicts;
        bool ended;
        std::optional<FieldContent> judged;
    } cases[] = {
        {"camera fields", times({combed, combed, unclear, combed, combed}, 3), false, FieldContent::AsFlagged},
        {"camera fields", times({combed, combed}, 2), false, std::nullopt},
        {"camera fields, slow pan", times({combed, clear, clear, clear, clear}, 5), false, FieldContent::AsFlagged},
        {"progressive frames", times({clear}, 14), false, std::nullopt},
        {"progressive frames", times({clear}, 15), false, FieldContent::Progressive},
        {"progressive, a short clip", times({clear}, 8), true, FieldContent::Progressive},
        {"progressive, one combed", then(times({clear}, 14), combed), false, FieldContent::AsFlagged},
        {"still pictures", times({unclear}, 5), false, FieldContent::AsFlagged},
        {"3:2 pulldown", times({clear, repeat, combed, repeat, combed}, 15), false, FieldContent::Telecined},
        {"a repeat out of step", then(times({clear, repeat, combed, repeat, combed}, 12), repeat), false,
            FieldContent::AsFlagged},
        {"too few", times({clear}, 7), true, FieldContent::AsFlagged},
    };
    for (const auto& c : cases)
        EXPECT_EQ(judgeFields(c.verdicts, c.ended), c.judged) << c.what << ", " << c.verdicts.size();
}

TEST(OutputPlan, TheOutputIsBoundByTheSourcesRunningTimeAndCarriesTheDate)
{
    const EngineRequest r = requestFor("/out/clip.mp4", "h264", "ACC");
    SourceInfo s = archiveSource();
    OutputPlan plan = planFor(r, s);
    plan.creationTime = "2019-06-01T10:20:30.000000Z";
    const auto args = buildFfmpegArguments(r, plan);
    EXPECT_EQ(option(args, "-t"), "12.500");
    const std::string vf = option(args, "-vf").value_or("");
    EXPECT_EQ(vf.rfind("select=not(gt(t\\,12.500)),", 0), 0u) << vf;
    EXPECT_EQ(option(args, "-metadata"), "creation_time=2019-06-01T10:20:30.000000Z");
    // The target stays last.
    EXPECT_EQ(args.back(), "file:/out/clip.mp4");

    // Stamps that may jump (MPEG-TS and program streams): twice the time line
    // expected plus 10 s, the size's where it tells another length than the
    // stamps (joined recordings, a damaged stamp), and only a picture more
    // than 10 s after the one before is dropped. Where the size tells a
    // longer time line than the stamps (recordings joined, each with its
    // stamps from the start), ffmpeg takes up jumps ahead beyond half a
    // second, not only beyond 10 s.
    const struct {
        double stamps, size;
        const char* bound;
        std::optional<std::string> threshold;
    } jumping[] = {{30, 60, "130.000", "0.5"}, {3, 6, "22.000", "0.5"}, {10801, 20, "50.000", std::nullopt},
        {30, 33, "70.000", std::nullopt}, {30, 0, "70.000", std::nullopt}};
    for (const auto& j : jumping) {
        SCOPED_TRACE(std::to_string(j.stamps) + " " + std::to_string(j.size));
        SourceInfo ts = archiveSource();
        ts.durationSeconds = j.stamps;
        ts.sizeSeconds = j.size;
        ts.discontinuousTimes = true;
        const auto bound = buildFfmpegArguments(r, planFor(r, ts));
        EXPECT_EQ(option(bound, "-t"), j.bound);
        EXPECT_EQ(option(bound, "-dts_delta_threshold"), j.threshold);
        // A global option: before the source.
        if (j.threshold) {
            EXPECT_LT(std::find(bound.begin(), bound.end(), "-dts_delta_threshold"),
                std::find(bound.begin(), bound.end(), "-i"));
        }
        const std::string jumpVf = option(bound, "-vf").value_or("");
        EXPECT_EQ(jumpVf.rfind("select=not(gt(t-prev_t\\,10)),", 0), 0u) << jumpVf;
    }

    s.durationSeconds = 0; // unknown: no bound
    const auto unbound = buildFfmpegArguments(r, planFor(r, s));
    EXPECT_FALSE(has(unbound, "-t"));
    EXPECT_EQ(option(unbound, "-vf").value_or("").find("select"), std::string::npos);
    EXPECT_FALSE(has(unbound, "-metadata"));
    EXPECT_FALSE(has(args, "-dts_delta_threshold"));
}

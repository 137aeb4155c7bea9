// trevok on the files people really have: every accepted container, a copy
// cut short, a damaged time stamp, a phone clip's and a camcorder's
// recording date, an MP4 with subtitles, chapters and two sound tracks for
// the archive, and an old TV capture whose woven fields are flagged
// progressive. Sources are made here with ffmpeg; every output is decoded
// in full.
#include "MediaTools.h"
#include "engine/FfmpegArguments.h"
#include "engine/RecordingDate.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <tuple>

using namespace vexlo::engine;
using namespace vexlo::engine::test;
namespace fs = std::filesystem;

namespace {

const QString kPictures = "testsrc2=size=320x240:rate=25:duration=%1";
const QString kTone = "sine=frequency=440:sample_rate=48000:duration=%1";

struct EngineRun {
    ToolRun run;
    std::string flag;
    double seconds = 0; // wall time
};

class SourceMedia : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    std::string path(const std::string& name) const
    {
        return m_dir.filePath(QString::fromStdString(name)).toStdString();
    }

    void make(const std::string& name, const QStringList& args) const
    {
        std::string error;
        ASSERT_TRUE(makeMedia(args + QStringList{QString::fromStdString(path(name))}, &error)) << name << error;
    }

    // trevok with the 13 fields "<source>|<target>|<rest>"; `limitMs` bounds the wait.
    EngineRun convert(const std::string& source, const std::string& target, const std::string& rest,
        const std::map<QString, QString>& extraEnv = {}, int limitMs = 50000) const
    {
        const std::string registry = path("registry");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VEXLO_REGISTRY", QString::fromStdString(registry));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        for (const auto& [k, v] : extraEnv)
            env.insert(k, v);
        EngineRun r;
        const auto start = std::chrono::steady_clock::now();
        r.run = runTool(
            TREVOK_PROGRAM, {QString::fromStdString(path(source) + "|" + path(target) + "|" + rest)}, env, limitMs);
        r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        r.flag = vexlo::platform::FolderRegistry(registry)
                     .readValue(vexlo::platform::Hive::CurrentUser, vexlo::platform::kAbortFlagKey, "")
                     .value_or("");
        return r;
    }

    // The output decodes in full without an error.
    void expectClean(const std::string& target) const
    {
        const Decoded d = decodeMedia(path(target), path(target + ".crop"));
        EXPECT_TRUE(d.ran) << target;
        EXPECT_EQ(d.errors, "") << target;
    }

    std::string ffprobeValue(const std::string& file, const QString& entries) const
    {
        const ToolRun r = runTool("ffprobe",
            {"-v", "error", "-show_entries", entries, "-of", "default=nw=1:nk=1",
                QString::fromStdString("file:" + path(file))});
        return QString::fromStdString(r.out).trimmed().toStdString();
    }

    QTemporaryDir m_dir;
};

// Profile 18 (MP4 H.264) and 23 (WebM VP9) of the catalogue, as a run hands them over.
const std::string kProfile18 = "h264|0|0|0|0|2|160|48000|ACC|0|S";
const std::string kProfile23 = "vp9|0|0|0|0|2|128|48000|opus|0|S";
const std::string kProfile24 = "hevc|0|0|0|0|2|320|48000|flac|0|S";

// Every container Vexlo accepts, each with the streams such files carry.
struct ContainerRecipe {
    const char* name;
    QStringList args;
};

std::vector<ContainerRecipe> containerRecipes()
{
    const QStringList av
        = {"-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25:duration=0.5", "-f", "lavfi", "-i", kTone.arg(0.5)};
    const QStringList pal
        = {"-f", "lavfi", "-i", "testsrc2=size=720x576:rate=25:duration=0.5", "-f", "lavfi", "-i", kTone.arg(0.5)};
    const QStringList h264 = {"-c:v", "libx264", "-preset", "ultrafast"};
    return {
        {"clip.avi", av + QStringList{"-c:v", "mpeg4", "-c:a", "libmp3lame"}},
        {"clip.wmv", av + QStringList{"-c:v", "wmv2", "-c:a", "wmav2"}},
        {"clip.asf", av + QStringList{"-c:v", "wmv2", "-c:a", "wmav2", "-f", "asf"}},
        {"clip.wma", QStringList{"-f", "lavfi", "-i", kTone.arg(0.5), "-c:a", "wmav2", "-f", "asf"}},
        {"clip.mpeg", av + QStringList{"-c:v", "mpeg2video", "-c:a", "mp2", "-f", "mpeg"}},
        {"clip.mpg", av + QStringList{"-c:v", "mpeg1video", "-c:a", "mp2", "-f", "mpeg"}},
        {"clip.mpm", av + QStringList{"-c:v", "mpeg2video", "-c:a", "mp2", "-f", "mpeg"}},
        {"clip.mod", av + QStringList{"-c:v", "mpeg2video", "-c:a", "mp2", "-f", "vob"}},
        {"clip.vob", av + QStringList{"-c:v", "mpeg2video", "-c:a", "ac3", "-f", "vob"}},
        {"clip.mpv", QStringList{"-f", "lavfi", "-i", kPictures.arg(0.5), "-c:v", "mpeg2video", "-f", "mpeg2video"}},
        {"clip.mpa", QStringList{"-f", "lavfi", "-i", kTone.arg(0.5), "-c:a", "mp2", "-f", "mp2"}},
        {"clip.m2ts", av + h264 + QStringList{"-c:a", "ac3", "-f", "mpegts", "-mpegts_m2ts_mode", "1"}},
        {"clip.mts", av + h264 + QStringList{"-c:a", "ac3", "-f", "mpegts", "-mpegts_m2ts_mode", "1"}},
        {"CLIP.MTS", av + h264 + QStringList{"-c:a", "ac3", "-f", "mpegts", "-mpegts_m2ts_mode", "1"}},
        {"CLIP.M2TS", av + h264 + QStringList{"-c:a", "ac3", "-f", "mpegts", "-mpegts_m2ts_mode", "1"}},
        {"clip.m2t", av + QStringList{"-c:v", "mpeg2video", "-c:a", "mp2", "-f", "mpegts"}},
        {"clip.ts", av + h264 + QStringList{"-c:a", "aac", "-f", "mpegts"}},
        {"clip.qt", av + h264 + QStringList{"-c:a", "aac", "-f", "mov"}},
        {"clip.mov", av + h264 + QStringList{"-c:a", "aac", "-f", "mov"}},
        {"clip.mp4", av + h264 + QStringList{"-c:a", "aac"}},
        {"clip.m4v", av + h264 + QStringList{"-c:a", "aac", "-f", "mp4"}},
        {"clip.3gp", av + h264 + QStringList{"-c:a", "aac", "-ac", "1", "-ar", "16000", "-f", "3gp"}},
        {"clip.3g2", av + h264 + QStringList{"-c:a", "aac", "-ac", "1", "-ar", "16000", "-f", "3g2"}},
        {"clip.mkv", av + h264 + QStringList{"-c:a", "flac"}},
        {"clip.webm",
            av + QStringList{"-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8", "-c:a", "libopus"}},
        {"clip.flv", av + QStringList{"-c:v", "flv1", "-c:a", "libmp3lame", "-ar", "44100"}},
        {"clip.dv",
            pal + QStringList{"-c:v", "dvvideo", "-pix_fmt", "yuv420p", "-c:a", "pcm_s16le", "-ac", "2", "-f", "dv"}},
        {"clip.ogv", av + QStringList{"-c:v", "libtheora", "-c:a", "libvorbis"}},
        {"clip.mxf", pal + QStringList{"-c:v", "mpeg2video", "-b:v", "10M", "-c:a", "pcm_s16le", "-f", "mxf"}},
    };
}

class Containers : public SourceMedia {
protected:
    // One half of the recipes (0: the first, 1: the rest) converted with
    // one profile, two at a time.
    void convertAll(const std::string& profile, const std::string& extension, int half)
    {
        const auto all = containerRecipes();
        const auto middle = all.begin() + std::ptrdiff_t(all.size() / 2);
        const std::vector<ContainerRecipe> recipes(half == 0 ? all.begin() : middle, half == 0 ? middle : all.end());
        for (const auto& r : recipes)
            make(r.name, r.args);
        std::atomic<size_t> next{0};
        std::vector<EngineRun> runs(recipes.size());
        std::vector<std::thread> workers;
        for (int w = 0; w < 2; ++w)
            workers.emplace_back([&] {
                for (size_t i = next++; i < recipes.size(); i = next++) {
                    runs[i] = convert(recipes[i].name, std::string(recipes[i].name) + extension, profile);
                }
            });
        for (auto& w : workers)
            w.join();
        for (size_t i = 0; i < recipes.size(); ++i) {
            SCOPED_TRACE(recipes[i].name);
            EXPECT_EQ(runs[i].run.exitCode, 0) << runs[i].run.err;
            if (runs[i].run.exitCode == 0)
                expectClean(std::string(recipes[i].name) + extension);
        }
    }
};

} // namespace

TEST_F(Containers, OlderContainersConvertToMp4H264) { convertAll(kProfile18, ".mp4", 0); }

TEST_F(Containers, NewerContainersConvertToMp4H264) { convertAll(kProfile18, ".mp4", 1); }

TEST_F(Containers, OlderContainersConvertToWebmVp9) { convertAll(kProfile23, ".webm", 0); }

TEST_F(Containers, NewerContainersConvertToWebmVp9) { convertAll(kProfile23, ".webm", 1); }

// An MP4 whose index describes 4 s but whose data ends after 2 s (a copy
// from a card that was interrupted) is reported, not passed as done.
TEST_F(SourceMedia, ACutCopyIsReportedAndItsConvertedPartKept)
{
    make("whole.mp4",
        {"-f", "lavfi", "-i", kPictures.arg(4), "-f", "lavfi", "-i", kTone.arg(4), "-c:v", "libx264", "-preset",
            "ultrafast", "-c:a", "aac", "-movflags", "+faststart"});
    const auto size = fs::file_size(path("whole.mp4"));
    fs::copy_file(path("whole.mp4"), path("cut.mp4"));
    fs::resize_file(path("cut.mp4"), size / 2);

    const EngineRun cut = convert("cut.mp4", "cut-out.mp4", kProfile18);
    EXPECT_EQ(cut.run.exitCode, 3) << cut.run.err;
    EXPECT_EQ(cut.flag, "0");
    EXPECT_NE(cut.run.err.find("the source is incomplete: 2.0 of 4.0 s converted"), std::string::npos) << cut.run.err;
    EXPECT_EQ(cut.run.err.find("done"), std::string::npos) << cut.run.err;
    ASSERT_TRUE(fs::exists(path("cut-out.mp4"))) << "the converted part stays for the user";
    expectClean("cut-out.mp4");

    // The whole file is no false alarm.
    const EngineRun whole = convert("whole.mp4", "whole-out.mp4", kProfile18);
    EXPECT_EQ(whole.run.exitCode, 0) << whole.run.err;
    EXPECT_EQ(whole.flag, "0");
    expectClean("whole-out.mp4");
}

// One video packet presented 3 hours late (its decoding time intact), as a
// bad card sector leaves it: the engine ends soon with the clip's length.
TEST_F(SourceMedia, ATimeStampThreeHoursOffEndsSoonWithTheClipsLength)
{
    // The stamp is damaged in a copy: ffmpeg 7's MP4 muxer refuses it from an encoder.
    make("whole.mp4",
        {"-f", "lavfi", "-i", "testsrc2=size=640x480:rate=25:duration=3", "-f", "lavfi", "-i", kTone.arg(3), "-c:v",
            "libx264", "-preset", "ultrafast", "-c:a", "aac"});
    make("jump.mp4",
        {"-i", QString::fromStdString(path("whole.mp4")), "-c", "copy", "-bsf:v",
            "setts=pts=if(eq(N\\,30)\\,PTS+10800*12800\\,PTS)"});
    // The damage is in place (ffmpeg 5 takes the file's duration from that stamp, ffmpeg 7 no longer does).
    double latest = 0;
    for (const QString& stamp : QString::fromStdString(ffprobeValue("jump.mp4", "packet=pts_time")).split('\n'))
        latest = std::max(latest, stamp.toDouble());
    ASSERT_GT(latest, 10000) << "the damage is in place";
    for (const auto& [profile, target] :
        {std::pair{kProfile18, std::string("jump-out.mp4")}, std::pair{kProfile24, std::string("jump-out.mkv")}}) {
        SCOPED_TRACE(target);
        // Bounded by the clip's length, not the stamp's 3 hours: a minute and a
        // half leaves room for a machine busy with other builds.
        const EngineRun r = convert("jump.mp4", target, profile, {}, 90000);
        ASSERT_EQ(r.run.exitCode, 0) << "ended after " << r.seconds << " s: " << r.run.err;
        const double length = std::atof(ffprobeValue(target, "format=duration").c_str());
        EXPECT_NEAR(length, 3.0, 0.3);
        EXPECT_LT(fs::file_size(path(target)), 5u << 20);
        expectClean(target);
    }
}

TEST_F(SourceMedia, TheRecordingDateIsKept)
{
    const QStringList av = {"-f", "lavfi", "-i", kPictures.arg(1), "-f", "lavfi", "-i", kTone.arg(1)};
    // A phone's MP4 with its creation_time.
    make("phone.mp4",
        av
            + QStringList{"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", "-metadata",
                "creation_time=2019-06-01T10:20:30.000000Z"});
    // A camcorder's .MTS: no container time; the date in the H.264 stream's
    // MDPM message: 2018-08-15 10:20:30 at +09:00 (zone 0x12).
    const QByteArray mdpm = QByteArray("MDPM\x02\x18\x12\x20\x18\x08\x19\x15\x10\x20\x30", 15);
    make("camera.MTS",
        av
            + QStringList{"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "ac3", "-bsf:v",
                "h264_metadata=sei_user_data=17ee8c60-f84d-11d9-8cd6-0800200c9a66+" + QString::fromLatin1(mdpm), "-f",
                "mpegts"});
    // An old AVI with nothing but its file time.
    make("old.avi", av + QStringList{"-c:v", "mpeg4", "-c:a", "libmp3lame"});
    const timespec fileTime[2] = {{1300000000, 0}, {1300000000, 0}}; // 2011-03-13 07:06:40 UTC
    ASSERT_EQ(::utimensat(AT_FDCWD, path("old.avi").c_str(), fileTime, 0), 0);

    const struct {
        const char* source;
        const char* target;
        std::string profile;
        int64_t expected;
    } cases[] = {{"phone.mp4", "phone-out.mp4", kProfile18, 1559384430},
        {"camera.MTS", "camera-out.mkv", kProfile24, 1534296030}, // 2018-08-15 01:20:30 UTC
        {"old.avi", "old-out.mp4", kProfile18, 1300000000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        const EngineRun r = convert(c.source, c.target, c.profile);
        ASSERT_EQ(r.run.exitCode, 0) << r.run.err;
        EXPECT_EQ(ffprobeValue(c.target, "format_tags=creation_time"), containerTimeText(c.expected));
        struct stat st {};
        ASSERT_EQ(::stat(path(c.target).c_str(), &st), 0);
        EXPECT_EQ(st.st_mtim.tv_sec, c.expected);
        expectClean(c.target);
    }

    // Switched off: no date is carried over.
    const EngineRun off = convert("phone.mp4", "phone-off.mp4", kProfile18, {{"VEXLO_KEEP_RECORDING_DATE", "0"}});
    ASSERT_EQ(off.run.exitCode, 0) << off.run.err;
    EXPECT_EQ(ffprobeValue("phone-off.mp4", "format_tags=creation_time"), "");
    struct stat st {};
    ASSERT_EQ(::stat(path("phone-off.mp4").c_str(), &st), 0);
    EXPECT_GT(st.st_mtim.tv_sec, 1559384430 + 86400);
}

TEST_F(SourceMedia, TheArchiveKeepsEveryTrackTheSubtitlesAndTheChapters)
{
    const std::string chapters = path("chapters.txt");
    vexlo::test::writeFile(chapters,
        ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\ntitle=Arrival\n"
        "[CHAPTER]\nTIMEBASE=1/1000\nSTART=1000\nEND=2000\ntitle=Beach\n");
    const std::string srt = path("words.srt");
    vexlo::test::writeFile(srt, "1\n00:00:00,200 --> 00:00:01,500\nHello\n\n");
    make("tracks.mp4",
        {"-f", "lavfi", "-i", kPictures.arg(2), "-f", "lavfi", "-i", kTone.arg(2), "-f", "lavfi", "-i",
            "sine=frequency=880:sample_rate=44100:duration=2", "-i", QString::fromStdString(srt), "-f", "ffmetadata",
            "-i", QString::fromStdString(chapters), "-map", "0", "-map", "1", "-map", "2", "-map", "3", "-map_chapters",
            "4", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", "-c:s", "mov_text", "-metadata:s:a:0",
            "language=eng", "-metadata:s:a:1", "language=ger", "-metadata:s:s:0", "language=fre"});

    const EngineRun archive = convert("tracks.mp4", "tracks.mkv", kProfile24);
    ASSERT_EQ(archive.run.exitCode, 0) << archive.run.err;
    EXPECT_EQ(ffprobeValue("tracks.mkv", "stream=codec_type,codec_name"),
        "hevc\nvideo\nflac\naudio\nflac\naudio\nsubrip\nsubtitle");
    EXPECT_EQ(ffprobeValue("tracks.mkv", "stream_tags=language"), "eng\nger\nfre");
    EXPECT_EQ(ffprobeValue("tracks.mkv", "stream=sample_rate"), "48000\n44100");
    EXPECT_EQ(ffprobeValue("tracks.mkv", "chapter_tags=title"), "Arrival\nBeach");
    expectClean("tracks.mkv");

    // A player's MP4 keeps them too, the chapters in a text track of their own.
    const EngineRun phone = convert("tracks.mp4", "tracks-out.mp4", kProfile18);
    ASSERT_EQ(phone.run.exitCode, 0) << phone.run.err;
    EXPECT_EQ(ffprobeValue("tracks-out.mp4", "stream=codec_type"), "video\naudio\naudio\nsubtitle\ndata");
    EXPECT_EQ(ffprobeValue("tracks-out.mp4", "chapter_tags=title"), "Arrival\nBeach");
    expectClean("tracks-out.mp4");
}

// What players' files keep of a source with two sound tracks in two
// languages and a SubRip subtitle, and of a QuickTime file with two video
// streams: every sound track and the subtitle in the container's own form;
// the second video stream is left out (Vexlo then keeps the source).
TEST_F(SourceMedia, PlayersFilesKeepEverySoundTrackAndTheTextSubtitles)
{
    const std::string srt = path("words.srt");
    vexlo::test::writeFile(srt, "1\n00:00:00,200 --> 00:00:01,500\nHello\n\n");
    make("tracks.mkv",
        {"-f", "lavfi", "-i", kPictures.arg(2), "-f", "lavfi", "-i", kTone.arg(2), "-f", "lavfi", "-i",
            "sine=frequency=880:sample_rate=44100:duration=2", "-i", QString::fromStdString(srt), "-map", "0", "-map",
            "1", "-map", "2", "-map", "3", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", "-ac:a:1", "6",
            "-c:s", "srt", "-metadata:s:a:0", "language=eng", "-metadata:s:a:1", "language=ger", "-metadata:s:a:1",
            "title=Kommentar", "-metadata:s:s:0", "language=fre"});
    make("two-videos.mov",
        {"-f", "lavfi", "-i", kPictures.arg(2), "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=2", "-f",
            "lavfi", "-i", kTone.arg(2), "-map", "0", "-map", "1", "-map", "2", "-c:v", "libx264", "-preset",
            "ultrafast", "-c:a", "aac"});
    const struct {
        const char *source, *target;
        const std::string& profile;
        const char *streams, *channels, *languages, *names;
    } cases[] = {
        {"tracks.mkv", "tracks.mp4", kProfile18, "h264 video,aac audio,aac audio,mov_text subtitle", "2\n2",
            "eng\nger\nfre", "Kommentar"},
        {"tracks.mkv", "tracks.webm", kProfile23, "vp9 video,opus audio,opus audio,webvtt subtitle", "2\n2",
            "eng\nger\nfre", "Kommentar"},
        {"two-videos.mov", "two-videos.mp4", kProfile18, "h264 video,aac audio", "2", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const EngineRun r = convert(c.source, c.target, c.profile);
        ASSERT_EQ(r.run.exitCode, 0) << r.run.err;
        const QStringList words
            = QString::fromStdString(ffprobeValue(c.target, "stream=codec_name,codec_type")).split('\n');
        QStringList streams;
        for (qsizetype i = 0; i + 1 < words.size(); i += 2)
            streams << words[i] + " " + words[i + 1];
        EXPECT_EQ(streams.join(',').toStdString(), c.streams);
        // The profile's stereo for every track (the German one is 5.1).
        EXPECT_EQ(ffprobeValue(c.target, "stream=channels"), c.channels);
        const std::string languages = ffprobeValue(c.target, "stream_tags=language");
        EXPECT_NE(languages.find(c.languages), std::string::npos) << languages;
        // MP4 names a track in its handler, WebM in the track's title.
        const std::string names = ffprobeValue(c.target, "stream_tags=title,handler_name");
        EXPECT_NE(names.find(c.names), std::string::npos) << names;
        expectClean(c.target);
    }
}

// Frames that ffmpeg's idet finds combed, single-frame judgement.
int combedFrames(const std::string& file)
{
    const ToolRun r = runTool("ffmpeg",
        {"-nostdin", "-hide_banner", "-i", QString::fromStdString("file:" + file), "-vf", "idet", "-f", "null", "-"});
    // The last summary: ffmpeg 7 prints one of a first set-up of the filters too, with nothing counted.
    const auto at = r.err.rfind("Single frame detection:");
    if (at == std::string::npos)
        return -1;
    int tff = 0, bff = 0;
    std::sscanf(r.err.c_str() + at, "Single frame detection: TFF: %d BFF: %d", &tff, &bff);
    return tff + bff;
}

TEST_F(SourceMedia, WovenFieldsFlaggedProgressiveAreDeinterlacedAndProgressiveOnesUntouched)
{
    // An old TV capture: 50 fields a second woven into frames, saved as an
    // MPEG-4 .avi that says nothing of fields.
    make("capture.avi",
        {"-f", "lavfi", "-i", "testsrc2=size=640x480:rate=50:duration=3,tinterlace=mode=interleave_top,setfield=prog",
            "-c:v", "mpeg4", "-q:v", "3"});
    ASSERT_GT(combedFrames(path("capture.avi")), 70);
    const EngineRun woven = convert("capture.avi", "capture.mp4", kProfile18);
    ASSERT_EQ(woven.run.exitCode, 0) << woven.run.err;
    EXPECT_LE(combedFrames(path("capture.mp4")), 2);
    EXPECT_EQ(ffprobeValue("capture.mp4", "stream=nb_frames"), "75") << "one picture per frame";
    expectClean("capture.mp4");

    // A progressive source with sharp moving edges comes out exactly as it
    // does without the comb search (which would soften what it deinterlaced).
    make("sharp.avi", {"-f", "lavfi", "-i", "testsrc2=size=640x480:rate=25:duration=3", "-c:v", "ffv1"});
    const std::string rest = "h264|0|0|0|0|0|0|0|flac|0|S";
    const EngineRun sharp = convert("sharp.avi", "sharp.mkv", rest);
    ASSERT_EQ(sharp.run.exitCode, 0) << sharp.run.err;
    expectClean("sharp.mkv");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VEXLO_REGISTRY", QString::fromStdString(path("registry")));
    const ToolRun dry = runTool(TREVOK_PROGRAM,
        {"--dry-run", QString::fromStdString(path("sharp.avi") + "|" + path("plain.mkv") + "|" + rest)}, env);
    ASSERT_EQ(dry.exitCode, 0) << dry.err;
    QStringList args = QString::fromStdString(dry.out).split('\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(args.isEmpty());
    const QString program = args.takeFirst();
    for (QString& a : args)
        a.remove(QString(kCombDetectFilter) + ",").remove(QString(kDeinterlaceFilter) + ",");
    ASSERT_EQ(runTool(program, args).exitCode, 0);
    const auto frames = [](const std::string& file) {
        return runTool("ffmpeg", {"-v", "error", "-i", QString::fromStdString("file:" + file), "-f", "framemd5", "-"})
            .out;
    };
    EXPECT_EQ(frames(path("sharp.mkv")), frames(path("plain.mkv")));
}

// The pictures' SSIM against a reference's, in dB, frame by frame in order.
double ssimDb(const std::string& file, const std::string& reference)
{
    const ToolRun r = runTool("ffmpeg",
        {"-nostdin", "-hide_banner", "-i", QString::fromStdString("file:" + file), "-i",
            QString::fromStdString("file:" + reference), "-filter_complex",
            "[0:v]settb=AVTB,setpts=N/30/TB[a];[1:v]settb=AVTB,setpts=N/30/TB[b];[a][b]ssim=shortest=1", "-f", "null",
            "-"});
    const auto at = r.err.rfind("SSIM ");
    const auto db = at == std::string::npos ? std::string::npos : r.err.find('(', r.err.find("All:", at));
    return db == std::string::npos ? 0 : std::atof(r.err.c_str() + db + 1);
}

TEST_F(SourceMedia, FlaggedFieldsAreJudgedByThePictures)
{
    // Streams flagged interlaced whose fields were not filmed apart, as
    // camcorders and broadcasters deliver them: 30p carried as 60i
    // (progressive segmented frames), and 24p film telecined into 60i (3:2
    // pulldown). Each comes out as the progressive pictures it carries, as
    // sharp as the same conversion without any field filter gives them
    // (for the film: from its 24 pictures a second carried as they are),
    // with no combing.
    const QString pictures = "testsrc2=size=1920x1080:rate=%1,trim=end_frame=%2";
    make("psf-original.mkv", {"-f", "lavfi", "-i", pictures.arg("30000/1001").arg(20), "-c:v", "ffv1"});
    make("film-original.mkv", {"-f", "lavfi", "-i", pictures.arg("24000/1001").arg(32), "-c:v", "ffv1"});
    const QStringList interlaced = {"-c:v", "libx264", "-preset", "veryfast", "-crf", "16", "-flags", "+ilme+ildct",
        "-x264opts", "tff=1", "-field_order", "tt", "-f", "mpegts"};
    make("psf.m2ts", QStringList{"-i", QString::fromStdString(path("psf-original.mkv"))} + interlaced);
    make("film.m2ts",
        QStringList{"-i", QString::fromStdString(path("film-original.mkv")), "-vf", "telecine=pattern=23"}
            + interlaced);
    make("film-psf.m2ts", QStringList{"-i", QString::fromStdString(path("film-original.mkv"))} + interlaced);
    struct Case {
        const char* source;
        const char* original;
        const char* plain; // converted without field filters: the figure to reach
        const char* rate;
        int frames;
    };
    const Case cases[] = {{"psf.m2ts", "psf-original.mkv", "psf.m2ts", "30000/1001", 20},
        {"film.m2ts", "film-original.mkv", "film-psf.m2ts", "24000/1001", 32}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        const std::string target = std::string(c.source) + ".mp4";
        const EngineRun r = convert(c.source, target, kProfile18);
        ASSERT_EQ(r.run.exitCode, 0) << r.run.err;
        EXPECT_EQ(ffprobeValue(target, "stream=avg_frame_rate"), c.rate);
        EXPECT_EQ(ffprobeValue(target, "stream=nb_frames"), std::to_string(c.frames));
        EXPECT_LE(combedFrames(path(target)), 2);
        expectClean(target);

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VEXLO_REGISTRY", QString::fromStdString(path("registry")));
        const std::string plain = std::string(c.source) + ".plain.mp4";
        const ToolRun dry = runTool(TREVOK_PROGRAM,
            {"--dry-run", QString::fromStdString(path(c.plain) + "|" + path(plain) + "|" + kProfile18)}, env);
        ASSERT_EQ(dry.exitCode, 0) << dry.err;
        QStringList args = QString::fromStdString(dry.out).split('\n', Qt::SkipEmptyParts);
        const QString program = args.takeFirst();
        args.replaceInStrings(QRegularExpression("(setfield|idet|bwdif|yadif|fieldmatch|decimate)=[^,]*,"), "");
        ASSERT_EQ(runTool(program, args).exitCode, 0);
        const double reached = ssimDb(path(target), path(c.original));
        const double wanted = ssimDb(path(plain), path(c.original));
        EXPECT_GT(wanted, 15);
        EXPECT_GT(reached, wanted - 0.5) << "the pictures were deinterlaced";
    }
}

// The RMS level (dBFS) of the first channel of a file's sound.
double leftLevel(const std::string& file)
{
    const ToolRun r = runTool("ffmpeg",
        {"-nostdin", "-hide_banner", "-i", QString::fromStdString("file:" + file), "-af",
            "pan=mono|c0=c0,astats=measure_perchannel=0:measure_overall=RMS_level", "-f", "null", "-"});
    const auto at = r.err.rfind("RMS level dB:");
    return at == std::string::npos ? 1e9 : std::atof(r.err.c_str() + at + 13);
}

TEST_F(SourceMedia, FiveOneSoundIsMixedToStereoAtTheStandardLevelsAndKeptWholeByTheArchive)
{
    // One 5.1 (side) source per channel, a tone in that channel alone.
    for (const char* channel : {"FL", "FC", "SL"})
        make(std::string("surround-") + channel + ".mkv",
            {"-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25:duration=1", "-f", "lavfi", "-i",
                QString("sine=frequency=1000:sample_rate=48000:duration=1,volume=0.25,pan=5.1(side)|%1=c0")
                    .arg(channel),
                "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "flac"});
    const double source = leftLevel(path("surround-FL.mkv"));
    ASSERT_LT(source, 0);
    // left = FL + 0.707 FC + 0.707 SL, whatever the encoder: AAC (18), MP3
    // (11), MPEG audio layer 2 (17).
    const std::pair<std::string, std::string> profiles[] = {{kProfile18, ".mp4"},
        {"divx|640|480|1200|0|2|128|44100|mp3|0|S", ".avi"}, {"mpeg2|720|480|6000|29.976|2|224|48000|mp2|0|S", ".mpg"}};
    for (const auto& [profile, extension] : profiles) {
        SCOPED_TRACE(extension);
        for (const auto& [channel, gain] : {std::pair{"FL", 0.0}, std::pair{"FC", -3.01}, std::pair{"SL", -3.01}}) {
            SCOPED_TRACE(channel);
            const std::string target = std::string("surround-") + channel + extension;
            const EngineRun r = convert(std::string("surround-") + channel + ".mkv", target, profile);
            ASSERT_EQ(r.run.exitCode, 0) << r.run.err;
            EXPECT_NEAR(leftLevel(path(target)) - source, gain, 0.7);
            expectClean(target);
        }
    }
    // The archive keeps the six channels.
    const EngineRun archive = convert("surround-FC.mkv", "surround-archive.mkv", kProfile24);
    ASSERT_EQ(archive.run.exitCode, 0) << archive.run.err;
    EXPECT_EQ(ffprobeValue("surround-archive.mkv", "stream=channels"), "6");
    expectClean("surround-archive.mkv");
}

TEST_F(SourceMedia, InterlacedSourcesGiveOnePicturePerFrameWithoutCombing)
{
    // Moving pictures woven from fields: a 1080i camcorder's TFF H.264, a
    // 576i DV (BFF), a 480i DVD's MPEG-2 (TFF).
    const QString fields = "testsrc2=size=%1:rate=%2:duration=1,tinterlace=mode=%3";
    struct Case {
        const char* name;
        QStringList args;
        const char* rate;
    };
    const Case cases[] = {
        {"hd.m2ts",
            {"-f", "lavfi", "-i", fields.arg("1920x1080", "60000/1001", "interleave_top"), "-c:v", "libx264", "-preset",
                "ultrafast", "-flags", "+ilme+ildct", "-x264opts", "tff=1", "-field_order", "tt", "-f", "mpegts"},
            "30000/1001"},
        {"pal.dv",
            {"-f", "lavfi", "-i", fields.arg("720x576", "50", "interleave_bottom"), "-c:v", "dvvideo", "-pix_fmt",
                "yuv420p", "-field_order", "bb", "-f", "dv"},
            "25/1"},
        {"ntsc.mpg",
            {"-f", "lavfi", "-i", fields.arg("720x480", "60000/1001", "interleave_top"), "-c:v", "mpeg2video", "-b:v",
                "6M", "-flags", "+ilme+ildct", "-top", "1", "-field_order", "tt", "-f", "vob"},
            "30000/1001"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        make(c.name, c.args);
        ASSERT_GT(combedFrames(path(c.name)), 20) << "the source shows its fields";
        const std::string target = std::string(c.name) + ".mp4";
        const EngineRun r = convert(c.name, target, kProfile18);
        ASSERT_EQ(r.run.exitCode, 0) << r.run.err;
        const auto probe = [&](const std::string& file) {
            return runTool("ffprobe",
                {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                    "stream=nb_read_frames,avg_frame_rate,field_order", "-of", "default=nw=1",
                    QString::fromStdString("file:" + path(file))})
                .out;
        };
        const std::string counted = probe(target), original = probe(c.name);
        const auto frames = [](const std::string& text) {
            const auto at = text.find("nb_read_frames=");
            return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + 15);
        };
        EXPECT_EQ(frames(counted), frames(original)) << "one picture per frame:\n" << counted << original;
        EXPECT_NE(counted.find(std::string("avg_frame_rate=") + c.rate), std::string::npos) << counted;
        EXPECT_NE(counted.find("field_order=progressive"), std::string::npos) << counted;
        EXPECT_LE(combedFrames(path(target)), 2);
        expectClean(target);
    }
}

TEST_F(SourceMedia, AFlashAndABeepInTheSameFrameStayTogether)
{
    // A white frame at 1 s and a 40 ms beep starting at 1 s, in a
    // camcorder's stream; each output is measured where each starts.
    make("sync.m2ts",
        {"-f", "lavfi", "-i",
            "color=black:s=320x240:r=25:d=3,drawbox=x=0:y=0:w=iw:h=ih:color=white:t=fill:enable='eq(n\\,25)'", "-f",
            "lavfi", "-i", "aevalsrc='if(between(t\\,1\\,1.04)\\,sin(2*PI*1000*t)\\,0)':s=48000:d=3", "-c:v", "libx264",
            "-preset", "ultrafast", "-c:a", "ac3", "-f", "mpegts"});
    const auto flash = [&](const std::string& file) {
        const ToolRun r = runTool("ffmpeg",
            {"-v", "error", "-i", QString::fromStdString("file:" + path(file)), "-vf",
                "signalstats,metadata=print:key=lavfi.signalstats.YAVG:file=-", "-f", "null", "-"});
        double time = -1;
        for (const QString& line : QString::fromStdString(r.out).split('\n')) {
            if (line.contains("pts_time:"))
                time = line.section("pts_time:", 1).section(' ', 0, 0).toDouble();
            else if (line.contains("YAVG=") && line.section('=', 1).toDouble() > 128)
                return time;
        }
        return -1.0;
    };
    const auto beep = [&](const std::string& file) {
        const ToolRun r = runTool("ffmpeg",
            {"-nostdin", "-hide_banner", "-i", QString::fromStdString("file:" + path(file)), "-af",
                "silencedetect=n=-26dB:d=0.02", "-f", "null", "-"});
        const auto at = r.err.find("silence_end: ");
        return at == std::string::npos ? -1.0 : std::atof(r.err.c_str() + at + 13);
    };
    ASSERT_NEAR(flash("sync.m2ts"), beep("sync.m2ts"), 0.005);
    const std::pair<std::string, std::string> profiles[]
        = {{kProfile18, ".mp4"}, {"h264|-1280|-720|0|0|2|128|48000|ACC|0|S", ".21.mp4"},
            {"av1|0|0|0|0|2|128|48000|opus|0|S", ".22.webm"}, {kProfile23, ".webm"}, {kProfile24, ".mkv"}};
    for (const auto& [profile, extension] : profiles) {
        SCOPED_TRACE(extension);
        const std::string target = "sync" + extension;
        const EngineRun r = convert("sync.m2ts", target, profile, {{"VEXLO_AV1_PRESET", "13"}});
        ASSERT_EQ(r.run.exitCode, 0) << r.run.err;
        const double seen = flash(target), heard = beep(target);
        EXPECT_GT(seen, 0.5);
        EXPECT_NEAR(seen, heard, 0.020);
        expectClean(target);
    }
}

TEST_F(SourceMedia, PhoneClipsHeldEitherWayComeOutUprightWithSquarePixelsAndTheirLength)
{
    // A landscape picture with a white corner, recorded at a varying rate,
    // stored with a quarter turn either way.
    make("landscape.mp4",
        {"-f", "lavfi", "-i",
            "color=gray:s=640x360:r=30:d=2,drawbox=x=0:y=0:w=160:h=90:color=white:t=fill,"
            "settb=1/600,setpts='if(lt(N\\,30)\\,N*20\\,600+(N-30)*30)'",
            "-f", "lavfi", "-i", kTone.arg(2), "-fps_mode", "passthrough", "-c:v", "libx264", "-preset", "ultrafast",
            "-c:a", "aac"});
    // Which quarter of the first picture is bright: 0 top left, 1 top right,
    // 2 bottom left, 3 bottom right.
    const auto brightQuarter = [&](const std::string& file) {
        for (int q = 0; q < 4; ++q) {
            const QString crop = QString("crop=iw/2:ih/2:%1:%2").arg(q % 2 ? "iw/2" : "0", q / 2 ? "ih/2" : "0");
            const ToolRun r = runTool("ffmpeg",
                {"-v", "error", "-i", QString::fromStdString("file:" + path(file)), "-frames:v", "1", "-vf",
                    crop + ",signalstats,metadata=print:key=lavfi.signalstats.YAVG:file=-", "-f", "null", "-"});
            const auto at = r.out.find("YAVG=");
            if (at != std::string::npos && std::atof(r.out.c_str() + at + 5) > 140)
                return q;
        }
        return -1;
    };
    const double length = std::atof(ffprobeValue("landscape.mp4", "format=duration").c_str());
    for (const char* turn : {"90", "270"}) {
        SCOPED_TRACE(turn);
        const std::string held = std::string("held") + turn + ".mp4";
        std::string error;
        ASSERT_TRUE(makeTurnedCopy(
            QString::fromStdString(path("landscape.mp4")), std::atoi(turn), QString::fromStdString(path(held)), &error))
            << error;
        // How ffmpeg itself shows it, turned upright.
        make(std::string("shown") + turn + ".mkv",
            {"-i", QString::fromStdString(path(held)), "-frames:v", "1", "-c:v", "ffv1"});
        const std::string target = std::string("held") + turn + "-out.mp4";
        const EngineRun r = convert(held, target, kProfile18);
        ASSERT_EQ(r.run.exitCode, 0) << r.run.err;
        const ToolRun shape = runTool("ffprobe",
            {"-v", "error", "-select_streams", "v:0", "-show_entries", "stream=width,height,sample_aspect_ratio", "-of",
                "csv=p=0", QString::fromStdString("file:" + path(target))});
        EXPECT_EQ(QString::fromStdString(shape.out).trimmed().toStdString(), "360,640,1:1");
        EXPECT_EQ(brightQuarter(target), brightQuarter(std::string("shown") + turn + ".mkv"));
        EXPECT_GE(brightQuarter(target), 0);
        EXPECT_NEAR(std::atof(ffprobeValue(target, "format=duration").c_str()), length, 0.1);
        expectClean(target);
    }
}

// Grainy low-light footage makes the encoders spend the most: the stream must
// still keep to the level it declares, or a player that holds to the level
// stutters. Checked as a decoder's buffer would see it: filled at the level's
// highest rate up to its size, drained by each picture in decoding order.
TEST_F(SourceMedia, GrainyFootageKeepsToTheLevelItDeclares)
{
    make("grain.mkv",
        {"-f", "lavfi", "-i", "testsrc2=size=640x360:rate=25:duration=2,noise=alls=90:allf=t+u", "-c:v", "libx264",
            "-preset", "ultrafast", "-qp", "0"});
    const struct {
        const char* encoder;
        std::string profile;
        const char* target;
        double levelScale; // ffprobe's level: 30 x the level for H.265, 10 x for H.264
    } cases[] = {
        {"libx264", kProfile18, "grain.mp4", 10},
        {"libx265", "hevc|0|0|0|0|2|160|48000|ACC|0|S", "grain-hevc.mp4", 30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const EngineRun r = convert("grain.mkv", c.target, c.profile);
        ASSERT_EQ(r.run.exitCode, 0) << r.run.err;
        const VideoLevel level = videoLevel(c.encoder, 640, 360, 25);
        ASSERT_GT(level.maxRate, 0);
        const double declared = std::atof(ffprobeValue(c.target, "stream=level").c_str()) / c.levelScale;
        EXPECT_NEAR(declared, std::atof(level.name.c_str()), 0.01);
        const ToolRun packets = runTool("ffprobe",
            {"-v", "error", "-select_streams", "v:0", "-show_entries", "packet=dts_time,size", "-of", "csv=p=0",
                QString::fromStdString("file:" + path(c.target))});
        const double rate = level.maxRate * 1000.0, size = level.buffer * 1000.0;
        double fullness = size * 0.9, last = 0, bits = 0, seconds = 0; // the encoders start 90 % full
        int pictures = 0;
        for (const QString& line : QString::fromStdString(packets.out).split('\n', Qt::SkipEmptyParts)) {
            const double t = line.section(',', 0, 0).toDouble(), picture = line.section(',', 1, 1).toDouble() * 8;
            if (pictures++ > 0)
                fullness = std::min(size, fullness + rate * (t - last));
            fullness -= picture;
            EXPECT_GE(fullness, 0) << "the buffer runs dry at " << t << " s";
            last = t;
            bits += picture;
            seconds = t;
        }
        EXPECT_EQ(pictures, 50);
        // The cap is what held the rate: without it the grain takes more.
        EXPECT_GT(bits / std::max(seconds, 1.0), rate * 0.5) << "the footage did not test the level";
        expectClean(c.target);
    }
}

TEST_F(SourceMedia, HdrAndFullRangeSourcesKeepColoursThatMatchTheirTags)
{
    // The mean colour of a flat patch, decoded through the file's own tags,
    // as 16-bit RGB.
    const auto colour = [&](const std::string& file) {
        const ToolRun r = runTool("ffmpeg",
            {"-v", "error", "-i", QString::fromStdString("file:" + path(file)), "-frames:v", "1", "-vf",
                "scale=in_range=auto:in_color_matrix=auto,format=rgb48le,"
                "crop=64:64:32:32,scale=1:1:flags=area",
                "-f", "rawvideo", "-"});
        std::array<int, 3> rgb{-1, -1, -1};
        if (r.out.size() >= 6)
            for (int i = 0; i < 3; ++i)
                rgb[size_t(i)] = uint8_t(r.out[size_t(2 * i)]) | uint8_t(r.out[size_t(2 * i + 1)]) << 8;
        return rgb;
    };
    const auto expectSameColour = [&](const std::string& source, const std::string& target) {
        const auto a = colour(source), b = colour(target);
        for (size_t i = 0; i < 3; ++i)
            EXPECT_NEAR(a[i], b[i], 5 * 257) << "channel " << i << " of " << target; // 5 of 255 levels
    };
    const std::string hevc = "hevc|0|0|0|0|2|160|48000|ACC|0|S"; // profile 19
    for (const char* transfer : {"arib-std-b67", "smpte2084"}) {
        SCOPED_TRACE(transfer);
        const std::string source = std::string("hdr-") + transfer + ".mkv";
        make(source,
            {"-f", "lavfi", "-i",
                "color=c=0xC08040:s=1280x720:r=25:d=0.5,format=yuv420p10le,"
                    + colourTags("bt2020nc", "bt2020", transfer),
                "-c:v", "ffv1", "-colorspace", "bt2020nc", "-color_primaries", "bt2020", "-color_trc", transfer,
                "-color_range", "tv"});
        for (const auto& [profile, name, tags] :
            {std::tuple{kProfile18, "h264.mp4", std::string("yuv420p,bt709,") + transfer + ",bt2020"},
                std::tuple{hevc, "hevc.mp4", std::string("yuv420p10le,bt2020nc,") + transfer + ",bt2020"}}) {
            SCOPED_TRACE(name);
            const std::string target = std::string("hdr-") + transfer + "-" + name;
            const EngineRun r = convert(source, target, profile);
            ASSERT_EQ(r.run.exitCode, 0) << r.run.err;
            const ToolRun shown = runTool("ffprobe",
                {"-v", "error", "-select_streams", "v:0", "-show_entries",
                    "stream=pix_fmt,color_space,color_transfer,color_primaries", "-of", "csv=p=0",
                    QString::fromStdString("file:" + path(target))});
            EXPECT_EQ(QString::fromStdString(shown.out).trimmed().toStdString(), tags);
            expectSameColour(source, target);
            expectClean(target);
        }
    }
    // A full-range MJPEG camera clip: limited range out, the same colour.
    make("camera.avi",
        {"-f", "lavfi", "-i", "color=c=0xC08040:s=640x480:r=25:d=0.5", "-c:v", "mjpeg", "-pix_fmt", "yuvj420p"});
    const EngineRun r = convert("camera.avi", "camera.mp4", kProfile18);
    ASSERT_EQ(r.run.exitCode, 0) << r.run.err;
    const ToolRun shown = runTool("ffprobe",
        {"-v", "error", "-select_streams", "v:0", "-show_entries", "stream=pix_fmt,color_range", "-of", "csv=p=0",
            QString::fromStdString("file:" + path("camera.mp4"))});
    EXPECT_EQ(QString::fromStdString(shown.out).trimmed().toStdString(), "yuv420p,tv");
    expectSameColour("camera.avi", "camera.mp4");
    expectClean("camera.mp4");
}

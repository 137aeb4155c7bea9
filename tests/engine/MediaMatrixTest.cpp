// trevok on the videos people have: short sources generated with ffmpeg (a
// 1080i camcorder clip, a rotated variable-rate phone clip, odd sizes, low
// rates, no sound, sound alone, two sound tracks, one frame, an anamorphic DVD
// stream, an empty and a truncated file), each converted with every profile
// of the catalogue, and every result checked with ffprobe and a full decode.
#include "Catalogue.h"
#include "MediaTools.h"
#include "engine/ChildProcess.h"
#include "engine/SourceProbe.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>
#include <unistd.h>

using namespace vexlo::engine;
using namespace vexlo::engine::test;
namespace fs = std::filesystem;

namespace {

// Pictures never darker than the bars' black, so that bars can be measured.
QString pictures(const char* size, const char* rate, const char* seconds)
{
    return QString("testsrc2=size=%1:rate=%2:duration=%3,lutyuv=y='clip(val,60,235)'").arg(size, rate, seconds);
}

QString tone(int hz, const char* seconds)
{
    return QString("sine=frequency=%1:sample_rate=48000:duration=%2").arg(hz).arg(seconds);
}

struct Source {
    std::string name;     // file name
    bool readable = true; // false: every conversion must fail
    bool video = true, audio = true;
    double displayAspect = 0; // after rotation
    bool oneFrame = false;
    double frameRate = 0; // the source's average rate, as ffprobe reports it
    int soundTracks = 1;
};

struct Result {
    std::string source;
    int profile = 0;
    std::string target;
    ToolRun run;
    std::optional<std::string> flag;
    MediaProbe probe;
    Decoded decoded;
};

class MediaMatrix : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = new QTemporaryDir;
        const auto at = [](const std::string& name) { return s_dir->filePath(QString::fromStdString(name)); };
        std::string error;
        const auto make = [&](const QStringList& args) {
            if (!makeMedia(args, &error))
                ADD_FAILURE() << args.join(' ').toStdString() << "\n" << error;
        };
        // A camcorder's 1080i: interlaced H.264 with AC-3 5.1 in an M2TS stream.
        make({"-f", "lavfi", "-i", pictures("1920x1080", "30000/1001", "1"), "-f", "lavfi", "-i", tone(440, "1"),
            "-c:v", "libx264", "-preset", "ultrafast", "-flags", "+ilme+ildct", "-x264opts", "tff=1", "-pix_fmt",
            "yuv420p", "-c:a", "ac3", "-ac", "6", "-f", "mpegts", "-mpegts_m2ts_mode", "1", at("camcorder.m2ts")});
        // A phone's: full-range pictures at a varying rate, held sideways with a
        // rotation in the file.
        make({"-f", "lavfi", "-i",
            pictures("1280x720", "30", "1") + ",settb=1/600,setpts='if(lt(N,15),N*20,300+(N-15)*30)'", "-f", "lavfi",
            "-i", tone(660, "1.25"), "-fps_mode", "passthrough", "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt",
            "yuvj420p", "-c:a", "aac", at("upright.mov")});
        if (!makeTurnedCopy(at("upright.mov"), 90, at("portrait.mov"), &error))
            ADD_FAILURE() << "portrait.mov\n" << error;
        // 4:4:4, which can have an odd size.
        make(
            {"-f", "lavfi", "-i", "testsrc2=size=718x403:rate=25:duration=1,format=yuv444p,lutyuv=y='clip(val,60,235)'",
                "-f", "lavfi", "-i", tone(440, "1"), "-c:v", "ffv1", "-c:a", "flac", at("odd.mkv")});
        make({"-f", "lavfi", "-i", pictures("320x240", "5", "2"), "-f", "lavfi", "-i", tone(440, "2"), "-c:v",
            "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac", at("five.mp4")});
        make({"-f", "lavfi", "-i", pictures("320x240", "25", "1"), "-c:v", "libx264", "-preset", "ultrafast",
            "-pix_fmt", "yuv420p", at("silent.mp4")});
        make({"-f", "lavfi", "-i", tone(440, "1"), "-c:a", "aac", at("sound.m4a")});
        make({"-f", "lavfi", "-i", pictures("320x240", "25", "1"), "-f", "lavfi", "-i", tone(440, "1"), "-f", "lavfi",
            "-i", tone(880, "1"), "-map", "0", "-map", "1", "-map", "2", "-c:v", "libx264", "-preset", "ultrafast",
            "-pix_fmt", "yuv420p", "-c:a", "aac", "-ac:a:0", "1", "-ac:a:1", "2", at("two-tracks.mkv")});
        make({"-f", "lavfi", "-i", pictures("320x240", "25", "1"), "-frames:v", "1", "-c:v", "libx264", "-pix_fmt",
            "yuv420p", at("one-frame.mp4")});
        make({"-f", "lavfi", "-i", pictures("720x480", "30000/1001", "1"), "-f", "lavfi", "-i", tone(440, "1"), "-c:v",
            "mpeg2video", "-aspect", "16:9", "-c:a", "mp2", "-f", "vob", at("anamorphic.vob")});
        vexlo::test::writeFile(at("empty.m2ts").toStdString(), "");
        make({"-f", "lavfi", "-i", pictures("320x240", "25", "1"), "-f", "lavfi", "-i", tone(440, "1"), "-c:v",
            "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac", at("whole.mp4")});
        const std::string whole = vexlo::test::readFile(at("whole.mp4").toStdString());
        vexlo::test::writeFile(at("truncated.mp4").toStdString(), whole.substr(0, whole.size() * 2 / 5));

        s_sources = {
            {"camcorder.m2ts", true, true, true, 16.0 / 9.0},
            {"portrait.mov", true, true, true, 720.0 / 1280.0},
            {"odd.mkv", true, true, true, 718.0 / 403.0},
            {"five.mp4", true, true, true, 4.0 / 3.0},
            {"silent.mp4", true, true, false, 4.0 / 3.0},
            {"sound.m4a", true, false, true, 0},
            {"two-tracks.mkv", true, true, true, 4.0 / 3.0, false, 0, 2},
            {"one-frame.mp4", true, true, false, 4.0 / 3.0, true},
            {"anamorphic.vob", true, true, true, 16.0 / 9.0},
            {"empty.m2ts", false},
            {"truncated.mp4", false},
        };
        for (Source& s : s_sources)
            if (s.video && s.readable) {
                const MediaProbe p = probeMedia(at(s.name).toStdString());
                ASSERT_TRUE(p.video()) << s.name;
                s.frameRate = fractionValue(p.video()->at("avg_frame_rate"));
            }
    }
    static void TearDownTestSuite()
    {
        delete s_dir;
        s_dir = nullptr;
    }

    // A deep-colour HDR clip as recent phones and cameras make: 10-bit HLG in BT.2020.
    static std::string deepSource()
    {
        const std::string path = sourcePath("deep.mkv");
        if (!fs::exists(path)) {
            std::string error;
            if (!makeMedia({"-f", "lavfi", "-i",
                               pictures("1280x720", "25", "0.4") + ",format=yuv420p10le,"
                                   + colourTags("bt2020nc", "bt2020", "arib-std-b67"),
                               "-f", "lavfi", "-i", tone(440, "0.4"), "-c:v", "ffv1", "-colorspace", "bt2020nc",
                               "-color_primaries", "bt2020", "-color_trc", "arib-std-b67", "-c:a", "flac",
                               QString::fromStdString(path)},
                    &error))
                ADD_FAILURE() << error;
        }
        return path;
    }

    static std::string sourcePath(const std::string& name)
    {
        return s_dir->filePath(QString::fromStdString(name)).toStdString();
    }

    // One conversion and what is seen of its result; runs on a worker thread.
    static Result convert(const Source& source, const CatalogueProfile& profile, const std::string& work)
    {
        Result r;
        r.source = source.name;
        r.profile = profile.number;
        fs::create_directories(work);
        const std::string registry = work + "/registry";
        vexlo::platform::FolderRegistry(registry).writeValue(
            vexlo::platform::Hive::CurrentUser, vexlo::platform::kAbortFlagKey, "", "9");
        EngineRequest request = profile.request;
        request.source = sourcePath(source.name);
        request.target = r.target = work + "/out" + profile.fileType;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VEXLO_REGISTRY", QString::fromStdString(registry));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("VEXLO_AV1_PRESET", "13"); // the fastest: these clips test the files, not the encoder
        r.run = runTool(TREVOK_PROGRAM, {QString::fromStdString(formatEngineArgument(request))}, env);
        r.flag = vexlo::platform::FolderRegistry(registry).readValue(
            vexlo::platform::Hive::CurrentUser, vexlo::platform::kAbortFlagKey, "");
        if (r.run.exitCode == 0) {
            r.probe = probeMedia(request.target);
            r.decoded = decodeMedia(request.target, work + "/crop.txt");
        }
        return r;
    }

    static QTemporaryDir* s_dir;
    static std::vector<Source> s_sources;
};

QTemporaryDir* MediaMatrix::s_dir = nullptr;
std::vector<Source> MediaMatrix::s_sources;

// The share of a matrix this process runs: VEXLO_TEST_SLICE="k/n" keeps
// every n-th job from the k-th on (the suite's entries split the matrix so
// that each stays short); unset, every job.
template<typename Job> std::vector<Job> slice(std::vector<Job> jobs)
{
    const QString spec = qEnvironmentVariable("VEXLO_TEST_SLICE");
    if (spec.isEmpty())
        return jobs;
    const size_t k = spec.section('/', 0, 0).toULong(), n = std::max(1ul, spec.section('/', 1, 1).toULong());
    std::vector<Job> mine;
    for (size_t i = k; i < jobs.size(); i += n)
        mine.push_back(std::move(jobs[i]));
    return mine;
}

// Runs `jobs` on a few threads (as many as the machine has cores, at least 2).
template<typename Job> std::vector<Result> runParallel(const std::vector<Job>& jobs)
{
    std::vector<Result> results(jobs.size());
    std::atomic<size_t> next{0};
    const unsigned workers = std::max(2u, std::min(4u, std::thread::hardware_concurrency()));
    std::vector<std::thread> threads;
    for (unsigned w = 0; w < workers; ++w)
        threads.emplace_back([&] {
            for (size_t i = next++; i < jobs.size(); i = next++)
                results[i] = jobs[i]();
        });
    for (auto& t : threads)
        t.join();
    return results;
}

} // namespace

TEST_F(MediaMatrix, EverySourceWithEveryProfile)
{
    auto catalogue = installedCatalogue();
    ASSERT_EQ(catalogue.size(), 25u);
    catalogue.resize(18); // the constant-quality profiles have a matrix of their own
    QTemporaryDir work;
    std::vector<std::function<Result()>> jobs;
    for (const Source& source : s_sources)
        for (const auto& profile : catalogue)
            jobs.push_back([&, source, profile] {
                return convert(source, profile,
                    work.filePath(QString::fromStdString(source.name + "-" + std::to_string(profile.number)))
                        .toStdString());
            });
    const std::vector<Result> results = runParallel(slice(std::move(jobs)));

    std::map<std::string, const Source*> sources;
    for (const Source& s : s_sources)
        sources[s.name] = &s;
    for (const Result& r : results) {
        const Source& source = *sources.at(r.source);
        const CatalogueProfile& profile = catalogue.at(size_t(r.profile));
        const EngineRequest& p = profile.request;
        SCOPED_TRACE(r.source + " with profile " + std::to_string(r.profile) + " (" + profile.title + ")\n"
            + r.run.err.substr(r.run.err.size() > 1500 ? r.run.err.size() - 1500 : 0));
        const bool refused = !source.readable || (!source.video && p.isPsp);
        if (refused) {
            EXPECT_EQ(r.run.exitCode, 2);
            EXPECT_EQ(r.flag, "2");
            if (source.readable) {
                EXPECT_NE(r.run.err.find("PSP"), std::string::npos) << "the message names the reason";
            }
            continue;
        }
        ASSERT_EQ(r.run.exitCode, 0);
        EXPECT_EQ(r.flag, "0");

        // Container.
        const std::string& type = profile.fileType;
        EXPECT_EQ(r.probe.format.at("format_name"),
            type == ".avi"       ? "avi"
                : type == ".mpg" ? "mpeg"
                                 : "mov,mp4,m4a,3gp,3g2,mj2");
        if (p.isPsp) {
            EXPECT_EQ(r.probe.format.at("major_brand"), "MSNV");
        }
        // A clean decode from start to end.
        EXPECT_TRUE(r.decoded.ran);
        EXPECT_EQ(r.decoded.errors, "");

        if (source.video) {
            ASSERT_TRUE(r.probe.video());
            const auto& v = *r.probe.video();
            const std::map<std::string, std::string> codec = {{"mpeg4", "mpeg4"}, {"divx", "mpeg4"}, {"xvid", "mpeg4"},
                {"h264", "h264"}, {"mpeg1", "mpeg1video"}, {"mpeg2", "mpeg2video"}};
            EXPECT_EQ(v.at("codec_name"), codec.at(p.videoFormat));
            EXPECT_EQ(v.at("width"), std::to_string(p.frameWidth));
            EXPECT_EQ(v.at("height"), std::to_string(p.frameHeight));
            // The picture inside the bars keeps the source's display aspect:
            // within 1 %, or within the 2 pixels the measure itself may miss.
            const double sar = v.at("sample_aspect_ratio") == "0:1" || v.at("sample_aspect_ratio") == "N/A"
                ? 1.0
                : fractionValue(v.at("sample_aspect_ratio"));
            ASSERT_GT(r.decoded.contentHeight, 0);
            const double aspect = r.decoded.contentWidth * sar / r.decoded.contentHeight;
            const double slack = std::max(0.01, 2.0 / std::min(r.decoded.contentWidth, r.decoded.contentHeight));
            EXPECT_NEAR(aspect / source.displayAspect, 1.0, slack)
                << "content " << r.decoded.contentWidth << "x" << r.decoded.contentHeight << " sar " << sar;
            // Frame rate: the one asked for, or the source's; MPEG-1/2 the
            // nearest standard one.
            const bool mpeg = p.videoFormat == "mpeg1" || p.videoFormat == "mpeg2";
            if (p.frameRate != "0") {
                EXPECT_NEAR(fractionValue(frameRateOf(v, r.target)),
                    fractionValue(p.frameRate == "29.976" ? "30000/1001" : p.frameRate), 0.01);
            } else if (mpeg) {
                const std::string rate = frameRateOf(v, r.target);
                EXPECT_TRUE(rate == "24000/1001" || rate == "30000/1001" || rate == "25/1") << rate;
            } else if (!source.oneFrame) {
                EXPECT_NEAR(fractionValue(v.at("avg_frame_rate")) / source.frameRate, 1.0, 0.05)
                    << v.at("avg_frame_rate") << " from " << source.frameRate;
            }
            // Colour tags, where the stream or the container carries them, say
            // what SD pixels are.
            if (v.count("color_space") && v.at("color_space") != "unknown") {
                EXPECT_EQ(v.at("color_space"), "smpte170m");
            }
            if (v.count("color_range") && v.at("color_range") != "unknown") {
                EXPECT_EQ(v.at("color_range"), "tv");
            }
            if ((type == ".mp4" && !p.isPsp) || p.videoFormat == "h264" || p.videoFormat == "mpeg2") {
                EXPECT_EQ(v.count("color_space") ? v.at("color_space") : "", "smpte170m");
            }
        } else {
            EXPECT_FALSE(r.probe.video());
        }

        if (source.audio || p.isPsp) {
            ASSERT_TRUE(r.probe.audio());
            const auto& a = *r.probe.audio();
            const std::map<std::string, std::string> codec = {{"ACC", "aac"}, {"mp3", "mp3"}, {"mp2", "mp2"}};
            EXPECT_EQ(a.at("codec_name"), codec.at(p.audioFormat));
            EXPECT_EQ(a.at("channels"), std::to_string(p.channelCount));
            EXPECT_EQ(a.at("sample_rate"), std::to_string(p.sampleRate));
            // Every sound track, converted alike, except where players take one.
            const bool oneTrack = p.isPsp || type == ".3gp" || type == ".3g2" || !source.audio;
            EXPECT_EQ(r.probe.audios.size(), oneTrack ? 1u : size_t(source.soundTracks));
            for (const auto& track : r.probe.audios)
                EXPECT_EQ(track.at("channels"), std::to_string(p.channelCount));
        } else {
            EXPECT_FALSE(r.probe.audio());
        }
        if (r.probe.video() && r.probe.audio()) {
            EXPECT_NEAR(r.probe.videoSeconds, r.probe.audioSeconds, 0.3);
        }
    }
}

TEST_F(MediaMatrix, ProfilesForTodaysPlayers)
{
    // Profiles 18 and up on the sources that test their promises: the 1080i
    // camcorder (deinterlaced, 5.1 sound), the upright phone clip, an odd
    // size, an anamorphic DVD, a deep-colour HDR clip, no sound, sound alone.
    const auto all = installedCatalogue();
    ASSERT_EQ(all.size(), 25u);
    const std::vector<CatalogueProfile> catalogue(all.begin() + 18, all.end());
    // The camcorder clip with every profile; the others with the profiles
    // whose promises they test (kept short: the encoders are slow).
    const std::map<std::string, std::set<int>> plan = {
        {"camcorder.m2ts", {18, 19, 20, 21, 22, 23, 24}},
        {"portrait.mov", {18, 20, 21, 22}}, // upright, variable rate, full range: bounds either way round
        {"odd.mkv", {19, 22, 23}},          // odd size and 4:4:4 into H.265, AV1, VP9
        {"anamorphic.vob", {20, 23, 24}},   // square pixels under a bound, the pixel shape kept otherwise
        {"deep.mkv", {18, 19, 22, 24}},     // 10 bits and HDR tags
        {"silent.mp4", {22, 24}},           // no sound
        {"sound.m4a", {18, 23, 24}},        // sound alone: faststart, Opus, FLAC
    };
    std::vector<Source> sources;
    for (const Source& s : s_sources)
        if (plan.count(s.name))
            sources.push_back(s);
    deepSource();
    sources.push_back({"deep.mkv", true, true, true, 16.0 / 9.0, false, 25});
    std::map<std::string, MediaProbe> sourceProbes;
    for (const Source& s : sources)
        sourceProbes[s.name] = probeMedia(sourcePath(s.name));

    QTemporaryDir work;
    std::vector<std::function<Result()>> jobs;
    for (const Source& source : sources)
        for (const auto& profile : catalogue)
            if (plan.at(source.name).count(profile.number))
                jobs.push_back([&, source, profile] {
                    return convert(source, profile,
                        work.filePath(QString::fromStdString(source.name + "-" + std::to_string(profile.number)))
                            .toStdString());
                });
    ASSERT_EQ(jobs.size(), 26u);
    const std::vector<Result> results = runParallel(slice(std::move(jobs)));

    std::map<std::string, const Source*> byName;
    for (const Source& s : sources)
        byName[s.name] = &s;
    for (size_t i = 0; i < results.size(); ++i) {
        const Result& r = results[i];
        const Source& source = *byName.at(r.source);
        const CatalogueProfile& profile = all.at(size_t(r.profile));
        const EngineRequest& p = profile.request;
        const MediaProbe& in = sourceProbes.at(r.source);
        SCOPED_TRACE(r.source + " with profile " + std::to_string(r.profile) + " (" + profile.title + ")\n"
            + r.run.err.substr(r.run.err.size() > 1500 ? r.run.err.size() - 1500 : 0));
        ASSERT_EQ(r.run.exitCode, 0);
        EXPECT_EQ(r.flag, "0");
        EXPECT_TRUE(r.decoded.ran);
        EXPECT_EQ(r.decoded.errors, "");

        // Container: MP4 with its index first, WebM, Matroska.
        const std::string target = work.filePath(QString::fromStdString(source.name + "-" + std::to_string(r.profile)
                                                     + "/out" + profile.fileType))
                                       .toStdString();
        const std::string bytes = vexlo::test::readFile(target);
        if (profile.fileType == ".mp4") {
            EXPECT_EQ(r.probe.format.at("format_name"), "mov,mp4,m4a,3gp,3g2,mj2");
            ASSERT_NE(bytes.find("moov"), std::string::npos);
            EXPECT_LT(bytes.find("moov"), bytes.find("mdat")) << "the index comes first (+faststart)";
        } else {
            EXPECT_EQ(r.probe.format.at("format_name"), "matroska,webm");
            EXPECT_EQ(
                bytes.substr(0, 64).find(profile.fileType == ".webm" ? "webm" : "matroska") != std::string::npos, true);
        }

        if (source.video) {
            ASSERT_TRUE(r.probe.video());
            const auto& v = *r.probe.video();
            const std::map<std::string, std::string> codec
                = {{"h264", "h264"}, {"hevc", "hevc"}, {"av1", "av1"}, {"vp9", "vp9"}};
            EXPECT_EQ(v.at("codec_name"), codec.at(p.videoFormat));
            if (p.videoFormat == "hevc" && profile.fileType == ".mp4") {
                EXPECT_EQ(v.at("codec_tag_string"), "hvc1");
            }
            const int width = std::stoi(v.at("width")), height = std::stoi(v.at("height"));
            const auto& sv = *in.video();
            const bool turned = source.name == "portrait.mov";
            const int sourceWidth = std::stoi(sv.at(turned ? "height" : "width"));
            const int sourceHeight = std::stoi(sv.at(turned ? "width" : "height"));
            if (p.frameWidth < 0) {
                // At most the bound, either way round, square pixels, never enlarged.
                EXPECT_LE(std::max(width, height), std::max(-p.frameWidth, -p.frameHeight));
                EXPECT_LE(std::min(width, height), std::min(-p.frameWidth, -p.frameHeight));
                EXPECT_LE(height, sourceHeight + 1);
                EXPECT_TRUE(v.at("sample_aspect_ratio") == "1:1" || v.at("sample_aspect_ratio") == "N/A"
                    || v.at("sample_aspect_ratio") == "0:1")
                    << v.at("sample_aspect_ratio");
                if (source.name == "camcorder.m2ts") {
                    EXPECT_EQ(width, -p.frameWidth);
                }
            } else {
                // The source's size, made even.
                EXPECT_EQ(width, (sourceWidth + 1) / 2 * 2);
                EXPECT_EQ(height, (sourceHeight + 1) / 2 * 2);
            }
            const double sar = v.at("sample_aspect_ratio") == "0:1" || v.at("sample_aspect_ratio") == "N/A"
                ? 1.0
                : fractionValue(v.at("sample_aspect_ratio"));
            EXPECT_NEAR(width * sar / height / source.displayAspect, 1.0, 0.01)
                << width << "x" << height << " sar " << sar;
            EXPECT_NEAR(fractionValue(v.at("avg_frame_rate")) / source.frameRate, 1.0, 0.05)
                << v.at("avg_frame_rate") << " from " << source.frameRate;
            if (v.count("field_order") && v.at("field_order") != "unknown") {
                EXPECT_EQ(v.at("field_order"), "progressive");
            }
            // AV1 and H.265 10-bit from any source, the others 8-bit 4:2:0;
            // the BT.2020 matrix of deep colour kept by H.265 only.
            const bool deep = source.name == "deep.mkv";
            EXPECT_EQ(v.at("pix_fmt"), p.videoFormat == "hevc" || p.videoFormat == "av1" ? "yuv420p10le" : "yuv420p");
            if (deep) {
                EXPECT_EQ(v.at("color_space"), p.videoFormat == "hevc" ? "bt2020nc" : "bt709");
                EXPECT_EQ(v.at("color_primaries"), "bt2020");
                EXPECT_EQ(v.at("color_transfer"), "arib-std-b67");
            }
        } else {
            EXPECT_FALSE(r.probe.video());
        }

        if (source.audio) {
            ASSERT_TRUE(r.probe.audio());
            const auto& a = *r.probe.audio();
            const auto& sa = *in.audio();
            const std::map<std::string, std::string> codec = {{"ACC", "aac"}, {"opus", "opus"}, {"flac", "flac"}};
            EXPECT_EQ(a.at("codec_name"), codec.at(p.audioFormat));
            // The archive keeps the sound as it is; the others are stereo at 48 kHz.
            EXPECT_EQ(a.at("channels"), p.audioFormat == "flac" ? sa.at("channels") : "2");
            EXPECT_EQ(a.at("sample_rate"), p.audioFormat == "flac" ? sa.at("sample_rate") : "48000");
            EXPECT_EQ(r.probe.audios.size(), 1u);
        } else {
            EXPECT_FALSE(r.probe.audio());
        }
        if (r.probe.video() && r.probe.audio()) {
            EXPECT_NEAR(r.probe.videoSeconds, r.probe.audioSeconds, 0.3);
        }
    }
}

TEST_F(MediaMatrix, HandEditedFieldsOnRealSources)
{
    // Values a user can type in the output dialog: the source's rate for
    // MPEG-1/2, odd sizes for H.264, the source's odd size, a huge bit rate.
    struct Case {
        const char* what;
        const char* source;
        const char* target;
        const char* video;
        const char* audio;
        int32_t width, height, kbit;
        const char* rate;
        int exitCode; // -1: 0 or 2, as long as the flag agrees
        const char* size;
        const char* frameRate;
    };
    const Case cases[] = {
        {"MPEG-1, 5 fps source's rate", "five.mp4", ".mpg", "mpeg1", "mp2", 352, 240, 1150, "0", 0, "352x240",
            "24000/1001"},
        {"MPEG-2, 5 fps source's rate", "five.mp4", ".mpg", "mpeg2", "mp2", 720, 480, 6000, "0", 0, "720x480",
            "24000/1001"},
        {"H.264, odd width", "camcorder.m2ts", ".mp4", "h264", "ACC", 853, 480, 1000, "0", 0, "854x480", "30000/1001"},
        {"H.264, odd source's size", "odd.mkv", ".mp4", "h264", "ACC", 0, 0, 1000, "0", 0, "718x404", "25/1"},
        {"XviD, odd source's size", "odd.mkv", ".avi", "xvid", "mp3", 0, 0, 1000, "0", 0, "718x404", "25/1"},
        {"MPEG-2, bit rate beyond any player", "silent.mp4", ".mpg", "mpeg2", "mp2", 720, 576, 715827883, "25", -1,
            "720x576", "25/1"},
    };
    QTemporaryDir work;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EngineRequest r;
        r.source = sourcePath(c.source);
        r.target = work.filePath(QString(c.what).replace(' ', '_').remove(',') + c.target).toStdString();
        r.videoFormat = c.video;
        r.audioFormat = c.audio;
        r.frameWidth = c.width;
        r.frameHeight = c.height;
        r.videoBitrate = c.kbit;
        r.frameRate = c.rate;
        r.channelCount = 2;
        r.audioBitrate = 128;
        r.sampleRate = 44100;
        r.marker = Marker::Silent;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QString registry = work.filePath("registry");
        env.insert("VEXLO_REGISTRY", registry);
        const ToolRun run = runTool(TREVOK_PROGRAM, {QString::fromStdString(formatEngineArgument(r))}, env);
        const auto flag = vexlo::platform::FolderRegistry(registry.toStdString())
                              .readValue(vexlo::platform::Hive::CurrentUser, vexlo::platform::kAbortFlagKey, "");
        ASSERT_TRUE(run.exitCode == 0 || run.exitCode == 2) << run.err; // never a crash
        EXPECT_EQ(flag, run.exitCode == 0 ? "0" : "2");
        if (c.exitCode >= 0) {
            ASSERT_EQ(run.exitCode, c.exitCode) << run.err;
        }
        if (run.exitCode != 0)
            continue;
        const MediaProbe p = probeMedia(r.target);
        ASSERT_TRUE(p.video());
        EXPECT_EQ(p.video()->at("width") + "x" + p.video()->at("height"), c.size);
        EXPECT_EQ(frameRateOf(*p.video(), r.target), c.frameRate);
        const Decoded d = decodeMedia(r.target, work.filePath("crop.txt").toStdString());
        EXPECT_TRUE(d.ran);
        EXPECT_EQ(d.errors, "");
    }
}

TEST_F(MediaMatrix, HdColoursKeepTheirLookInSdOutputs)
{
    // Colour bars at HD sizes, tagged BT.709 and untagged (players take an
    // untagged HD picture as BT.709 too), converted to the default profile's
    // SD frame. Decoded as SD players decode it (BT.601), every bar keeps
    // its colour; left in BT.709 numbers, green and red would be off by 30.
    QTemporaryDir work;
    const auto file
        = [&](const std::string& name) { return work.filePath(QString::fromStdString(name)).toStdString(); };
    struct Case {
        const char* name;
        const char* size;
        bool tagged;
    };
    for (const Case& c : {Case{"tagged", "1280x720", true}, Case{"untagged", "1920x1080", false}}) {
        SCOPED_TRACE(c.name);
        const std::string source = file(std::string(c.name) + ".mp4");
        const QString bars = QString("smptehdbars=size=%1:rate=25:duration=0.2").arg(c.size);
        QStringList args = {"-f", "lavfi", "-i",
            bars + ","
                + (c.tagged ? colourTags("bt709", "bt709", "bt709")
                            : colourTags("unknown", "unknown", "unknown", "unknown")),
            "-c:v", "libx264", "-preset", "ultrafast", "-qp", "0", "-pix_fmt", "yuv420p"};
        if (c.tagged)
            args += {"-colorspace", "bt709", "-color_primaries", "bt709", "-color_trc", "bt709"};
        ASSERT_TRUE(makeMedia(args + QStringList{QString::fromStdString(source)}));
        CatalogueProfile profile = installedCatalogue().at(0); // 640 x 480 MPEG-4
        const std::string out = file(std::string(c.name) + "-out");
        EngineRequest request = profile.request;
        request.source = source;
        request.target = out + ".mp4";
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VEXLO_REGISTRY", QString::fromStdString(file("registry")));
        const ToolRun run = runTool(TREVOK_PROGRAM, {QString::fromStdString(formatEngineArgument(request))}, env);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const MediaProbe probe = probeMedia(request.target);
        ASSERT_TRUE(probe.video());
        EXPECT_EQ(probe.video()->at("color_space"), "smpte170m");
        EXPECT_EQ(probe.video()->at("color_range"), "tv");
        EXPECT_EQ(probe.video()->at("color_primaries"), "bt709"); // the bars' own primaries, not converted

        // Both pictures as RGB at the size of the letterboxed picture (640 x 360).
        ASSERT_TRUE(makeMedia(
            {"-i", QString::fromStdString(source), "-i", QString::fromStdString(request.target), "-filter_complex",
                "[0:v]scale=640:360:in_color_matrix=bt709,format=rgb24[a];"
                "[1:v]crop=640:360:0:60,scale=in_color_matrix=bt601,format=rgb24[b]",
                "-map", "[a]", "-frames:v", "1", "-f", "rawvideo", QString::fromStdString(file("a.rgb")), "-map", "[b]",
                "-frames:v", "1", "-f", "rawvideo", QString::fromStdString(file("b.rgb"))}));
        const std::string a = vexlo::test::readFile(file("a.rgb")), b = vexlo::test::readFile(file("b.rgb"));
        ASSERT_EQ(a.size(), 640u * 360 * 3);
        ASSERT_EQ(b.size(), a.size());
        // 5 x 5 patches where the bars are even (not across an edge), compared
        // by their mean.
        const auto at = [](const std::string& d, int x, int y, int ch) {
            return int((unsigned char)d[(size_t(y) * 640 + size_t(x)) * 3 + size_t(ch)]);
        };
        int compared = 0;
        for (int y = 20; y < 340; y += 40)
            for (int x = 10; x < 630; x += 20) {
                bool even = true;
                double mean[2][3] = {};
                for (int ch = 0; ch < 3; ++ch) {
                    int lo = 255, hi = 0;
                    for (int dy = -2; dy <= 2; ++dy)
                        for (int dx = -2; dx <= 2; ++dx) {
                            lo = std::min(lo, at(a, x + dx, y + dy, ch));
                            hi = std::max(hi, at(a, x + dx, y + dy, ch));
                            mean[0][ch] += at(a, x + dx, y + dy, ch) / 25.0;
                            mean[1][ch] += at(b, x + dx, y + dy, ch) / 25.0;
                        }
                    even = even && hi - lo <= 4;
                }
                if (!even)
                    continue;
                for (int ch = 0; ch < 3; ++ch)
                    EXPECT_NEAR(mean[1][ch], mean[0][ch], 8) << "at " << x << "," << y << " channel " << ch;
                ++compared;
            }
        EXPECT_GT(compared, 100);
    }
}

TEST_F(MediaMatrix, PicturesOfTheDefaultProfileForALook)
{
    // A 16:9 camcorder clip and a portrait phone clip through profile 0,
    // saved as pictures in the build folder (screenshots/) to be looked at:
    // a letterboxed and a pillarboxed picture, nothing stretched.
    QTemporaryDir work;
    for (const auto& [name, picture] : {std::pair{"camcorder.m2ts", "engine_profile0_camcorder_16x9"},
             std::pair{"portrait.mov", "engine_profile0_portrait"}}) {
        SCOPED_TRACE(name);
        EngineRequest request = installedCatalogue().at(0).request;
        request.source = sourcePath(name);
        request.target = work.filePath(QString(picture) + ".mp4").toStdString();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VEXLO_REGISTRY", work.filePath("registry"));
        const ToolRun run = runTool(TREVOK_PROGRAM, {QString::fromStdString(formatEngineArgument(request))}, env);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const QString png = QString(VEXLO_SCREENSHOT_DIR) + "/" + picture + ".png";
        ASSERT_TRUE(makeMedia({"-i", QString::fromStdString(request.target), "-vf", "select=eq(n\\,10)", "-frames:v",
            "1", "-update", "1", png}));
        const Decoded d = decodeMedia(request.target, work.filePath("crop.txt").toStdString());
        if (std::string(name) == "camcorder.m2ts") {
            EXPECT_EQ(d.contentWidth, 640); // bars above and below
            EXPECT_NEAR(d.contentHeight, 360, 2);
        } else {
            EXPECT_NEAR(d.contentWidth, 270, 2); // bars left and right
            EXPECT_EQ(d.contentHeight, 480);
        }
    }
}

TEST(EngineFullDisk, EveryContainerEndsAsAFailure)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "a full disk is made with a small tmpfs, which needs root (CI runs as root)";
    QTemporaryDir work;
    const std::string source = work.filePath("noise.mkv").toStdString();
    // Noise does not compress: half a second makes several hundred kilobytes.
    ASSERT_TRUE(makeMedia({"-f", "lavfi", "-i", "nullsrc=size=640x480:rate=25:duration=0.6,geq=random(1)*255:128:128",
        "-f", "lavfi", "-i", "sine=duration=0.6", "-c:v", "ffv1", "-c:a", "flac", QString::fromStdString(source)}));
    const QString disk = work.filePath("disk");
    QDir().mkpath(disk);
    const ToolRun mounted = runTool("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", disk});
    if (mounted.exitCode != 0)
        GTEST_SKIP() << "tmpfs could not be mounted: " << mounted.err;
    struct Unmount {
        QString path;
        ~Unmount() { runTool("umount", {path}); }
    } unmount{disk};
    const QString registry = work.filePath("registry");
    const auto convert = [&](EngineRequest request, const QString& temporary = QString()) {
        vexlo::platform::FolderRegistry(registry.toStdString())
            .writeValue(vexlo::platform::Hive::CurrentUser, vexlo::platform::kAbortFlagKey, "", "9");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VEXLO_REGISTRY", registry);
        if (!temporary.isEmpty())
            env.insert("TMPDIR", temporary);
        const ToolRun run = runTool(TREVOK_PROGRAM, {QString::fromStdString(formatEngineArgument(request))}, env);
        const auto flag = vexlo::platform::FolderRegistry(registry.toStdString())
                              .readValue(vexlo::platform::Hive::CurrentUser, vexlo::platform::kAbortFlagKey, "");
        return std::pair{run, flag.value_or("")};
    };

    struct Target {
        const char *type, *video, *audio;
        int64_t videoKbit;
    };
    // AV1 at an average rate is not the same size twice; at constant quality it is.
    const Target targets[] = {{".mp4", "mpeg4", "ACC", 6000}, {".avi", "mpeg4", "mp3", 6000},
        {".mkv", "mpeg4", "ACC", 6000}, {".mpg", "mpeg2", "mp2", 6000}, {".webm", "av1", "opus", 0}};
    for (const auto& [type, video, audio, videoKbit] : targets) {
        SCOPED_TRACE(type);
        EngineRequest request;
        request.source = source;
        request.videoFormat = video;
        request.frameWidth = 640;
        request.frameHeight = 480;
        request.videoBitrate = videoKbit;
        request.frameRate = "25";
        request.channelCount = 2;
        request.audioBitrate = 192;
        request.sampleRate = 48000;
        request.audioFormat = audio;
        request.marker = Marker::Silent;
        // The whole file's size, written where there is room.
        request.target = work.filePath(QString("roomy") + type).toStdString();
        const auto [roomy, roomyFlag] = convert(request);
        ASSERT_EQ(roomy.exitCode, 0) << roomy.err;
        const int64_t pages = int64_t((fs::file_size(request.target) + 4095) / 4096);
        // The disk fills at the very end (the index and the last buffer, in
        // the trailer), a little earlier, and long before the end.
        request.target = (disk + "/full" + type).toStdString();
        for (const int64_t missing : {int64_t(1), int64_t(4), pages / 2}) {
            SCOPED_TRACE("the disk is " + std::to_string(missing) + " pages short");
            const ToolRun remounted
                = runTool("mount", {"-o", QString("remount,size=%1k").arg((pages - missing) * 4), disk});
            ASSERT_EQ(remounted.exitCode, 0) << remounted.err;
            const auto [run, flag] = convert(request);
            EXPECT_EQ(run.exitCode, 2) << run.err;
            EXPECT_EQ(flag, "2");
            EXPECT_NE(run.err.find("No space left on device"), std::string::npos) << run.err;
            std::error_code ec;
            fs::remove(request.target, ec);
        }
    }

    // Room for the target, little or none in the temporary folder: ffmpeg
    // does not check the writes of a first pass's statistics, and the second
    // pass failed on them cut short only after the first pass. The engine
    // says so before it, and converts where they fit.
    ASSERT_EQ(runTool("mount", {"-o", "remount,size=64k", disk}).exitCode, 0);
    ASSERT_EQ(runTool("dd", {"if=/dev/zero", "of=" + disk + "/fill", "bs=4k"}).exitCode, 1);
    EngineRequest vp9;
    vp9.source = source;
    vp9.target = work.filePath("two-passes.webm").toStdString();
    vp9.videoFormat = "vp9";
    vp9.frameRate = "0";
    vp9.channelCount = 2;
    vp9.audioBitrate = 128;
    vp9.sampleRate = 48000;
    vp9.audioFormat = "opus";
    vp9.marker = Marker::Silent;
    // 16 statistics records of 278 bytes: two pages, and a page of the folder.
    for (const auto& [freePages, fits] : {std::pair{0, false}, std::pair{1, false}, std::pair{8, true}}) {
        SCOPED_TRACE(std::to_string(freePages) + " pages free");
        ASSERT_EQ(runTool("mount", {"-o", QString("remount,size=%1k").arg(64 + 4 * freePages), disk}).exitCode, 0);
        const auto [run, flag] = convert(vp9, disk);
        EXPECT_EQ(run.exitCode, fits ? 0 : 2) << run.err;
        EXPECT_EQ(flag, fits ? "0" : "2");
        EXPECT_EQ(run.err.find("$TMPDIR") != std::string::npos, !fits) << run.err;
        EXPECT_EQ(QDir(disk).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"fill"}) << "nothing left";
        std::error_code ec;
        fs::remove(vp9.target, ec);
    }
}

namespace {

std::string describe(const std::optional<SourceInfo>& info)
{
    if (!info)
        return "unreadable";
    std::ostringstream out;
    if (const auto& v = info->video)
        out << "video #" << v->index << " " << v->width << "x" << v->height << " sar " << v->sampleAspect.num << ":"
            << v->sampleAspect.den << " rotation " << v->rotation << " rate " << v->frameRate.num << "/"
            << v->frameRate.den << " base " << v->baseRate.num << "/" << v->baseRate.den << " fields '" << v->fieldOrder
            << "' " << v->pixelFormat << " range '" << v->colorRange << "' matrix '" << v->colorSpace << "' primaries '"
            << v->colorPrimaries << "' transfer '" << v->colorTransfer << "'\n";
    if (const auto& a = info->audio)
        out << "audio #" << a->index << " " << a->channels << " ch " << a->sampleRate << " Hz\n";
    out << "duration " << std::lround(info->durationSeconds * 1000) << " ms codec '" << info->videoCodec
        << "' chapters " << info->chapters << " created '" << info->creationTime << "'";
    for (const auto& a : info->audioTracks)
        out << "\ntrack #" << a.index << " " << a.channels << " ch " << a.sampleRate << " Hz";
    for (const auto& t : info->subtitles)
        out << "\nsubtitle #" << t.index << " " << t.codec;
    return out.str();
}

} // namespace

TEST_F(MediaMatrix, FlatPicturesAreToldFromCameraPictures)
{
    // Drawn pictures (flat colour, sharp edges: screens, slides) are told in
    // 8 and 10 bits and in RGB, decoded by the libraries or by trevok itself
    // (H.264 in MPEG-TS, flagged interlaced); camera pictures, noisy or compressed
    // until their noise is gone, are not taken for them, nor is camera
    // footage that starts with a drawn title.
    QTemporaryDir work;
    const QString drawn = "testsrc2=size=640x360:rate=25:duration=0.4";
    const QString titled = "testsrc2=size=640x360:rate=25:duration=1[t];testsrc2=size=640x360:rate=25:duration=5,"
                           "noise=alls=12:allf=t[c];[t][c]concat[out0]";
    const QStringList h264 = {"-c:v", "libx264", "-crf", "18"};
    const struct {
        const char* name;
        QString filters;
        QStringList codec;
        bool flat;
    } cases[] = {
        {"drawn.mp4", QString(drawn).replace("0.4", "6"), h264 + QStringList{"-g", "25"}, true},
        {"titled-camera.mp4", titled, h264 + QStringList{"-g", "25"}, false},
        {"drawn.m2ts", QString(drawn).replace("0.4", "6"),
            h264 + QStringList{"-g", "120", "-flags", "+ilme+ildct", "-x264opts", "tff=1", "-field_order", "tt"}, true},
        {"drawn-10-bit.mkv", drawn + ",format=yuv420p10le", {"-c:v", "ffv1"}, true},
        {"drawn-rgb.mov", drawn, {"-c:v", "qtrle"}, true},
        {"camera.mp4", drawn + ",noise=alls=12:allf=t", h264, false},
        {"camera-compressed-hard.mp4", drawn + ",gblur=sigma=2,noise=alls=6:allf=t", {"-c:v", "libx264", "-crf", "40"},
            false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = work.filePath(c.name).toStdString();
        ASSERT_TRUE(makeMedia(
            QStringList{"-f", "lavfi", "-i", c.filters} + c.codec + QStringList{QString::fromStdString(file)}));
        std::string error;
        const auto read = readSource(file, error, true);
        ASSERT_TRUE(read && read->video) << error;
        EXPECT_EQ(read->video->flatPictures, c.flat);
    }
}

TEST_F(MediaMatrix, TrevokReadsEverySourceAsFfprobeReportsIt)
{
    // trevok reads sources in its own process; what it finds must be what
    // ffprobe reports, field by field, or shapes, rates and colours would
    // differ from what the plan was made for.
    QTemporaryDir work;
    const std::string cover = work.filePath("cover.mp3").toStdString();
    ASSERT_TRUE(makeMedia({"-f", "lavfi", "-i", tone(440, "1"), "-f", "lavfi", "-i", "color=c=red:s=64x64:d=1", "-map",
        "0", "-map", "1", "-frames:v", "1", "-c:a", "libmp3lame", "-c:v", "mjpeg", "-disposition:v", "attached_pic",
        QString::fromStdString(cover)}));
    std::vector<std::string> files = {deepSource(), cover};
    for (const Source& s : s_sources)
        files.push_back(sourcePath(s.name));
    const std::string ffprobe = ffprobeProgram(ffmpegProgram());
    ASSERT_FALSE(ffprobe.empty());
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        std::string probeError, readError;
        const auto probed = probeSource(ffprobe, file, probeError);
        const auto read = readSource(file, readError);
        EXPECT_EQ(describe(read), describe(probed));
        if (!read) {
            EXPECT_FALSE(readError.empty());
        }
        if (file == cover) {
            ASSERT_TRUE(read);
            EXPECT_FALSE(read->video) << "a cover picture is no video";
        }
    }
    std::string error;
    EXPECT_FALSE(readSource(work.filePath("missing.mp4").toStdString(), error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

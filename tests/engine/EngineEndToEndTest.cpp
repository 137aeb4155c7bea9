// trevok as Vexlo runs it: one argument, real ffmpeg on short generated clips,
// the AbortFlag read back through the registry stand-in, targets checked with
// ffprobe. fake_ffmpeg stands in where a conversion must be slow on command.
#include "Catalogue.h"
#include "MediaTools.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <map>
#include <tuple>

using namespace vexlo::engine;
namespace fs = std::filesystem;

namespace {

struct EngineRun {
    int exitCode = -1;
    bool crashed = false;
    std::string stderrText;
    std::optional<std::string> flag;
};

struct Probe {
    std::map<std::string, std::string> format;
    std::map<std::string, std::string> video;
    std::map<std::string, std::string> audio;
};

class EngineEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = new QTemporaryDir;
        s_clip = s_dir->filePath("camcorder.m2ts").toStdString();
        // Like a camcorder's: interlaced H.264 with AC-3, here small and short.
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg",
            {"-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                "testsrc2=size=320x240:rate=25:duration=2", "-f", "lavfi", "-i",
                "sine=frequency=440:sample_rate=48000:duration=2", "-c:v", "libx264", "-preset", "ultrafast", "-flags",
                "+ilme+ildct", "-x264opts", "tff=1", "-pix_fmt", "yuv420p", "-c:a", "ac3", "-ac", "2", "-f", "mpegts",
                QString::fromStdString(s_clip)});
        ffmpeg.waitForFinished(60000);
        ASSERT_EQ(ffmpeg.exitCode(), 0) << ffmpeg.readAllStandardError().toStdString();
    }
    static void TearDownTestSuite()
    {
        delete s_dir;
        s_dir = nullptr;
    }

    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    std::string path(const std::string& name) const
    {
        return m_dir.filePath(QString::fromStdString(name)).toStdString();
    }
    std::string registryRoot() const { return path("registry"); }

    std::optional<std::string> readFlag() const
    {
        vexlo::platform::FolderRegistry registry(registryRoot());
        return registry.readValue(vexlo::platform::Hive::CurrentUser, vexlo::platform::kAbortFlagKey, "");
    }

    // Starts trevok with one argument; a stale flag value is planted first so
    // that every run must write its own.
    void start(QProcess& process, const std::string& argument, const QStringList& extraEnv = {},
        const std::string& workDir = {}) const
    {
        vexlo::platform::FolderRegistry(registryRoot())
            .writeValue(vexlo::platform::Hive::CurrentUser, vexlo::platform::kAbortFlagKey, "", "9");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VEXLO_REGISTRY", QString::fromStdString(registryRoot()));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        for (const auto& kv : extraEnv)
            env.insert(kv.section('=', 0, 0), kv.section('=', 1));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(QString::fromStdString(workDir.empty() ? path("") : workDir));
        process.start(TREVOK_PROGRAM, {QString::fromUtf8(argument.data(), qsizetype(argument.size()))});
    }

    EngineRun finish(QProcess& process) const
    {
        EngineRun r;
        EXPECT_TRUE(process.waitForFinished(120000));
        r.crashed = process.exitStatus() != QProcess::NormalExit;
        r.exitCode = process.exitCode();
        r.stderrText = process.readAllStandardError().toStdString();
        r.flag = readFlag();
        return r;
    }

    EngineRun trevok(
        const std::string& argument, const QStringList& extraEnv = {}, const std::string& workDir = {}) const
    {
        QProcess process;
        start(process, argument, extraEnv, workDir);
        return finish(process);
    }

    static Probe probe(const std::string& file)
    {
        QProcess ffprobe;
        ffprobe.start("ffprobe",
            {"-v", "error", "-show_entries",
                "format=format_name:format_tags=major_brand:stream=codec_type,codec_name,"
                "codec_tag_string,width,height,r_frame_rate,channels,sample_rate",
                "-of", "compact", QString::fromStdString("file:" + file)});
        ffprobe.waitForFinished(30000);
        Probe p;
        for (const QString& line : QString::fromUtf8(ffprobe.readAllStandardOutput()).split('\n')) {
            const QStringList parts = line.split('|');
            std::map<std::string, std::string> kv;
            for (const QString& part : parts.mid(1))
                kv[part.section('=', 0, 0).replace("tag:", "").toStdString()] = part.section('=', 1).toStdString();
            if (parts.value(0) == "format")
                p.format = kv;
            else if (kv["codec_type"] == "video")
                p.video = kv;
            else if (kv["codec_type"] == "audio")
                p.audio = kv;
        }
        return p;
    }

    static double rate(const std::string& fraction)
    {
        const auto slash = fraction.find('/');
        if (slash == std::string::npos)
            return std::atof(fraction.c_str());
        return std::atof(fraction.substr(0, slash).c_str()) / std::atof(fraction.substr(slash + 1).c_str());
    }

    static std::string argumentFor(EngineRequest r, const std::string& source, const std::string& target)
    {
        r.source = source;
        r.target = target;
        return formatEngineArgument(r);
    }

    QTemporaryDir m_dir;
    static QTemporaryDir* s_dir;
    static std::string s_clip;
};

QTemporaryDir* EngineEndToEnd::s_dir = nullptr;
std::string EngineEndToEnd::s_clip;

} // namespace

TEST_F(EngineEndToEnd, EveryCatalogueProfileWritesWhatItPromises)
{
    auto catalogue = test::installedCatalogue();
    ASSERT_EQ(catalogue.size(), 25u);
    catalogue.resize(18); // the constant-quality profiles: the media matrix
    for (const auto& profile : catalogue) {
        SCOPED_TRACE(std::to_string(profile.number) + " " + profile.title);
        const EngineRequest& r = profile.request;
        const std::string target = path("profile" + std::to_string(profile.number) + profile.fileType);
        const EngineRun run = trevok(argumentFor(r, s_clip, target));
        ASSERT_EQ(run.exitCode, 0) << run.stderrText;
        EXPECT_EQ(run.flag, "0");

        const Probe p = probe(target);
        const bool avi = profile.fileType == ".avi", mpg = profile.fileType == ".mpg";
        EXPECT_EQ(p.format.at("format_name"), avi ? "avi" : mpg ? "mpeg" : "mov,mp4,m4a,3gp,3g2,mj2");
        if (r.isPsp) {
            EXPECT_EQ(p.format.at("major_brand"), "MSNV");
        }
        const std::map<std::string, std::string> videoCodec = {{"mpeg4", "mpeg4"}, {"divx", "mpeg4"}, {"xvid", "mpeg4"},
            {"h264", "h264"}, {"mpeg1", "mpeg1video"}, {"mpeg2", "mpeg2video"}};
        EXPECT_EQ(p.video.at("codec_name"), videoCodec.at(r.videoFormat));
        if (avi && r.videoFormat == "divx") {
            EXPECT_EQ(p.video.at("codec_tag_string"), "DX50");
        }
        if (avi && r.videoFormat == "xvid") {
            EXPECT_EQ(p.video.at("codec_tag_string"), "XVID");
        }
        EXPECT_EQ(p.video.at("width"), std::to_string(r.frameWidth ? r.frameWidth : 320));
        EXPECT_EQ(p.video.at("height"), std::to_string(r.frameHeight ? r.frameHeight : 240));
        const double wantedRate = r.frameRate == "0" ? 25.0 : rate(r.frameRate);
        EXPECT_NEAR(rate(test::frameRateOf(p.video, target)), wantedRate, 0.02) << test::frameRateOf(p.video, target);
        const std::map<std::string, std::string> audioCodec = {{"ACC", "aac"}, {"mp3", "mp3"}, {"mp2", "mp2"}};
        EXPECT_EQ(p.audio.at("codec_name"), audioCodec.at(r.audioFormat));
        EXPECT_EQ(p.audio.at("channels"), std::to_string(r.channelCount));
        EXPECT_EQ(p.audio.at("sample_rate"), std::to_string(r.sampleRate));
    }
}

TEST_F(EngineEndToEnd, SourceSizeAndRateAreKeptWhenAskedFor)
{
    EngineRequest r = test::installedCatalogue().at(0).request;
    r.frameWidth = r.frameHeight = 0;
    r.frameRate = "0";
    r.marker = Marker::Normal; // no display here: no window, progress on standard error
    const std::string target = path("same.mp4");
    const EngineRun run = trevok(argumentFor(r, s_clip, target));
    ASSERT_EQ(run.exitCode, 0) << run.stderrText;
    EXPECT_EQ(run.flag, "0");
    EXPECT_NE(run.stderrText.find("trevok: progress"), std::string::npos) << run.stderrText;
    const Probe p = probe(target);
    EXPECT_EQ(p.video.at("width"), "320");
    EXPECT_EQ(p.video.at("height"), "240");
    EXPECT_NEAR(rate(p.video.at("r_frame_rate")), 25.0, 0.01);
}

// The deinterlacer is in every chain (it passes progressive frames) and must
// take every picture size: bwdif refuses planes under 3 x 4 samples, so the
// smallest pictures take yadif.
TEST_F(EngineEndToEnd, TinyPicturesConvert)
{
    EngineRequest r = test::installedCatalogue().at(18).request; // H.264 at the source's size
    for (const char* size : {"16x6", "6x16", "16x16"}) {
        SCOPED_TRACE(size);
        const std::string source = path(std::string("tiny-") + size + ".mkv");
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg",
            {"-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                QString("testsrc2=size=%1:rate=25:duration=1").arg(size), "-c:v", "libx264", "-preset", "ultrafast",
                "-pix_fmt", "yuv420p", QString::fromStdString(source)});
        ASSERT_TRUE(ffmpeg.waitForFinished(60000));
        ASSERT_EQ(ffmpeg.exitCode(), 0) << ffmpeg.readAllStandardError().toStdString();
        const std::string target = path(std::string("tiny-") + size + ".mp4");
        const EngineRun run = trevok(argumentFor(r, source, target));
        ASSERT_EQ(run.exitCode, 0) << run.stderrText;
        EXPECT_EQ(run.flag, "0");
        // Decoded in full: every one of the 25 pictures is there.
        QProcess decode;
        decode.start("ffprobe",
            {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries", "stream=nb_read_frames", "-of",
                "csv=p=0", QString::fromStdString("file:" + target)});
        ASSERT_TRUE(decode.waitForFinished(30000));
        EXPECT_EQ(decode.readAllStandardOutput().trimmed().toStdString(), "25");
        EXPECT_EQ(probe(target).video.at("width") + "x" + probe(target).video.at("height"), size);
    }
}

TEST_F(EngineEndToEnd, RefusedArgumentsWriteNothingButTheFlag)
{
    const std::string target = path("never.mp4");
    const std::string good = s_clip + "|" + target + "|mpeg4|320|240|512|0|2|128|44100|ACC|0|S";
    const std::vector<std::string> bad = {
        "",
        s_clip + "|" + target + "|mpeg4|320|240|512|0|2|128|44100|ACC|0",
        s_clip + "|" + target + "|mpeg4|320|240|5l2|0|2|128|44100|ACC|0|S",
        "|" + target + "|mpeg4|320|240|512|0|2|128|44100|ACC|0|S",
        s_clip + "||mpeg4|320|240|512|0|2|128|44100|ACC|0|S",
        s_clip + "|" + target + "|theora|320|240|512|0|2|128|44100|ACC|0|S",
        s_clip + "|" + target + "|mpeg4|320|240|512|0|2|128|44100|vorbis|0|S",
        s_clip + "|" + target + "|hevc|320|240|0|0|2|128|44100|flac|0|S", // MP4 holds no FLAC
        s_clip + "|" + target + "|mpeg4|320|240|512|fast|2|128|44100|ACC|0|S",
        std::string("\xff\xfe\x01|\x80|\x7f") + good,
    };
    for (const auto& argument : bad) {
        SCOPED_TRACE(argument);
        const EngineRun run = trevok(argument);
        EXPECT_FALSE(run.crashed);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.flag, "2");
        EXPECT_NE(run.stderrText.find("trevok: "), std::string::npos);
        EXPECT_FALSE(fs::exists(target));
    }
    // No argument, and two arguments.
    for (const QStringList& args : {QStringList{}, QStringList{QString::fromStdString(good), "x"}}) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VEXLO_REGISTRY", QString::fromStdString(registryRoot()));
        process.setProcessEnvironment(env);
        vexlo::platform::FolderRegistry(registryRoot())
            .writeValue(vexlo::platform::Hive::CurrentUser, vexlo::platform::kAbortFlagKey, "", "9");
        process.start(TREVOK_PROGRAM, args);
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitCode(), 2);
        EXPECT_EQ(readFlag(), "2");
    }
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(EngineEndToEnd, ContainersRefuseWhatTheyCannotHoldBeforeWriting)
{
    for (const auto& [name, fields, reason] :
        {std::tuple{"never.webm", "h264|0|0|0|0|2|128|48000|opus", "holds VP9 or AV1 video, not H.264"},
            std::tuple{"never2.webm", "vp9|0|0|0|0|2|128|48000|ACC", "holds Opus sound, not AAC"},
            std::tuple{"never.avi", "hevc|0|0|0|0|2|128|48000|mp3", "cannot hold H.265/HEVC video"}}) {
        SCOPED_TRACE(name);
        const std::string target = path(name);
        const EngineRun run = trevok(s_clip + "|" + target + "|" + fields + "|0|S");
        EXPECT_FALSE(run.crashed);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.flag, "2");
        EXPECT_NE(run.stderrText.find(reason), std::string::npos) << run.stderrText;
        EXPECT_FALSE(fs::exists(target)) << "never a broken file";
    }
}

TEST_F(EngineEndToEnd, FailuresGiveTwo)
{
    vexlo::test::writeFile(
        path("corrupt.m2ts"), std::string(4096, '\x47') + "garbage\x00\xff" + std::string(5000, '\x13'));
    struct Case {
        std::string source, target;
    };
    // The source under other names: a hard link, "//" in the path, a folder
    // reached through a link. Each is the source itself and must be refused.
    const std::string folder = s_clip.substr(0, s_clip.rfind('/') + 1);
    const std::string name = s_clip.substr(folder.size());
    fs::remove(path("same.m2ts"));
    fs::create_hard_link(s_clip, path("same.m2ts"));
    fs::remove(path("linked"));
    fs::create_directory_symlink(folder, path("linked"));
    const Case cases[] = {
        {path("corrupt.m2ts"), path("corrupt.mp4")},
        {path("missing.m2ts"), path("missing.mp4")},
        {s_clip, path("no/such/folder/a.mp4")},
        {s_clip, "/proc/vexlo-engine-test.mp4"}, // not writable, not even by root
        {s_clip, s_clip},                        // the target is the source itself: refused, the source stays
        {s_clip, path("same.m2ts")},
        {s_clip, folder + "/" + name},
        {s_clip, path("linked") + "/" + name},
    };
    const auto clipSize = fs::file_size(s_clip);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source + " -> " + c.target);
        const EngineRun run = trevok(c.source + "|" + c.target + "|mpeg4|320|240|512|0|2|128|44100|ACC|0|S");
        EXPECT_FALSE(run.crashed);
        EXPECT_EQ(run.exitCode, 2) << run.stderrText;
        EXPECT_EQ(run.flag, "2");
        EXPECT_EQ(fs::file_size(s_clip), clipSize);
    }
    fs::remove(path("same.m2ts"));
}

TEST_F(EngineEndToEnd, HostileNamesAreNeverOptionsOrProtocols)
{
    // Relative names, resolved in the working folder, as ffmpeg would misread them.
    const std::vector<std::string> names = {"-y", "-i.m2ts", "concat:clip.m2ts", "pipe:0", "a b 'c' \"d\" ;$(x).m2ts",
        "\xc3\xa9t\xc3\xa9 \xe6\x97\xa5.m2ts"};
    const std::string work = path("work");
    fs::create_directories(work);
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        fs::copy_file(s_clip, work + "/" + name, fs::copy_options::overwrite_existing);
        const std::string target = "-" + name + ".avi";
        const EngineRun run = trevok(name + "|" + target + "|xvid|160|120|256|0|1|64|22050|mp3|0|S", {}, work);
        ASSERT_EQ(run.exitCode, 0) << run.stderrText;
        EXPECT_EQ(run.flag, "0");
        const Probe p = probe(work + "/" + target);
        EXPECT_EQ(p.video.at("codec_tag_string"), "XVID");
        EXPECT_EQ(p.audio.at("channels"), "1");
    }
    // A name that only a protocol could read is a missing file.
    const EngineRun run = trevok("concat:" + s_clip + "\\|" + s_clip + "|x.mp4|mpeg4|0|0|0|0|0|0|0|ACC|0|S", {}, work);
    EXPECT_EQ(run.exitCode, 2);
    const EngineRun run2 = trevok("concat:" + s_clip + "|x.mp4|mpeg4|0|0|0|0|0|0|ACC|0|S", {}, work);
    EXPECT_EQ(run2.exitCode, 2) << run2.stderrText;
    EXPECT_EQ(run2.flag, "2");
    EXPECT_FALSE(fs::exists(work + "/x.mp4"));
    // Nothing but the sources and their targets appeared.
    EXPECT_EQ(std::distance(fs::directory_iterator(work), fs::directory_iterator()), long(names.size() * 2));
}

TEST_F(EngineEndToEnd, SignalsCancelTheConversion)
{
    for (const int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        const std::string pidFile = path("fake.pid");
        fs::remove(pidFile);
        QProcess process;
        start(process, s_clip + "|" + path("sig.mp4") + "|mpeg4|320|240|512|0|2|128|44100|ACC|0|S",
            {"VEXLO_FFMPEG=" FAKE_FFMPEG, "VEXLO_FFPROBE=" FAKE_FFMPEG, "FAKE_FFMPEG_MODE=slow",
                "FAKE_FFMPEG_PID=" + QString::fromStdString(pidFile)});
        ASSERT_TRUE(process.waitForStarted());
        std::string seen;
        while (seen.find("progress") == std::string::npos && process.state() == QProcess::Running) {
            process.waitForReadyRead(1000);
            seen += process.readAllStandardError().toStdString();
        }
        ASSERT_NE(seen.find("progress"), std::string::npos) << seen;
        ::kill(pid_t(process.processId()), sig);
        const EngineRun run = finish(process);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.flag, "2");
        EXPECT_NE(run.stderrText.find("cancelled"), std::string::npos) << run.stderrText;
        // The converter went with it.
        const pid_t child = pid_t(std::atoi(vexlo::test::readFile(pidFile).c_str()));
        ASSERT_GT(child, 0);
        EXPECT_NE(::kill(child, 0), 0);
    }
}

namespace {

// The pass (1, 2) of the ffmpeg that `engine` runs; 0 when it runs none.
int passRunning(qint64 engine)
{
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string stat = vexlo::test::readFile(entry.path().string() + "/stat");
        const auto close = stat.rfind(')');
        if (close == std::string::npos || std::atoll(stat.c_str() + close + 4) != engine)
            continue; // field 4, after the state: the parent
        const std::string line = vexlo::test::readFile(entry.path().string() + "/cmdline");
        const auto at = line.find(std::string("-pass\0", 6));
        if (at != std::string::npos)
            return line[at + 6] - '0';
    }
    return 0;
}

} // namespace

// VP9 in two passes: a clean WebM of the source's length, the progress rising
// across both passes, and the first pass's statistics gone however the
// engine ends: done, cancelled in either pass, or killed (then the next
// engine removes them).
TEST_F(EngineEndToEnd, TwoPassesLeaveNoStatistics)
{
    const std::string source = path("long.mkv");
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg",
        {"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=5", "-f",
            "lavfi", "-i", "sine=duration=5", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "flac",
            QString::fromStdString(source)});
    ASSERT_TRUE(ffmpeg.waitForFinished(60000));
    ASSERT_EQ(ffmpeg.exitCode(), 0);
    const std::string temp = path("temp");
    fs::create_directories(temp);
    const auto statistics = [&] { return std::distance(fs::directory_iterator(temp), fs::directory_iterator()); };
    const struct {
        const char* name;
        int stopInPass; // 0: runs to its end
        int signal;
    } cases[] = {{"done", 0, 0}, {"cancel-1", 1, SIGTERM}, {"cancel-2", 2, SIGTERM}, {"killed", 1, SIGKILL}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string target = path(std::string(c.name) + ".webm");
        QProcess process;
        start(process, source + "|" + target + "|vp9|0|0|0|0|2|128|48000|opus|0|S",
            {"TMPDIR=" + QString::fromStdString(temp)});
        ASSERT_TRUE(process.waitForStarted());
        if (c.stopInPass) {
            while (passRunning(process.processId()) != c.stopInPass && process.state() == QProcess::Running)
                process.waitForFinished(10);
            ASSERT_EQ(process.state(), QProcess::Running);
            EXPECT_EQ(statistics(), 1);
            ::kill(pid_t(process.processId()), c.signal);
        }
        const EngineRun run = finish(process);
        if (c.signal == SIGKILL) {
            EXPECT_TRUE(run.crashed);
            EXPECT_EQ(statistics(), 1) << "left behind by the engine";
            const EngineRun next = trevok(s_clip + "|" + path("next.avi") + "|xvid|160|120|256|0|1|64|22050|mp3|0|S",
                {"TMPDIR=" + QString::fromStdString(temp)});
            EXPECT_EQ(next.exitCode, 0) << next.stderrText;
        } else if (c.signal) {
            EXPECT_EQ(run.exitCode, 2);
            EXPECT_EQ(run.flag, "2");
            EXPECT_NE(run.stderrText.find("cancelled"), std::string::npos) << run.stderrText;
        } else {
            ASSERT_EQ(run.exitCode, 0) << run.stderrText;
            EXPECT_EQ(run.flag, "0");
            const Probe p = probe(target);
            EXPECT_EQ(p.format.at("format_name"), "matroska,webm");
            EXPECT_EQ(p.video.at("codec_name"), "vp9");
            EXPECT_EQ(p.audio.at("codec_name"), "opus");
            const test::Decoded decoded = test::decodeMedia(target, path("crop.txt"));
            EXPECT_TRUE(decoded.ran);
            EXPECT_EQ(decoded.errors, "");
            const test::MediaProbe media = test::probeMedia(target);
            EXPECT_NEAR(media.videoSeconds, 5.0, 0.1);
            EXPECT_NEAR(media.audioSeconds, 5.0, 0.1);
            // The progress rises through both passes to 100.
            std::vector<int> seen;
            for (size_t at = 0; (at = run.stderrText.find("progress ", at)) != std::string::npos; at += 9)
                seen.push_back(std::atoi(run.stderrText.c_str() + at + 9));
            EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << run.stderrText;
            ASSERT_GE(seen.size(), 3u) << run.stderrText;
            EXPECT_LT(seen.front(), 50);
            EXPECT_EQ(seen.back(), 100);
        }
        EXPECT_EQ(statistics(), 0);
    }
}

TEST_F(EngineEndToEnd, ASuccessWithoutATargetIsAFailure)
{
    // ffmpeg ends with 0 but the target is empty, or its log says that the
    // file could not be finished: neither is a converted file.
    for (const char* mode : {"empty", "trailer"}) {
        SCOPED_TRACE(mode);
        const EngineRun run = trevok(s_clip + "|" + path("a.mp4") + "|mpeg4|320|240|512|0|2|128|44100|ACC|0|S",
            {"VEXLO_FFMPEG=" FAKE_FFMPEG, "VEXLO_FFPROBE=" FAKE_FFMPEG, QString("FAKE_FFMPEG_MODE=") + mode});
        EXPECT_EQ(run.exitCode, 2) << run.stderrText;
        EXPECT_EQ(run.flag, "2");
    }
}

TEST_F(EngineEndToEnd, MissingConverterGivesTwo)
{
    const EngineRun run = trevok(s_clip + "|" + path("a.mp4") + "|mpeg4|320|240|512|0|2|128|44100|ACC|0|S",
        {"VEXLO_FFMPEG=/nonexistent/ffmpeg"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.flag, "2");
}

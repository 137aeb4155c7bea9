// trevok on sources that were not read whole or cleanly, and on everyday
// sources, which must give no alarm. A card whose reader fails reads is a
// FUSE file system that fails chosen reads once (tests/engine/failing_reads.py);
// the other sources are made here with ffmpeg.
#include "MediaTools.h"
#include "platform/Registry.h"
#include "base/EngineContract.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace vexlo::engine::test;
namespace fs = std::filesystem;
namespace contract = vexlo::contract;

namespace {

// Profile 0 of the catalogue, the default.
const std::string kDefaultProfile = "mpeg4|640|480|1200|0|2|128|44100|ACC|0|S";

QString pictures(const char* size, double seconds, const char* rate = "25")
{
    return QString("testsrc2=size=%1:rate=%2:duration=%3").arg(size, rate).arg(seconds);
}

QString tone(double seconds) { return QString("sine=frequency=440:sample_rate=48000:duration=%1").arg(seconds); }

struct Case {
    const char* what;
    std::string source;
    std::set<int> exits; // the statuses that are right
    const char* says;    // part of the engine's report
    // Through FUSE: where reads fail once (a share of the size; -1: the last read).
    std::vector<double> failingReads = {};
    // The source's time line: the engine's report, and the target's length; 0: not checked.
    double seconds = 0;
    // The target's pictures, all decoded (no stretch of copies); 0: not counted.
    int pictures = 0;
};

struct Outcome {
    ToolRun run;
    std::string flag;
    std::string failedReads;   // what the file system failed
    std::string sourceSeconds; // what the engine said the source's time line is
    double targetSeconds = 0;
    int targetPictures = 0;
};

class SourceReading : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = new QTemporaryDir;
        // What each source is made of; runCases() makes those it needs.
        const QStringList x264 = {"-c:v", "libx264", "-preset", "ultrafast"};
        const QStringList m2ts = {"-f", "mpegts", "-mpegts_m2ts_mode", "1"};
        const QStringList av20 = {"-f", "lavfi", "-i", pictures("320x240", 20), "-f", "lavfi", "-i", tone(20), "-c:v",
            "libx264", "-preset", "ultrafast"};
        const QStringList av30 = {"-f", "lavfi", "-i", pictures("320x240", 30), "-f", "lavfi", "-i", tone(30), "-c:v",
            "libx264", "-preset", "ultrafast"};
        const QStringList camcorder
            = {"-f", "lavfi", "-i", pictures("1920x1080", 4, "30000/1001"), "-f", "lavfi", "-i", tone(4), "-c:v",
                "libx264", "-preset", "veryfast", "-flags", "+ilme+ildct", "-pix_fmt", "yuv420p", "-c:a", "ac3"};
        const std::vector<std::pair<std::string, QStringList>> recipes = {
            // Everyday sources.
            {"phone-upright.mov",
                {"-f", "lavfi", "-i",
                    pictures("640x360", 2, "30") + ",settb=1/600,setpts='if(lt(N,15),N*20,300+(N-15)*30)'", "-f",
                    "lavfi", "-i", tone(2.5), "-fps_mode", "passthrough", "-c:v", "libx264", "-preset", "ultrafast",
                    "-pix_fmt", "yuvj420p", "-c:a", "aac", "-t", "2"}},
            {"silent.mp4", QStringList{"-f", "lavfi", "-i", pictures("320x240", 2)} + x264},
            {"short.mp4",
                QStringList{"-f", "lavfi", "-i", pictures("320x240", 0.3), "-f", "lavfi", "-i", tone(0.3)} + x264
                    + QStringList{"-c:a", "aac"}},
            {"ten-hours.ts",
                QStringList{"-f", "lavfi", "-i", pictures("320x240", 2), "-f", "lavfi", "-i", tone(2)} + x264
                    + QStringList{"-c:a", "ac3", "-output_ts_offset", "36000", "-f", "mpegts"}},
            {"dvd.vob",
                {"-f", "lavfi", "-i", pictures("720x576", 2), "-f", "lavfi", "-i", tone(2), "-c:v", "mpeg2video",
                    "-c:a", "ac3", "-f", "vob"}},
            {"vcd.mpg",
                {"-f", "lavfi", "-i", pictures("352x288", 2), "-f", "lavfi", "-i", tone(2), "-c:v", "mpeg1video",
                    "-c:a", "mp2", "-f", "mpeg"}},
            {"sound.m4a", {"-f", "lavfi", "-i", tone(2), "-c:a", "aac"}},
            // Variable-rate MP3 without the header that gives its length.
            {"variable.mpa",
                {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=4", "-c:a", "libmp3lame", "-q:a",
                    "4", "-write_xing", "0", "-id3v2_version", "0", "-f", "mp3"}},
            {"camcorder.m2ts", camcorder + QStringList{"-x264opts", "tff=1", "-ac", "6"} + m2ts},
            // A camcorder's open GOPs: pictures that refer to the GOP before.
            {"open-gop.m2ts",
                camcorder
                    + QStringList{"-x264-params",
                        "tff=1:open-gop=1:keyint=15:bframes=3:b-pyramid=normal:repeat-headers=1"}
                    + m2ts},
            // Damaged copies of a 20-second clip.
            {"whole.m2ts", av20 + QStringList{"-c:a", "ac3"} + m2ts},
            {"whole.mp4", av20 + QStringList{"-c:a", "aac", "-movflags", "+faststart"}},
            {"whole.mkv", av20 + QStringList{"-c:a", "flac"}},
            // Camcorder recordings of 30 s, to be joined end to end: the second
            // starts its stamps afresh, or 10 s before the first one's end.
            {"first.m2ts", av30 + QStringList{"-c:a", "ac3"} + m2ts},
            {"second.m2ts", av30 + QStringList{"-c:a", "ac3"} + m2ts},
            {"overlapping.m2ts", av30 + QStringList{"-c:a", "ac3", "-output_ts_offset", "20"} + m2ts},
            // Recordings shorter than ffmpeg's 10 s for a jump ahead.
            {"six.m2ts",
                QStringList{"-f", "lavfi", "-i", pictures("320x240", 6), "-f", "lavfi", "-i", tone(6)} + x264
                    + QStringList{"-c:a", "ac3"} + m2ts},
            {"three.m2ts",
                QStringList{"-f", "lavfi", "-i", pictures("320x240", 3), "-f", "lavfi", "-i", tone(3)} + x264
                    + QStringList{"-c:a", "ac3"} + m2ts},
            // One picture's stamps 3 hours late, as a bad sector leaves them;
            // one picture's presentation stamp alone.
            {"late.m2ts",
                av20
                    + QStringList{"-c:a", "ac3", "-bsf:v",
                        "setts=pts=if(eq(N\\,30)\\,PTS+10800*90000\\,PTS):dts=if(eq(N\\,30)\\,DTS+10800*90000\\,DTS)"}
                    + m2ts},
            {"late-picture.m2ts",
                av20 + QStringList{"-c:a", "ac3", "-bsf:v", "setts=pts=if(eq(N\\,30)\\,PTS+10800*90000\\,PTS)"} + m2ts},
        };
        s_recipes = recipes;
    }

    // Makes the sources named (each once a run), two ffmpeg at a time; the
    // copies made from others after those.
    static void makeSources(const std::vector<Case>& cases)
    {
        const auto zeroed = [](const std::string& from, const std::string& to) {
            std::string bytes = readAll(at(from));
            bytes.replace(bytes.size() / 2, 120 * 1024, std::string(120 * 1024, '\0'));
            writeAll(at(to), bytes);
        };
        const auto cut = [](const std::string& from, const std::string& to) {
            const std::string bytes = readAll(at(from));
            writeAll(at(to), bytes.substr(0, bytes.size() * 99 / 100));
        };
        const auto joined = [](const std::string& first, const std::string& second, const std::string& to) {
            writeAll(at(to), readAll(at(first)) + readAll(at(second)));
        };
        // Turned as a phone held upright; 120 KB of zeros in the middle;
        // copies 1 % short; recordings joined.
        const std::map<std::string, std::pair<std::vector<std::string>, std::function<void()>>> copies = {
            {"phone.mov",
                {{"phone-upright.mov"},
                    [] {
                        std::string error;
                        ASSERT_TRUE(makeTurnedCopy(QString::fromStdString(at("phone-upright.mov")), 90,
                            QString::fromStdString(at("phone.mov")), &error))
                            << error;
                    }}},
            {"zeroed.m2ts", {{"whole.m2ts"}, [&] { zeroed("whole.m2ts", "zeroed.m2ts"); }}},
            {"zeroed.mp4", {{"whole.mp4"}, [&] { zeroed("whole.mp4", "zeroed.mp4"); }}},
            {"cut.mp4", {{"whole.mp4"}, [&] { cut("whole.mp4", "cut.mp4"); }}},
            {"cut.mkv", {{"whole.mkv"}, [&] { cut("whole.mkv", "cut.mkv"); }}},
            {"joined.m2ts",
                {{"first.m2ts", "second.m2ts"}, [&] { joined("first.m2ts", "second.m2ts", "joined.m2ts"); }}},
            {"joined-six.m2ts", {{"six.m2ts"}, [&] { joined("six.m2ts", "six.m2ts", "joined-six.m2ts"); }}},
            {"joined-three.m2ts", {{"three.m2ts"}, [&] { joined("three.m2ts", "three.m2ts", "joined-three.m2ts"); }}},
            {"joined-overlapping.m2ts",
                {{"first.m2ts", "overlapping.m2ts"},
                    [&] { joined("first.m2ts", "overlapping.m2ts", "joined-overlapping.m2ts"); }}},
            // The second file of a recording split at a GOP: it starts with
            // pictures that refer to the file before.
            {"open-gop-part1.m2ts",
                {{"open-gop.m2ts"},
                    [] {
                        std::string error;
                        ASSERT_TRUE(makeMedia({"-i", QString::fromStdString(at("open-gop.m2ts")), "-map", "0", "-c",
                                                  "copy", "-f", "segment", "-segment_time", "2", "-segment_format",
                                                  "mpegts", QString::fromStdString(at("open-gop-part%d.m2ts"))},
                            &error))
                            << error;
                    }}},
        };
        std::set<std::string> made;
        for (const Case& c : cases) {
            const auto copy = copies.find(c.source);
            for (const std::string& name : copy == copies.end() ? std::vector{c.source} : copy->second.first)
                if (!fs::exists(at(name)))
                    made.insert(name);
        }
        std::vector<std::pair<std::string, QStringList>> recipes;
        for (const auto& recipe : s_recipes)
            if (made.count(recipe.first))
                recipes.push_back(recipe);
        std::atomic<size_t> next{0};
        std::vector<std::string> errors(recipes.size());
        std::vector<std::thread> workers;
        for (int w = 0; w < 2; ++w)
            workers.emplace_back([&] {
                for (size_t i = next++; i < recipes.size(); i = next++)
                    if (!makeMedia(
                            recipes[i].second + QStringList{QString::fromStdString(at(recipes[i].first))}, &errors[i]))
                        errors[i] = recipes[i].first + ": " + errors[i] + " ";
            });
        for (auto& w : workers)
            w.join();
        for (const auto& e : errors)
            ASSERT_EQ(e, "");
        for (const Case& c : cases)
            if (const auto copy = copies.find(c.source); copy != copies.end() && !fs::exists(at(c.source)))
                copy->second.second();
    }
    static void TearDownTestSuite()
    {
        delete s_dir;
        s_dir = nullptr;
    }

    static std::string at(const std::string& name)
    {
        return s_dir->filePath(QString::fromStdString(name)).toStdString();
    }

    static std::string readAll(const std::string& file)
    {
        QFile f(QString::fromStdString(file));
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
    }
    static void writeAll(const std::string& file, const std::string& bytes)
    {
        QFile f(QString::fromStdString(file));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes.data(), qint64(bytes.size()));
    }

    // Why FUSE cannot serve here, "" when it can.
    static std::string fuseProblem()
    {
        const int fd = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
        if (fd < 0)
            return "/dev/fuse cannot be opened";
        ::close(fd);
        if (runTool("/usr/bin/python3", {"-c", "import fusepy"}).exitCode != 0)
            return "python3-fusepy is not installed";
        return {};
    }

    // trevok converts `source` (through a FUSE mount of the sources' folder
    // that fails the reads given) with the default profile.
    static Outcome convert(const Case& c, const std::string& work)
    {
        Outcome o;
        fs::create_directories(work);
        std::string source = at(c.source);
        QProcess fuse;
        const std::string mount = work + "/card";
        if (!c.failingReads.empty()) {
            fs::create_directories(mount);
            const auto size = int64_t(fs::file_size(source));
            QStringList args
                = {FAILING_READS, s_dir->path(), QString::fromStdString(mount), QString::fromStdString(c.source)};
            for (const double share : c.failingReads)
                args << QString::number(share < 0 ? size - 1000 : int64_t(double(size) * share));
            fuse.start("/usr/bin/python3", args);
            source = mount + "/" + c.source;
            struct stat st {};
            for (int i = 0; i < 100 && (::stat(source.c_str(), &st) != 0 || st.st_size != size); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (st.st_size != size) {
                o.run.err = "the FUSE mount did not come up: " + fuse.readAllStandardError().toStdString();
                return o;
            }
        }
        const std::string registry = work + "/registry";
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VEXLO_REGISTRY", QString::fromStdString(registry));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("TREVOK_SOURCE_SECONDS_FILE", QString::fromStdString(work + "/seconds"));
        o.run = runTool(
            TREVOK_PROGRAM, {QString::fromStdString(source + "|" + work + "/out.mp4|" + kDefaultProfile)}, env, 90000);
        o.sourceSeconds = readAll(work + "/seconds");
        o.targetSeconds = std::atof(runTool("ffprobe",
            {"-v", "error", "-show_entries", "format=duration", "-of", "default=nw=1:nk=1",
                QString::fromStdString("file:" + work + "/out.mp4")})
                                        .out.c_str());
        if (c.pictures > 0)
            o.targetPictures = std::atoi(runTool("ffprobe",
                {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries", "stream=nb_read_frames",
                    "-of", "default=nw=1:nk=1", QString::fromStdString("file:" + work + "/out.mp4")})
                                             .out.c_str());
        o.flag = vexlo::platform::FolderRegistry(registry)
                     .readValue(vexlo::platform::Hive::CurrentUser, vexlo::platform::kAbortFlagKey, "")
                     .value_or("");
        if (!c.failingReads.empty()) {
            for (const char* unmount : {"fusermount", "fusermount3", "umount"})
                if (runTool(unmount, {"-u", QString::fromStdString(mount)}).exitCode == 0
                    || runTool(unmount, {QString::fromStdString(mount)}).exitCode == 0)
                    break;
            if (!fuse.waitForFinished(10000))
                fuse.kill();
            o.failedReads = fuse.readAllStandardError().toStdString();
        }
        return o;
    }

    // Every case, two at a time; each ends as its table says.
    static void runCases(const std::vector<Case>& cases)
    {
        makeSources(cases);
        QTemporaryDir work;
        std::vector<Outcome> outcomes(cases.size());
        std::atomic<size_t> next{0};
        std::vector<std::thread> workers;
        for (int w = 0; w < 2; ++w)
            workers.emplace_back([&] {
                for (size_t i = next++; i < cases.size(); i = next++)
                    outcomes[i] = convert(cases[i], work.filePath(QString::number(i)).toStdString());
            });
        for (auto& w : workers)
            w.join();
        for (size_t i = 0; i < cases.size(); ++i) {
            const Case& c = cases[i];
            const Outcome& o = outcomes[i];
            SCOPED_TRACE(std::string(c.what) + " (" + c.source + ")\n" + o.run.err);
            EXPECT_TRUE(c.exits.count(o.run.exitCode)) << "exit status " << o.run.exitCode;
            EXPECT_NE(o.run.err.find(c.says), std::string::npos);
            EXPECT_EQ(o.flag, "0");
            // The converted file stays, whatever was wrong with the source.
            EXPECT_TRUE(fs::exists(work.filePath(QString::number(i) + "/out.mp4").toStdString()));
            if (c.seconds > 0) {
                // Whole, and as long as the engine says the source is.
                EXPECT_NEAR(std::atof(o.sourceSeconds.c_str()), c.seconds, 0.2) << o.sourceSeconds;
                EXPECT_FALSE(contract::isShortOf(o.targetSeconds, c.seconds)) << o.targetSeconds;
                EXPECT_FALSE(contract::runsBeyond(o.targetSeconds, c.seconds)) << o.targetSeconds;
            }
            if (c.pictures > 0) {
                EXPECT_NEAR(o.targetPictures, c.pictures, 2);
            }
            if (!c.failingReads.empty()) {
                EXPECT_EQ(size_t(QString::fromStdString(o.failedReads).count("failing read at")), c.failingReads.size())
                    << "the card failed what it was told to: " << o.failedReads;
            }
        }
    }

    static QTemporaryDir* s_dir;
    static std::vector<std::pair<std::string, QStringList>> s_recipes;
};

QTemporaryDir* SourceReading::s_dir = nullptr;
std::vector<std::pair<std::string, QStringList>> SourceReading::s_recipes;

const std::set<int> kComplete = {contract::kExitComplete};
const std::set<int> kDamaged = {contract::kExitSourceDamaged};

} // namespace

TEST_F(SourceReading, EverydaySourcesGiveNoAlarm)
{
    runCases({
        {"a phone's variable rate, held upright", "phone.mov", kComplete, "trevok: done"},
        {"no sound", "silent.mp4", kComplete, "trevok: done"},
        {"0.3 s", "short.mp4", kComplete, "trevok: done"},
        {"time stamps at 10 hours", "ten-hours.ts", kComplete, "trevok: done"},
        {"a DVD's MPEG-2 with AC-3", "dvd.vob", kComplete, "trevok: done"},
        {"MPEG-1", "vcd.mpg", kComplete, "trevok: done"},
        {"sound alone", "sound.m4a", kComplete, "trevok: done"},
        {"variable-rate MP3 without its header", "variable.mpa", kComplete, "trevok: done"},
        {"a 1080i camcorder's H.264 with 5.1 AC-3", "camcorder.m2ts", kComplete, "trevok: done"},
        {"open GOPs", "open-gop.m2ts", kComplete, "trevok: done"},
        {"the second file of a split recording", "open-gop-part1.m2ts", kComplete, "trevok: done"},
    });
}

// Recordings joined end to end (cat): the stamps start afresh in the middle.
// libavformat reads the file's duration from its first and last stamps (30
// and 50 s); ffmpeg takes up the jumps and converts the whole minute. A
// damaged stamp still ends in seconds.
TEST_F(SourceReading, JoinedRecordingsConvertWholeAndADamagedStampEndsSoon)
{
    runCases({
        {"two recordings of 30 s", "joined.m2ts", kComplete, "trevok: done", {}, 60, 1500},
        {"the second's stamps start 10 s before the first's end", "joined-overlapping.m2ts", kComplete, "trevok: done",
            {}, 60},
        {"two recordings of 6 s", "joined-six.m2ts", kComplete, "trevok: done", {}, 12, 300},
        {"two recordings of 3 s", "joined-three.m2ts", kComplete, "trevok: done", {}, 6, 150},
        {"a packet 3 hours late", "late.m2ts", kComplete, "trevok: done", {}, 20},
        {"a picture 3 hours late", "late-picture.m2ts", kComplete, "trevok: done", {}, 20},
    });
}

TEST_F(SourceReading, CutAndZeroedCopiesAreReported)
{
    // ffmpeg conceals a block of zeros with the pictures around it, and takes
    // the end of a cut copy for the end of the recording: both end with 0.
    const std::set<int> shortOrDamaged = {contract::kExitIncomplete, contract::kExitSourceDamaged};
    runCases({
        {"120 KB of zeros in the middle", "zeroed.m2ts", kDamaged, "could not be read whole: "},
        {"120 KB of zeros in the middle, indexed", "zeroed.mp4", kDamaged, "could not be read whole: "},
        {"1 % short, index first", "cut.mp4", shortOrDamaged, "; the converted "},
        {"1 % short", "cut.mkv", shortOrDamaged, "; the converted "},
    });
}

TEST_F(SourceReading, ACardsFailedReadsAreReported)
{
    if (const std::string problem = fuseProblem(); !problem.empty())
        GTEST_SKIP() << "a card that fails reads is played by FUSE: " << problem;
    // ffmpeg takes a failed read for the file's end, or skips it, and ends with 0.
    runCases({
        {"two reads near the end", "whole.m2ts", kDamaged, "Input/output error; the converted file is kept",
            {0.99, 0.995}},
        {"a read in the middle", "whole.m2ts", kDamaged, "Input/output error; the converted file is kept", {0.5}},
        {"the last read, which the engine's reading of the streams meets first", "whole.m2ts", kDamaged,
            "Input/output error; the converted file is kept", {-1}},
    });
}

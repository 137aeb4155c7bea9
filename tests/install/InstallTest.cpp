// `cmake --install` into a temporary DESTDIR: the program folder, the link,
// the desktop entry, icon and metainfo (checked by desktop-file-validate and
// appstreamcli), and a conversion by an unprivileged user through the link
// from a read-only program folder, which keeps its settings in the user's
// config folder and writes nothing into the program folder.
#include "InstallSupport.h"
#include "integration/FileManagerActions.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QMimeDatabase>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace vexlo::test {
namespace {

namespace fs = std::filesystem;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A short camcorder-like clip (H.264 and AC-3 in MPEG-TS) at `path`.
void makeClip(const std::string& path, const std::string& scratch)
{
    const ProgramRun made = runProgram({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
                                           "testsrc2=size=320x240:rate=25:duration=1", "-f", "lavfi", "-i",
                                           "sine=frequency=440:sample_rate=48000:duration=1", "-c:v", "libx264",
                                           "-preset", "ultrafast", "-c:a", "ac3", "-f", "mpegts", path},
        environmentWith({}), scratch);
    ASSERT_EQ(made.status, 0) << made.err;
}

// Every file below `folder` with its size and modification time.
std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> snapshot(const std::string& folder)
{
    std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> files;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        files[e.path().string()] = {e.is_regular_file() ? e.file_size() : 0, e.last_write_time()};
    return files;
}

// The codecs of a converted file (after a full decode without a word).
std::string decodedCodecs(const std::string& file, const std::string& scratch)
{
    const ProgramRun decode = runProgram(
        {"ffmpeg", "-nostdin", "-v", "error", "-i", file, "-f", "null", "-"}, environmentWith({}), scratch);
    if (decode.status != 0 || !decode.err.empty())
        return "undecodable: " + decode.err;
    return runProgram({"ffprobe", "-v", "error", "-show_entries", "stream=codec_name", "-of", "csv=p=0", file},
        environmentWith({}), scratch)
        .out;
}

class InstallTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_scratch = makeScratchFolder("vexlo-install");
        s_root = s_scratch + "/root";
        s_install = runProgram({VEXLO_CMAKE, "--install", VEXLO_BUILD_DIR, "--prefix", "/usr"},
            environmentWith({{"DESTDIR", s_root}}), s_scratch);
    }
    static void TearDownTestSuite()
    {
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(s_scratch, ec))
            ::chmod(e.path().c_str(), 0755);
        fs::remove_all(s_scratch, ec);
    }
    void SetUp() override { ASSERT_EQ(s_install.status, 0) << s_install.out << s_install.err; }
    static std::string installed(const std::string& path) { return s_root + "/usr/" + path; }

    static inline std::string s_scratch;
    static inline std::string s_root;
    static inline ProgramRun s_install;
};

TEST_F(InstallTest, LaysOutTheProgramFolderTheLinkAndTheDesktopFiles)
{
    for (const char* file : {"vexlo", "trevok", "palvex-integration"})
        EXPECT_EQ(::access(installed(std::string("lib/vexlo/") + file).c_str(), X_OK), 0) << file;
    for (const char* file : {"vexlo.ini", "VideoFormat.dat", "license.txt", "faq.htm", "help/index.htm",
             "help/vexlo.css", "help/commandline.htm"})
        EXPECT_TRUE(fs::is_regular_file(installed(std::string("lib/vexlo/") + file))) << file;
    // The build's program folder, which people copy as it is, holds the same
    // programs: nothing the suites build lands there.
    for (const auto& e : fs::directory_iterator(std::string(VEXLO_BUILD_DIR) + "/bin"))
        if (e.is_regular_file() && ::access(e.path().c_str(), X_OK) == 0) {
            EXPECT_TRUE(fs::exists(installed("lib/vexlo/" + e.path().filename().string()))) << e.path();
        }
    if (fs::exists(std::string(VEXLO_BUILD_DIR) + "/bin/Vexlo.chm")) {
        EXPECT_TRUE(fs::is_regular_file(installed("lib/vexlo/Vexlo.chm")));
    }
    EXPECT_EQ(readFile(installed("lib/vexlo/vexlo.ini")), readFile(std::string(VEXLO_SOURCE_DIR) + "/data/vexlo.ini"))
        << "the shipped catalogue, not a build folder's settings";

    ASSERT_TRUE(fs::is_symlink(installed("bin/vexlo")));
    EXPECT_EQ(fs::read_symlink(installed("bin/vexlo")), "../lib/vexlo/vexlo") << "relative, so DESTDIR moves it";
    const ProgramRun version = runProgram({installed("bin/vexlo"), "--version"}, environmentWith({}), s_scratch);
    EXPECT_EQ(version.out, std::string("Vexlo ") + VEXLO_VERSION + "\n");

    EXPECT_TRUE(fs::is_regular_file(installed("share/icons/hicolor/scalable/apps/vexlo.svg")));
    const std::string entry = readFile(installed("share/applications/vexlo.desktop"));
    EXPECT_TRUE(contains(entry, "\nExec=/usr/bin/vexlo %F\n")) << "the installed program, local paths";
    const ProgramRun desktop = runProgram(
        {"desktop-file-validate", installed("share/applications/vexlo.desktop")}, environmentWith({}), s_scratch);
    EXPECT_EQ(desktop.status, 0) << desktop.out << desktop.err;
    EXPECT_EQ(desktop.out + desktop.err, "");
    const ProgramRun meta = runProgram({"appstreamcli", "validate", "--pedantic", "--no-net",
                                           installed("share/metainfo/example.vexlo.Vexlo.metainfo.xml")},
        environmentWith({}), s_scratch);
    EXPECT_EQ(meta.status, 0) << meta.out << meta.err;
    for (const char* notice : {"W: ", "E: "})
        EXPECT_FALSE(contains(meta.out + meta.err, notice)) << meta.out << meta.err;
}

// What a software centre shows: the screenshots committed in data/screenshots
// with the sizes the metainfo gives, published under the version's address;
// a description of every release; the developer by name.
TEST_F(InstallTest, MetainfoNamesTheScreenshotsAndDescribesEveryRelease)
{
    QFile file(QString::fromStdString(installed("share/metainfo/example.vexlo.Vexlo.metainfo.xml")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    std::vector<std::map<std::string, std::string>> images;
    int releases = 0;
    int described = 0;
    std::string developer;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QString name = xml.name().toString();
        if (name == "image") {
            images.push_back({{"width", xml.attributes().value("width").toString().toStdString()},
                {"height", xml.attributes().value("height").toString().toStdString()},
                {"url", xml.readElementText().toStdString()}});
        } else if (name == "release") {
            ++releases;
        } else if (name == "description" && releases > 0) {
            ++described;
        } else if (name == "developer") {
            EXPECT_EQ(xml.attributes().value("id").toString(), "example.vexlo");
            while (xml.readNextStartElement()) {
                if (xml.name() == QLatin1String("name"))
                    developer = xml.readElementText().toStdString();
                else
                    xml.skipCurrentElement();
            }
        } else if (name == "developer_name") {
            ADD_FAILURE() << "developer_name is deprecated: <developer><name>";
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_GE(releases, 1);
    EXPECT_EQ(described, releases) << "every release has a description";
    EXPECT_EQ(developer, "The Vexlo developers");

    const std::string prefix = std::string("https://www.vexlo.example/screenshots/") + VEXLO_VERSION + "/";
    std::set<std::string> named;
    ASSERT_GE(images.size(), 2u);
    for (const auto& image : images) {
        const std::string url = image.at("url");
        SCOPED_TRACE(url);
        ASSERT_EQ(url.rfind(prefix, 0), 0u) << "published for this version";
        const std::string png = std::string(VEXLO_SOURCE_DIR) + "/data/screenshots/" + url.substr(prefix.size());
        named.insert(fs::path(png).filename().string());
        // The PNG header: the width and height of the picture, big-endian.
        const std::string head = readFile(png).substr(0, 24);
        ASSERT_EQ(head.size(), 24u) << png << " is committed";
        ASSERT_EQ(head.substr(1, 3), "PNG");
        auto be32 = [&](size_t at) {
            return std::to_string((uint32_t(uint8_t(head[at])) << 24) | (uint32_t(uint8_t(head[at + 1])) << 16)
                | (uint32_t(uint8_t(head[at + 2])) << 8) | uint32_t(uint8_t(head[at + 3])));
        };
        EXPECT_EQ(image.at("width"), be32(16));
        EXPECT_EQ(image.at("height"), be32(20));
        EXPECT_LT(fs::file_size(png), 150u * 1024) << "small enough to commit";
    }
    std::set<std::string> committed;
    for (const auto& e : fs::directory_iterator(std::string(VEXLO_SOURCE_DIR) + "/data/screenshots"))
        committed.insert(e.path().filename().string());
    EXPECT_EQ(committed, named) << "every committed picture is shown, and no other";
}

// "Open with Vexlo" is offered for every type that a supported extension has,
// and the file-manager actions that filter by type use the same list.
TEST_F(InstallTest, DesktopEntryOffersEverySupportedVideoType)
{
    const std::string entry = readFile(installed("share/applications/vexlo.desktop"));
    const size_t at = entry.find("\nMimeType=");
    ASSERT_NE(at, std::string::npos);
    std::set<std::string> offered;
    std::istringstream list(entry.substr(at + 10, entry.find('\n', at + 1) - at - 10));
    for (std::string type; std::getline(list, type, ';');)
        offered.insert(type);
    EXPECT_EQ(
        offered, std::set<std::string>(integration::videoMimeTypes().begin(), integration::videoMimeTypes().end()));

    // Types a supported extension also names but that are no video: tracker
    // music and object files share ".mod" with camcorder clips, Qt's
    // translation sources ".ts" with TV recordings.
    const std::set<std::string> notOffered{"audio/x-mod", "application/x-object", "text/vnd.trolltech.linguist"};
    const QMimeDatabase db;
    for (const std::string& pattern : integration::videoNamePatterns()) {
        const QString name = QStringLiteral("clip") + QString::fromStdString(pattern.substr(1));
        for (const QMimeType& type : db.mimeTypesForFileName(name)) {
            const std::string t = type.name().toStdString();
            EXPECT_TRUE(offered.count(t) || notOffered.count(t)) << pattern << " is " << t;
        }
    }
}

TEST_F(InstallTest, ConvertsAsAnotherUserFromAReadOnlyProgramFolder)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to run the program as another user (setpriv); CI runs as root";
    const std::string program = installed("lib/vexlo");
    const std::string home = s_scratch + "/user";
    const std::string clip = home + "/clips/holiday.mts";
    fs::create_directories(home + "/clips");
    const ProgramRun made = runProgram({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
                                           "testsrc2=size=320x240:rate=25:duration=1", "-f", "lavfi", "-i",
                                           "sine=frequency=440:sample_rate=48000:duration=1", "-c:v", "libx264",
                                           "-preset", "ultrafast", "-c:a", "ac3", "-f", "mpegts", clip},
        environmentWith({}), s_scratch);
    ASSERT_EQ(made.status, 0) << made.err;
    for (const auto& e : fs::recursive_directory_iterator(home))
        ASSERT_EQ(::chown(e.path().c_str(), 65534, 65534), 0) << std::strerror(errno);
    ASSERT_EQ(::chown(home.c_str(), 65534, 65534), 0) << std::strerror(errno);
    // Read-only for everybody, and a snapshot to compare with afterwards.
    std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> before;
    for (const auto& e : fs::recursive_directory_iterator(program)) {
        ::chmod(e.path().c_str(), e.is_directory() || ::access(e.path().c_str(), X_OK) == 0 ? 0555 : 0444);
        before[e.path().string()] = {e.is_regular_file() ? e.file_size() : 0, e.last_write_time()};
    }
    ::chmod(program.c_str(), 0555);

    // The user's own environment: no XDG folders, no registry override.
    std::vector<std::string> userEnv{"HOME=" + home, "QT_QPA_PLATFORM=offscreen", "LANG=C.UTF-8",
        "PATH=" + std::string(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin")};
    for (const char* keep : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
        if (const char* value = std::getenv(keep))
            userEnv.push_back(std::string(keep) + "=" + value);
    }
    const ProgramRun run = runProgram(
        {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--", installed("bin/vexlo"), "-S", "-0", clip},
        userEnv, s_scratch);
    EXPECT_EQ(run.status, 0) << run.out << run.err;

    const std::string settings = home + "/.config/vexlo/vexlo.ini";
    EXPECT_TRUE(contains(readFile(settings), "[VideoFormat0]\nTitle=MP4 MPEG-4 Video (*.mp4)\n"))
        << "the user's settings start as the shipped catalogue";
    struct stat st {};
    ASSERT_EQ(::stat(settings.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);

    std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> after;
    for (const auto& e : fs::recursive_directory_iterator(program))
        after[e.path().string()] = {e.is_regular_file() ? e.file_size() : 0, e.last_write_time()};
    EXPECT_EQ(after.size(), before.size()) << "nothing new in the program folder";
    EXPECT_TRUE(after == before);

    // The target beside the source, decoded in full.
    const std::string target = home + "/clips/holiday.mp4";
    ASSERT_TRUE(fs::exists(target));
    const ProgramRun decode = runProgram(
        {"ffmpeg", "-nostdin", "-v", "error", "-i", target, "-f", "null", "-"}, environmentWith({}), s_scratch);
    EXPECT_EQ(decode.status, 0);
    EXPECT_EQ(decode.err, "");
    const ProgramRun probe
        = runProgram({"ffprobe", "-v", "error", "-show_entries", "stream=codec_name,width", "-of", "csv=p=0", target},
            environmentWith({}), s_scratch);
    EXPECT_EQ(probe.out, "mpeg4,640\naac\n");
}

// The installed folder is writable for whoever runs this test (root in CI):
// still the settings go to the runner's own config folder and nothing in the
// program folder changes, so the next user's settings start from the shipped
// catalogue.
TEST_F(InstallTest, AnOwnerOrRootWhoCouldWriteTheProgramFolderWritesNothingThere)
{
    const std::string program = installed("lib/vexlo");
    ASSERT_EQ(::access(program.c_str(), W_OK), 0);
    const std::string home = s_scratch + "/root-home";
    fs::create_directories(home + "/clips");
    makeClip(home + "/clips/a.mts", s_scratch);
    const auto before = snapshot(program);
    const ProgramRun run = runProgram({installed("bin/vexlo"), "-S", "-0", "-" + home + "/out", home + "/clips/a.mts"},
        environmentWith(
            {{"HOME", home}, {"XDG_CONFIG_HOME", ""}, {"VEXLO_REGISTRY", ""}, {"QT_QPA_PLATFORM", "offscreen"}}),
        s_scratch);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(snapshot(program) == before) << "nothing new or changed in the program folder";
    EXPECT_FALSE(fs::exists(program + "/vexlo.ini.lock"));
    EXPECT_TRUE(fs::is_regular_file(home + "/.config/vexlo/vexlo.ini"));
    EXPECT_EQ(decodedCodecs(home + "/out/a.mp4", s_scratch), "mpeg4\naac\n");
}

// The nobody account and its like: ~/.config a file, a home it cannot write,
// a home that does not exist. The shipped profile is used (WebM VP9 for 23),
// the run succeeds, and a profile number the catalogue lacks is refused.
TEST_F(InstallTest, AccountsWithoutAUsableHomeConvertWithTheProfileTheyAskFor)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to run the program as another user (setpriv); CI runs as root";
    const std::string base = s_scratch + "/homeless";
    fs::create_directories(base + "/clips");
    makeClip(base + "/clips/clip.m2ts", s_scratch);
    fs::create_directories(base + "/config-is-a-file");
    std::ofstream(base + "/config-is-a-file/.config") << "not a folder\n";
    fs::create_directories(base + "/read-only");
    for (const char* home : {"/config-is-a-file", "/read-only"})
        ASSERT_EQ(::chown((base + home).c_str(), 65534, 65534), 0) << std::strerror(errno);
    ::chmod((base + "/read-only").c_str(), 0555);

    const std::vector<std::string> homes{base + "/config-is-a-file", base + "/read-only", "/nonexistent"};
    for (size_t i = 0; i < homes.size(); ++i) {
        SCOPED_TRACE(homes[i]);
        const std::string out = base + "/out" + std::to_string(i);
        fs::create_directories(out);
        ASSERT_EQ(::chown(out.c_str(), 65534, 65534), 0) << std::strerror(errno);
        const std::vector<std::string> env{"HOME=" + homes[i], "LANG=C.UTF-8", "PATH=/usr/bin:/bin"};
        const std::vector<std::string> asNobody{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
        std::vector<std::string> argv = asNobody;
        for (const std::string& a :
            {installed("bin/vexlo"), std::string("-S"), std::string("-23"), "-" + out, base + "/clips/clip.m2ts"})
            argv.push_back(a);
        const ProgramRun run = runProgram(argv, env, s_scratch);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_FALSE(fs::exists(out + "/clip.mp4"));
        EXPECT_EQ(decodedCodecs(out + "/clip.webm", s_scratch), "vp9\nopus\n");

        argv = asNobody;
        for (const std::string& a :
            {installed("bin/vexlo"), std::string("-S"), std::string("-99"), "-" + out, base + "/clips/clip.m2ts"})
            argv.push_back(a);
        const ProgramRun unknown = runProgram(argv, env, s_scratch);
        EXPECT_EQ(unknown.status, 2);
        EXPECT_TRUE(contains(unknown.err, "vexlo: unknown profile 99\n")) << unknown.err;
        EXPECT_FALSE(fs::exists(out + "/clip.mp4"));
    }
    EXPECT_FALSE(fs::exists("/nonexistent"));
    EXPECT_EQ(readFile(base + "/config-is-a-file/.config"), "not a folder\n");
}

} // namespace
} // namespace vexlo::test

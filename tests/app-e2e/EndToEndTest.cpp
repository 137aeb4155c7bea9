// The built program started as a child: its switches, its exit status after a
// command-line run, SIGTERM closing the window as its close box does, and
// every silent start ending by itself, and what a run says on the desktop bus.
#include "EndToEnd.h"

#include <sys/sysmacros.h>
#include "support/PrivateBus.h"

#include <algorithm>
#include <sys/stat.h>

namespace vexlo::test {
namespace {

TEST_F(EndToEndTest, VersionAndHelpPrintAndExitZero)
{
    start({"--version"});
    EXPECT_EQ(waitForExit(), 0);
    EXPECT_EQ(output(), std::string("Vexlo ") + VEXLO_VERSION + "\n");
    for (const char* sw : {"--help", "-h"}) {
        start({sw});
        EXPECT_EQ(waitForExit(), 0) << sw;
        EXPECT_EQ(output().rfind("Usage: vexlo", 0), 0u) << sw;
    }
    EXPECT_FALSE(fs::exists(tp.settingsPath()));
}

TEST_F(EndToEndTest, SigtermClosesAsTheCloseBoxDoes)
{
    const std::string clip = tp.root() + "a.m2ts";
    writeClip(clip);
    writeFile(tp.settingsPath(), "[Options]\nSaveFileList=1\n[FileList]\nfirst=" + clip + "\n");
    start({});
    ASSERT_TRUE(waitUntilReady());
    ASSERT_EQ(::kill(m_pid, SIGTERM), 0);
    EXPECT_EQ(waitForExit(), 0);
    const auto doc = ini();
    EXPECT_EQ(doc.keys("FileList"), std::vector<std::string>{"0"}) << "the list was stored again";
    EXPECT_EQ(doc.readText("FileList", "0", ""), clip);
    EXPECT_EQ(doc.readInteger("Main", "Width", -1), 800) << "the placement was saved";
    EXPECT_EQ(doc.readText("Main", "Maximized", ""), "0");
}

TEST_F(EndToEndTest, CommandLineRunExitStatus)
{
    const std::string clip = tp.root() + "v/a.m2ts";
    writeClip(clip);
    start({"-0", clip});
    EXPECT_EQ(waitForExit(), 0) << "a completed auto run closes the program";
    ASSERT_EQ(fakeEngineCalls(tp).size(), 1u);
    EXPECT_TRUE(fs::exists(tp.root() + "v/a.mp4"));

    fs::remove(tp.root() + "v/a.mp4");
    setFakeEngineScript(tp, {"", "target flag=1"});
    start({"-0", clip, "-S"});
    EXPECT_EQ(waitForExit(), 1) << "an aborted silent run ends the program with 1";
    EXPECT_EQ(fakeEngineCalls(tp).size(), 2u);
}

TEST_F(EndToEndTest, AbortedVisibleAutoRunStaysOpenAndExitsOneWhenClosed)
{
    const std::string clip = tp.root() + "v/a.m2ts";
    writeClip(clip);
    setFakeEngineScript(tp, {"target flag=1"});
    start({"-0", clip});
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (fakeEngineCalls(tp).empty() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(20ms);
    ASSERT_EQ(fakeEngineCalls(tp).size(), 1u);
    EXPECT_EQ(waitForExit(700ms), -1) << "the window stays open";
    ASSERT_TRUE(waitUntilReady());
    ::kill(m_pid, SIGTERM);
    EXPECT_EQ(waitForExit(), 1);
}

TEST_F(EndToEndTest, EverySilentStartEndsByItselfWithItsStatus)
{
    const std::string a = clip("v/a.m2ts");
    fs::create_directories(tp.root() + "empty");
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int status;
        const char* told; // on standard error; "" for nothing in particular
    };
    const Case cases[] = {
        {"a missing file", {"-S", "-0", tp.root() + "missing.m2ts"}, 2, ""},
        {"a pattern matching nothing", {"-S", "-0", "-" + tp.root() + "out", tp.root() + "empty/*.m2ts"}, 2, ""},
        {"only unsupported files", {"-S", "-0", tp.root() + "notes.txt"}, 2, "not a supported video file"},
        {"a profile prefix that is no number", {"-S", "abc:" + tp.root() + "v", "a.m2ts"}, 2,
            "not a valid integer value"},
        {"no file at all", {"-S"}, 2, ""},
        {"a completed run", {"-S", "-0", a}, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        start(c.args);
        EXPECT_EQ(waitForExit(20s), c.status);
        EXPECT_NE(errors().find(c.told), std::string::npos) << errors();
    }
    EXPECT_EQ(fakeEngineCalls(tp).size(), 1u);
    EXPECT_FALSE(fs::exists(tp.settingsPath()) && ini().hasSection("Main")) << "a silent start stores no placement";
}

TEST_F(EndToEndTest, SilentRunAnswersNoToTheOverwriteQuestionOnStandardError)
{
    const std::string a = clip("v/a.m2ts");
    writeFile(tp.root() + "v/a.mp4", "an earlier conversion");
    writeFile(tp.settingsPath(), "[Options]\nPromptOverwrite=1\n");
    start({"-S", "-0", a});
    EXPECT_EQ(waitForExit(20s), 1);
    EXPECT_TRUE(fakeEngineCalls(tp).empty());
    EXPECT_EQ(readFile(tp.root() + "v/a.mp4"), "an earlier conversion");
    EXPECT_NE(errors().find("Target file already existing!"), std::string::npos) << errors();
    EXPECT_NE(errors().find("answered No"), std::string::npos) << errors();
}

TEST_F(EndToEndTest, SilentRunWithAReadOnlySettingsFileEndsAndSaysWhy)
{
    const std::string a = clip("v/a.m2ts");
    writeFile(tp.settingsPath(), "[Options]\nSaveFileList=1\n");
    fs::permissions(tp.settingsPath(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::string before = readFile(tp.settingsPath());
    start({"-S", "-0", a});
    EXPECT_EQ(waitForExit(20s), 0) << "the conversion itself completed";
    EXPECT_NE(errors().find("Unable to write to " + tp.settingsPath()), std::string::npos) << errors();
    EXPECT_EQ(readFile(tp.settingsPath()), before) << "a file its owner made read-only is never replaced";
}

TEST_F(EndToEndTest, SilentRunNeedsNoDisplayAndAWindowSaysItNeedsOne)
{
    const std::string a = clip("v/a.m2ts");
    start({"-S", "-0", a}, {.offscreen = false});
    EXPECT_EQ(waitForExit(20s), 0) << errors();
    EXPECT_TRUE(fs::exists(tp.root() + "v/a.mp4"));

    start({a}, {.offscreen = false});
    EXPECT_EQ(waitForExit(20s), 2);
    const std::string told = errors();
    EXPECT_NE(told.find("no display"), std::string::npos) << told;
    EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 1) << told;
}

TEST_F(EndToEndTest, CommandLineAsAShellHandsItOver)
{
    // What "cd clips && vexlo -S -0 *.mts" passes: relative names, all of
    // them in the working folder.
    clip("clips/a.mts");
    clip("clips/b.mts");
    start({"-S", "-0", "a.mts", "b.mts"}, {.workingFolder = tp.root() + "clips"});
    EXPECT_EQ(waitForExit(20s), 0) << errors();
    EXPECT_TRUE(fs::exists(tp.root() + "clips/a.mp4"));
    EXPECT_TRUE(fs::exists(tp.root() + "clips/b.mp4"));

    // "?" matches one character, as documented.
    clip("clips/c1.mts");
    start({"-S", "-0", tp.root() + "clips/c?.mts"});
    EXPECT_EQ(waitForExit(20s), 0) << errors();
    EXPECT_TRUE(fs::exists(tp.root() + "clips/c1.mp4"));

    // An unknown long option is a mistake, not a folder to create.
    for (const char* option : {"--silent", "--output=/x"}) {
        start({option, "a.mts"}, {.workingFolder = tp.root() + "clips"});
        EXPECT_EQ(waitForExit(20s), 2) << option;
        EXPECT_NE(errors().find("Usage: vexlo"), std::string::npos) << option;
        EXPECT_FALSE(fs::exists(tp.root() + "clips/-silent"));
        EXPECT_FALSE(fs::exists(tp.root() + "clips/-output="));
    }
}

TEST_F(EndToEndTest, SigtermDuringARunCancelsTheEngineAndStartsNoOther)
{
    writeFile(tp.settingsPath(), "[Options]\nDeleteSourceWhenDone=1\nDelFileWhenCanceled=1\n");
    const std::vector<std::string> sources = {clip("v/a.m2ts"), clip("v/b.m2ts"), clip("v/c.m2ts")};
    setFakeEngineScript(tp, {"target sleep=30000"});
    start({"-S", "-0", sources[0], sources[1], sources[2]});
    ASSERT_TRUE(waitForEngineCalls(1));
    ASSERT_TRUE(waitUntilReady());
    ::kill(m_pid, SIGTERM);
    EXPECT_EQ(waitForExit(10s), 1);
    EXPECT_EQ(fakeEngineCalls(tp).size(), 1u);
    for (const auto& s : sources)
        EXPECT_TRUE(fs::exists(s)) << s;
    EXPECT_FALSE(fs::exists(tp.root() + "v/a.mp4")) << "the cancelled file's unfinished target";
}

TEST_F(EndToEndTest, SigtermEndsTheProgramWhileAModalBoxIsOpen)
{
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "runs on Xvfb (run-on-xvfb), where the question can be seen";
    // A visible run's overwrite question waits for an answer.
    const std::string a = clip("v/a.m2ts");
    writeFile(tp.root() + "v/a.mp4", "an earlier conversion");
    writeFile(tp.settingsPath(), "[Options]\nPromptOverwrite=1\n");
    start({"-0", a}, {.onDisplay = true});
    // A busy machine may take long to start the instrumented program.
    ASSERT_TRUE(waitForWindowTitled("Overwrite", 45s))
        << (waitForExit(100ms) < 0 ? "still running" : "ended") << "; it printed:\n"
        << errors();
    ::kill(m_pid, SIGTERM);
    EXPECT_EQ(waitForExit(10s), 1) << "the question counts as answered No: the run was aborted";
    EXPECT_TRUE(fakeEngineCalls(tp).empty());
    EXPECT_EQ(readFile(tp.root() + "v/a.mp4"), "an earlier conversion");
}

TEST_F(EndToEndTest, SettingsFileThatIsNoRegularFileDoesNotHangTheStart)
{
    const std::string a = clip("v/a.m2ts");
    ASSERT_EQ(::mkfifo(tp.settingsPath().c_str(), 0644), 0);
    start({"-S", "-0", a});
    EXPECT_EQ(waitForExit(20s), 0) << errors();
    EXPECT_TRUE(fs::exists(tp.root() + "v/a.mp4"));
    fs::remove(tp.settingsPath());

    // A link to an endless device reads as no file and is never written. The
    // device is a node of the test's own (the zero device's numbers), so that
    // nothing can ever be written beside /dev; without root a FIFO stands in.
    const std::string zero = tp.root() + "dev/zero";
    fs::create_directories(tp.root() + "dev");
    if (::mknod(zero.c_str(), S_IFCHR | 0666, ::makedev(1, 5)) != 0) {
        ASSERT_EQ(::mkfifo(zero.c_str(), 0644), 0);
    }
    fs::create_symlink(zero, tp.settingsPath());
    start({"-S", "-0", a});
    EXPECT_EQ(waitForExit(20s), 0) << errors();
    // A window's close cannot store its placement there: the error box is
    // shown, and answered by a second SIGTERM.
    start({});
    ASSERT_TRUE(waitUntilReady());
    ::kill(m_pid, SIGTERM);
    EXPECT_EQ(waitForExit(1s), -1) << "the write error is reported";
    ::kill(m_pid, SIGTERM);
    EXPECT_EQ(waitForExit(20s), 0);
    EXPECT_FALSE(fs::is_regular_file(zero)) << "the device was not replaced";
    EXPECT_FALSE(fs::exists(zero + ".lock")) << "no lock file beside a device";
    EXPECT_TRUE(fs::is_symlink(tp.settingsPath()));
}

TEST_F(EndToEndTest, SavedListOf50000RowsSurvivesTwoRestarts)
{
#ifdef __SANITIZE_ADDRESS__
    constexpr int kRows = 8000; // still twice what a 16 KiB key list held; 50,000 takes minutes here
#else
    constexpr int kRows = 50000;
#endif
    std::string text = "[Options]\nSaveFileList=1\n[FileList]\n";
    fs::create_directories(tp.root() + "many");
    for (int i = 0; i < kRows; ++i) {
        const std::string path = tp.root() + "many/clip" + std::to_string(i) + ".m2ts";
        std::ofstream(path) << 'x';
        text += std::to_string(i) + "=" + path + "\n";
    }
    writeFile(tp.settingsPath(), text);
    for (int round = 0; round < 2; ++round) {
        start({});
        ASSERT_TRUE(waitUntilReady());
        ::kill(m_pid, SIGTERM);
        ASSERT_EQ(waitForExit(60s), 0) << "round " << round;
        const auto doc = ini();
        ASSERT_EQ(doc.allKeys("FileList").size(), size_t(kRows)) << "round " << round;
        EXPECT_EQ(doc.readText("FileList", std::to_string(kRows - 1), ""),
            tp.root() + "many/clip" + std::to_string(kRows - 1) + ".m2ts");
    }
}

// Messages seen by dbus-monitor: each starts with an unindented line.
std::vector<std::string> monitoredMessages(const std::string& log)
{
    std::vector<std::string> messages;
    size_t from = 0;
    while (from < log.size()) {
        size_t end = log.find('\n', from);
        if (end == std::string::npos)
            end = log.size();
        const std::string line = log.substr(from, end - from);
        if (!line.empty() && line[0] != ' ')
            messages.push_back(line);
        else if (!messages.empty())
            messages.back() += "\n" + line;
        from = end + 1;
    }
    return messages;
}

TEST_F(EndToEndTest, ARunAsksTheDesktopToStayAwakeAndShowsItsProgress)
{
    PrivateBus bus(tp.root());
    ASSERT_FALSE(bus.address().empty()) << "no dbus-daemon (scripts/deps installs it)";
    const std::string log = tp.root() + "monitor.log";
    pid_t monitor = -1;
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::string address = bus.address();
        char program[] = "dbus-monitor", addressSwitch[] = "--address";
        char* argv[] = {program, addressSwitch, address.data(), nullptr};
        ASSERT_EQ(::posix_spawnp(&monitor, program, &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
    }
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (readFile(log).empty() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(20ms);

    // Neither logind, nor a portal, nor a screensaver serves this bus.
    const std::string a = tp.root() + "v/a.m2ts", b = tp.root() + "v/b.m2ts";
    writeClip(a);
    writeClip(b);
    setFakeEngineScript(tp, {"target sleep=200", "target"});
    m_busAddress = bus.address();
    start({"-0", a, b});
    EXPECT_EQ(waitForExit(), 0);
    // The bus delivers in order: once a marker sent now is in the log, so is
    // everything the program sent.
    const int marker = spawnProgram(
        {"dbus-send", "--address=" + bus.address(), "--type=signal", "/vexlo/test", "org.vexlo.Test.Marker"}, {},
        tp.root() + "marker.out", tp.root() + "marker.err");
    EXPECT_EQ(waitForProgram(marker), 0) << readFile(tp.root() + "marker.err");
    const auto until2 = std::chrono::steady_clock::now() + 10s;
    while (readFile(log).find("member=Marker") == std::string::npos && std::chrono::steady_clock::now() < until2)
        std::this_thread::sleep_for(20ms);
    ::kill(monitor, SIGTERM);
    ::waitpid(monitor, nullptr, 0);

    const std::string errors = readFile(tp.root() + "stderr");
    const size_t said = errors.find("cannot keep the computer awake");
    EXPECT_NE(said, std::string::npos) << errors;
    EXPECT_EQ(errors.find("awake", said + 40), std::string::npos) << "one line per run: " << errors;

    std::vector<std::string> inhibitors, progress;
    for (const std::string& m : monitoredMessages(readFile(log))) {
        if (m.rfind("method call", 0) == 0 && m.find("member=Inhibit") != std::string::npos)
            inhibitors.push_back(m.substr(
                m.find("destination=") + 12, m.find(' ', m.find("destination=")) - m.find("destination=") - 12));
        if (m.rfind("signal", 0) == 0
            && m.find("interface=com.canonical.Unity.LauncherEntry; member=Update") != std::string::npos) {
            EXPECT_NE(m.find("string \"application://vexlo.desktop\""), std::string::npos) << m;
            const size_t p = m.find("\"progress\"");
            const size_t v = m.find("\"progress-visible\"");
            ASSERT_TRUE(p != std::string::npos && v != std::string::npos) << m;
            const auto valueAfter = [&m](size_t at, const char* kind) {
                const size_t k = m.find(kind, at) + std::string(kind).size();
                return m.substr(k, m.find_first_of(" \n)", k) - k);
            };
            progress.push_back(valueAfter(p, "double ") + " " + valueAfter(v, "boolean "));
        }
    }
    EXPECT_EQ(inhibitors,
        (std::vector<std::string>{
            "org.freedesktop.login1", "org.freedesktop.portal.Desktop", "org.freedesktop.ScreenSaver"}))
        << "logind first, then the fallbacks in order";
    EXPECT_EQ(progress, (std::vector<std::string>{"0 true", "0.5 true", "1 true", "1 false"}));
}

// What ffprobe says of `file`: "key=value" lines of the first video and audio stream.
std::string probeStreams(const std::string& file)
{
    const std::string out = file + ".probe";
    const std::string command = "ffprobe -v error -show_entries stream=codec_name,width,height,channels,sample_rate "
                                "-of default=nw=1 'file:"
        + file + "' > '" + out + "' 2>&1";
    return std::system(command.c_str()) == 0 ? readFile(out) : "ffprobe failed: " + readFile(out);
}

TEST_F(EndToEndTest, SilentCommandLineRunWithTheNewProfilesAndTheRealEngine)
{
    // The installed catalogue, the real engine, a small clip: "-S -18" and
    // "-S -24" write an H.264 MP4 and an H.265/FLAC Matroska archive beside it.
    useRealEngine();
    writeFile(tp.settingsPath(), readFile(VEXLO_SOURCE_DIR "/data/vexlo.ini"));
    const std::string clip = tp.root() + "clips/garden.m2ts";
    ASSERT_TRUE(makeVideo(clip, "testsrc2=size=320x240:rate=25:duration=1",
        "sine=frequency=440:sample_rate=44100:duration=1", "-c:a ac3 -f mpegts"));
    const std::vector<std::string> environment = {"VEXLO_REGISTRY=" + tp.root() + "registry"};

    start({"-S", "-18", clip}, {.environment = environment});
    ASSERT_EQ(waitForExit(120s), 0) << errors();
    EXPECT_EQ(probeStreams(tp.root() + "clips/garden.mp4"),
        "codec_name=h264\nwidth=320\nheight=240\ncodec_name=aac\nsample_rate=48000\nchannels=2\n");

    start({"-S", "-24", clip}, {.environment = environment});
    ASSERT_EQ(waitForExit(120s), 0) << errors();
    EXPECT_EQ(probeStreams(tp.root() + "clips/garden.mkv"),
        "codec_name=hevc\nwidth=320\nheight=240\ncodec_name=flac\nsample_rate=44100\nchannels=1\n");
    EXPECT_TRUE(fs::exists(clip)) << "the source stays";
}

TEST_F(EndToEndTest, ACutCopyKeepsItsSourceUnderDeleteSourceWhenDone)
{
    // An MP4 whose index describes 4 s but whose data ends after 2 s (an
    // interrupted copy from a card), converted by the real engine with
    // "Delete source file after finish" on: the file counts as failed, so
    // the source stays, and so does the converted part.
    useRealEngine();
    writeFile(
        tp.settingsPath(), readFile(VEXLO_SOURCE_DIR "/data/vexlo.ini") + "\n[Options]\nDeleteSourceWhenDone=1\n");
    const std::string whole = tp.root() + "card/whole.mp4";
    ASSERT_TRUE(makeVideo(whole, "testsrc2=size=320x240:rate=25:duration=4",
        "sine=frequency=440:sample_rate=48000:duration=4", "-c:a aac -movflags +faststart"));
    const std::string clip = tp.root() + "card/clip.mp4";
    fs::copy_file(whole, clip);
    fs::resize_file(clip, fs::file_size(whole) / 2);
    fs::remove(whole);

    start({"-S", "-18", "-" + tp.root() + "out/", clip}, {.environment = {"VEXLO_REGISTRY=" + tp.root() + "registry"}});
    EXPECT_EQ(waitForExit(120s), 1) << "a file not converted completely is no success";
    EXPECT_TRUE(fs::exists(clip)) << "the source stays: " << errors();
    EXPECT_NE(errors().find("the source is incomplete: 2.0 of 4.0 s converted"), std::string::npos) << errors();
    EXPECT_TRUE(fs::exists(tp.root() + "out/clip (incomplete).mp4"))
        << "the converted part stays for the user, under a name that says what it is";
    EXPECT_FALSE(fs::exists(tp.root() + "out/clip.mp4")) << "nothing incomplete under the target name";
}

// What a result holds decides whether its source may go, with the real
// engine and profile 18 (H.264 MP4): recordings joined with cat convert
// whole, every sound track and a text subtitle are carried, and a second
// video stream, which no profile converts, keeps its source.
TEST_F(EndToEndTest, ASourceGoesOnlyWhenItsResultHoldsAllOfIt)
{
    useRealEngine();
    writeFile(
        tp.settingsPath(), readFile(VEXLO_SOURCE_DIR "/data/vexlo.ini") + "\n[Options]\nDeleteSourceWhenDone=1\n");
    const std::string card = tp.root() + "card/";
    fs::create_directories(card);
    const std::string pictures = "-f lavfi -i testsrc2=size=320x240:rate=25:duration=3";
    const auto ffmpeg = [](const std::string& args) {
        return std::system(("ffmpeg -nostdin -loglevel error -y " + args).c_str()) == 0;
    };
    writeFile(card + "words.srt", "1\n00:00:00,500 --> 00:00:02,000\nHallo\n");
    // Two camcorder recordings of 12 s, each with its stamps from the start.
    const std::string recording = "-f lavfi -i testsrc2=size=320x240:rate=25:duration=12 -f lavfi -i sine=d=12";
    ASSERT_TRUE(ffmpeg(recording + " -c:v libx264 -preset ultrafast -c:a ac3 -f mpegts '" + card + "a.m2ts'"));
    ASSERT_TRUE(ffmpeg(recording + ":f=660 -c:v libx264 -preset ultrafast -c:a ac3 -f mpegts '" + card + "b.m2ts'"));
    ASSERT_EQ(std::system(("cat '" + card + "a.m2ts' '" + card + "b.m2ts' > '" + card + "joined.m2ts'").c_str()), 0);
    ASSERT_TRUE(ffmpeg(pictures + " -f lavfi -i sine=d=3 -f lavfi -i sine=d=3:f=880 -i '" + card
        + "words.srt' -map 0 -map 1 -map 2 -map 3 -c:v libx264 -preset ultrafast -c:a aac -metadata:s:a:1 "
          "language=deu '"
        + card + "tracks.mkv'"));
    ASSERT_TRUE(ffmpeg(pictures + " " + pictures
        + " -f lavfi -i sine=d=3 -map 0 -map 1 -map 2 -c:v libx264 -preset "
          "ultrafast -c:a aac '"
        + card + "lenses.mov'"));
    struct Case {
        const char* name;
        double seconds; // of the result
        bool sourceGoes;
        const char* told;
    };
    const Case cases[] = {
        {"joined", 24, true, ""},
        {"tracks", 3, true, ""},
        {"lenses", 3, false, "the result holds 1 of 2 video streams; the source file was kept."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string source = card + c.name
            + (c.name == std::string("joined")        ? ".m2ts"
                    : c.name == std::string("tracks") ? ".mkv"
                                                      : ".mov");
        start({"-S", "-18", "-" + tp.root() + "out/", source},
            {.environment = {"VEXLO_REGISTRY=" + tp.root() + "registry"}});
        EXPECT_EQ(waitForExit(120s), c.sourceGoes ? 0 : 1) << errors();
        EXPECT_EQ(fs::exists(source), !c.sourceGoes) << errors();
        EXPECT_NEAR(secondsOf(tp.root() + "out/" + c.name + ".mp4"), c.seconds, 0.3);
        EXPECT_NE(errors().find(c.told), std::string::npos) << errors();
    }
    // Both sound tracks, the second's language, and the subtitle as MP4 text.
    const QString streams = toolOutput("ffprobe",
        {"-v", "error", "-show_entries", "stream=codec_type,codec_name:stream_tags=language", "-of", "csv=p=0",
            QString::fromStdString(tp.root() + "out/tracks.mp4")});
    EXPECT_EQ(streams.count("audio"), 2) << streams.toStdString();
    EXPECT_TRUE(streams.contains("deu")) << streams.toStdString();
    EXPECT_TRUE(streams.contains("mov_text")) << streams.toStdString();
}

} // namespace
} // namespace vexlo::test

#include "Engine.h"
#include "base/Text.h"

#include "Conversion.h"
#include "EngineArgument.h"
#include "FfmpegArguments.h"
#include "PassFolder.h"
#include "ProgressWindow.h"
#include "RecordingDate.h"
#include "SourceProbe.h"
#include "platform/BusProbe.h"
#include "platform/Product.h"
#include "platform/Registry.h"
#include "base/EngineContract.h"
#include "base/SignalPipe.h"

#include <QApplication>
#include <QCoreApplication>
#include <QIcon>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/prctl.h>
#include <filesystem>
#include <memory>
#include <optional>
#include <unistd.h>
#include <variant>
#include <vector>

namespace vexlo::engine {

using contract::kExitComplete;
using contract::kExitFailed;
using contract::kExitIncomplete;
using contract::kExitSourceDamaged;

namespace {

void installSignalHandlers()
{
    std::signal(SIGPIPE, SIG_IGN);
    termination::signalPipe();
    // Started by Vexlo ($TREVOK_PARENT_PID): its death, however it comes
    // (killed, the OOM killer), reaches us as SIGTERM, a cancel.
    if (const char* parent = std::getenv("TREVOK_PARENT_PID"); parent && *parent) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (std::to_string(::getppid()) != parent)
            ::raise(SIGTERM);
    }
}

void say(const std::string& text)
{
    const std::string line = "trevok: " + text + "\n";
    [[maybe_unused]] auto n = ::write(2, line.data(), line.size());
}

// Ends the program's work: the AbortFlag first, then the exit status.
int conclude(int flag, int status)
{
    if (!writeAbortFlag(flag)) {
        say("the AbortFlag could not be written below " + platform::defaultRegistryRoot());
        return kExitFailed;
    }
    return status;
}

int refuse(const std::string& message)
{
    say(message);
    return conclude(2, kExitFailed);
}

// The file's percentage for the program that started us
// ($TREVOK_PROGRESS_FILE): "042\n", written in place, at most four times a
// second and only when it changes.
class PercentFile {
public:
    explicit PercentFile(const char* path)
    {
        if (path && *path)
            m_fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    }
    ~PercentFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    PercentFile(const PercentFile&) = delete;
    PercentFile& operator=(const PercentFile&) = delete;

    void write(std::optional<int> percent)
    {
        const auto now = std::chrono::steady_clock::now();
        if (m_fd < 0 || !percent || *percent == m_last || now - m_written < std::chrono::milliseconds(250))
            return;
        char text[8];
        std::snprintf(text, sizeof text, "%03d\n", std::clamp(*percent, 0, 100));
        if (::pwrite(m_fd, text, 4, 0) == 4) {
            m_last = *percent;
            m_written = now;
        }
    }

private:
    int m_fd = -1;
    int m_last = -1;
    std::chrono::steady_clock::time_point m_written{};
};

void printUsage()
{
    std::printf("Usage: trevok \"<source>|<target>|<video format>|<width>|<height>|"
                "<video kbit/s>|<frame rate>|<channels>|<audio kbit/s>|<sample rate>|"
                "<audio format>|<PSP 0/1>|<S or N>\"\n"
                "       trevok --dry-run \"<13 fields>\"   prints the ffmpeg command, one argument a line\n"
                "Exit status: 0 converted; 2 failed, refused or cancelled; 3 the source ends before its\n"
                "declared length; 4 the source could not be read whole (3 and 4 keep the converted file).\n"
                "$TREVOK_SOURCE_SECONDS_FILE, when set, receives the source's running time in seconds.\n"
                "The conversion engine of %s; see engine/README.md.\n",
        product::kName);
}

bool sameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return std::filesystem::exists(b, ec) && std::filesystem::equivalent(a, b, ec) && !ec;
}

// The program that started us shows the progress in a window of its own
// ($TREVOK_NO_WINDOW set to anything but "" or "0"; Vexlo does so).
bool callerShowsProgress()
{
    const char* value = std::getenv("TREVOK_NO_WINDOW");
    return value && *value && std::strcmp(value, "0") != 0;
}

// Runs the conversion to its end, with its window when there is a display
// and nobody else shows the progress.
void runConversion(Conversion& conversion, const EngineRequest& request, int argc, char** argv)
{
    // Only a window needs the widget machinery; otherwise a core application
    // keeps the start quick.
    const bool window = request.marker == Marker::Normal && displayPresent() && !callerShowsProgress();
    std::unique_ptr<QCoreApplication> app;
    if (window) {
        // Qt's widgets look for the session bus: never start one, never wait
        // for one that does not answer.
        platform::keepSilentBusesAway();
        app = std::make_unique<QApplication>(argc, argv);
        // The window belongs to Vexlo: its icon, and its app id on Wayland
        // (the desktop entry vexlo.desktop), so that docks and Alt+Tab name it.
        QGuiApplication::setDesktopFileName(QStringLiteral("vexlo"));
        QGuiApplication::setWindowIcon(
            QIcon::fromTheme(QStringLiteral("vexlo"), QIcon(QStringLiteral(":/vexlo/vexlo.svg"))));
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }

    std::unique_ptr<QSocketNotifier> signalNotifier;
    if (const int signalPipe = termination::signalPipe(); signalPipe >= 0) {
        signalNotifier = std::make_unique<QSocketNotifier>(signalPipe, QSocketNotifier::Read);
        QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, [&conversion] {
            termination::drainSignalPipe();
            conversion.cancel();
        });
    }

    std::unique_ptr<ProgressWindow> progressWindow;
    if (window) {
        progressWindow = std::make_unique<ProgressWindow>(request.source);
        QObject::connect(progressWindow.get(), &ProgressWindow::cancelRequested, &conversion, &Conversion::cancel);
        QObject::connect(
            progressWindow.get(), &ProgressWindow::stopAfterRequested, &conversion, &Conversion::stopAfterThisFile);
        progressWindow->show();
    }
    PercentFile percentFile(std::getenv("TREVOK_PROGRESS_FILE"));
    QObject::connect(&conversion, &Conversion::progressChanged, [&] {
        const ProgressState& state = conversion.progress();
        const double elapsed = conversion.elapsedSeconds();
        percentFile.write(state.percent());
        if (progressWindow) {
            progressWindow->showProgress(state, elapsed);
            return;
        }
        const auto percent = state.percent();
        const auto remaining = state.remainingSeconds(elapsed);
        say("progress " + (percent ? std::to_string(*percent) + "%" : std::string("?%")) + " elapsed "
            + formatClock(int64_t(elapsed)) + " remaining "
            + (remaining ? formatClock(*remaining) : std::string("--:--:--")));
    });
    // The end of the conversion ends the program whatever the window thinks:
    // QCoreApplication::exit() leaves the loop without asking the windows to
    // close (quit() would, and a window still waiting for an answer refuses).
    QObject::connect(
        &conversion, &Conversion::finished, app.get(),
        [&progressWindow] {
            if (progressWindow)
                progressWindow->conversionEnded();
            QCoreApplication::exit(0);
        },
        Qt::QueuedConnection);

    conversion.start();
    if (termination::requested())
        conversion.cancel();
    app->exec();
    progressWindow.reset();
}

void reportOutcome(Outcome outcome, const EngineRequest& request, const std::string& failure)
{
    switch (outcome) {
    case Outcome::Completed:
        say("done: " + request.target);
        break;
    case Outcome::StoppedAfterFile:
        say("done, and the run stops after this file: " + request.target);
        break;
    case Outcome::Cancelled:
        say("cancelled; the target is incomplete: " + request.target);
        break;
    case Outcome::Failed:
        say("could not convert " + request.source + ": " + failure);
        break;
    }
}

} // namespace

bool writeAbortFlag(int value)
{
    platform::FolderRegistry registry(platform::defaultRegistryRoot());
    return registry.writeValue(platform::Hive::CurrentUser, platform::kAbortFlagKey, "", std::to_string(value));
}

bool displayPresent()
{
    const QByteArray platformName = qgetenv("QT_QPA_PLATFORM");
    if (platformName.startsWith("offscreen") || platformName.startsWith("minimal"))
        return false;
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

std::string incompleteSource(std::optional<double> converted, double sourceSeconds, const std::string& endedEarly)
{
    if (endedEarly.empty() && (!converted || !contract::isShortOf(*converted, sourceSeconds)))
        return {};
    char text[160];
    if (converted && sourceSeconds > 0)
        std::snprintf(
            text, sizeof text, "the source is incomplete: %.1f of %.1f s converted", *converted, sourceSeconds);
    else
        std::snprintf(text, sizeof text, "the source is incomplete");
    return endedEarly.empty() ? std::string(text) : text + (" (" + endedEarly + ")");
}

namespace {

// The source's time line as this conversion read it: its running time, or,
// where its stamps may jump (joined recordings, which ffmpeg reads whole; a
// damaged stamp, which the file's duration takes for its end), what the
// decoders made of it: the first sound track's samples or the pictures at
// the source's rate, whichever is longer.
double timeLineSeconds(const SourceInfo& source, const ProgressParser& log)
{
    if (!source.discontinuousTimes)
        return source.durationSeconds;
    double read = 0;
    if (source.audio && source.audio->sampleRate > 0)
        if (const auto samples = log.decodedSamples(source.audio->index))
            read = double(*samples) / source.audio->sampleRate;
    if (source.video && source.video->frameRate.num > 0 && source.video->frameRate.den > 0)
        if (const auto frames = log.decodedFrames(source.video->index))
            read = std::max(
                read, double(*frames) * double(source.video->frameRate.den) / double(source.video->frameRate.num));
    return read > 0 ? plausibleDuration(read) : source.durationSeconds;
}

// Tells the caller the source's running time, in seconds with three
// decimals, in the file $TREVOK_SOURCE_SECONDS_FILE names (when it is set):
// the length a result that holds the whole source has.
void writeSourceSeconds(double seconds)
{
    const char* path = std::getenv("TREVOK_SOURCE_SECONDS_FILE");
    if (!path || !*path || seconds <= 0)
        return;
    char text[48];
    const int n = std::snprintf(text, sizeof text, "%.3f\n", seconds);
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    [[maybe_unused]] auto written = ::write(fd, text, size_t(n));
    ::close(fd);
}

// The output's time bound in ffmpeg's arguments (its -t), 0 when none.
double boundOf(const std::vector<std::string>& arguments)
{
    for (size_t i = 0; i + 1 < arguments.size(); ++i)
        if (arguments[i] == "-t")
            return text::parseNumberOr(arguments[i + 1], 0);
    return 0;
}

// What a run converts: the request, what the source holds, ffmpeg and its
// arguments, and the recording date the target gets.
struct PreparedRun {
    EngineRequest request;
    SourceInfo source;
    std::string ffmpeg;
    std::vector<FfmpegPass> passes; // the last one writes the target
    std::unique_ptr<PassFolder> passFolder;
    std::optional<RecordingDate> recorded;
    double picturesPerSecond = 0; // the pictures a second written; 0 when unknown
};

// Reads the argument and the source and plans the conversion; the message of
// a refusal otherwise. A dry run says less: it is for people and tools
// that look at the command.
std::variant<PreparedRun, std::string> prepareRun(const char* argument, bool dryRun)
{
    auto parsed = parseEngineArgument(argument);
    if (auto* error = std::get_if<ArgumentError>(&parsed))
        return error->message;
    PreparedRun run;
    run.request = std::get<EngineRequest>(std::move(parsed));
    const EngineRequest& request = run.request;
    if (!dryRun && sameFile(request.source, request.target))
        return "the target is the source file itself: " + request.target;
    run.ffmpeg = ffmpegProgram();
    if (run.ffmpeg.empty())
        return dryRun ? "ffmpeg was not found" : "ffmpeg was not found on PATH (or $VEXLO_FFMPEG)";
    // What the source holds decides the picture's shape, the rates and colours.
    // It is read in this process; $VEXLO_FFPROBE names a prober to run instead.
    std::string probeError;
    std::optional<SourceInfo> source;
    if (const char* prober = std::getenv("VEXLO_FFPROBE"); prober && *prober) {
        const std::string ffprobe = ffprobeProgram(run.ffmpeg);
        if (ffprobe.empty())
            return dryRun ? std::string("ffprobe was not found")
                          : "the prober in $VEXLO_FFPROBE was not found: " + std::string(prober);
        source = probeSource(ffprobe, request.source, probeError);
    } else {
        source = readSource(request.source, probeError, flatPicturesMatter(request));
    }
    if (!source)
        return "could not read " + request.source + ": " + probeError;
    run.source = *source;
    auto planned = planOutput(request, run.source);
    if (auto* error = std::get_if<PlanError>(&planned))
        return "could not convert " + request.source + ": " + error->message;
    OutputPlan plan = std::get<OutputPlan>(planned);
    if (keepRecordingDateWanted() && (run.recorded = recordingDateOf(request.source, run.source)))
        plan.creationTime = containerTimeText(run.recorded->secondsUtc);
    // Two passes share their statistics through a folder of this engine's
    // own; a dry run names it without making it.
    run.passFolder = std::make_unique<PassFolder>();
    run.picturesPerSecond = plan.picturesPerSecond;
    if (!dryRun && encodesInTwoPasses(plan)) {
        // Of an unknown rate, at most 60 pictures a second.
        const double pictures = expectedSeconds(run.source) * (run.picturesPerSecond > 0 ? run.picturesPerSecond : 60);
        std::string error;
        if (!run.passFolder->create(error, statisticsRoom(pictures)))
            return "could not convert " + request.source + ": " + error;
    }
    run.passes = buildFfmpegPasses(request, plan, run.passFolder->logPrefix());
    return run;
}

// Converts, checks what was written, says how it ended and writes the
// AbortFlag; the exit status.
int convert(const PreparedRun& run, int argc, char** argv)
{
    const EngineRequest& request = run.request;
    Conversion conversion(run.ffmpeg, run.passes);
    conversion.setSourceSeconds(expectedSeconds(run.source));
    conversion.setPictureRate(run.picturesPerSecond);
    conversion.setSourceUrl("file:" + request.source);
    runConversion(conversion, request, argc, argv);
    run.passFolder->remove();
    Outcome outcome = conversion.outcome();
    std::string failure = conversion.errorText();
    if (outcome == Outcome::Completed || outcome == Outcome::StoppedAfterFile) {
        // A success that left nothing behind is none.
        std::error_code ec;
        const auto size = std::filesystem::file_size(request.target, ec);
        if (ec || size == 0) {
            outcome = Outcome::Failed;
            failure = "ffmpeg ended without error, but the target is missing or empty";
        }
    }
    const bool complete = outcome == Outcome::Completed || outcome == Outcome::StoppedAfterFile;
    if (complete && run.recorded)
        setFileTime(request.target, run.recorded->secondsUtc);
    if (complete) {
        // How the source was read. A failed read, which ffmpeg takes for the
        // file's end, comes first; then a source whose data ends before its
        // index says (a cut copy); then damaged data that the decoders papered
        // over. Each keeps the target and tells the caller to keep the source.
        const ProgressParser& log = conversion.log();
        const double sourceSeconds = timeLineSeconds(run.source, log);
        writeSourceSeconds(sourceSeconds);
        const std::string& readError = !run.source.readError.empty() ? run.source.readError : log.readError();
        const auto damaged = [&](const std::string& line) {
            say("the source could not be read whole: " + line + "; the converted file is kept: " + request.target);
            return conclude(abortFlagValue(outcome), kExitSourceDamaged);
        };
        if (!readError.empty())
            return damaged(readError);
        // The target's running time is read as the source's is (from its
        // header's stream lengths where it has them). One that does not read as
        // media is left to the checks that ran before (ffmpeg's own report);
        // its length is unknown.
        const std::optional<double> converted = readRunningTime(request.target);
        if (const std::string shortfall = incompleteSource(converted, sourceSeconds, log.dataEndedEarly());
            !shortfall.empty()) {
            say(shortfall + "; the converted part is kept: " + request.target);
            return conclude(abortFlagValue(outcome), kExitIncomplete);
        }
        if (!log.sourceDamage().empty())
            return damaged(log.sourceDamage());
        // The output stopped at its bound: the source's time line runs on
        // beyond what its length and size promise (stamps damaged past
        // mending), and what came after is not in the target.
        const double bound = boundOf(run.passes.back().arguments);
        if (bound > 0 && converted && *converted > bound - 0.5) {
            char text[120];
            std::snprintf(text, sizeof text, "its time stamps run beyond %.1f s, where the output was stopped", bound);
            return damaged(text);
        }
    }
    reportOutcome(outcome, request, failure);
    return conclude(abortFlagValue(outcome), complete ? kExitComplete : kExitFailed);
}

} // namespace

int runEngine(int argc, char** argv)
{
    installSignalHandlers();
    // The AV1 encoder writes a banner of settings to the log by default; only
    // its warnings and errors belong in a failure report (a level set by the
    // user is kept).
    ::setenv("SVT_LOG", "2", 0);
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        printUsage();
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("trevok %s\n", product::kVersion);
        return 0;
    }
    const bool dryRun = argc == 3 && std::strcmp(argv[1], "--dry-run") == 0;
    if (argc != 2 && !dryRun)
        return refuse(
            "exactly one argument (the 13 fields joined by \"|\") is required; got " + std::to_string(argc - 1));

    // The statistics of two-pass conversions whose engine was killed.
    if (!dryRun)
        removeDeadPassFolders(temporaryFolder());
    const auto prepared = prepareRun(argv[dryRun ? 2 : 1], dryRun);
    if (const auto* refusal = std::get_if<std::string>(&prepared))
        return dryRun ? (say(*refusal), kExitFailed) : refuse(*refusal);
    const PreparedRun& run = std::get<PreparedRun>(prepared);
    if (dryRun) {
        std::string out;
        for (const FfmpegPass& pass : run.passes) {
            out += run.ffmpeg + "\n";
            for (const auto& a : pass.arguments)
                out += a + "\n";
        }
        std::fwrite(out.data(), 1, out.size(), stdout);
        return 0;
    }
    if (termination::requested())
        return conclude(2, kExitFailed);
    return convert(run, argc, argv);
}

} // namespace vexlo::engine

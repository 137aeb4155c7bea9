#include "ConversionJob.h"

#include "FileTransaction.h"
#include "MediaCheck.h"
#include "RunLock.h"

#include "base/Paths.h"
#include "base/Text.h"
#include "platform/Product.h"
#include "platform/Registry.h"
#include "shellutil/ConvertPublic.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace vexlo::conversion {

namespace {

constexpr const char* kEngineName = "trevok";

std::string withoutExtension(const std::string& path) { return path.substr(0, paths::extensionStart(path)); }

bool isExecutableFile(const std::string& path)
{
    return paths::isRegularFile(path) && ::access(path.c_str(), X_OK) == 0;
}

bool sameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

struct FlagReading {
    bool present = false; // the value exists (the engine wrote it)
    std::string text;
    std::optional<int32_t> value; // nullopt: not a decimal integer
};

std::optional<int32_t> parseDecimal(std::string_view text)
{
    // Surrounding blanks and line ends are tolerated; anything else must be
    // an optionally signed decimal number that fits 32 bits.
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    if (text.empty())
        return 0;
    return text::parseDecimal32(text);
}

FlagReading readFlag(platform::Registry& registry)
{
    FlagReading reading;
    if (!registry.createKey(platform::Hive::CurrentUser, platform::kAbortFlagKey)) {
        reading.value = 0;
        return reading;
    }
    const auto text = registry.readValue(platform::Hive::CurrentUser, platform::kAbortFlagKey, "");
    reading.present = text.has_value();
    reading.text = text.value_or(std::string());
    reading.value = parseDecimal(reading.text);
    return reading;
}

std::string invalidFlagError(const std::string& text) { return "'" + text + "' is not a valid integer value"; }

} // namespace

std::string targetFileName(const std::string& source, const settings::RunSettings& rs)
{
    std::string target = withoutExtension(source) + rs.FileType;
    if (!rs.ConvertToSamePath) {
        target = paths::withTrailingSlash(rs.DestPath) + target.substr(target.rfind('/') + 1);
    }
    if (text::asciiEqualNoCase(target, source) || sameFile(source, target))
        target = withoutExtension(source) + "_New" + rs.FileType;
    return target;
}

std::string buildEngineArgument(
    const std::string& source, const std::string& target, const settings::RunSettings& rs, char marker)
{
    std::string a;
    a.reserve(source.size() + target.size() + rs.VideoFormat.size() + 96);
    const auto text = [&a](const std::string& s) {
        a += s;
        a += '|';
    };
    const auto number = [&a](int32_t v) {
        a += std::to_string(v);
        a += '|';
    };
    text(source);
    text(target);
    text(rs.VideoFormat);
    number(rs.FrameWidth);
    number(rs.FrameHeight);
    number(rs.VideoBitrate);
    text(rs.FrameRate);
    number(rs.ChannelCount);
    number(rs.AudioBitrate);
    number(rs.SampleRate);
    text(rs.AudioFormat);
    number(rs.IsPSP);
    a += marker;
    return a;
}

std::optional<int32_t> ReadAbortFlag(platform::Registry& registry) { return readFlag(registry).value; }

std::string findEngine()
{
    const std::string beside = platform::programFolder() + kEngineName;
    if (isExecutableFile(beside))
        return beside;
    if (std::string onPath = paths::findOnPath(kEngineName); !onPath.empty())
        return onPath;
    return kEngineName;
}

namespace {

// The engine's exit status for "converted, but the source is incomplete"
// (it ends early): the converted part is kept, the source too.
constexpr int kIncompleteSourceStatus = 3;

// "%1" ... "%9" of a translated text replaced by byte strings (file names
// stay as the file system spells them).
std::string fill(const QString& format, std::initializer_list<std::string> values)
{
    std::string out = format.toStdString();
    int n = 1;
    for (const std::string& value : values) {
        const std::string mark = "%" + std::to_string(n++);
        const size_t at = out.find(mark);
        if (at != std::string::npos)
            out.replace(at, mark.size(), value);
    }
    return out;
}

std::string seconds(double s) { return QString::number(s, 'f', 1).toStdString(); }

// Why the engine failed, from the end of its standard error: its last own
// line ("trevok: ...") and the lines after it (ffmpeg's last words), at most
// 12, progress lines left out. Empty when it said nothing or that the file
// was cancelled.
std::string engineFailure(const std::string& errorOutput)
{
    const std::string_view own = "trevok: ";
    const auto progress = [](std::string_view line) { return line.starts_with("trevok: progress "); };
    std::vector<std::string_view> lines = text::splitList(errorOutput, '\n');
    std::erase_if(lines, progress);
    const auto last
        = std::find_if(lines.rbegin(), lines.rend(), [&](std::string_view l) { return l.starts_with(own); });
    if (last == lines.rend() || last->starts_with("trevok: cancelled"))
        return {};
    std::string why(last->substr(own.size()));
    int count = 1;
    for (auto line = last.base(); line != lines.end() && count < 12; ++line, ++count)
        why.append("\n").append(*line);
    return why;
}

// Waits a tenth of a second; the window keeps painting, user input waits.
void pause()
{
    if (QCoreApplication::instance()) {
        QEventLoop loop;
        QTimer::singleShot(100, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    } else {
        ::usleep(100 * 1000);
    }
}

std::string foldCase(std::string s) { return text::asciiLower(s); }

// The state of one pass over the rows.
class Pass {
    Q_DECLARE_TR_FUNCTIONS(ConversionJob)

public:
    Pass(ConversionHost& host, JobServices services, const settings::RunSettings& rs, char marker,
        const std::string& engine)
        : m_host(host), m_registry(services.registry), m_launcher(services.processes), m_rs(rs), m_marker(marker),
          m_engine(engine)
    {}
    JobResult run();

private:
    enum class Step : uint8_t { Next, Stop };
    // How the engine's run ended, read from its status and the AbortFlag.
    struct EngineEnd {
        int32_t value = 2; // the AbortFlag's value as the loop acts on it
        bool incompleteSource = false;
    };
    // One source held for its file: pinned, read, its result's part file.
    struct FileWork {
        std::string source;
        std::string target;
        std::string renamedFrom;  // the name this run had already written
        bool ignoresCase = false; // the destination folder ignores letter case
        bool targetExisted = false;
        FileIdentity existing;
        PinnedSource pinned;
        bool isPinned = false;
        MediaFacts sourceFacts;
        PartFile part;
    };

    bool waitForOtherRun();
    Step convertRow(int index);
    bool checkDestination(const std::string& source, const std::string& target);
    bool pickTarget(FileWork& work);
    EngineEnd judgeEngineEnd(const platform::ProcessResult& ended, const std::string& source);
    void finishResult(FileWork& work, const EngineEnd& end);
    bool commit(FileWork& work, const std::string& name, std::string& finalName, std::string& why);
    void deleteSource(FileWork& work);
    bool writtenByThisRun(const std::string& path, bool ignoresCase) const;
    // "<name> (2)<ext>", "(3)", ...: the first that is neither a result of
    // this run nor anything on the disk.
    std::string freeName(const std::string& name, bool ignoresCase) const;
    void report(std::string text, bool failure);
    void stopWith(const QString& format, const std::string& value);
    void fail(std::string text);
    void tick();
    void finalPart();

    ConversionHost& m_host;
    platform::Registry& m_registry;
    platform::ProcessLauncher& m_launcher;
    const settings::RunSettings& m_rs;
    char m_marker;
    const std::string& m_engine;
    RunLock m_lock;
    JobResult m_result;
    bool m_runStopped = false; // refused destination, "No" to overwriting, ...
    bool m_failed = false;     // a file failed without the engine's own report
    bool m_terminating = false;
    bool m_ending = false;
    std::set<std::string> m_written;       // this run's results
    std::set<std::string> m_writtenFolded; // the same, letter case folded
};

void Pass::report(std::string text, bool failure)
{
    m_result.reports.push_back(std::move(text));
    if (failure)
        m_result.filesFailed = true;
}

void Pass::fail(std::string text)
{
    m_failed = true;
    if (!m_result.error)
        m_result.error = std::move(text);
}

// The run cannot go on: the desktop is told first, then the box.
void Pass::stopWith(const QString& format, const std::string& value)
{
    if (!m_ending) {
        m_ending = true;
        m_host.runEnding();
    }
    m_host.showMessage(product::kName, text::replacePlaceholder(format.toStdString(), value),
        platform::MessageIcon::Error, platform::MessageButtons::Ok);
}

void Pass::tick()
{
    if (!m_terminating && m_host.stopRequested()) {
        m_terminating = true;
        m_launcher.terminateRunning();
    }
    m_host.engineWaitTick();
}

bool Pass::waitForOtherRun()
{
    if (m_lock.tryAcquire())
        return true;
    m_host.waitingForOtherRun(true);
    while (!m_lock.tryAcquire()) {
        if (m_host.stopRequested()) {
            m_host.waitingForOtherRun(false);
            return false;
        }
        m_host.engineWaitTick();
        pause();
    }
    m_host.waitingForOtherRun(false);
    return true;
}

std::string Pass::freeName(const std::string& name, bool ignoresCase) const
{
    for (int n = 2;; ++n) {
        const std::string candidate = numberedName(name, n);
        std::error_code ec;
        const bool onDisk
            = std::filesystem::symlink_status(candidate, ec).type() != std::filesystem::file_type::not_found;
        if (!writtenByThisRun(candidate, ignoresCase) && !onDisk)
            return candidate;
    }
}

bool Pass::writtenByThisRun(const std::string& path, bool ignoresCase) const
{
    return m_written.count(path) > 0 || (ignoresCase && m_writtenFolded.count(foldCase(path)) > 0);
}

JobResult Pass::run()
{
    try {
        TProgressForm& progress = m_host.progress();
        const int n = m_host.rowCount();
        progress.SetTotal(n);
        if (!waitForOtherRun())
            m_runStopped = true;
        for (int i = 0; i < n && !m_runStopped; ++i) {
            if (m_host.stopRequested()) {
                m_runStopped = true;
                break;
            }
            progress.SetCurrent(i + 1);
            if (convertRow(i) == Step::Stop)
                break;
        }
    } catch (const std::exception& e) {
        m_result.error = e.what();
    } catch (...) {
        m_result.error = tr("Unknown error").toStdString();
    }
    finalPart();
    if (!m_result.reports.empty()) {
        if (!m_ending)
            m_host.runEnding();
        std::string text;
        for (const std::string& r : m_result.reports)
            text += (text.empty() ? "" : "\r\n\r\n") + r;
        m_host.showMessage(product::kName, text,
            m_result.filesFailed ? platform::MessageIcon::Warning : platform::MessageIcon::Information,
            platform::MessageButtons::Ok);
    }
    return m_result;
}

// Final part, always: the AbortFlag once more decides together with the
// loop's own findings.
void Pass::finalPart()
{
    std::optional<int32_t> last;
    try {
        const FlagReading flag = readFlag(m_registry);
        last = flag.value;
        if (!last)
            fail(invalidFlagError(flag.text));
    } catch (const std::exception& e) {
        fail(e.what());
    } catch (...) {
        fail(tr("Unknown error").toStdString());
    }
    m_result.completed = !m_runStopped && !m_failed && !m_result.filesFailed && last && *last != 1 && *last != 2;
}

bool Pass::checkDestination(const std::string& source, const std::string& target)
{
    const std::string folder = shellutil::folderPart(target);
    if (shellutil::IsCDROMPath(folder)) {
        if (!m_ending) {
            m_ending = true;
            m_host.runEnding();
        }
        m_host.showMessage(tr("Invalid Output Folder").toStdString(),
            text::replacePlaceholder(tr("Output folder is CD-ROM and read only!\r\n\r\n  %s\r\n\r\n"
                                        "Please click \"Options\" button to specify a valid output "
                                        "folder first.")
                                         .toStdString(),
                folder),
            platform::MessageIcon::Error, platform::MessageButtons::Ok);
        return false;
    }
    // "|" separates the engine's fields; such a name would shift them.
    const std::string* barred = source.find('|') != std::string::npos ? &source
        : target.find('|') != std::string::npos                       ? &target
                                                                      : nullptr;
    if (barred) {
        stopWith(tr("'%s'\r\n\r\nThis file name contains \"|\", which the conversion engine "
                    "cannot accept. Rename the file and convert it again."),
            *barred);
        return false;
    }
    return true;
}

// The part file first (it tells whether the folder ignores letter case), then
// the final name: a second result of this run for the same name gets a free
// one, and only a file that was there before the run is asked about.
bool Pass::pickTarget(FileWork& work)
{
    std::string why;
    // A destination that is not there yet (a new folder on a card) is made.
    std::error_code ignored;
    std::filesystem::create_directories(shellutil::folderPart(work.target), ignored);
    if (!work.part.create(work.target, why)) {
        m_failed = true;
        if (!m_ending) {
            m_ending = true;
            m_host.runEnding();
        }
        m_host.showMessage(product::kName,
            fill(tr("The converted file cannot be written into the folder\r\n'%1'\r\n(%2)\r\n\r\nNothing was "
                    "converted."),
                {shellutil::folderPart(work.target), why}),
            platform::MessageIcon::Error, platform::MessageButtons::Ok);
        return false;
    }
    work.ignoresCase = work.part.folderIgnoresCase();
    if (writtenByThisRun(work.target, work.ignoresCase)) {
        work.renamedFrom = work.target;
        work.target = freeName(work.target, work.ignoresCase);
    }
    work.targetExisted = identityOf(work.target, work.existing);
    if (work.targetExisted && m_rs.PromptOverwrite) {
        const auto answer = m_host.showMessage(tr("Overwrite").toStdString(),
            text::replacePlaceholder(
                tr("Target file already existing!\r\n  '%s'\r\n\r\n do you want to overwrite?").toStdString(),
                work.target),
            platform::MessageIcon::Question, platform::MessageButtons::YesNo);
        if (answer != platform::MessageAnswer::Yes)
            return false;
    }
    return true;
}

Pass::Step Pass::convertRow(int index)
{
    FileWork work;
    work.source = m_host.rowPath(index);
    work.target = targetFileName(work.source, m_rs);
    m_host.processPendingEvents();
    if (m_host.stopRequested() || !checkDestination(work.source, work.target) || !pickTarget(work)) {
        m_runStopped = true;
        return Step::Stop;
    }
    // The engine's report must be this run's own: a value left behind by an
    // earlier run (or a run that could not write) must not pass for it.
    if (!m_registry.deleteValue(platform::Hive::CurrentUser, platform::kAbortFlagKey, "")) {
        stopWith(tr("The conversion engine's report (the AbortFlag) cannot be reset, so its "
                    "result could not be trusted. Nothing was converted.\r\n\r\n'%s'"),
            work.source);
        m_runStopped = true;
        return Step::Stop;
    }
    std::string ignored;
    work.isPinned = work.pinned.pin(work.source, ignored);
    work.sourceFacts = readMediaFacts(work.source);

    const platform::ProcessResult ended = m_launcher.runAndWait(
        m_engine, {buildEngineArgument(work.source, work.part.path(), m_rs, m_marker)}, [this] { tick(); });
    if (!ended.started) {
        stopWith(tr("The conversion engine could not be started:\r\n%s"), m_engine);
        m_runStopped = true;
        return Step::Stop;
    }
    const EngineEnd end = judgeEngineEnd(ended, work.source);
    if (end.value == 2) {
        // Failed or cancelled: nothing is left under the target name, and the
        // unfinished part file goes (without its index it would not play).
        work.part.discard();
        return Step::Stop;
    }
    ++m_result.converted;
    finishResult(work, end);
    return end.value > 0 ? Step::Stop : Step::Next;
}

// Anything but a normal end with status 0 and a fresh report is a failed
// file (the value 2), except the engine's own "the source is incomplete".
Pass::EngineEnd Pass::judgeEngineEnd(const platform::ProcessResult& ended, const std::string& source)
{
    EngineEnd end;
    if (!ended.normalExit) {
        m_failed = true;
        if (!m_terminating)
            stopWith(tr("The conversion engine stopped unexpectedly (it was killed or "
                        "crashed) while converting\r\n'%s'\r\n\r\nThe source file was kept."),
                source);
        return end;
    }
    const FlagReading flag = readFlag(m_registry);
    if (!flag.present) {
        m_failed = true;
        stopWith(tr("The conversion engine ended without reporting its result for\r\n"
                    "'%s'\r\n\r\nThe file counts as failed; the source file was kept."),
            source);
    } else if (!flag.value) {
        fail(invalidFlagError(flag.text));
    } else if (ended.exitCode == kIncompleteSourceStatus && *flag.value <= 0) {
        end.value = 0;
        end.incompleteSource = true;
    } else if (ended.exitCode != 0) {
        m_failed = true;
        // The engine's own failure report (2) comes with its reason on its
        // standard error, which a desktop user never sees: it is told here.
        // A cancelled file is no failure to tell; any other pairing is told
        // as it is.
        if (*flag.value != 2) {
            stopWith(tr("The conversion engine failed with exit status %1 while "
                        "converting\r\n'%s'\r\n\r\nThe source file was kept.")
                         .arg(ended.exitCode),
                source);
        } else if (const std::string why = engineFailure(ended.errorOutput); !why.empty() && !m_terminating) {
            stopWith(tr("The file could not be converted:\r\n'%s'\r\n\r\n%1\r\n\r\nThe source file was kept.")
                         .arg(QString::fromUtf8(why.data(), static_cast<qsizetype>(why.size()))),
                source);
        }
    } else {
        end.value = *flag.value;
    }
    return end;
}

bool Pass::commit(FileWork& work, const std::string& name, std::string& finalName, std::string& why)
{
    if (!work.part.flush(why))
        return false;
    // The file that was there before the run, which the user let go, is
    // replaced; anything else that took the name meanwhile is not.
    FileIdentity there;
    const bool replace = work.targetExisted && identityOf(name, there) && there == work.existing;
    std::string candidate = name;
    for (int attempt = 0; attempt < 100; ++attempt) {
        bool taken = false;
        if (work.part.commit(candidate, replace && candidate == name, taken, why)) {
            finalName = candidate;
            m_written.insert(candidate);
            m_writtenFolded.insert(foldCase(candidate));
            return true;
        }
        if (!taken)
            return false;
        candidate = freeName(name, work.ignoresCase);
    }
    return false;
}

void Pass::finishResult(FileWork& work, const EngineEnd& end)
{
    const MediaFacts resultFacts = work.part.stillOurs() ? readMediaFacts(work.part.path()) : MediaFacts{};
    const ResultVerdict verdict = judgeResult(work.sourceFacts, resultFacts);
    // The engine found the source itself incomplete: what it converted is
    // kept under a name that says so, and the source stays.
    const bool keepAsIncomplete = end.incompleteSource && resultFacts.readable && resultFacts.durationSeconds > 0
        && verdict != ResultVerdict::MissingStream && verdict != ResultVerdict::Longer;
    if (verdict != ResultVerdict::Complete && verdict != ResultVerdict::SourceUnknown && !keepAsIncomplete) {
        work.part.discard();
        const QString why = verdict == ResultVerdict::MissingStream ? tr("pictures or sound of the source are missing")
            : verdict == ResultVerdict::Longer                      ? tr("it runs far longer than the source")
            : verdict == ResultVerdict::Shorter                     ? tr("it ends before the source does")
                                                                    : tr("it does not read as a video file");
        report(fill(tr("'%1'\r\nThe converted file was broken (%2) and was removed. The source file was kept."),
                   {work.source, why.toStdString()}),
            true);
        return;
    }
    std::string finalName;
    std::string why;
    if (!commit(work, keepAsIncomplete ? incompleteName(work.target) : work.target, finalName, why)) {
        report(fill(tr("'%1'\r\nThe converted file could not be written to the disk (%2). The source file was kept."),
                   {work.source, why}),
            true);
        return;
    }
    if (keepAsIncomplete) {
        report(fill(tr("'%1'\r\nThe source is incomplete: %2 of %3 s were converted, kept as '%4'. The source "
                       "file was kept."),
                   {work.source, seconds(resultFacts.durationSeconds), seconds(work.sourceFacts.durationSeconds),
                       finalName}),
            true);
        return;
    }
    if (!work.renamedFrom.empty())
        report(fill(tr("'%1'\r\nwas saved as '%2': this run had already written a file named '%3'."),
                   {work.source, finalName, work.renamedFrom}),
            false);
    else if (finalName != work.target)
        report(fill(tr("'%1'\r\nwas saved as '%2': a file named '%3' appeared during its conversion."),
                   {work.source, finalName, work.target}),
            false);
    if (end.value > 0 || !m_rs.DeleteSourceWhenDone)
        return;
    if (verdict == ResultVerdict::SourceUnknown)
        report(fill(tr("'%1'\r\nThe length of the source file could not be read, so the converted file could "
                       "not be checked against it. The source file was kept."),
                   {work.source}),
            true);
    else
        deleteSource(work);
}

void Pass::deleteSource(FileWork& work)
{
    if (!work.isPinned || !work.pinned.unchanged()) {
        report(fill(tr("'%1'\r\nThe source file was changed or replaced while it was converted, so it was kept."),
                   {work.source}),
            true);
        return;
    }
    std::string why;
    if (!deletePinnedSource(work.pinned, why))
        report(fill(tr("'%1'\r\nThe source file could not be deleted: %2"), {work.source, why}), true);
}

} // namespace

ConversionJob::ConversionJob(ConversionHost& host, JobServices services, const settings::RunSettings& settings,
    char marker, std::string enginePath)
    : m_host(host), m_services(services), m_settings(settings), m_marker(marker), m_enginePath(std::move(enginePath))
{
    // The engine inherits this environment; its argument has no field for this.
    ::setenv("VEXLO_KEEP_RECORDING_DATE", settings.KeepRecordingDate ? "1" : "0", 1);
}

JobResult ConversionJob::run() { return Pass(m_host, m_services, m_settings, m_marker, m_enginePath).run(); }

} // namespace vexlo::conversion

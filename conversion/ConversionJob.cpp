#include "ConversionJob.h"

#include "EngineReport.h"
#include "FileTransaction.h"
#include "MediaCheck.h"
#include "RunLock.h"
#include "RunNames.h"

#include "base/EngineContract.h"
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
#include <optional>
#include <vector>
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
        bool damagedSource = false; // converted to the end, but the source did not read cleanly
        std::string why;            // the engine's reason for either
    };
    // One source held for its file: pinned, read, its result's part file.
    struct FileWork {
        std::string source;
        std::string target;
        std::string renamedFrom;   // the name this run may not write over
        bool isSourceName = false; // ... because it is a file this run converts
        bool ignoresCase = false;  // the destination folder ignores letter case
        bool targetExisted = false;
        FileIdentity existing;
        PinnedSource pinned;
        bool isPinned = false;
        MediaFacts sourceFacts;
        PartFile part;
    };

    bool waitForOtherRun();
    void takeSources(int rows);
    Step convertRow(int index);
    bool checkDestination(const std::string& source, const std::string& target);
    enum class Picked : uint8_t { Yes, No, Failed };
    Picked pickTarget(FileWork& work);
    EngineEnd judgeEngineEnd(const platform::ProcessResult& ended, const std::string& source);
    void finishResult(FileWork& work, const EngineEnd& end);
    bool commit(FileWork& work, const std::string& name, std::string& finalName, std::string& why);
    bool keepsEverything(const FileWork& work, const MediaFacts& result);
    void deleteSource(FileWork& work);
    void report(std::string text, bool failure);
    Step fileFailed(std::string text);
    void stopWith(const QString& format, const std::string& value);
    void nothingMoreToConvert();
    void reportUnconverted(int n);
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
    int m_stoppedByFailureAt = -1; // the row at which a failed file stopped the run
    int m_row = 0;                 // the row being converted
    RunNames m_names;
    // Each row's source as the run found it at its start; a row whose file
    // an earlier row already names is converted once.
    std::vector<std::optional<FileIdentity>> m_rowFiles;
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

// Nothing more will be converted: the lock goes (a run that waits may start
// while a box still waits for its OK), and the desktop is told.
void Pass::nothingMoreToConvert()
{
    if (m_ending)
        return;
    m_ending = true;
    m_lock.release();
    m_host.runEnding();
}

// The run cannot go on: the box now.
void Pass::stopWith(const QString& format, const std::string& value)
{
    nothingMoreToConvert();
    m_host.showMessage(product::kName, text::replacePlaceholder(format.toStdString(), value),
        platform::MessageIcon::Error, platform::MessageButtons::Ok);
}

// A file that could not be converted: told at the run's end, and the run
// goes on with the next file or stops there, as the user chose.
Pass::Step Pass::fileFailed(std::string text)
{
    report(std::move(text), true);
    m_failed = true;
    if (m_rs.ContinueOnError)
        return Step::Next;
    m_stoppedByFailureAt = m_row;
    return Step::Stop;
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

void Pass::takeSources(int rows)
{
    m_rowFiles.assign(static_cast<size_t>(rows), std::nullopt);
    for (int i = 0; i < rows; ++i) {
        FileIdentity identity;
        try {
            if (!identityOf(m_host.rowPath(i), identity))
                continue;
        } catch (...) {
            continue; // told when the loop reaches the row
        }
        m_rowFiles[static_cast<size_t>(i)] = identity;
        m_names.addSource(identity);
    }
}

// A run that a failed file stopped says which files it left unconverted: a
// user who reads only of the one failed file might take the rest for done.
void Pass::reportUnconverted(int n)
{
    if (m_stoppedByFailureAt < 0 || m_stoppedByFailureAt + 1 >= n)
        return;
    constexpr int kNamed = 10;
    std::string names;
    const int left = n - m_stoppedByFailureAt - 1;
    for (int i = m_stoppedByFailureAt + 1; i < n && i <= m_stoppedByFailureAt + kNamed; ++i)
        names += "\r\n" + m_host.rowPath(i);
    if (left > kNamed)
        names += "\r\n" + tr("... and %1 more").arg(left - kNamed).toStdString();
    report(fill(tr("The run stopped at '%1'. These %2 files were not converted:%3"),
               {m_host.rowPath(m_stoppedByFailureAt), std::to_string(left), names}),
        true);
}

JobResult Pass::run()
{
    int n = 0;
    try {
        TProgressForm& progress = m_host.progress();
        n = m_host.rowCount();
        progress.SetTotal(n);
        if (!waitForOtherRun())
            m_runStopped = true;
        // Without ffmpeg's demuxing library no result can be checked: the
        // run is refused before anything is converted, and no result is
        // blamed for it.
        if (std::string why; !m_runStopped && !mediaCheckAvailable(why)) {
            stopWith(tr("The converted files cannot be checked, so nothing was converted:\r\n%s"), why);
            m_runStopped = true;
            m_failed = true;
        }
        takeSources(n);
        for (int i = 0; i < n && !m_runStopped; ++i) {
            if (m_host.stopRequested()) {
                m_runStopped = true;
                break;
            }
            m_row = i;
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
    reportUnconverted(n);
    m_lock.release();
    if (!m_result.reports.empty()) {
        nothingMoreToConvert();
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
        nothingMoreToConvert();
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
// the final name: a name this run wrote or converts gets a free one, and only
// a file that was there before the run is asked about.
Pass::Picked Pass::pickTarget(FileWork& work)
{
    std::string why;
    // A destination that is not there yet (a new folder on a card) is made.
    std::error_code ignored;
    std::filesystem::create_directories(shellutil::folderPart(work.target), ignored);
    if (!work.part.create(work.target, why)) {
        fileFailed(fill(tr("'%1'\r\nThe converted file cannot be written into the folder '%2' (%3). The source "
                           "file was kept."),
            {work.source, shellutil::folderPart(work.target), why}));
        return Picked::Failed;
    }
    work.ignoresCase = work.part.folderIgnoresCase();
    if (!m_names.isFree(work.target, work.ignoresCase)) {
        work.isSourceName = !m_names.isWritten(work.target, work.ignoresCase);
        work.renamedFrom = work.target;
        work.target = m_names.freeName(work.target, work.ignoresCase);
    }
    work.targetExisted = identityOf(work.target, work.existing);
    if (work.targetExisted && m_rs.PromptOverwrite) {
        const auto answer = m_host.showMessage(tr("Overwrite").toStdString(),
            text::replacePlaceholder(
                tr("Target file already existing!\r\n  '%s'\r\n\r\n do you want to overwrite?").toStdString(),
                work.target),
            platform::MessageIcon::Question, platform::MessageButtons::YesNo);
        if (answer != platform::MessageAnswer::Yes)
            return Picked::No;
    }
    return Picked::Yes;
}

Pass::Step Pass::convertRow(int index)
{
    FileWork work;
    work.source = m_host.rowPath(index);
    // The same file listed again under another spelling (a link to the
    // card, "./a.MTS") was converted with its first row.
    if (const auto& file = m_rowFiles[static_cast<size_t>(index)]) {
        for (int earlier = 0; earlier < index; ++earlier) {
            const auto& other = m_rowFiles[static_cast<size_t>(earlier)];
            if (other && other->sameInode(*file)) {
                report(fill(tr("'%1'\r\nis the same file as '%2', which this run converts already: it was skipped."),
                           {work.source, m_host.rowPath(earlier)}),
                    false);
                return Step::Next;
            }
        }
    }
    work.target = targetFileName(work.source, m_rs);
    m_host.processPendingEvents();
    if (m_host.stopRequested() || !checkDestination(work.source, work.target)) {
        m_runStopped = true;
        return Step::Stop;
    }
    switch (pickTarget(work)) {
    case Picked::Yes:
        break;
    case Picked::No:
        m_runStopped = true;
        return Step::Stop;
    case Picked::Failed:
        return m_rs.ContinueOnError ? Step::Next : Step::Stop;
    }
    // The engine's report must be this run's own: a value left behind by an
    // earlier run (or a run that could not write) must not pass for it.
    if (!m_registry.deleteValue(platform::Hive::CurrentUser, platform::kAbortFlagKey, "")) {
        stopWith(tr("The conversion engine's report (the AbortFlag) cannot be reset, so its "
                    "result could not be trusted. The run stopped before converting\r\n'%s'"),
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
    EngineEnd end = judgeEngineEnd(ended, work.source);
    if (end.value == 2) {
        // Failed or cancelled: nothing is left under the target name, and the
        // unfinished part file goes (without its index it would not play).
        work.part.discard();
        if (m_terminating || end.why.empty())
            return Step::Stop;
        return fileFailed(std::move(end.why));
    }
    ++m_result.converted;
    finishResult(work, end);
    return end.value > 0 ? Step::Stop : Step::Next;
}

// Anything but a normal end with status 0 and a fresh report is a failed
// file (the value 2), except the engine's own "the source is incomplete" and
// "the source did not read cleanly". A failure to tell is in `why`; a
// cancelled file has none.
Pass::EngineEnd Pass::judgeEngineEnd(const platform::ProcessResult& ended, const std::string& source)
{
    EngineEnd end;
    const auto failed = [&](const QString& format) {
        m_failed = true;
        end.why = text::replacePlaceholder(format.toStdString(), source);
    };
    if (!ended.normalExit) {
        m_failed = true;
        if (!m_terminating)
            failed(tr("The conversion engine stopped unexpectedly (it was killed or "
                      "crashed) while converting\r\n'%s'\r\n\r\nThe source file was kept."));
        return end;
    }
    const FlagReading flag = readFlag(m_registry);
    if (!flag.present) {
        // An engine that could not even start (a library missing) says why
        // on its standard error, in the loader's words.
        const std::string said = lastLine(ended.errorOutput);
        failed(tr("The conversion engine ended without reporting its result for\r\n"
                  "'%s'\r\n\r\nThe file counts as failed; the source file was kept.")
            + (said.empty() ? QString() : "\r\n\r\n" + QString::fromStdString(said)));
    } else if (!flag.value) {
        fail(invalidFlagError(flag.text));
    } else if ((ended.exitCode == contract::kExitIncomplete || ended.exitCode == contract::kExitSourceDamaged)
        && *flag.value >= 0 && *flag.value <= 1) {
        end.value = *flag.value;
        end.incompleteSource = ended.exitCode == contract::kExitIncomplete;
        end.damagedSource = ended.exitCode == contract::kExitSourceDamaged;
        end.why = engineFailure(ended.errorOutput);
    } else if (ended.exitCode != 0) {
        m_failed = true;
        // The engine's own failure report (2) comes with its reason on its
        // standard error, which a desktop user never sees: it is told here.
        // A cancelled file is no failure to tell; any other pairing is told
        // as it is.
        if (*flag.value != 2) {
            failed(tr("The conversion engine failed with exit status %1 while "
                      "converting\r\n'%s'\r\n\r\nThe source file was kept.")
                       .arg(ended.exitCode));
        } else if (const std::string why = engineFailure(ended.errorOutput); !why.empty() && !m_terminating) {
            // The common reasons in plain words, the engine's own under
            // "Details" (in English, and ffmpeg's words).
            const QString details = QString::fromUtf8(why.data(), static_cast<qsizetype>(why.size()));
            const std::string plain = plainReason(why, source);
            failed(plain.empty()
                    ? tr("The file could not be converted:\r\n'%s'\r\n\r\n%1\r\n\r\nThe source file was kept.")
                          .arg(details)
                    : tr("The file could not be converted:\r\n'%s'\r\n\r\n%1 The source file was kept.\r\n\r\n"
                         "Details:\r\n%2")
                          .arg(QString::fromStdString(plain), details));
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
        const bool done = work.part.commit(candidate, replace && candidate == name, taken, why);
        // A result under its final name is this run's, even when a check
        // after the rename failed: no later result may replace it.
        if (!work.part.committedName().empty())
            m_names.addWritten(work.part.committedName());
        if (done) {
            finalName = candidate;
            return true;
        }
        if (!taken)
            return false;
        candidate = m_names.freeName(name, work.ignoresCase);
    }
    return false;
}

// The result holds every track of the source a user would miss; otherwise
// the source stays, and the report says what the result lacks.
bool Pass::keepsEverything(const FileWork& work, const MediaFacts& result)
{
    const std::vector<TrackCount> missing = missingTracks(work.sourceFacts, result);
    if (missing.empty())
        return true;
    std::string lacks;
    for (const TrackCount& track : missing) {
        const QString format = track.kind == TrackCount::Video ? tr("the result holds %1 of %2 video streams")
            : track.kind == TrackCount::Audio                  ? tr("the result holds %1 of %2 sound tracks")
                                                               : tr("the result holds %1 of %2 subtitle tracks");
        lacks += (lacks.empty() ? "" : "; ") + format.arg(track.held).arg(track.inSource).toStdString();
    }
    report(fill(tr("'%1'\r\n%2; the source file was kept."), {work.source, lacks}), true);
    return false;
}

void Pass::finishResult(FileWork& work, const EngineEnd& end)
{
    const MediaFacts resultFacts = work.part.stillOurs() ? readMediaFacts(work.part.path()) : MediaFacts{};
    const ResultVerdict verdict = judgeResult(work.sourceFacts, resultFacts);
    // The engine found the source itself incomplete or damaged: what it
    // converted is kept (under a name that says so when it ends early), and
    // the source stays.
    const bool troubledSource = end.incompleteSource || end.damagedSource;
    const bool keepAsIncomplete = troubledSource && resultFacts.readable && resultFacts.durationSeconds > 0
        && verdict != ResultVerdict::MissingStream && verdict != ResultVerdict::Longer
        && (end.incompleteSource || verdict == ResultVerdict::Shorter);
    const bool keepAsIs = verdict == ResultVerdict::Complete || verdict == ResultVerdict::SourceUnknown;
    if (!keepAsIs && !keepAsIncomplete) {
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
    if (end.incompleteSource) {
        report(fill(tr("'%1'\r\nThe source is incomplete: %2 of %3 s were converted, kept as '%4'. The source "
                       "file was kept."),
                   {work.source, seconds(resultFacts.durationSeconds), seconds(work.sourceFacts.durationSeconds),
                       finalName}),
            true);
        return;
    }
    if (end.damagedSource) {
        report(fill(tr("'%1'\r\nThe source could not be read without errors, so the converted file '%2' may lack "
                       "pictures or sound. The source file was kept.%3"),
                   {work.source, finalName, end.why.empty() ? std::string() : "\r\n(" + end.why + ")"}),
            true);
        return;
    }
    if (work.isSourceName)
        report(fill(tr("'%1'\r\nwas saved as '%2': '%3' is one of the files this run converts."),
                   {work.source, finalName, work.renamedFrom}),
            false);
    else if (!work.renamedFrom.empty())
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
    else if (keepsEverything(work, resultFacts))
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

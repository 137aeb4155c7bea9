// The run loop: wait for another run, take the sources, and for each row
// derive the target, check the destination, pick the final name, start the
// engine and wait, then keep the result or not.
#include "RunPass.h"

#include "base/Text.h"
#include "platform/ProcessLauncher.h"
#include "platform/Product.h"
#include "platform/Registry.h"
#include "shellutil/ConvertPublic.h"

#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <filesystem>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <unistd.h>

namespace vexlo::conversion {

namespace {

// Waits a tenth of a second; the window keeps painting, user input waits
// (or is filtered, platform::waitLoopFlags).
void pause()
{
    if (QCoreApplication::instance()) {
        QEventLoop loop;
        QTimer::singleShot(100, &loop, &QEventLoop::quit);
        loop.exec(platform::waitLoopFlags());
    } else {
        ::usleep(100 * 1000);
    }
}

} // namespace

SourceSecondsFile::SourceSecondsFile()
{
    std::string path = QDir::tempPath().toStdString() + "/vexlo-seconds-XXXXXX";
    m_fd = ::mkstemp(path.data());
    if (m_fd < 0)
        return;
    m_path = path;
    // Through Qt's lock: other threads (the desktop session's) read the
    // environment too. The name stays set after the run: a later run names
    // its own file, and no engine starts in between.
    qputenv("TREVOK_SOURCE_SECONDS_FILE", QByteArray::fromStdString(m_path));
}

SourceSecondsFile::~SourceSecondsFile()
{
    if (m_fd < 0)
        return;
    ::close(m_fd);
    ::unlink(m_path.c_str());
}

void SourceSecondsFile::clear()
{
    // The last file's figure must never pass for this file's: what cannot be
    // emptied goes.
    if (m_fd >= 0 && ::truncate(m_path.c_str(), 0) != 0)
        ::unlink(m_path.c_str());
}

double SourceSecondsFile::read() const
{
    if (m_fd < 0)
        return 0;
    // The engine replaces the file: it is read by its name.
    char text[64] = {};
    const int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0)
        return 0;
    char* end = nullptr;
    const double seconds = std::strtod(text, &end);
    return end != text && (*end == '\n' || *end == '\0') && std::isfinite(seconds) && seconds > 0 && seconds < 1e9
        ? seconds
        : 0;
}

void RunPass::settle()
{
    if (!m_finishing)
        return;
    Finishing finishing = std::move(*m_finishing);
    m_finishing.reset();
    finishResult(finishing.work, finishing.end);
}

void RunPass::tick()
{
    if (!m_terminating && m_host.stopRequested()) {
        m_terminating = true;
        m_launcher.terminateRunning();
    }
    m_host.engineWaitTick();
}

bool RunPass::waitForOtherRun()
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

void RunPass::takeSources(int rows)
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

JobResult RunPass::run()
{
    int n = 0;
    // The text of the exception being handled.
    const auto caught = [] {
        try {
            throw;
        } catch (const std::exception& e) {
            return std::string(e.what());
        } catch (...) {
            return tr("Unknown error").toStdString();
        }
    };
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
    } catch (...) {
        m_result.error = caught();
    }
    try {
        settle();
    } catch (...) {
        if (!m_result.error)
            m_result.error = caught();
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
void RunPass::finalPart()
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

bool RunPass::checkDestination(const std::string& source, const std::string& target)
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
RunPass::Picked RunPass::pickTarget(FileWork& work)
{
    std::string why;
    // The last result takes its name first where this one's could depend on
    // it: the same name or part file name in any letter case (a card ignores
    // case, and a FUSE driver may not hold the part file's lock against its
    // own run) ...
    if (m_finishing) {
        const FileWork& last = m_finishing->work;
        const auto same = [](const std::string& a, const std::string& b) {
            return QString::compare(QString::fromStdString(a), QString::fromStdString(b), Qt::CaseInsensitive) == 0;
        };
        // Its part file was named after the name it was asked for.
        const std::string& lastAsked = last.renamedFrom.empty() ? last.target : last.renamedFrom;
        if (same(last.target, work.target) || same(partFileName(lastAsked, 1), partFileName(work.target, 1)))
            settle();
    }
    // A destination that is not there yet (a new folder on a card) is made.
    std::error_code ignored;
    std::filesystem::create_directories(shellutil::folderPart(work.target), ignored);
    if (!work.part.create(work.target, why)) {
        settle();
        fileFailed(fill(tr("'%1'\r\nThe converted file cannot be written into the folder '%2' (%3). The source "
                           "file was kept."),
            {work.source, shellutil::folderPart(work.target), why}));
        return Picked::Failed;
    }
    work.ignoresCase = work.part.folderIgnoresCase();
    // ... and where its name is taken or there is a file to ask about.
    if (m_finishing) {
        FileIdentity there;
        if (!m_names.isFree(work.target, work.ignoresCase) || identityOf(work.target, there))
            settle();
    }
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

RunPass::Step RunPass::convertRow(int index)
{
    FileWork work;
    work.source = m_host.rowPath(index);
    // The same file listed again under another spelling (a link to the
    // card, "./a.MTS") was converted with its first row.
    if (const auto& file = m_rowFiles[static_cast<size_t>(index)]) {
        for (int earlier = 0; earlier < index; ++earlier) {
            const auto& other = m_rowFiles[static_cast<size_t>(earlier)];
            if (other && other->sameInode(*file)) {
                settle();
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
    // The source's streams are counted while the engine converts it: for a
    // short clip the reading takes about as long as the conversion's start.
    std::future<MediaFacts> sourceFacts
        = std::async(std::launch::async, [source = work.source] { return readMediaFacts(source); });
    m_sourceSeconds.clear();

    // The last result is checked and kept while this engine runs (should
    // that throw, the launcher ends the engine first, and this file's part
    // file goes with `work`).
    const platform::ProcessResult ended = m_launcher.runAndWait(
        m_engine, {buildEngineArgument(work.source, work.part.path(), m_rs, m_marker)}, [this] { tick(); },
        [this] { settle(); });
    work.sourceFacts = sourceFacts.get();
    settle();
    // The source's length as the engine read it, where it told it: joined
    // recordings run longer than their first and last time stamps say.
    if (const double engineSeconds = m_sourceSeconds.read(); engineSeconds > 0)
        work.sourceFacts.durationSeconds = engineSeconds;
    if (!ended.started) {
        stopWith(tr("The conversion engine could not be started:\r\n%s"), m_engine);
        m_runStopped = true;
        return Step::Stop;
    }
    EngineEnd end = judgeEngineEnd(ended, work.source);
    // "Stop after this file" pressed in the window: the file counts as the
    // engine's own stop after it (the value 1): its result is kept, its
    // source too, and the run ends aborted.
    if (end.value == 0 && m_host.stopAfterThisFile()) {
        end.value = 1;
        m_runStopped = true;
    }
    if (end.value == 2) {
        // Failed or cancelled: nothing is left under the target name, and the
        // unfinished part file goes (without its index it would not play).
        work.part.discard();
        if (m_terminating || end.why.empty())
            return Step::Stop;
        return fileFailed(std::move(end.why));
    }
    ++m_result.converted;
    if (end.value == 0 && index + 1 < m_host.rowCount()) {
        m_finishing = Finishing{std::move(work), std::move(end)};
        return Step::Next;
    }
    finishResult(work, end);
    return end.value > 0 ? Step::Stop : Step::Next;
}

} // namespace vexlo::conversion

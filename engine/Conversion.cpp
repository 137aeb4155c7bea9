#include "Conversion.h"
#include "PassFolder.h"

#include <QSocketNotifier>
#include <QTimer>
#include <sys/stat.h>
#include <sys/wait.h>

namespace vexlo::engine {

namespace {

// True when `path` is empty (nothing to leave), or names a file with data
// in a file system with room left: a full one has likely cut it short.
bool leftWhole(const std::string& path)
{
    if (path.empty())
        return true;
    struct stat st {};
    const auto room = roomIn(path.substr(0, path.rfind('/') + 1));
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0
        && room.value_or(st.st_blksize) >= uint64_t(st.st_blksize);
}

} // namespace

int abortFlagValue(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Completed:
        return 0;
    case Outcome::StoppedAfterFile:
        return 1;
    case Outcome::Cancelled:
    case Outcome::Failed:
        break;
    }
    return 2;
}

Conversion::Conversion(std::string program, std::vector<std::string> arguments, QObject* parent)
    : Conversion(std::move(program), std::vector<FfmpegPass>{{std::move(arguments), 1, {}}}, parent)
{}

Conversion::Conversion(std::string program, std::vector<FfmpegPass> passes, QObject* parent)
    : QObject(parent), m_program(std::move(program)), m_passes(std::move(passes))
{
    if (!m_passes.empty())
        m_parser.setPass(0, m_passes.front().share);
}

Conversion::~Conversion() = default; // the child, if any, is killed and reaped

void Conversion::start()
{
    if (m_started)
        return;
    m_started = true;
    m_clock.start();
    if (m_cancelled) {
        QTimer::singleShot(0, this, [this] { finish(Outcome::Cancelled); });
        return;
    }
    startPass();
}

bool Conversion::startPass()
{
    std::string error;
    if (m_pass >= m_passes.size() || !m_child.start(m_program, m_passes[m_pass].arguments, error)) {
        m_error = "ffmpeg (" + m_program + ") could not be started: " + error;
        QTimer::singleShot(0, this, [this] { finish(Outcome::Failed); });
        return false;
    }
    // A pass that leaves statistics writes no pictures.
    m_parser.setPictureRate(m_passes[m_pass].leaves.empty() ? 0 : m_pictureRate);
    m_outNotifier = std::make_unique<QSocketNotifier>(m_child.stdoutFd(), QSocketNotifier::Read);
    m_errNotifier = std::make_unique<QSocketNotifier>(m_child.stderrFd(), QSocketNotifier::Read);
    connect(m_outNotifier.get(), &QSocketNotifier::activated, this, &Conversion::readStdout);
    connect(m_errNotifier.get(), &QSocketNotifier::activated, this, &Conversion::readStderr);
    return true;
}

void Conversion::cancel()
{
    if (m_finished || m_cancelled)
        return;
    m_cancelled = true;
    m_child.kill(); // the pipes then end and streamEnded() reaps it
}

void Conversion::stopAfterThisFile() { m_stopAfter = true; }

double Conversion::elapsedSeconds() const { return m_clock.isValid() ? double(m_clock.elapsed()) / 1000.0 : 0.0; }

void Conversion::readStdout()
{
    char buffer[16384];
    bool update = false;
    for (;;) {
        const long n = ChildProcess::readSome(m_child.stdoutFd(), buffer, sizeof buffer);
        if (n < 0)
            break;
        if (n == 0) {
            m_outNotifier.reset();
            m_child.closeStdout();
            streamEnded();
            break;
        }
        update |= m_parser.feedProgress(std::string_view(buffer, size_t(n)));
    }
    if (update && !m_finished)
        emit progressChanged();
}

void Conversion::readStderr()
{
    char buffer[16384];
    for (;;) {
        const long n = ChildProcess::readSome(m_child.stderrFd(), buffer, sizeof buffer);
        if (n < 0)
            break;
        if (n == 0) {
            m_errNotifier.reset();
            m_child.closeStderr();
            streamEnded();
            break;
        }
        m_parser.feedLog(std::string_view(buffer, size_t(n)));
    }
}

void Conversion::streamEnded()
{
    if (m_outNotifier || m_errNotifier || m_finished)
        return;
    // Both pipes are closed: ffmpeg has ended or is ending.
    const int status = m_child.wait();
    if (m_cancelled) {
        finish(Outcome::Cancelled);
        return;
    }
    const bool ended = status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (ended && m_pass + 1 < m_passes.size()) {
        // A first pass writes only its statistics, and ffmpeg does not check
        // those writes (or only says so in its log): in a full or read-only
        // temporary folder it ends well, and the second pass would fail on
        // "stats not set" or a cut packet.
        if (!m_parser.writeFailure().empty() || !leftWhole(m_passes[m_pass].leaves)) {
            m_error = "the first pass could not write its statistics whole to " + m_passes[m_pass].leaves
                + " (the temporary folder is full or not writable; $TMPDIR names another)";
            finish(Outcome::Failed);
            return;
        }
        // The next pass reads the source afresh: a log of its own, the
        // progress going on from where this pass's share ends.
        m_passStart += m_passes[m_pass].share;
        ++m_pass;
        m_parser = ProgressParser();
        m_parser.setDuration(m_sourceUs);
        m_parser.setSourceUrl(m_sourceUrl);
        m_parser.setPass(m_passStart, m_passes[m_pass].share);
        if (startPass())
            emit progressChanged();
        return;
    }
    if (ended && m_parser.writeFailure().empty()) {
        finish(m_stopAfter ? Outcome::StoppedAfterFile : Outcome::Completed);
        return;
    }
    m_error = m_parser.writeFailure().empty() ? "ffmpeg failed" : "the target could not be written";
    if (status >= 0 && WIFEXITED(status))
        m_error += " (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
    else if (status >= 0 && WIFSIGNALED(status))
        m_error += " (signal " + std::to_string(WTERMSIG(status)) + ")";
    // A failed write names its reason in a line of its own, which the
    // encoders' statistics may push out of the log's end: it comes first.
    const std::string& failure = m_parser.writeFailure();
    std::string detail = m_parser.logTail();
    if (!failure.empty() && detail.find(failure) == std::string::npos)
        detail = failure + "\n" + detail;
    if (!detail.empty())
        m_error += ":\n" + detail;
    finish(Outcome::Failed);
}

void Conversion::finish(Outcome outcome)
{
    if (m_finished)
        return;
    m_finished = true;
    m_outcome = outcome;
    emit finished(outcome);
}

} // namespace vexlo::engine

#include "ProcessLauncher.h"

#include "base/Paths.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <QVariant>

#include <cstdio>
#include <exception>
#include <optional>
#include <unistd.h>

namespace vexlo::platform {

namespace {

bool inputFiltered = false;

bool survivesDecoding(const std::string& bytes)
{
    const QByteArray raw(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return QFile::encodeName(QFile::decodeName(raw)) == raw;
}

// The argument vector as the child must see it, byte for byte. QProcess
// passes text through the locale's encoding, which would alter names that
// are not valid UTF-8: for those the child replaces itself with the exact
// bytes before QProcess's own exec (should that fail, the child returns and
// QProcess reports the failure to start as usual).
class ExactArguments {
public:
    ExactArguments(QProcess& process, const std::string& program, const std::vector<std::string>& arguments)
    {
        process.setProgram(paths::toQString(program));
        QStringList args;
        args.reserve(static_cast<qsizetype>(arguments.size()));
        bool exact = survivesDecoding(program);
        for (const auto& a : arguments) {
            args << paths::toQString(a);
            exact = exact && survivesDecoding(a);
        }
        process.setArguments(args);
        if (exact)
            return;
        m_argv.push_back(program);
        for (const auto& a : arguments)
            m_argv.push_back(a.substr(0, a.find('\0')));
        for (auto& a : m_argv)
            m_pointers.push_back(a.data());
        m_pointers.push_back(nullptr);
    }
    // nullptr when QProcess's own exec passes the arguments unchanged.
    char** argv() { return m_pointers.empty() ? nullptr : m_pointers.data(); }

private:
    std::vector<std::string> m_argv;
    std::vector<char*> m_pointers;
};

// Standard error is read, passed on to ours, and its end kept for the caller
// (an engine says there why it failed).
void passOnErrors(QProcess& process, ProcessResult& result)
{
    const QByteArray bytes = process.readAllStandardError();
    if (bytes.isEmpty())
        return;
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
    result.errorOutput.append(bytes.constData(), static_cast<size_t>(bytes.size()));
    if (result.errorOutput.size() > ProcessResult::kErrorOutputTail)
        result.errorOutput.erase(0, result.errorOutput.size() - ProcessResult::kErrorOutputTail);
}

// Waits for the started process: in a local event loop with waitLoopFlags(),
// calling `waitTick` every interval; without an application object,
// blocking. An exception from `waitTick` is raised once the process ended.
void waitForEnd(QProcess& process, const std::function<void()>& waitTick, int intervalMs)
{
    std::exception_ptr tickError;
    if (QCoreApplication::instance() && process.state() != QProcess::NotRunning) {
        QEventLoop loop;
        QTimer tick;
        QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        tick.setInterval(intervalMs);
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            if (!waitTick || tickError)
                return;
            try {
                waitTick();
            } catch (...) {
                // No exception may cross the event loop.
                tickError = std::current_exception();
            }
        });
        tick.start();
        if (process.state() != QProcess::NotRunning)
            loop.exec(waitLoopFlags());
    } else if (!QCoreApplication::instance() && waitTick) {
        try {
            waitTick();
        } catch (...) {
            tickError = std::current_exception();
        }
    }
    // A process that ended before the loop ran is collected here.
    if (process.state() != QProcess::NotRunning)
        process.waitForFinished(-1);
    if (tickError)
        std::rethrow_exception(tickError);
}

} // namespace

void setInputFilteredDuringWaits(bool filtered) { inputFiltered = filtered; }

QEventLoop::ProcessEventsFlags waitLoopFlags()
{
    return inputFiltered ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents;
}

ProcessResult QtProcessLauncher::runAndWait(const std::string& program, const std::vector<std::string>& arguments,
    const std::function<void()>& waitTick, const std::function<void()>& started)
{
    ProcessResult result;
    if (program.empty() || program.find('\0') != std::string::npos) {
        result.error = "no program name";
        return result;
    }
    QProcess process;
    ExactArguments exact(process, program, arguments);
    // Standard output goes straight to ours; standard input reads nothing.
    process.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    QObject::connect(&process, &QProcess::readyReadStandardError, [&] { passOnErrors(process, result); });
    process.setStandardInputFile(QProcess::nullDevice());
    // Only where it must: a modifier makes QProcess fork the whole program
    // instead of starting the child the light way, about a millisecond a file.
    if (char** rawExec = exact.argv())
        process.setChildProcessModifier([rawExec] { ::execvp(rawExec[0], rawExec); });

    process.start();
    m_running = &process;
    struct Forget {
        QProcess*& running;
        ~Forget() { running = nullptr; }
    } forget{m_running};
    if (!process.waitForStarted(-1)) {
        result.error = process.errorString().toStdString();
        return result;
    }
    result.started = true;
    std::exception_ptr waitError;
    // What goes on beside the program must not leave it running unwatched: on
    // an exception it is asked to end, and waited for.
    try {
        if (started)
            started();
    } catch (...) {
        waitError = std::current_exception();
        terminateRunning();
    }
    try {
        waitForEnd(process, waitError ? std::function<void()>() : waitTick, kWaitTickMs);
    } catch (...) {
        if (!waitError)
            waitError = std::current_exception();
    }
    passOnErrors(process, result);
    result.normalExit = process.exitStatus() == QProcess::NormalExit;
    result.exitCode = result.normalExit ? process.exitCode() : -1;
    if (!result.normalExit)
        result.error = process.errorString().toStdString();
    if (waitError)
        std::rethrow_exception(waitError);
    return result;
}

void QtProcessLauncher::terminateRunning()
{
    QProcess* process = m_running;
    if (!process || process->state() == QProcess::NotRunning || process->property("vexloTerminating").toBool())
        return;
    process->setProperty("vexloTerminating", true);
    process->terminate();
    // Without an application object no timer runs: the grace is waited here.
    if (!QCoreApplication::instance()) {
        if (!process->waitForFinished(kTerminateGraceMs))
            process->kill();
        return;
    }
    // An engine that does not end when asked is killed; the timer dies with
    // the process object.
    QTimer::singleShot(kTerminateGraceMs, process, [process] {
        if (process->state() != QProcess::NotRunning)
            process->kill();
    });
}

ProcessLauncher* qtProcessLauncher()
{
    static QtProcessLauncher launcher;
    return &launcher;
}

} // namespace vexlo::platform

#include "ProcessLauncher.h"

#include "base/Paths.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <QVariant>

#include <csignal>
#include <cstdio>
#include <exception>
#include <optional>
#include <sys/prctl.h>
#include <unistd.h>

namespace vexlo::platform {

namespace {

bool survivesDecoding(const std::string& bytes)
{
    const QByteArray raw(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return QFile::encodeName(QFile::decodeName(raw)) == raw;
}

} // namespace

ProcessResult QtProcessLauncher::runAndWait(
    const std::string& program, const std::vector<std::string>& arguments, const std::function<void()>& waitTick)
{
    ProcessResult result;
    if (program.empty() || program.find('\0') != std::string::npos) {
        result.error = "no program name";
        return result;
    }

    QProcess process;
    process.setProgram(paths::toQString(program));
    QStringList args;
    args.reserve(static_cast<qsizetype>(arguments.size()));
    bool exact = survivesDecoding(program);
    for (const auto& a : arguments) {
        args << paths::toQString(a);
        exact = exact && survivesDecoding(a);
    }
    process.setArguments(args);
    // Standard output goes straight to ours; standard error is read, passed
    // on, and its end kept for the caller (an engine says there why it failed).
    process.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    const auto passOnErrors = [&process, &result] {
        const QByteArray bytes = process.readAllStandardError();
        if (bytes.isEmpty())
            return;
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
        std::fflush(stderr);
        result.errorOutput.append(bytes.constData(), static_cast<size_t>(bytes.size()));
        if (result.errorOutput.size() > ProcessResult::kErrorOutputTail)
            result.errorOutput.erase(0, result.errorOutput.size() - ProcessResult::kErrorOutputTail);
    };
    QObject::connect(&process, &QProcess::readyReadStandardError, passOnErrors);
    process.setStandardInputFile(QProcess::nullDevice());

    // QProcess passes text through the locale's encoding, which would alter
    // names that are not valid UTF-8. For those the child replaces itself
    // with the exact bytes before QProcess's own exec; should that fail, the
    // child returns and QProcess reports the failure to start as usual.
    std::vector<std::string> rawArgv;
    std::vector<char*> rawPointers;
    if (!exact) {
        rawArgv.reserve(arguments.size() + 1);
        rawArgv.push_back(program);
        for (const auto& a : arguments)
            rawArgv.push_back(a.substr(0, a.find('\0')));
        for (auto& a : rawArgv)
            rawPointers.push_back(a.data());
        rawPointers.push_back(nullptr);
    }
    char** rawExec = exact ? nullptr : rawPointers.data();
    // The child ends with us: when this process dies, however (a task
    // manager's Kill, the OOM killer), the child is asked to end as by a
    // logout, and no engine goes on writing a file nobody will commit.
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([rawExec, parent] {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::raise(SIGTERM);
        if (rawExec)
            ::execvp(rawExec[0], rawExec);
    });

    std::exception_ptr tickError;
    const bool withEventLoop = QCoreApplication::instance() != nullptr;
    // Without an application object there is no event loop to run.
    std::optional<QEventLoop> loop;
    std::optional<QTimer> tick;
    if (withEventLoop) {
        loop.emplace();
        tick.emplace();
        QObject::connect(&process, &QProcess::finished, &*loop, &QEventLoop::quit);
        tick->setInterval(kWaitTickMs);
        QObject::connect(&*tick, &QTimer::timeout, &*loop, [&] {
            if (!waitTick || tickError)
                return;
            try {
                waitTick();
            } catch (...) {
                // No exception may cross the event loop; it is raised again once
                // the engine has ended.
                tickError = std::current_exception();
            }
        });
    }

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

    if (withEventLoop) {
        if (process.state() != QProcess::NotRunning) {
            tick->start();
            loop->exec(QEventLoop::ExcludeUserInputEvents);
        }
    } else {
        if (waitTick)
            waitTick();
        process.waitForFinished(-1);
    }
    // A process that ended before the loop ran is collected here.
    if (process.state() != QProcess::NotRunning)
        process.waitForFinished(-1);
    passOnErrors();

    result.normalExit = process.exitStatus() == QProcess::NormalExit;
    result.exitCode = result.normalExit ? process.exitCode() : -1;
    if (!result.normalExit)
        result.error = process.errorString().toStdString();
    if (tickError)
        std::rethrow_exception(tickError);
    return result;
}

void QtProcessLauncher::terminateRunning()
{
    QProcess* process = m_running;
    if (!process || process->state() == QProcess::NotRunning || process->property("vexloTerminating").toBool())
        return;
    process->setProperty("vexloTerminating", true);
    process->terminate();
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

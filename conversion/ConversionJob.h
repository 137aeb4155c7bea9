#pragma once
// One pass of the batch loop over the file list: for each row derive the
// target, check the destination, start the engine, wait, read the AbortFlag,
// delete sources or unfinished targets as configured.
#include "ProgressForm.h"
#include "platform/Services.h"
#include "settings/RunSettings.h"

#include <QCoreApplication>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vexlo::platform {
class ProcessLauncher;
class Registry;
} // namespace vexlo::platform

namespace vexlo::conversion {

enum class RunMode : uint8_t {
    rmInteractive = 0,
    rmCommandLineAuto = 1,
    rmCommandLinePrompt = 2,
    rmScheduled = 3,
};

// What the loop needs from the window that owns the list.
class ConversionHost {
public:
    virtual ~ConversionHost() = default;
    virtual int rowCount() const = 0;
    virtual std::string rowPath(int index) const = 0;
    // Lets queued window events through once (between files).
    virtual void processPendingEvents() = 0;
    // A message box owned by the main window.
    virtual platform::MessageAnswer showMessage(
        const std::string& title, const std::string& text, platform::MessageIcon icon, platform::MessageButtons buttons)
        = 0;
    virtual TProgressForm& progress() = 0;
    // Called regularly while the engine runs: keep the window painted, take no
    // user input.
    virtual void engineWaitTick() {}
    // True once the run must end (the window is closing, the session ends):
    // no further file is started and a running engine is asked to cancel.
    virtual bool stopRequested() const { return false; }
    // True once the user asked to stop the run after the file being
    // converted: that file ends as if the engine had written the AbortFlag 1.
    virtual bool stopAfterThisFile() const { return false; }
    // Another run of this user converts: this one waits for it (`waiting`
    // true), or the wait is over (false).
    virtual void waitingForOtherRun(bool /*waiting*/) {}
    // Nothing more will convert in this run: called before any box about its
    // end, so that nothing keeps the computer awake while a box waits.
    virtual void runEnding() {}
};

// Target-name rule: FileType replaces the source's extension; with
// ConvertToSamePath false the file name goes into DestPath; a target equal to
// the source (ASCII case ignored, or another name of the same file: a folder
// reached through a link, "//" in the path) becomes "<name>_New<FileType>"
// beside the source.
std::string targetFileName(const std::string& source, const settings::RunSettings& rs);

// The engine's single argument: 13 fields joined by "|" with the format
// "%s|%s|%s|%d|%d|%d|%s|%d|%d|%d|%s|%d|%s".
std::string buildEngineArgument(
    const std::string& source, const std::string& target, const settings::RunSettings& rs, char marker);

// The AbortFlag as read after an engine run: opens (creating) the key, reads
// the default value. Missing key or empty text gives 0; text that is not a
// decimal integer gives nullopt.
std::optional<int32_t> ReadAbortFlag(platform::Registry& registry);

// The engine program: "trevok" in the program folder when present, else the
// first "trevok" on PATH, else the bare name.
std::string findEngine();

struct JobResult {
    bool completed = false;           // else aborted
    int converted = 0;                // files the engine finished (not cancelled)
    std::optional<std::string> error; // an error that escaped the loop (already wound up)
    // A file was not converted completely, or its source could not be deleted
    // as asked: the run's exit status is 1. Each is in `reports`.
    bool filesFailed = false;
    // What the user must know about single files (told at the run's end, in
    // one box; on standard error in a silent run): a result kept under
    // another name, a source kept or not deleted, and why.
    std::vector<std::string> reports;
};

// The operating-system services a run uses: the registry that carries the
// engine's AbortFlag, and the launcher that starts the engine and waits for it.
struct JobServices {
    platform::Registry& registry;
    platform::ProcessLauncher& processes;
};

class ConversionJob {
    Q_DECLARE_TR_FUNCTIONS(ConversionJob)

public:
    // `marker` is the engine argument's 13th field: 'S' silent, 'N' normal.
    ConversionJob(ConversionHost& host, JobServices services, const settings::RunSettings& settings, char marker,
        std::string enginePath = findEngine());
    // ConvertFiles steps 1 to 4; the caller then runs ConversionCompleted or
    // ConversionAborted by `completed`.
    //
    // One run at a time per user: a run waits for another one to end first.
    // Each file is a transaction. The engine writes into a part file that this
    // run created beside the target (FileTransaction.h); the AbortFlag is
    // removed before each start, so a value left by an earlier run never
    // passes for this run's report. A file counts as failed and ends the run
    // (the value 2) when the engine was killed or crashed, ended with a
    // non-zero status, or left no AbortFlag; each is told, as is an engine
    // that cannot be started, a name that holds "|", and an AbortFlag that
    // cannot be reset. An AbortFlag that is not a decimal integer is a failed
    // file too (`error` "'<text>' is not a valid integer value").
    // A result counts only when the engine ended normally with status 0 and a
    // go-on value, and the file holds the source's running time (within
    // contract::durationTolerance) and its kinds of streams. Only then is it
    // written to the disk, renamed to the target name (never over a file of
    // this run, one that appeared during the run, or a source of the run) and,
    // as asked, the source deleted, while its path still names the file the
    // engine read and when the result holds every track of it. A failed or
    // cancelled file leaves nothing under the target name; a result that ends
    // early because its source is incomplete is kept as
    // "<name> (incomplete)<ext>". A failed file stops the run unless
    // RunSettings::ContinueOnError; the end report lists what was left.
    JobResult run();

private:
    ConversionHost& m_host;
    JobServices m_services;
    settings::RunSettings m_settings;
    char m_marker;
    std::string m_enginePath;
};

} // namespace vexlo::conversion

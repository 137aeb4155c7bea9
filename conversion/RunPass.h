#pragma once
// The state of one conversion run and the rules it applies, shared by the
// files that carry them out. Not used outside this folder.
#include "ConversionJob.h"
#include "FileTransaction.h"
#include "MediaCheck.h"
#include "RunLock.h"
#include "RunNames.h"

#include "platform/Services.h"

#include <QCoreApplication>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace vexlo::conversion {

// A temporary file the engine writes the source's running time into, named
// in $TREVOK_SOURCE_SECONDS_FILE while it lives.
class SourceSecondsFile {
public:
    SourceSecondsFile();
    ~SourceSecondsFile();
    SourceSecondsFile(const SourceSecondsFile&) = delete;
    SourceSecondsFile& operator=(const SourceSecondsFile&) = delete;
    // Empties the file before an engine starts.
    void clear();
    // What the engine wrote; 0 when nothing (a failure, an older engine).
    double read() const;

private:
    std::string m_path;
    int m_fd = -1;
};

// The AbortFlag as the engine left it.
struct FlagReading {
    bool present = false; // the value exists (the engine wrote it)
    std::string text;
    std::optional<int32_t> value; // nullopt: not a decimal integer
};

FlagReading readFlag(platform::Registry& registry);
std::string invalidFlagError(const std::string& text);

// "%1" ... "%9" of a translated text replaced by byte strings (file names
// stay as the file system spells them).
std::string fill(const QString& format, std::initializer_list<std::string> values);
// Seconds with one decimal, as the reports give them.
std::string seconds(double s);

// One pass over the rows: the run loop (RunPass.cpp), how the engine's run
// ended (EngineEnd.cpp), what makes a result safe to keep and a source safe
// to delete (ResultKeeping.cpp), and what the user is told (RunReport.cpp).
class RunPass {
    Q_DECLARE_TR_FUNCTIONS(ConversionJob)

public:
    RunPass(ConversionHost& host, JobServices services, const settings::RunSettings& rs, char marker,
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

    // The last file's result, waiting to be checked and kept: that work
    // (reading it back, flushing it, renaming it, deleting its source) goes
    // on while the next file's engine runs, and is done before anything of
    // the next file that could depend on it or that the user sees.
    struct Finishing {
        FileWork work;
        EngineEnd end;
    };
    void settle();

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
    // Where the engine tells the source's running time as it read it
    // ($TREVOK_SOURCE_SECONDS_FILE): the length a whole result has, also for
    // recordings joined end to end, whose time stamps start afresh.
    SourceSecondsFile m_sourceSeconds;
    std::optional<Finishing> m_finishing;
};

} // namespace vexlo::conversion

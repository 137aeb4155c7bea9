#pragma once
// Small helpers shared by the suites.
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace vexlo::test {

// Saves a picture of the widget as <build>/screenshots/<name>.png; returns the path.
std::string saveScreenshot(QWidget* widget, const std::string& name);

// Processes events until `done` holds or the time runs out; returns `done()`.
bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(30));

// Runs `program` (searched on PATH) with `args` and gives its standard
// output, trimmed; empty when it could not run or took over `timeoutMs`.
QString toolOutput(const QString& program, const QStringList& args, int timeoutMs = 25000);

// Delivers what is already posted (queued calls, posted events, deferred
// deletes) and what that posts in turn, without waiting for anything new:
// after it, a queued reaction to what happened has happened.
void deliverPostedEvents();

// Writes `bytes` to `path` (creating parent folders); throws on failure.
void writeFile(const std::string& path, const std::string& bytes);
// Reads a whole file; empty when missing.
std::string readFile(const std::string& path);

// A short real video with sound (64x48 pictures and a tone, MPEG-TS, made
// once per process with ffmpeg), `seconds` long: sources whose conversion can
// be checked against their length.
const std::string& clipBytes(int seconds = 1);
// Writes clipBytes(seconds) to `path` (creating parent folders).
void writeClip(const std::string& path, int seconds = 1);

// The folder of the built programs (vexlo, trevok, the shipped data).
std::string binDir();

// Starts `argv` (argv[0] searched on PATH when it has no "/") with exactly
// `environment` (NAME=value), standard input on /dev/null and standard output
// and error into the files named, in `workingFolder` when not empty. Returns
// the child's pid, or -1 when it could not be started.
int spawnProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
    const std::string& outPath, const std::string& errPath, const std::string& workingFolder = {});
// Waits for a child: its exit status, or 128 + the signal that ended it.
int waitForProgram(int pid);

} // namespace vexlo::test

#include "ConversionJob.h"

#include "base/Paths.h"
#include "base/Text.h"
#include "platform/Product.h"
#include "platform/Registry.h"
#include "shellutil/ConvertPublic.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
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

// Removes the file outright; a failed deletion is ignored.
void deleteFile(const std::string& path)
{
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

// What is at a path, to tell afterwards whether an engine run wrote it: a
// rewrite changes the inode (a new file renamed into place) or the
// modification time (the same file truncated and written again).
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    timespec modified{};
    off_t size = 0;
};

FileStamp stampOf(const std::string& path)
{
    FileStamp stamp;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return stamp;
    stamp.exists = true;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.modified = st.st_mtim;
    stamp.size = st.st_size;
    return stamp;
}

// True when `after` is a file that was created or changed since `before`.
bool writtenBetween(const FileStamp& before, const FileStamp& after)
{
    if (!after.exists)
        return false;
    if (!before.exists)
        return true;
    return before.device != after.device || before.inode != after.inode
        || before.modified.tv_sec != after.modified.tv_sec || before.modified.tv_nsec != after.modified.tv_nsec
        || before.size != after.size;
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
        std::string folder = rs.DestPath;
        if (!folder.empty() && folder.back() != '/')
            folder += '/';
        target = folder + target.substr(target.rfind('/') + 1);
    }
    if (text::asciiEqualNoCase(target, source))
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
    if (const char* path = std::getenv("PATH")) {
        const std::string dirs(path);
        size_t from = 0;
        while (from <= dirs.size()) {
            size_t to = dirs.find(':', from);
            if (to == std::string::npos)
                to = dirs.size();
            std::string dir = dirs.substr(from, to - from);
            if (dir.empty())
                dir = ".";
            const std::string candidate = dir + (dir.back() == '/' ? "" : "/") + kEngineName;
            if (isExecutableFile(candidate))
                return candidate;
            from = to + 1;
        }
    }
    return kEngineName;
}

ConversionJob::ConversionJob(ConversionHost& host, JobServices services, const settings::RunSettings& settings,
    char marker, std::string enginePath)
    : m_host(host), m_services(services), m_settings(settings), m_marker(marker), m_enginePath(std::move(enginePath))
{
    // The engine inherits this environment; its argument has no field for this.
    ::setenv("VEXLO_KEEP_RECORDING_DATE", settings.KeepRecordingDate ? "1" : "0", 1);
}

JobResult ConversionJob::run()
{
    JobResult result;
    platform::Registry& registry = m_services.registry;
    platform::ProcessLauncher& launcher = m_services.processes;
    bool runStopped = false; // refused destination, "No" to overwriting, ...
    bool failed = false;     // a file failed without the engine's own report
    const auto fail = [&](std::string text) {
        failed = true;
        if (!result.error)
            result.error = std::move(text);
    };
    const auto tell = [&](const QString& title, const std::string& text, platform::MessageIcon icon,
                          platform::MessageButtons buttons) {
        return m_host.showMessage(title.toStdString(), text, icon, buttons);
    };
    const auto tellError = [&](const QString& format, const std::string& value) {
        tell(QString::fromUtf8(product::kName), text::replacePlaceholder(format.toStdString(), value),
            platform::MessageIcon::Error, platform::MessageButtons::Ok);
    };

    try {
        TProgressForm& progress = m_host.progress();
        const int n = m_host.rowCount();
        progress.SetTotal(n);
        bool terminating = false;
        const std::function<void()> tick = [&] {
            if (!terminating && m_host.stopRequested()) {
                terminating = true;
                launcher.terminateRunning();
            }
            m_host.engineWaitTick();
        };

        for (int i = 0; i < n; ++i) {
            if (m_host.stopRequested()) {
                runStopped = true;
                break;
            }
            const std::string source = m_host.rowPath(i);
            const std::string target = targetFileName(source, m_settings);
            progress.SetCurrent(i + 1);
            m_host.processPendingEvents();
            if (m_host.stopRequested()) {
                runStopped = true;
                break;
            }

            const std::string folder = shellutil::folderPart(target);
            if (shellutil::IsCDROMPath(folder)) {
                tell(tr("Invalid Output Folder"),
                    text::replacePlaceholder(tr("Output folder is CD-ROM and read only!\r\n\r\n  %s\r\n\r\n"
                                                "Please click \"Options\" button to specify a valid output "
                                                "folder first.")
                                                 .toStdString(),
                        folder),
                    platform::MessageIcon::Error, platform::MessageButtons::Ok);
                runStopped = true;
                break;
            }

            // "|" separates the engine's fields; such a name would shift them.
            const std::string* barred = source.find('|') != std::string::npos ? &source
                : target.find('|') != std::string::npos                       ? &target
                                                                              : nullptr;
            if (barred) {
                tellError(tr("'%s'\r\n\r\nThis file name contains \"|\", which the conversion engine "
                             "cannot accept. Rename the file and convert it again."),
                    *barred);
                runStopped = true;
                break;
            }

            if (m_settings.PromptOverwrite && paths::isRegularFile(target)) {
                const auto answer = tell(tr("Overwrite"),
                    text::replacePlaceholder(
                        tr("Target file already existing!\r\n  '%s'\r\n\r\n do you want to overwrite?").toStdString(),
                        target),
                    platform::MessageIcon::Question, platform::MessageButtons::YesNo);
                if (answer != platform::MessageAnswer::Yes) {
                    runStopped = true;
                    break;
                }
            }

            // The engine's report must be this run's own: a value left behind
            // by an earlier run (or a run that could not write) must not pass
            // for it.
            if (!registry.deleteValue(platform::Hive::CurrentUser, platform::kAbortFlagKey, "")) {
                tellError(tr("The conversion engine's report (the AbortFlag) cannot be reset, so its "
                             "result could not be trusted. Nothing was converted.\r\n\r\n'%s'"),
                    source);
                runStopped = true;
                break;
            }
            const FileStamp targetBefore = stampOf(target);

            const platform::ProcessResult ended
                = launcher.runAndWait(m_enginePath, {buildEngineArgument(source, target, m_settings, m_marker)}, tick);
            if (!ended.started) {
                tellError(tr("The conversion engine could not be started:\r\n%s"), m_enginePath);
                runStopped = true;
                break;
            }

            // Anything but a normal end with status 0 and a fresh report is a
            // failed file (the value 2).
            int32_t value = 2;
            if (!ended.normalExit) {
                failed = true;
                if (!terminating)
                    tellError(tr("The conversion engine stopped unexpectedly (it was killed or "
                                 "crashed) while converting\r\n'%s'\r\n\r\nThe source file was kept."),
                        source);
            } else {
                const FlagReading flag = readFlag(registry);
                if (!flag.present) {
                    failed = true;
                    tellError(tr("The conversion engine ended without reporting its result for\r\n"
                                 "'%s'\r\n\r\nThe file counts as failed; the source file was kept."),
                        source);
                } else if (!flag.value) {
                    fail(invalidFlagError(flag.text));
                } else if (ended.exitCode != 0) {
                    failed = true;
                    // The engine's own failure report (2) was told by the
                    // engine; any other pairing is not.
                    if (*flag.value != 2)
                        tellError(tr("The conversion engine failed with exit status %1 while "
                                     "converting\r\n'%s'\r\n\r\nThe source file was kept.")
                                      .arg(ended.exitCode),
                            source);
                } else {
                    value = *flag.value;
                }
            }

            const FileStamp targetAfter = stampOf(target);
            const bool targetWritten = writtenBetween(targetBefore, targetAfter) && !sameFile(source, target);
            if (value != 2)
                ++result.converted;
            if (value == 2 && m_settings.DelFileWhenCanceled && targetWritten)
                deleteFile(target);
            if (value > 0)
                break;

            if (m_settings.DeleteSourceWhenDone && targetWritten && targetAfter.size > 0
                && paths::isRegularFile(source))
                deleteFile(source);
        }
    } catch (const std::exception& e) {
        result.error = e.what();
    } catch (...) {
        result.error = tr("Unknown error").toStdString();
    }

    // Final part, always: the AbortFlag once more decides together with the
    // loop's own findings.
    std::optional<int32_t> last;
    try {
        const FlagReading flag = readFlag(registry);
        last = flag.value;
        if (!last)
            fail(invalidFlagError(flag.text));
    } catch (const std::exception& e) {
        fail(e.what());
    } catch (...) {
        fail(tr("Unknown error").toStdString());
    }
    result.completed = !runStopped && !failed && last && *last != 1 && *last != 2;
    return result;
}

} // namespace vexlo::conversion

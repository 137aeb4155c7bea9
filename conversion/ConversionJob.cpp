#include "ConversionJob.h"

#include "RunPass.h"

#include "base/Paths.h"
#include "base/Text.h"
#include "platform/Product.h"
#include "platform/Registry.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
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

} // namespace

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

ConversionJob::ConversionJob(ConversionHost& host, JobServices services, const settings::RunSettings& settings,
    char marker, std::string enginePath)
    : m_host(host), m_services(services), m_settings(settings), m_marker(marker), m_enginePath(std::move(enginePath))
{
    // The engine inherits this environment; its argument has no field for this.
    qputenv("VEXLO_KEEP_RECORDING_DATE", settings.KeepRecordingDate ? "1" : "0");
    // The engine ends with us: when this process dies, however (a task
    // manager's Kill, the OOM killer), the engine is told as by a logout, and
    // no engine goes on writing a file nobody will commit.
    qputenv("TREVOK_PARENT_PID", QByteArray::number(::getpid()));
}

JobResult ConversionJob::run() { return RunPass(m_host, m_services, m_settings, m_marker, m_enginePath).run(); }

} // namespace vexlo::conversion

#include "RunSettings.h"
#include "base/Paths.h"
#include "base/Text.h"
#include <QCoreApplication>

namespace vexlo::settings {

namespace {

std::string_view trimBlanks(std::string_view s)
{
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

// One side of the frame size: it must be an integer, or the load fails.
int32_t frameDimension(std::string_view part)
{
    const std::string_view text = trimBlanks(part);
    if (const auto v = parseIniInteger(text))
        return *v;
    throw SettingsError(text::replacePlaceholder(
        QCoreApplication::translate("SettingsError", "'%s' is not a valid integer value").toStdString(), text));
}

} // namespace

std::string profileSectionName(int32_t n) { return "VideoFormat" + std::to_string(n); }

void loadProfileSettings(const IniDocument& doc, int32_t n, RunSettings& into)
{
    const std::string s = profileSectionName(n);

    into.VideoFormat = doc.readText(s, "VideoFormat", "");
    into.AudioFormat = doc.readText(s, "AudioFormat", "ACC");

    // "W x H": split at the first lower-case "x" (an upper-case "X" does not
    // count); a value without one, such as "Same as source file", gives 0 x 0.
    // "Up to W x H" is a bound, handed to the engine as -W x -H: the source's
    // shape is kept and its longer and shorter sides are brought within W and H.
    const std::string size = doc.readText(s, "FrameSize", "320 x 240");
    into.FrameWidth = 0;
    into.FrameHeight = 0;
    std::string_view text(size);
    text = trimBlanks(text);
    const bool bound = text.substr(0, kUpTo.size()) == kUpTo;
    if (bound)
        text.remove_prefix(kUpTo.size());
    const size_t x = text.find('x');
    if (x != std::string::npos) {
        const int32_t width = frameDimension(text.substr(0, x));
        const int32_t height = frameDimension(text.substr(x + 1));
        if (bound && (width <= 0 || height <= 0))
            throw SettingsError(text::replacePlaceholder(
                QCoreApplication::translate("SettingsError", "'%s' is not a valid frame size").toStdString(), size));
        into.FrameWidth = bound ? -width : width;
        into.FrameHeight = bound ? -height : height;
    }

    into.VideoBitrate = doc.readInteger(s, "VideoBitrate", 512);

    // "0" tells the engine to keep the source's rate.
    const std::string rate = doc.readText(s, "Framerate", kSameAsSource);
    into.FrameRate = (rate.empty() || rate == kSameAsSource) ? "0" : rate;

    into.AudioBitrate = doc.readInteger(s, "AudioBitrate", 128);
    into.SampleRate = doc.readInteger(s, "SampleBitrate", 44100);
    // Stored as the position in the channel box (0 Mono, 1 Stereo, -1 none).
    into.ChannelCount = static_cast<int32_t>(static_cast<int64_t>(doc.readInteger(s, "Channels", 1)) + 1);
    into.IsPSP = doc.readInteger(s, "IsPSP", 0);
    into.FileType = doc.readText(s, "FileType", ".mp4");
}

RunSettings loadRunSettings(const IniDocument& doc, const std::string& defaultDestination)
{
    RunSettings r;
    const int32_t n = doc.readInteger("Options", "OutputFormat", 0);
    loadProfileSettings(doc, n, r);
    r.DestPath = doc.readText("Options", "DestPath", paths::withTrailingSlash(defaultDestination));
    r.ConvertToSamePath = doc.readFlag("Options", "ConvertToSamePath", true);
    r.OverwriteExistFile = doc.readFlag("Options", "OverwriteExistFile", true);
    r.PromptOverwrite = doc.readFlag("Options", "PromptOverwrite", false);
    r.DelFileWhenCanceled = doc.readFlag("Options", "DelFileWhenCanceled", false);
    r.DeleteSourceWhenDone = doc.readFlag("Options", "DeleteSourceWhenDone", false);
    r.KeepRecordingDate = doc.readFlag("Options", "KeepRecordingDate", true);
    r.ContinueOnError = doc.readFlag("Options", "ContinueOnError", false);
    return r;
}

} // namespace vexlo::settings

#include "EngineReport.h"

#include "base/Text.h"

#include <QCoreApplication>
#include <algorithm>
#include <sys/stat.h>
#include <string_view>
#include <vector>

namespace vexlo::conversion {

std::string engineFailure(const std::string& errorOutput)
{
    const std::string_view own = "trevok: ";
    const auto progress = [](std::string_view line) { return line.starts_with("trevok: progress "); };
    std::vector<std::string_view> lines = text::splitList(errorOutput, '\n');
    std::erase_if(lines, progress);
    const auto last
        = std::find_if(lines.rbegin(), lines.rend(), [&](std::string_view l) { return l.starts_with(own); });
    if (last == lines.rend() || last->starts_with("trevok: cancelled"))
        return {};
    std::string why(last->substr(own.size()));
    int count = 1;
    for (auto line = last.base(); line != lines.end() && count < 12; ++line, ++count)
        why.append("\n").append(*line);
    return why;
}

std::string lastLine(const std::string& text)
{
    const std::vector<std::string_view> lines = text::splitList(text, '\n');
    const auto last = std::find_if(
        lines.rbegin(), lines.rend(), [](std::string_view l) { return l.find_first_not_of(" \t\r") != l.npos; });
    return last == lines.rend() ? std::string() : std::string(*last);
}

std::string plainReason(const std::string& why, const std::string& source)
{
    const auto has = [&why](std::initializer_list<const char*> words) {
        return std::any_of(words.begin(), words.end(), [&why](const char* w) { return why.find(w) != why.npos; });
    };
    const auto say = [](const char* text) { return QCoreApplication::translate("ConversionJob", text).toStdString(); };
    struct stat st {};
    // The engine's own check of the room for a first pass's statistics,
    // before and after that pass; ffmpeg's words under it would name the
    // destination's disk.
    if (has({"first pass's statistics need", "could not write its statistics"}))
        return say(QT_TRANSLATE_NOOP("ConversionJob", "The folder for temporary files is full or cannot be written."));
    if (has({"No space left on device", "Disk quota exceeded", "File too large"}))
        return say(QT_TRANSLATE_NOOP("ConversionJob", "The disk is full."));
    if (has({"Permission denied", "Read-only file system", "Operation not permitted"})
        && !why.starts_with("could not read"))
        return say(QT_TRANSLATE_NOOP("ConversionJob", "The destination folder cannot be written."));
    if (why.starts_with("could not read") && ::stat(source.c_str(), &st) == 0 && st.st_size == 0)
        return say(QT_TRANSLATE_NOOP("ConversionJob", "The file is empty."));
    if (has({"neither pictures nor sound", "plays only videos", "holds sound alone"}))
        return say(QT_TRANSLATE_NOOP("ConversionJob", "The file has no pictures."));
    if (why.starts_with("could not read") || has({"Invalid data found when processing input"}))
        return say(QT_TRANSLATE_NOOP("ConversionJob", "The file is damaged or is not a video."));
    return {};
}

} // namespace vexlo::conversion

#include "EngineReport.h"

#include "base/Text.h"

#include <algorithm>
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

} // namespace vexlo::conversion

#pragma once
// Looking things up in an ffmpeg argument vector.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace vexlo::engine::test {

// The value that follows `name` (its first occurrence), or nullopt.
inline std::optional<std::string> option(const std::vector<std::string>& args, const std::string& name)
{
    const auto it = std::find(args.begin(), args.end(), name);
    if (it == args.end() || it + 1 == args.end())
        return std::nullopt;
    return *(it + 1);
}

inline bool has(const std::vector<std::string>& args, const std::string& word)
{
    return std::find(args.begin(), args.end(), word) != args.end();
}

} // namespace vexlo::engine::test

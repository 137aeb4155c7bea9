#pragma once
// Looking things up in an ffmpeg argument vector, and the requests and plans
// the argument tests start from.
#include "engine/FfmpegArguments.h"

#include <gtest/gtest.h>

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

// A request to convert `source` into `target` with the codecs named, at the
// source's own size and rate.
inline EngineRequest requestOf(
    const std::string& source, const std::string& target, const std::string& video, const std::string& audio)
{
    EngineRequest r;
    r.source = source;
    r.target = target;
    r.videoFormat = video;
    r.audioFormat = audio;
    r.frameRate = "0";
    return r;
}

// The plan for `r`; a refusal fails the test (and gives an empty plan).
inline OutputPlan planOrFail(const EngineRequest& r, const SourceInfo& source)
{
    auto plan = planOutput(r, source);
    if (auto* e = std::get_if<PlanError>(&plan)) {
        ADD_FAILURE() << e->message;
        return {};
    }
    return std::get<OutputPlan>(plan);
}

} // namespace vexlo::engine::test

// What the engine reads per file besides converting it: the source itself,
// its recording date (the container's time, else the camcorder's MDPM message
// in the first pictures of an H.264 stream, else the file's time), and the
// result's running time for the length check. Clips are named on the command
// line through $VEXLO_BENCH_SOURCE (an H.264 camcorder clip, e.g.
// build/bench-clips/camcorder.m2ts) and $VEXLO_BENCH_RESULT (a converted file).
#include "engine/RecordingDate.h"
#include "engine/SourceProbe.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

using namespace vexlo::engine;

namespace {

std::string clip(const char* variable)
{
    const char* value = std::getenv(variable);
    return value ? value : "";
}

void readOrSkip(benchmark::State& state, const std::string& file, bool date)
{
    if (file.empty()) {
        state.SkipWithError("no clip named");
        return;
    }
    std::string error;
    const auto info = readSource(file, error);
    if (!info) {
        state.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : state) {
        if (date)
            benchmark::DoNotOptimize(recordingDateOf(file, *info));
        else
            benchmark::DoNotOptimize(readSource(file, error));
    }
}

void BM_ReadSource(benchmark::State& state) { readOrSkip(state, clip("VEXLO_BENCH_SOURCE"), false); }
void BM_RecordingDate(benchmark::State& state) { readOrSkip(state, clip("VEXLO_BENCH_SOURCE"), true); }
void BM_LengthCheckOfTheResult(benchmark::State& state) { readOrSkip(state, clip("VEXLO_BENCH_RESULT"), false); }

} // namespace

BENCHMARK(BM_ReadSource)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordingDate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LengthCheckOfTheResult)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();

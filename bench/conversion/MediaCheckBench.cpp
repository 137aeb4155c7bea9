// The run's own reading of a source and of a result (stream counts and
// running time) per file, on the files named by $VEXLO_BENCH_SOURCE and
// $VEXLO_BENCH_RESULT (e.g. the clip and a result of run-conversion-bench's
// no-op engine, or build/bench-clips/camcorder.m2ts and its conversion).
#include "conversion/MediaCheck.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

void readFacts(benchmark::State& state, const char* variable)
{
    const char* file = std::getenv(variable);
    if (!file || !*file) {
        state.SkipWithError("no file named");
        return;
    }
    for (auto _ : state) {
        const auto facts = vexlo::conversion::readMediaFacts(file);
        if (!facts.readable) {
            state.SkipWithError(("does not read: " + facts.error).c_str());
            return;
        }
        benchmark::DoNotOptimize(facts.durationSeconds);
    }
}

void sourceFacts(benchmark::State& state) { readFacts(state, "VEXLO_BENCH_SOURCE"); }
void resultFacts(benchmark::State& state) { readFacts(state, "VEXLO_BENCH_RESULT"); }

} // namespace

BENCHMARK(sourceFacts)->Unit(benchmark::kMicrosecond);
BENCHMARK(resultFacts)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();

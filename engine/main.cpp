// trevok: Vexlo's conversion engine. See engine/README.md.
#include "engine/Engine.h"
#include "base/EngineContract.h"

#include <exception>
#include <cstdio>

int main(int argc, char** argv)
{
    try {
        return vexlo::engine::runEngine(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "trevok: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "trevok: unexpected error\n");
    }
    vexlo::engine::writeAbortFlag(2);
    return vexlo::contract::kExitFailed;
}

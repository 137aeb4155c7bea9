#pragma once
// Helpers for suites that run the scripted fake engine (FakeTrevok.cpp
// describes its script and log formats).
#include <string>
#include <vector>

namespace vexlo::platform {
class TestPlatform;
}

namespace vexlo::test {

// The built fake-trevok program.
std::string fakeEnginePath();

// Links the fake engine as <programFolder>/trevok of `platform` and empties its
// log and script. Returns the installed path.
std::string installFakeEngine(const platform::TestPlatform& platform);

// Scripts the next calls: line k for call k (see FakeTrevok.cpp), counted from
// the first call after installFakeEngine.
void setFakeEngineScript(const platform::TestPlatform& platform, const std::vector<std::string>& lines);

// The argument vectors of the calls so far, oldest first.
std::vector<std::vector<std::string>> fakeEngineCalls(const platform::TestPlatform& platform);

// The log and script files beside the registry root.
std::string fakeEngineLogPath(const platform::TestPlatform& platform);
std::string fakeEngineScriptPath(const platform::TestPlatform& platform);

} // namespace vexlo::test

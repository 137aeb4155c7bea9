#pragma once
// Running programs for the install suites: an argument vector (no shell),
// standard output and error captured, an optional working folder and an
// environment given in full.
#include <map>
#include <string>
#include <vector>

namespace vexlo::test {

struct ProgramRun {
    int status = -1; // exit status; 128 + signal; -1 when it could not start
    std::string out;
    std::string err;
};

// The test process's environment with `changes` applied (an empty value
// removes the variable).
std::vector<std::string> environmentWith(const std::map<std::string, std::string>& changes);

ProgramRun runProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
    const std::string& scratchFolder);

// A fresh folder below the system's temporary folder, readable by everyone
// (mode 0755) so that an unprivileged user can reach what lies below it.
std::string makeScratchFolder(const std::string& prefix);

} // namespace vexlo::test

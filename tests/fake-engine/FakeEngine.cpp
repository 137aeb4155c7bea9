#include "FakeEngine.h"

#include "support/TestDoubles.h"
#include "support/TestSupport.h"

#include <filesystem>
#include <sstream>
#include <stdexcept>

namespace vexlo::test {

std::string fakeEnginePath() { return VEXLO_FAKE_TREVOK; }

std::string fakeEngineLogPath(const platform::TestPlatform& platform) { return platform.root() + "fake-trevok.log"; }

std::string fakeEngineScriptPath(const platform::TestPlatform& platform)
{
    return platform.root() + "fake-trevok.script";
}

std::string installFakeEngine(const platform::TestPlatform& platform)
{
    namespace fs = std::filesystem;
    const std::string installed = platform.programFolder() + "trevok";
    fs::create_directories(platform.programFolder());
    std::error_code ec;
    fs::remove(installed, ec);
    fs::create_symlink(fakeEnginePath(), installed);
    writeFile(fakeEngineLogPath(platform), "");
    writeFile(fakeEngineScriptPath(platform), "");
    return installed;
}

void setFakeEngineScript(const platform::TestPlatform& platform, const std::vector<std::string>& lines)
{
    std::string text;
    for (const auto& line : lines)
        text += line + "\n";
    writeFile(fakeEngineScriptPath(platform), text);
}

std::vector<std::vector<std::string>> fakeEngineCalls(const platform::TestPlatform& platform)
{
    std::vector<std::vector<std::string>> calls;
    std::istringstream in(readFile(fakeEngineLogPath(platform)));
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> args(1);
        for (size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (c == '\t') {
                args.emplace_back();
            } else if (c == '\\' && i + 1 < line.size()) {
                const char e = line[++i];
                args.back() += e == 'n' ? '\n' : e == 't' ? '\t' : e;
            } else {
                args.back() += c;
            }
        }
        if (line.empty())
            args.clear();
        calls.push_back(std::move(args));
    }
    return calls;
}

} // namespace vexlo::test

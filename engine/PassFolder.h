#pragma once
// The folder of a conversion in two passes: the first pass's statistics go
// there (ffmpeg's -passlogfile) for the second to read. It lives in the
// temporary folder ($TMPDIR, else /tmp), named after the engine that made it
// ("trevok-passes-<pid>-<start>-XXXXXX", the process number and its start
// time in clock ticks since boot, which together never name two processes),
// and goes when the conversion ends, however it ends. Folders of engines
// that died without ending (killed) are removed by the next engine.
#include <cstdint>
#include <optional>
#include <string>

namespace vexlo::engine {

class PassFolder {
public:
    PassFolder() = default;
    ~PassFolder();
    PassFolder(const PassFolder&) = delete;
    PassFolder& operator=(const PassFolder&) = delete;

    // Makes the folder where `needed` bytes fit (statisticsRoom()); false
    // with `error` set when it cannot, or when there is no room for them:
    // ffmpeg does not check the writes of the statistics, and the second
    // pass would fail on them only after the whole first pass.
    bool create(std::string& error, uint64_t needed = 0);
    // The statistics' name (ffmpeg adds "-0.log"): inside the folder once it
    // is made, else where it would be (for a dry run).
    std::string logPrefix() const;
    // Removes the folder with what it holds (also done on destruction).
    void remove();

private:
    std::string m_path;
};

// Removes the pass folders of engines that no longer run from `tempFolder`
// (those of this user only).
void removeDeadPassFolders(const std::string& tempFolder);

// $TMPDIR when it names a folder, else /tmp.
std::string temporaryFolder();

// The room a first pass's statistics take for `pictures` pictures: libvpx
// keeps 208 bytes for each picture and for the whole, which ffmpeg writes
// in base64 (278 bytes), and the folder and the file take whole blocks.
uint64_t statisticsRoom(double pictures);

// The bytes this process can still write in the file system of `folder`
// (for root, the blocks kept for root too); nullopt when unknown (a file
// system that tells no size).
std::optional<uint64_t> roomIn(const std::string& folder);

} // namespace vexlo::engine

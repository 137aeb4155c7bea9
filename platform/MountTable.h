#pragma once
// The optical-drive test over a mount table in the format of
// /proc/self/mountinfo: the Linux drives service, and the reader it uses.
#include "Services.h"

#include <functional>
#include <optional>
#include <string>

namespace vexlo::platform {

// The mount point, file system type and source of the mount that holds the
// absolute `path`, from a text in the format of /proc/self/mountinfo (octal
// escapes such as \040 decoded). The mount point is the longest prefix of the
// path on a component boundary; of equal ones the later line wins.
struct MountEntry {
    std::string mountPoint;
    std::string fileSystem;
    std::string source;
};
std::optional<MountEntry> mountOf(const std::string& mountInfo, const std::string& path);

// A path is on an optical drive when its mount has the file system iso9660 or
// udf, or its device is /dev/sr*. `readMountInfo` gives the table's text (the
// Linux services read /proc/self/mountinfo; tests pass their own).
class MountTableDrives : public Drives {
public:
    explicit MountTableDrives(std::function<std::string()> readMountInfo);
    bool isOptical(const std::string& path) const override;
    std::function<std::string()> readMountInfo;
};

} // namespace vexlo::platform

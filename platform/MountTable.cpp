// The optical-drive test over a mount table in the format of /proc/self/mountinfo.
#include "MountTable.h"

#include <sstream>
#include <vector>

namespace vexlo::platform {

namespace {

// Undoes the octal escapes (\040 for a blank, \011, \012, \134) of mountinfo.
std::string decodeMountField(const std::string& field)
{
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out += static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

std::vector<std::string> splitBlanks(const std::string& line)
{
    std::vector<std::string> fields;
    std::istringstream in(line);
    std::string field;
    while (in >> field)
        fields.push_back(field);
    return fields;
}

// The path without "." components, doubled "/" and ".." steps (lexically).
std::string normalizedAbsolute(const std::string& path)
{
    std::vector<std::string> parts;
    size_t start = 1;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string out;
    for (const std::string& part : parts)
        out += "/" + part;
    return out.empty() ? "/" : out;
}

bool isUnder(const std::string& path, const std::string& mountPoint)
{
    if (mountPoint == "/")
        return true;
    if (path.compare(0, mountPoint.size(), mountPoint) != 0)
        return false;
    return path.size() == mountPoint.size() || path[mountPoint.size()] == '/';
}

} // namespace

std::optional<MountEntry> mountOf(const std::string& mountInfo, const std::string& path)
{
    if (path.empty() || path.front() != '/')
        return std::nullopt;
    const std::string target = normalizedAbsolute(path);
    std::optional<MountEntry> best;
    std::istringstream lines(mountInfo);
    std::string line;
    while (std::getline(lines, line)) {
        const std::vector<std::string> fields = splitBlanks(line);
        // id parent major:minor root mount-point options [optional...] - type source super-options
        if (fields.size() < 7)
            continue;
        size_t separator = 6;
        while (separator < fields.size() && fields[separator] != "-")
            ++separator;
        if (separator + 1 >= fields.size())
            continue;
        MountEntry entry;
        entry.mountPoint = decodeMountField(fields[4]);
        entry.fileSystem = decodeMountField(fields[separator + 1]);
        entry.source = separator + 2 < fields.size() ? decodeMountField(fields[separator + 2]) : std::string();
        if (entry.mountPoint.empty() || entry.mountPoint.front() != '/')
            continue;
        entry.mountPoint = normalizedAbsolute(entry.mountPoint);
        if (!isUnder(target, entry.mountPoint))
            continue;
        if (!best || entry.mountPoint.size() >= best->mountPoint.size())
            best = entry;
    }
    return best;
}

MountTableDrives::MountTableDrives(std::function<std::string()> read) : readMountInfo(std::move(read)) {}

bool MountTableDrives::isOptical(const std::string& path) const
{
    if (path.empty() || path.front() != '/' || !readMountInfo)
        return false;
    const auto mount = mountOf(readMountInfo(), path);
    if (!mount)
        return false;
    if (mount->fileSystem == "iso9660" || mount->fileSystem == "udf")
        return true;
    return mount->source.rfind("/dev/sr", 0) == 0;
}

} // namespace vexlo::platform

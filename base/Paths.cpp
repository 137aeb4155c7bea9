#include "Paths.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace vexlo::paths {

size_t extensionStart(std::string_view path)
{
    const size_t dot = path.rfind('.');
    if (dot == std::string_view::npos)
        return std::string::npos;
    const size_t slash = path.rfind('/');
    if (slash != std::string_view::npos && slash > dot)
        return std::string::npos;
    return dot;
}

std::string extensionOf(std::string_view path)
{
    const size_t dot = extensionStart(path);
    return dot == std::string::npos ? std::string() : std::string(path.substr(dot));
}

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string withTrailingSlash(std::string folder)
{
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

QString toQString(std::string_view path)
{
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

std::string fromQString(const QString& path) { return QFile::encodeName(path).toStdString(); }

namespace {

bool statOf(const std::string& path, struct stat& st) { return !path.empty() && ::stat(path.c_str(), &st) == 0; }

} // namespace

bool existsNotFolder(const std::string& path)
{
    struct stat st {};
    return statOf(path, st) && !S_ISDIR(st.st_mode);
}

bool isRegularFile(const std::string& path)
{
    struct stat st {};
    return statOf(path, st) && S_ISREG(st.st_mode);
}

bool isFolder(const std::string& path)
{
    struct stat st {};
    return statOf(path, st) && S_ISDIR(st.st_mode);
}

std::string findOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    const std::string folders = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        const size_t end = std::min(folders.find(':', start), folders.size());
        const std::string folder = end > start ? folders.substr(start, end - start) : std::string(".");
        const std::string candidate = withTrailingSlash(folder) + name;
        if (isRegularFile(candidate) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

} // namespace vexlo::paths

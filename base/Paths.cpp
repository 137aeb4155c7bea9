#include "Paths.h"

#include <QByteArray>
#include <QFile>

#include <sys/stat.h>

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

} // namespace vexlo::paths

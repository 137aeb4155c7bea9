// HKEY_CLASSES_ROOT from the shared MIME database and the icon theme.
#include "MimeClassesRoot.h"

#include "IconFiles.h"
#include "base/Paths.h"
#include "base/Text.h"

#include <QFile>
#include <QMimeDatabase>
#include <QMimeType>
#include <QString>

namespace vexlo::platform {

namespace {

QString mimeTypeNameForExtension(std::string_view extension)
{
    // ".ext" with at least one character after the dot, and no path parts.
    if (extension.size() < 2 || extension.front() != '.'
        || extension.find_first_of(std::string_view("/\\\0", 3)) != std::string_view::npos)
        return {};
    static QMimeDatabase database;
    const QString fileName
        = QStringLiteral("file") + QString::fromUtf8(extension.data(), static_cast<qsizetype>(extension.size()));
    const QList<QMimeType> types = database.mimeTypesForFileName(fileName);
    if (types.isEmpty())
        return {};
    return types.front().name();
}

QString iconFileForMimeType(const QString& typeName)
{
    static QMimeDatabase database;
    const QMimeType type = database.mimeTypeForName(typeName);
    if (!type.isValid())
        return {};
    std::string found = findThemeIconFile(type.iconName().toStdString());
    if (found.empty())
        found = findThemeIconFile(type.genericIconName().toStdString());
    return paths::toQString(found);
}

bool isValidMimeTypeName(const QString& typeName)
{
    static QMimeDatabase database;
    return !typeName.isEmpty() && database.mimeTypeForName(typeName).isValid();
}

struct ClassesAnswer {
    bool exists = false;
    std::optional<std::string> defaultValue;
};

ClassesAnswer askClassesRoot(std::string_view key)
{
    const std::vector<std::string> parts = splitRegistryKey(key);
    ClassesAnswer answer;
    if (parts.size() == 1 && parts[0].front() == '.') {
        const QString type = mimeTypeNameForExtension(parts[0]);
        if (!type.isEmpty()) {
            answer.exists = true;
            answer.defaultValue = type.toStdString();
        }
        return answer;
    }
    // A MIME type name holds one "/", which the key path keeps as it is:
    // "video/mp2t\DefaultIcon" has the parts "video/mp2t" and "DefaultIcon".
    if (parts.empty() || parts.size() > 2)
        return answer;
    const QString type = QString::fromUtf8(parts[0].data(), static_cast<qsizetype>(parts[0].size()));
    if (!isValidMimeTypeName(type))
        return answer;
    if (parts.size() == 1) {
        answer.exists = true;
        return answer;
    }
    if (!text::asciiEqualNoCase(parts[1], "DefaultIcon"))
        return answer;
    const QString icon = iconFileForMimeType(type);
    if (icon.isEmpty())
        return answer;
    answer.exists = true;
    answer.defaultValue = paths::fromQString(icon);
    return answer;
}

} // namespace

bool MimeClassesRoot::keyExists(Hive hive, std::string_view key) const
{
    return hive == Hive::ClassesRoot && askClassesRoot(key).exists;
}

std::optional<std::string> MimeClassesRoot::readValue(Hive hive, std::string_view key, std::string_view name) const
{
    if (hive != Hive::ClassesRoot || !name.empty())
        return std::nullopt;
    return askClassesRoot(key).defaultValue;
}

} // namespace vexlo::platform

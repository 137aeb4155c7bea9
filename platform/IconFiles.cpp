#include "IconFiles.h"

#include "base/Paths.h"

#include <sys/stat.h>
#include <unordered_map>

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImageReader>
#include <QPainter>
#include <QString>
#include <QStringList>

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace vexlo::platform {

namespace {

constexpr int kIconSize = 16;

QString homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return QFile::decodeName(home);
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return QFile::decodeName(pw->pw_dir);
    return QStringLiteral("/tmp");
}

QStringList iconBaseFolders()
{
    QStringList bases;
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    bases << (dataHome.startsWith('/') ? QFile::decodeName(dataHome) : homeFolder() + "/.local/share") + "/icons";
    bases << homeFolder() + "/.icons";
    QByteArray dataDirs = qgetenv("XDG_DATA_DIRS");
    if (dataDirs.isEmpty())
        dataDirs = "/usr/local/share:/usr/share";
    for (const QByteArray& dir : dataDirs.split(':')) {
        if (dir.startsWith('/'))
            bases << QFile::decodeName(dir) + "/icons";
    }
    return bases;
}

QStringList iconThemes()
{
    QStringList themes;
    const QString current = QIcon::themeName();
    if (!current.isEmpty())
        themes << current;
    for (const char* fallback : {"hicolor", "Adwaita"}) {
        if (!themes.contains(QLatin1String(fallback)))
            themes << QLatin1String(fallback);
    }
    return themes;
}

QImage scaledToIcon(const QImage& image)
{
    if (image.isNull())
        return {};
    QImage converted = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (converted.size() != QSize(kIconSize, kIconSize))
        converted = converted.scaled(kIconSize, kIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (converted.size() == QSize(kIconSize, kIconSize))
        return converted;
    // Not square: centre it on a transparent square.
    QImage square(kIconSize, kIconSize, QImage::Format_ARGB32_Premultiplied);
    square.fill(Qt::transparent);
    QPainter painter(&square);
    painter.drawImage((kIconSize - converted.width()) / 2, (kIconSize - converted.height()) / 2, converted);
    painter.end();
    return square;
}

// A plain page with a folded corner, for desktops without an icon theme.
QImage drawnDocumentIcon()
{
    QImage image(kIconSize, kIconSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    const QPolygon page({QPoint(2, 0), QPoint(10, 0), QPoint(13, 3), QPoint(13, 15), QPoint(2, 15)});
    painter.setPen(QColor(96, 96, 96));
    painter.setBrush(Qt::white);
    painter.drawPolygon(page);
    painter.drawLine(10, 0, 10, 3);
    painter.drawLine(10, 3, 13, 3);
    painter.end();
    return image;
}

} // namespace

namespace {
// The theme's folders do not change while the program runs, and every added
// list row asks for an icon: look-ups and decoded pictures are remembered.
std::unordered_map<std::string, std::string>& themeFileCache()
{
    static std::unordered_map<std::string, std::string> cache;
    return cache;
}

std::string searchThemeIconFile(const std::string& name);
QImage readIconImage(const std::string& file, int index);
} // namespace

std::string findThemeIconFile(const std::string& name)
{
    auto& cache = themeFileCache();
    if (auto it = cache.find(name); it != cache.end())
        return it->second;
    std::string found = searchThemeIconFile(name);
    cache.emplace(name, found);
    return found;
}

QImage loadIconImage(const std::string& file, int index)
{
    // Keyed by the file's identity and modification time, so a changed file
    // is read again.
    struct stat st {};
    if (file.empty() || index < 0 || ::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    static std::unordered_map<std::string, QImage> cache;
    const std::string key = file + '\n' + std::to_string(index) + '\n' + std::to_string(st.st_mtim.tv_sec) + '.'
        + std::to_string(st.st_mtim.tv_nsec) + '\n' + std::to_string(st.st_size);
    if (auto it = cache.find(key); it != cache.end())
        return it->second;
    QImage image = readIconImage(file, index);
    if (cache.size() > 512)
        cache.clear();
    cache.emplace(key, image);
    return image;
}

namespace {
std::string searchThemeIconFile(const std::string& name)
{
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
        return {};
    static const char* const kSizes[] = {"16x16", "scalable", "scalable-up-to-32", "22x22", "24x24", "32x32", "48x48"};
    static const char* const kContexts[] = {"mimetypes", "mimes", "places", "devices", "apps"};
    static const char* const kSuffixes[] = {".png", ".svg", ".xpm"};
    const QString iconName = paths::toQString(name);
    const QStringList bases = iconBaseFolders();
    for (const QString& theme : iconThemes()) {
        for (const QString& base : bases) {
            const QString themeFolder = base + '/' + theme + '/';
            if (!QFileInfo(themeFolder).isDir())
                continue;
            for (const char* size : kSizes) {
                for (const char* context : kContexts) {
                    for (const char* suffix : kSuffixes) {
                        const QString candidate = themeFolder + QLatin1String(size) + '/' + QLatin1String(context) + '/'
                            + iconName + QLatin1String(suffix);
                        if (QFileInfo(candidate).isFile())
                            return paths::fromQString(candidate);
                    }
                }
            }
        }
    }
    return {};
}

QImage readIconImage(const std::string& file, int index)
{
    if (file.empty() || index < 0 || !QFileInfo(paths::toQString(file)).isFile())
        return {};
    QImageReader reader(paths::toQString(file));
    reader.setDecideFormatFromContent(true);
    if (!reader.canRead())
        return {};
    const QByteArray format = reader.format();
    if (index > 0) {
        // Only icon files hold several pictures.
        if (format != "ico" && format != "cur")
            return {};
        if (!reader.jumpToImage(index))
            return {};
    }
    if (format == "svg" || format == "svgz") {
        // Render drawings at the icon size rather than scaling a bitmap down.
        QSize size = reader.size();
        if (size.isValid() && !size.isEmpty())
            size.scale(kIconSize, kIconSize, Qt::KeepAspectRatio);
        else
            size = QSize(kIconSize, kIconSize);
        reader.setScaledSize(size);
    }
    return scaledToIcon(reader.read());
}
} // namespace

QImage genericShellIcon(int index)
{
    // Icons of the system's shell library that callers ask for, by index.
    const char* name = "text-x-generic";
    switch (index) {
    case 2:
        name = "application-x-executable";
        break;
    case 3:
        name = "folder";
        break;
    case 4:
        name = "folder-open";
        break;
    case 7:
        name = "drive-removable-media";
        break;
    case 8:
        name = "drive-harddisk";
        break;
    case 11:
        name = "media-optical";
        break;
    default:
        break;
    }
    QImage image = loadIconImage(findThemeIconFile(name), 0);
    if (image.isNull() && index != 0)
        image = loadIconImage(findThemeIconFile("text-x-generic"), 0);
    if (image.isNull())
        image = drawnDocumentIcon();
    return image;
}

} // namespace vexlo::platform

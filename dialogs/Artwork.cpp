#include "Artwork.h"

#include <QString>
#include <cstring>

// The resources live in a static library: referencing their initialiser keeps
// the linker from dropping them.
static void initArtworkResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(artwork);
        return true;
    }();
    (void)done;
}

namespace vexlo::dialogs {

namespace {
struct ToolbarPicture {
    const char* name;
    const char* themeName;
};

constexpr ToolbarPicture kToolbarPictures[] = {
    {"add", "list-add"},
    {"remove", "list-remove"},
    {"convert", "media-playback-start"},
    {"stop", "media-playback-stop"},
    {"options", "preferences-system"},
    {"help", "help-browser"},
    {"open", "document-open"},
    {"save", "document-save"},
};
} // namespace

const char* toolbarThemeName(const char* name)
{
    if (!name)
        return nullptr;
    for (const auto& picture : kToolbarPictures) {
        if (std::strcmp(picture.name, name) == 0)
            return picture.themeName;
    }
    return nullptr;
}

QIcon toolbarIcon(const char* name)
{
    const char* themeName = toolbarThemeName(name);
    if (!themeName)
        return {};
    initArtworkResources();
    const QIcon drawn(QStringLiteral(":/vexlo/toolbar/") + QLatin1String(name) + QStringLiteral(".svg"));
    return QIcon::fromTheme(QLatin1String(themeName), drawn);
}

QIcon programIcon()
{
    initArtworkResources();
    return QIcon(QStringLiteral(":/vexlo/vexlo.svg"));
}

QPixmap gettingStartedPixmap()
{
    initArtworkResources();
    return QIcon(QStringLiteral(":/vexlo/getting-started.svg")).pixmap(QSize(400, 210));
}

} // namespace vexlo::dialogs

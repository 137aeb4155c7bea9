// The pictures compiled into the program and the theme-first toolbar icons.
#include "dialogs/Artwork.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vexlo::dialogs;

namespace {

const char* const kToolbarNames[] = {"add", "remove", "convert", "stop", "options", "help", "open", "save"};

// Share of pixels that are not transparent, and the number of distinct colours.
struct Coverage {
    double opaqueShare = 0;
    int colours = 0;
};

Coverage coverageOf(const QImage& source)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    int opaque = 0;
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qAlpha(p) > 128) {
                ++opaque;
                colours.insert(p & 0xF0F0F0);
            }
        }
    return {double(opaque) / (image.width() * image.height()), int(colours.size())};
}

// Installs a throw-away freedesktop theme that holds only `list-add`, drawn
// in one solid colour, and restores the previous theme afterwards.
class OneIconTheme {
public:
    explicit OneIconTheme(QColor colour) : m_oldPaths(QIcon::themeSearchPaths()), m_oldName(QIcon::themeName())
    {
        const QString base = m_dir.path() + "/vexlotest";
        QDir().mkpath(base + "/32x32/actions");
        QFile index(base + "/index.theme");
        index.open(QIODevice::WriteOnly);
        index.write("[Icon Theme]\nName=vexlotest\nDirectories=32x32/actions\n\n"
                    "[32x32/actions]\nSize=32\nContext=Actions\nType=Fixed\n");
        index.close();
        QImage solid(32, 32, QImage::Format_ARGB32);
        solid.fill(colour);
        solid.save(base + "/32x32/actions/list-add.png");
        QIcon::setThemeSearchPaths({m_dir.path()});
        QIcon::setThemeName("vexlotest");
    }
    ~OneIconTheme()
    {
        QIcon::setThemeSearchPaths(m_oldPaths);
        QIcon::setThemeName(m_oldName);
    }

private:
    QTemporaryDir m_dir;
    QStringList m_oldPaths;
    QString m_oldName;
};

} // namespace

TEST(Artwork, ToolbarDrawingsAre32By32AndDrawSomething)
{
    for (const char* name : kToolbarNames) {
        SCOPED_TRACE(name);
        const QString path = QStringLiteral(":/vexlo/toolbar/") + name + ".svg";
        QSvgRenderer renderer(path);
        ASSERT_TRUE(renderer.isValid());
        EXPECT_EQ(renderer.defaultSize(), QSize(32, 32));

        const QImage picture = toolbarIcon(name).pixmap(QSize(32, 32)).toImage();
        ASSERT_FALSE(picture.isNull());
        const Coverage c = coverageOf(picture);
        EXPECT_GT(c.opaqueShare, 0.25);
        EXPECT_GT(c.colours, 4) << "a drawing, not a flat square";
    }
}

TEST(Artwork, UnknownToolbarNamesGiveNoIcon)
{
    for (const char* name : {"", "Add", "convert.svg", "../vexlo"})
        EXPECT_TRUE(toolbarIcon(name).isNull()) << name;
    EXPECT_TRUE(toolbarIcon(nullptr).isNull());
}

// One set of pictures: the drawings, also where the desktop's theme has an
// icon of that name (it has some and not others, in another style), so
// that the getting-started picture shows the toolbar's own pictures.
TEST(Artwork, ToolbarPicturesAreTheDrawingsWhateverTheTheme)
{
    const QColor magenta(255, 0, 255);
    OneIconTheme theme(magenta);
    ASSERT_FALSE(QIcon::fromTheme("list-add").isNull()) << "the theme has list-add";
    for (const char* name : kToolbarNames) {
        SCOPED_TRACE(name);
        const QImage picture = toolbarIcon(name).pixmap(QSize(32, 32)).toImage();
        EXPECT_GT(coverageOf(picture).colours, 4);
        EXPECT_NE(picture.pixelColor(16, 16), magenta);
    }
}

TEST(Artwork, ProgramIconAndGettingStartedPicture)
{
    QSvgRenderer icon(QStringLiteral(":/vexlo/vexlo.svg"));
    ASSERT_TRUE(icon.isValid());
    EXPECT_EQ(icon.defaultSize().width(), icon.defaultSize().height());
    for (int size : {16, 32, 48}) {
        const QImage picture = programIcon().pixmap(QSize(size, size)).toImage();
        ASSERT_EQ(picture.size(), QSize(size, size));
        EXPECT_GT(coverageOf(picture).opaqueShare, 0.6) << size;
    }

    QSvgRenderer start(QStringLiteral(":/vexlo/getting-started.svg"));
    ASSERT_TRUE(start.isValid());
    EXPECT_EQ(start.defaultSize(), QSize(400, 210));
    const QPixmap picture = gettingStartedPixmap();
    EXPECT_EQ(picture.deviceIndependentSize().toSize(), QSize(400, 210));

    // Save both to look at.
    QImage sheet(420, 290, QImage::Format_ARGB32);
    sheet.fill(Qt::white);
    QPainter p(&sheet);
    p.drawPixmap(10, 10, picture);
    p.drawPixmap(10, 230, programIcon().pixmap(48, 48));
    int x = 70;
    for (const char* name : kToolbarNames) {
        p.drawPixmap(x, 238, toolbarIcon(name).pixmap(32, 32));
        x += 40;
    }
    p.end();
    QDir().mkpath(VEXLO_SCREENSHOT_DIR);
    EXPECT_TRUE(sheet.save(QStringLiteral(VEXLO_SCREENSHOT_DIR "/artwork.png")));
}

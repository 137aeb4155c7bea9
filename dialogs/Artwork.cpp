#include "Artwork.h"

#include "PictureCache.h"
#include "platform/Product.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QResource>
#include <QString>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>
#include <cstring>
#include <iterator>
#include <memory>
#include <utility>

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

// Draws one of the program's own SVG drawings at whatever size and scale is
// asked for, through the SVG renderer the program links: no icon-engine or
// image-format plugin is looked for or loaded at start-up.
class DrawingIconEngine : public QIconEngine {
public:
    explicit DrawingIconEngine(const QString& resource) : m_resource(resource) {}
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        painter->drawPixmap(rect, pixmap(rect.size() * painter->device()->devicePixelRatioF(), mode, state));
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override
    {
        const QString key = QString::number(size.width()) + QLatin1Char('x') + QString::number(size.height())
            + QLatin1Char('/') + QString::number(int(mode));
        if (const auto it = m_cache.constFind(key); it != m_cache.constEnd())
            return *it;
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            renderer().render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
        }
        QPixmap picture = QPixmap::fromImage(std::move(image));
        if (mode != QIcon::Normal && qobject_cast<QApplication*>(QCoreApplication::instance())) {
            // Greyed out (or selected) as the style draws every other icon.
            QStyleOption option;
            option.palette = QGuiApplication::palette();
            picture = QApplication::style()->generatedIconPixmap(mode, picture, &option);
        }
        m_cache.insert(key, picture);
        return picture;
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QIconEngine* clone() const override { return new DrawingIconEngine(m_resource); }
    QString key() const override { return QStringLiteral("VexloDrawing"); }
    bool isNull() override { return !renderer().isValid(); }

private:
    QSvgRenderer& renderer()
    {
        if (!m_renderer)
            m_renderer = std::make_unique<QSvgRenderer>(m_resource);
        return *m_renderer;
    }
    QString m_resource;
    std::unique_ptr<QSvgRenderer> m_renderer;
    QHash<QString, QPixmap> m_cache;
};

QIcon drawing(const QString& resource)
{
    initArtworkResources();
    return QIcon(new DrawingIconEngine(resource));
}

// The toolbar's pictures are always the program's own drawings: an icon
// theme has some of them and not others (Stop, Options), in another style
// and size, and the getting-started picture shows the drawings.
constexpr const char* kToolbarPictures[] = {"add", "remove", "convert", "stop", "options", "help", "open", "save"};
} // namespace

QIcon toolbarIcon(const char* name)
{
    if (!name)
        return {};
    for (const char* picture : kToolbarPictures) {
        if (std::strcmp(picture, name) == 0)
            return drawing(QStringLiteral(":/vexlo/toolbar/") + QLatin1String(name) + QStringLiteral(".svg"));
    }
    return {};
}

QIcon programIcon() { return drawing(QStringLiteral(":/vexlo/vexlo.svg")); }

namespace {

QString gettingStarted(const char* text) { return QCoreApplication::translate("GettingStarted", text); }

// The picture's words are set in this font, whatever the desktop's.
QFont pictureFont()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    return font;
}

// One line of the picture: `text` with "%1" in bold as `bold`, its baseline
// at `baseline`, from `left` to `right` at most (a longer translation is
// set smaller rather than cut).
struct PictureLine {
    QString text;
    QString bold;
    qreal left, right, baseline, pixelSize;
    QColor colour;
    bool centred = false;
};

void drawLine(QPainter& painter, const PictureLine& line)
{
    const qsizetype at = line.bold.isEmpty() ? -1 : line.text.indexOf(QStringLiteral("%1"));
    const QString before = at < 0 ? line.text : line.text.left(at);
    const QString after = at < 0 ? QString() : line.text.mid(at + 2);
    QFont plain = pictureFont();
    QFont bold = plain;
    bold.setBold(true);
    const auto width = [&](qreal size) {
        plain.setPixelSize(qRound(size));
        bold.setPixelSize(qRound(size));
        return QFontMetricsF(plain).horizontalAdvance(before + after)
            + QFontMetricsF(bold).horizontalAdvance(line.bold);
    };
    qreal size = line.pixelSize;
    while (size > 8 && width(size) > line.right - line.left)
        size -= 0.5;
    const qreal total = width(size);
    qreal x = line.centred ? (line.left + line.right - total) / 2 : line.left;
    painter.setPen(line.colour);
    for (const auto& [part, font] : {std::pair{before, &plain}, {line.bold, &bold}, {after, &plain}}) {
        painter.setFont(*font);
        painter.drawText(QPointF(x, line.baseline), part);
        x += QFontMetricsF(*font).horizontalAdvance(part);
    }
}

} // namespace

// The picture's words, line by line; "%1" is a toolbar button's caption.
constexpr const char* kGettingStarted[] = {
    QT_TRANSLATE_NOOP("GettingStarted", "Getting started"),
    QT_TRANSLATE_NOOP("GettingStarted", "Click %1 to select video files,"),
    QT_TRANSLATE_NOOP("GettingStarted", "Camcorder clips (.m2ts, .mts), AVI, MP4, MOV ..."),
    QT_TRANSLATE_NOOP("GettingStarted", "then click %1 to start."),
    QT_TRANSLATE_NOOP("GettingStarted", "Pick the output format and folder, and off it goes."),
    QT_TRANSLATE_NOOP("GettingStarted", "You can also drop video files here."),
};

// The button each line names, if any.
QString buttonNamedBy(size_t line)
{
    if (line == 1)
        return QCoreApplication::translate("TMainForm", "Add");
    if (line == 3)
        return QCoreApplication::translate("TMainForm", "Convert");
    return {};
}

std::vector<QString> gettingStartedTexts()
{
    std::vector<QString> texts;
    for (size_t i = 0; i < std::size(kGettingStarted); ++i) {
        const QString text = gettingStarted(kGettingStarted[i]);
        texts.push_back(buttonNamedBy(i).isEmpty() ? text : text.arg(buttonNamedBy(i)));
    }
    return texts;
}

namespace {
constexpr QSize kGettingStartedSize(400, 210);
}

QPixmap gettingStartedPixmap(qreal devicePixelRatio, const QPalette& palette)
{
    QPixmap picture(kGettingStartedSize * devicePixelRatio);
    picture.setDevicePixelRatio(devicePixelRatio);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    // The panel and its drop zone on the list's own background: the original
    // blue-grey frames on a light one, the theme's highlight on a dark one.
    const QColor base = palette.color(QPalette::Base);
    const bool light = base.lightnessF() >= 0.5;
    painter.setPen(QPen(light ? QColor(0x9d, 0xb4, 0xd3) : palette.color(QPalette::Mid), 2));
    painter.setBrush(base);
    painter.drawRoundedRect(QRectF(1, 1, 398, 208), 12, 12);
    QPen dashed(light ? QColor(0x7f, 0x9c, 0xc6) : palette.color(QPalette::Highlight), 1.5);
    dashed.setDashPattern({4, 2.67});
    painter.setPen(dashed);
    painter.setBrush(light ? base : palette.color(QPalette::AlternateBase));
    painter.drawRoundedRect(QRectF(16, 148, 368, 48), 8, 8);
    initArtworkResources();
    QSvgRenderer(QStringLiteral(":/vexlo/getting-started.svg")).render(&painter, QRectF(0, 0, 400, 210));
    // Where the artwork leaves room for each line, its size and colour.
    const QColor title = light ? QColor(0x1d, 0x3f, 0x8a) : palette.color(QPalette::Highlight).lighter(160);
    const QColor text = light ? QColor(0x22, 0x2a, 0x35) : palette.color(QPalette::Text);
    // The hints between the text's colour and the background's (a theme's
    // placeholder colour may be made for the other kind of background).
    const QColor lines = palette.color(QPalette::Text);
    const auto between = [&](int a, int b) { return (a * 7 + b * 3) / 10; };
    const QColor hint = light ? QColor(0x5a, 0x65, 0x75)
                              : QColor(between(lines.red(), base.red()), between(lines.green(), base.green()),
                                  between(lines.blue(), base.blue()));
    const PictureLine places[] = {
        {QStringLiteral("%1"), {}, 16, 384, 32, 17, title, true}, // the title, bold as a whole
        {{}, {}, 100, 390, 63, 14, text},
        {{}, {}, 100, 390, 81, 11.5, hint},
        {{}, {}, 100, 390, 113, 14, text},
        {{}, {}, 100, 390, 131, 11.5, hint},
        {{}, {}, 80, 376, 177, 14, text},
    };
    painter.setRenderHint(QPainter::TextAntialiasing);
    for (size_t i = 0; i < std::size(places); ++i) {
        PictureLine line = places[i];
        const QString words = gettingStarted(kGettingStarted[i]);
        if (i == 0) {
            line.bold = words;
        } else {
            line.text = words;
            line.bold = buttonNamedBy(i);
        }
        drawLine(painter, line);
    }
    return picture;
}

QByteArray gettingStartedKey(qreal devicePixelRatio, const QPalette& palette)
{
    // The program and the Qt that draw it, and the drawing itself (it may
    // change between two builds of one version).
    QByteArray key = QByteArrayLiteral("getting-started\n") + product::kVersion + "\nQt " + qVersion() + '\n';
    initArtworkResources();
    const QResource drawing(QStringLiteral(":/vexlo/getting-started.svg"));
    key += QCryptographicHash::hash(QByteArrayView(drawing.data(), drawing.size()), QCryptographicHash::Sha1).toHex()
        + '\n';
    // Its scale and size in pixels.
    const QSize pixels = kGettingStartedSize * devicePixelRatio;
    key += QByteArray::number(devicePixelRatio, 'g', 17) + ' ' + QByteArray::number(pixels.width()) + 'x'
        + QByteArray::number(pixels.height()) + '\n';
    // Every colour of the palette, the fonts the words are set in and the
    // words themselves in the window's language.
    for (int role = 0; role < QPalette::NColorRoles; ++role)
        key += palette.color(QPalette::ColorRole(role)).name(QColor::HexArgb).toLatin1() + ' ';
    // The family as installed, with its styles; asked of the font database,
    // which has been read by then: loading the fonts themselves to ask which
    // one stands in would cost about what the cache saves. Only when the
    // family is missing, the one that stands in for it.
    const QString family = pictureFont().family();
    const QString fonts = QFontDatabase::families().contains(family)
        ? family + QLatin1Char(':') + QFontDatabase::styles(family).join(QLatin1Char(','))
        : QStringLiteral("instead: ") + QFontInfo(pictureFont()).family();
    key += '\n' + fonts.toUtf8() + '/' + QGuiApplication::font().toString().toUtf8() + '/'
        + QByteArray::number(int(QGuiApplication::layoutDirection()));
    for (size_t i = 0; i < std::size(kGettingStarted); ++i)
        key += '\n' + gettingStarted(kGettingStarted[i]).toUtf8() + '|' + buttonNamedBy(i).toUtf8();
    return key;
}

QPixmap cachedGettingStartedPixmap(qreal devicePixelRatio, const QPalette& palette)
{
    const PictureCache cache;
    const QString name = QStringLiteral("getting-started");
    const QByteArray key = gettingStartedKey(devicePixelRatio, palette);
    QImage stored = cache.load(name, key, kGettingStartedSize * devicePixelRatio);
    if (!stored.isNull()) {
        stored.setDevicePixelRatio(devicePixelRatio);
        return QPixmap::fromImage(std::move(stored));
    }
    QPixmap picture = gettingStartedPixmap(devicePixelRatio, palette);
    cache.store(name, key, picture.toImage());
    return picture;
}

} // namespace vexlo::dialogs

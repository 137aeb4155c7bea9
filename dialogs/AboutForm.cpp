#include "AboutForm.h"

#include "Artwork.h"
#include "FontFit.h"
#include "platform/Product.h"
#include "platform/Services.h"

#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <algorithm>
#include <cmath>
#include <string>

namespace vexlo::dialogs {

qreal contrastRatio(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& c) {
        const auto channel = [](qreal v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const qreal la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

namespace {

// The colour scheme's own link colour, which dark schemes make light; a
// scheme whose link colour hardly stands out from the window (below 3:1)
// gets the window's text colour, which always does.
QColor readableLinkColour(const QPalette& palette)
{
    const QColor surface = palette.color(QPalette::Window);
    const QColor link = palette.color(QPalette::Link);
    return contrastRatio(link, surface) >= 3.0 ? link : palette.color(QPalette::WindowText);
}

QLabel* makeLinkLabel(QWidget* parent, const char* name, int top, int pixelHeight, const QString& tip)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QFont font = label->font();
    font.setPixelSize(pixelHeight);
    font.setUnderline(true);
    label->setFont(font);
    // 13 high, or a line of its font where that is higher (a 12 pixel font
    // with its descenders is 14).
    label->setGeometry(89, top, 230, std::max(13, label->fontMetrics().height()));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, readableLinkColour(palette));
    label->setPalette(palette);
    // The hand while the pointer is over the link; every other control and
    // the dialog's surface keep the normal pointer, and nothing outlives the
    // dialog.
    label->setCursor(Qt::PointingHandCursor);
    // The hint shows as a tooltip and, for the main window's hint display, as
    // the status tip.
    label->setToolTip(tip);
    label->setStatusTip(tip);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QFrame* makeBevel(QWidget* parent, const char* name, const QRect& geometry, QFrame::Shadow shadow)
{
    auto* bevel = new QFrame(parent);
    bevel->setObjectName(QLatin1String(name));
    bevel->setGeometry(geometry);
    bevel->setFrameShape(QFrame::Panel);
    bevel->setFrameShadow(shadow);
    bevel->setLineWidth(1);
    bevel->setAttribute(Qt::WA_TransparentForMouseEvents);
    return bevel;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, int top)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    // 90 x 23 at the standard font, larger where its text needs more.
    button->setGeometry(QRect(QPoint(326, top), buttonSizeFor(button, QSize(90, 23))));
    return button;
}

} // namespace

TAboutForm::TAboutForm(QWidget* owner)
    : QDialog(owner,
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
            | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("AboutForm"));
    setFixedSize(kClientWidth, kClientHeight);
    setSizeGripEnabled(false);

    Bevel2 = makeBevel(this, "Bevel2", QRect(8, 8, 73, 73), QFrame::Sunken);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(21, 21, 48, 48);
    Image1->setAttribute(Qt::WA_TranslucentBackground);
    Image1->setPixmap(programIcon().pixmap(QSize(48, 48)));

    Bevel3 = makeBevel(this, "Bevel3", QRect(21, 21, 48, 48), QFrame::Raised);
    Bevel3->raise();

    lblSoftwareName = new QLabel(this);
    lblSoftwareName->setObjectName(QStringLiteral("lblSoftwareName"));
    lblSoftwareName->setGeometry(89, 8, 230, 13);
    lblSoftwareName->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblSoftwareName->setTextFormat(Qt::PlainText);
    // As high as the desktop's font needs (13 at the standard font).
    lblSoftwareName->resize(230, std::max(13, lblSoftwareName->fontMetrics().height()));

    lblHTTP = makeLinkLabel(this, "lblHTTP", 44, 12, tr("Visit our HomePage"));
    lblEMail = makeLinkLabel(this, "lblEMail", 61, 11, tr("Contact us"));
    lblHTTP->installEventFilter(this);
    lblEMail->installEventFilter(this);

    btnOK = makeButton(this, "btnOK", tr("OK"), 10);
    // Below OK, lower where a larger font makes OK higher than designed.
    btnLicense = makeButton(this, "btnLicense", tr("&License"), std::max(43, btnOK->geometry().bottom() + 11));
    // OK is the default button (Enter) and, as the dialog's only way out, the
    // cancel button (Esc and the close box end up in reject()).
    btnOK->setDefault(true);
    btnOK->setAutoDefault(true);
    btnLicense->setAutoDefault(true);
    setTabOrder(btnOK, btnLicense);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnLicense, &QPushButton::clicked, this, &TAboutForm::btnLicenseClick);
    // The designed client area, larger only where a larger font pushed the
    // buttons beyond it.
    const QRect buttons = btnOK->geometry().united(btnLicense->geometry());
    setFixedSize(std::max(kClientWidth, buttons.right() + 12), std::max(kClientHeight, buttons.bottom() + 9));

    FormCreate();
    btnOK->setFocus();
}

TAboutForm::~TAboutForm() = default;

void TAboutForm::FormCreate()
{
    setWindowTitle(tr("About Vexlo"));
    setWindowIcon(programIcon());
    lblSoftwareName->setText(
        tr("%1 (Version %2)").arg(QLatin1String(product::kName), QLatin1String(product::kVersion)));
    lblHTTP->setText(QString::fromUtf8(product::kHomepage));
    lblEMail->setText(QString::fromUtf8(product::kSupportMail));
}

void TAboutForm::lblHTTPClick() { platform::services().shell->openDocument(lblHTTP->text().toStdString()); }

void TAboutForm::lblEMailClick(QLabel* clicked)
{
    if (!clicked)
        clicked = lblEMail;
    platform::services().shell->openDocument("mailto:" + clicked->text().toStdString());
}

void TAboutForm::btnLicenseClick()
{
    // Handed over as it is: a missing file is the opener's business, the
    // dialog stays open and says nothing.
    platform::services().shell->openDocument(platform::programFolder() + product::kLicenseFile);
}

bool TAboutForm::eventFilter(QObject* watched, QEvent* event)
{
    auto* link = qobject_cast<QLabel*>(watched);
    if (link && (link == lblHTTP || link == lblEMail)) {
        if (event->type() == QEvent::MouseButtonPress) {
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
                m_pressedLink = link;
        } else if (event->type() == QEvent::MouseButtonRelease) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            const bool click = mouse->button() == Qt::LeftButton && m_pressedLink == link
                && link->rect().contains(mouse->position().toPoint());
            m_pressedLink = nullptr;
            if (click) {
                if (link == lblHTTP)
                    lblHTTPClick();
                else
                    lblEMailClick(link);
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutForm::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        // Centred on the screen the owner is on.
        QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    QDialog::showEvent(event);
}

void ShowAboutBox(QWidget* owner)
{
    TAboutForm form(owner);
    form.setWindowModality(Qt::ApplicationModal);
    form.exec();
}

} // namespace vexlo::dialogs

// The about box on the real dialog: texts, places, keys, links, the licence
// button and the pointer.
#include "dialogs/AboutForm.h"
#include "support/TestDoubles.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QScreen>
#include <QImage>
#include <QLabel>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

using vexlo::dialogs::ShowAboutBox;
using vexlo::dialogs::TAboutForm;

namespace {

struct AboutTexts {
    QString caption, name, http, mail, ok, license, httpTip, mailTip, httpStatus, mailStatus;
    bool operator==(const AboutTexts&) const = default;
};

AboutTexts textsOf(TAboutForm* form)
{
    return {form->windowTitle(), form->lblSoftwareName->text(), form->lblHTTP->text(), form->lblEMail->text(),
        form->btnOK->text(), form->btnLicense->text(), form->lblHTTP->toolTip(), form->lblEMail->toolTip(),
        form->lblHTTP->statusTip(), form->lblEMail->statusTip()};
}

// Runs ShowAboutBox and hands the modal dialog to `inside` once it is up;
// `inside` must close it. Returns whether the dialog was seen.
bool withModalAboutBox(QWidget* owner, const std::function<void(TAboutForm*)>& inside)
{
    bool seen = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* form = qobject_cast<TAboutForm*>(QApplication::activeModalWidget());
        if (!form || !form->isVisible())
            return;
        poll.stop();
        seen = true;
        inside(form);
    });
    poll.start();
    ShowAboutBox(owner);
    return seen;
}

// The pointer shape that the window system shows at `pos` of `window`: the
// cursor of the innermost widget there that sets one.
Qt::CursorShape pointerAt(QWidget* window, QPoint pos)
{
    QWidget* w = window->childAt(pos);
    if (!w)
        w = window;
    while (w && !w->testAttribute(Qt::WA_SetCursor))
        w = w->parentWidget();
    return w ? w->cursor().shape() : Qt::ArrowCursor;
}

class AboutBox : public ::testing::Test {
protected:
    vexlo::platform::TestPlatform platform;
};

} // namespace

TEST_F(AboutBox, ShowsTheSameTextsOnEveryOpeningAndKeepsNothing)
{
    std::vector<AboutTexts> seen;
    std::vector<QPointer<TAboutForm>> forms;
    for (int opening = 0; opening < 2; ++opening) {
        ASSERT_TRUE(withModalAboutBox(nullptr, [&](TAboutForm* form) {
            seen.push_back(textsOf(form));
            forms.emplace_back(form);
            EXPECT_TRUE(form->isModal());
            // Centred on the screen.
            const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
            EXPECT_LE((form->frameGeometry().center() - centre).manhattanLength(), 2);
            QTest::keyClick(form, Qt::Key_Escape);
        }));
    }
    ASSERT_EQ(seen.size(), 2u);
    // The addresses are the product's own; only their form is fixed: an http
    // address, and a plain mail address without "mailto:".
    EXPECT_TRUE(QRegularExpression("^http://[a-z0-9.-]+\\.[a-z]+/\\S*$").match(seen[0].http).hasMatch())
        << seen[0].http.toStdString();
    EXPECT_TRUE(QRegularExpression("^[^@\\s:]+@[a-z0-9.-]+\\.[a-z]+$").match(seen[0].mail).hasMatch())
        << seen[0].mail.toStdString();
    const AboutTexts expected{"About Vexlo", QStringLiteral("Vexlo (Version %1)").arg(QLatin1String(VEXLO_VERSION)),
        seen[0].http, seen[0].mail, "OK", "&License", "Visit our HomePage", "Contact us", "Visit our HomePage",
        "Contact us"};
    EXPECT_EQ(seen[0], expected);
    EXPECT_EQ(seen[1], expected);
    // Each opening built its own dialog, and none outlived its closing.
    for (const auto& form : forms)
        EXPECT_TRUE(form.isNull());
    EXPECT_TRUE(platform.shell.opened.empty());
}

TEST_F(AboutBox, ControlsSitAtTheirPlaces)
{
    TAboutForm form;
    form.show();
    // 427 wide; as high as the framed picture with the same margin below as above.
    EXPECT_EQ(form.size(), QSize(427, form.Bevel2->geometry().bottom() + 1 + form.Bevel2->y()));
    EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "fixed dialog border";

    const struct {
        const char* name;
        QRect geometry;
    } places[] = {
        {"Bevel2", {8, 8, 73, 73}},
        {"Image1", {21, 21, 48, 48}},
        {"Bevel3", {21, 21, 48, 48}},
        // The version line is as high as the desktop's font needs, 13 at least.
        {"lblSoftwareName", {89, 8, 230, std::max(13, form.lblSoftwareName->fontMetrics().height())}},
        // The links 13 high, or a line of their pixel fonts where that is higher.
        {"lblHTTP", {89, 44, 230, std::max(13, form.lblHTTP->fontMetrics().height())}},
        {"lblEMail", {89, 61, 230, std::max(13, form.lblEMail->fontMetrics().height())}},
        {"btnOK", {326, 10, 90, 23}},
        {"btnLicense", {326, 43, 90, 23}},
    };
    int lowest = 0;
    for (const auto& place : places) {
        auto* control = form.findChild<QWidget*>(QLatin1String(place.name));
        ASSERT_NE(control, nullptr) << place.name;
        EXPECT_EQ(control->geometry(), place.geometry) << place.name;
        EXPECT_TRUE(control->isVisible()) << place.name;
        lowest = std::max(lowest, control->geometry().bottom() + 1);
    }
    EXPECT_EQ(lowest, 81);
    EXPECT_GT(form.height(), lowest);

    EXPECT_EQ(form.Bevel2->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(form.Bevel3->frameShadow(), QFrame::Raised);
    ASSERT_FALSE(form.Image1->pixmap().isNull());
    EXPECT_EQ(form.Image1->pixmap().deviceIndependentSize().toSize(), QSize(48, 48));

    // The links: centred, blue, underlined, 12 and 11 pixels high.
    const struct {
        QLabel* label;
        int pixelSize;
    } links[] = {{form.lblHTTP, 12}, {form.lblEMail, 11}};
    for (const auto& link : links) {
        EXPECT_EQ(link.label->font().pixelSize(), link.pixelSize) << link.label->objectName().toStdString();
        EXPECT_TRUE(link.label->font().underline());
        EXPECT_EQ(link.label->palette().color(QPalette::WindowText), QColor(Qt::blue));
        EXPECT_TRUE(link.label->alignment() & Qt::AlignHCenter);
    }
    EXPECT_TRUE(form.lblSoftwareName->alignment() & Qt::AlignHCenter);
    EXPECT_FALSE(form.lblSoftwareName->font().underline());
}

TEST_F(AboutBox, EnterAndEscape)
{
    const struct {
        const char* focus;
        int key;
        bool closes;
        bool opensLicense;
    } cases[] = {
        {"btnOK", Qt::Key_Escape, true, false},
        {"btnLicense", Qt::Key_Escape, true, false},
        {"btnOK", Qt::Key_Return, true, false},
        {"btnOK", Qt::Key_Enter, true, false},
        {"btnLicense", Qt::Key_Return, false, true},
        {"btnLicense", Qt::Key_Enter, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.focus) + " key " + std::to_string(c.key));
        platform.shell.opened.clear();
        bool stillOpen = false;
        ASSERT_TRUE(withModalAboutBox(nullptr, [&](TAboutForm* form) {
            auto* target = form->findChild<QWidget*>(QLatin1String(c.focus));
            form->activateWindow();
            target->setFocus();
            QTest::keyClick(target, static_cast<Qt::Key>(c.key));
            QApplication::processEvents();
            stillOpen = form->isVisible();
            if (stillOpen)
                QTest::keyClick(form->btnOK, Qt::Key_Escape);
        }));
        EXPECT_EQ(stillOpen, !c.closes);
        EXPECT_EQ(platform.shell.opened.size(), c.opensLicense ? 1u : 0u);
    }
}

TEST_F(AboutBox, OkButtonAndCloseBoxClose)
{
    ASSERT_TRUE(withModalAboutBox(nullptr, [](TAboutForm* form) { QTest::mouseClick(form->btnOK, Qt::LeftButton); }));
    ASSERT_TRUE(withModalAboutBox(nullptr, [](TAboutForm* form) { form->close(); }));
}

TEST_F(AboutBox, LinksOpenThroughTheShellAndLeaveTheDialogOpen)
{
    TAboutForm form;
    form.show();
    QTest::mouseClick(form.lblHTTP, Qt::LeftButton);
    QTest::mouseClick(form.lblEMail, Qt::LeftButton);
    // A press that leaves the label before the release, and other buttons, are no click.
    QTest::mousePress(form.lblHTTP, Qt::LeftButton);
    QTest::mouseRelease(form.lblHTTP, Qt::LeftButton, {}, QPoint(-5, -5));
    QTest::mouseClick(form.lblEMail, Qt::RightButton);
    EXPECT_EQ(platform.shell.opened,
        (std::vector<std::string>{
            form.lblHTTP->text().toStdString(), "mailto:" + form.lblEMail->text().toStdString()}));
    EXPECT_TRUE(form.isVisible());

    // The commands read the address back from the label.
    form.lblHTTP->setText("http://mirror.vexlo.example/");
    form.lblEMail->setText("sales@vexlo.example");
    QTest::mouseClick(form.lblHTTP, Qt::LeftButton);
    QTest::mouseClick(form.lblEMail, Qt::LeftButton);
    ASSERT_EQ(platform.shell.opened.size(), 4u);
    EXPECT_EQ(platform.shell.opened[2], "http://mirror.vexlo.example/");
    EXPECT_EQ(platform.shell.opened[3], "mailto:sales@vexlo.example");
    EXPECT_TRUE(platform.messages.shown.empty());
}

TEST_F(AboutBox, LicenseButtonOpensTheTextBesideTheProgramEvenWhenMissing)
{
    ASSERT_FALSE(QFile::exists(QString::fromStdString(platform.programFolder() + "license.txt")));
    TAboutForm form;
    form.show();
    QTest::mouseClick(form.btnLicense, Qt::LeftButton);
    EXPECT_EQ(platform.shell.opened, std::vector<std::string>{platform.programFolder() + "license.txt"});
    EXPECT_TRUE(platform.messages.shown.empty());
    EXPECT_TRUE(form.isVisible());
}

TEST_F(AboutBox, HandPointerOnlyOverTheLinks)
{
    TAboutForm form;
    form.show();
    const struct {
        QWidget* over;
        Qt::CursorShape shape;
    } cases[] = {
        {form.lblHTTP, Qt::PointingHandCursor},
        {form.lblEMail, Qt::PointingHandCursor},
        {form.lblSoftwareName, Qt::ArrowCursor},
        {form.Image1, Qt::ArrowCursor},
        {form.btnOK, Qt::ArrowCursor},
        {form.btnLicense, Qt::ArrowCursor},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pointerAt(&form, c.over->geometry().center()), c.shape) << c.over->objectName().toStdString();
    // The dialog's bare surface, beside and below the links.
    EXPECT_EQ(pointerAt(&form, QPoint(40, 85)), Qt::ArrowCursor);
    EXPECT_EQ(pointerAt(&form, QPoint(322, 50)), Qt::ArrowCursor);
}

TEST_F(AboutBox, NormalPointerAfterClosingFromTheKeyboardOverALink)
{
    QWidget owner;
    owner.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    owner.show();
    QPoint linkOnScreen;
    ASSERT_TRUE(withModalAboutBox(&owner, [&](TAboutForm* form) {
        linkOnScreen = form->lblHTTP->mapToGlobal(form->lblHTTP->rect().center());
        QCursor::setPos(linkOnScreen);
        QTest::mouseMove(form->lblHTTP, form->lblHTTP->rect().center());
        EXPECT_EQ(pointerAt(form, form->lblHTTP->geometry().center()), Qt::PointingHandCursor);
        QTest::keyClick(form->btnOK, Qt::Key_Escape);
    }));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(pointerAt(&owner, owner.mapFromGlobal(linkOnScreen)), Qt::ArrowCursor);
}

TEST_F(AboutBox, Screenshot)
{
    TAboutForm form;
    form.show();
    QApplication::processEvents();
    const std::string path = vexlo::test::saveScreenshot(&form, "about-box");
    QImage shot(QString::fromStdString(path));
    ASSERT_FALSE(shot.isNull());
    shot = shot.scaled(form.size());
    ASSERT_EQ(shot.size(), QSize(427, 89));

    auto countPixels = [&](const QRect& area, const std::function<bool(QColor)>& wanted) {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                n += wanted(shot.pixelColor(x, y)) ? 1 : 0;
        return n;
    };
    auto blueText = [](QColor c) { return c.blue() > 150 && c.red() < 110 && c.green() < 110; };
    auto orange = [](QColor c) { return c.red() > 200 && c.green() > 80 && c.green() < 200 && c.blue() < 90; };
    auto dark = [](QColor c) { return c.lightness() < 100; };
    // Both links drawn in blue; the name in the ordinary dark text colour.
    EXPECT_GT(countPixels(form.lblHTTP->geometry(), blueText), 20);
    EXPECT_GT(countPixels(form.lblEMail->geometry(), blueText), 20);
    EXPECT_GT(countPixels(form.lblSoftwareName->geometry(), dark), 20);
    // The program icon, with its orange arrow, inside the frame.
    EXPECT_GT(countPixels(form.Image1->geometry(), orange), 30);
    EXPECT_EQ(countPixels(QRect(0, 0, 8, 8), orange), 0);
}

namespace {

// A dark colour scheme, as dark desktop themes set it; `link` its link colour.
QPalette darkScheme(const QColor& link)
{
    QPalette dark;
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        dark.setColor(group, QPalette::Window, QColor(0x2e, 0x2f, 0x30));
        dark.setColor(group, QPalette::WindowText, QColor(0xd3, 0xda, 0xe3));
        dark.setColor(group, QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
        dark.setColor(group, QPalette::Text, QColor(0xd3, 0xda, 0xe3));
        dark.setColor(group, QPalette::Button, QColor(0x3a, 0x3b, 0x3c));
        dark.setColor(group, QPalette::ButtonText, QColor(0xd3, 0xda, 0xe3));
        dark.setColor(group, QPalette::Link, link);
    }
    return dark;
}

} // namespace

// The links read on the colour scheme the desktop sets, light or dark, also
// when the scheme's own link colour hardly stands out.
TEST_F(AboutBox, LinksStandOutOnEveryColourScheme)
{
    // The measure itself: at its ends, and pure blue on black (WCAG: 2.44).
    EXPECT_DOUBLE_EQ(vexlo::dialogs::contrastRatio(Qt::black, Qt::white), 21.0);
    EXPECT_DOUBLE_EQ(vexlo::dialogs::contrastRatio(Qt::gray, Qt::gray), 1.0);
    EXPECT_NEAR(vexlo::dialogs::contrastRatio(QColor(0, 0, 0xff), Qt::black), 2.444, 0.001);
    const QPalette before = QApplication::palette();
    for (const QPalette& scheme : {before, darkScheme(QColor(0x5c, 0xa8, 0xff)), darkScheme(QColor(0, 0, 0xff))}) {
        QApplication::setPalette(scheme);
        TAboutForm form(nullptr);
        form.show();
        for (const QLabel* link : {form.lblHTTP, form.lblEMail}) {
            const QColor text = link->palette().color(QPalette::Active, QPalette::WindowText);
            const QColor surface = form.palette().color(QPalette::Active, QPalette::Window);
            EXPECT_GE(vexlo::dialogs::contrastRatio(text, surface), 3.0)
                << text.name().toStdString() << " on " << surface.name().toStdString();
        }
        if (scheme.color(QPalette::Link) == QColor(0x5c, 0xa8, 0xff)) {
            EXPECT_EQ(form.lblHTTP->palette().color(QPalette::WindowText), QColor(0x5c, 0xa8, 0xff))
                << "the scheme's own link colour";
            vexlo::test::saveScreenshot(&form, "about-dark-scheme");
        }
    }
    QApplication::setPalette(before);
}

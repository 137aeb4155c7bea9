// Every window at the desktop font the test runs with (QT_FONT_DPI, set by
// CTest before the application object exists) and in the language of its
// locale: no text is cut, no two controls overlap, nothing lies outside its
// window. At the standard font (96 dpi) in English the windows keep their
// designed sizes. Each window is saved as a screenshot named after the font
// and the language.
#include "app/MainForm.h"
#include "support/MainWindowParts.h"
#include "dialogs/AboutForm.h"
#include "dialogs/ConvertOptionsForm.h"
#include "dialogs/OptionForm.h"
#include "engine/ProgressParser.h"
#include "engine/ProgressWindow.h"
#include "support/LayoutChecks.h"
#include "support/TestDoubles.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QFontInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTabWidget>
#include <QToolBar>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace vexlo;

namespace {

// "96", "120" or "144", and "de" or "en".
std::string dpi() { return std::to_string(qRound(QGuiApplication::primaryScreen()->logicalDotsPerInch())); }
bool standardFont() { return dpi() == "96"; }
bool german() { return QCoreApplication::translate("TMainForm", "Ready") != QLatin1String("Ready"); }
std::string configuration()
{
    const QString platform = QGuiApplication::platformName();
    return dpi() + "dpi-" + (german() ? "de" : "en") + (qApp->devicePixelRatio() > 1 ? "-x2" : "")
        + (platform == QLatin1String("offscreen") ? std::string() : "-" + platform.toStdString());
}

// Each visible widget's place, minimum size and size hint, indented by depth.
void dump(const QWidget* w, int depth)
{
    for (const QWidget* c : w->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!c->isVisible())
            continue;
        const QRect g = c->geometry();
        std::printf("%*s%s %s %d,%d %dx%d min %dx%d hint %dx%d\n", depth * 2, "", c->metaObject()->className(),
            c->objectName().toUtf8().constData(), g.x(), g.y(), g.width(), g.height(), c->minimumWidth(),
            c->minimumHeight(), c->sizeHint().width(), c->sizeHint().height());
        dump(c, depth + 1);
    }
}

void expectWhole(QWidget* window, const std::string& name, const std::vector<test::Overlap>& allowed = {})
{
    QCoreApplication::processEvents(); // layouts settle
    const std::vector<std::string> faults = test::cutOffTexts(window, allowed);
    EXPECT_EQ(faults, std::vector<std::string>{}) << name << " at " << configuration();
    if (!faults.empty()) { // the whole layout, to see where the room went
        std::printf("%s %dx%d\n", name.c_str(), window->width(), window->height());
        dump(window, 1);
    }
    test::saveScreenshot(window, "font-" + configuration() + "-" + name);
}

class FontScale : public ::testing::Test {
protected:
    platform::TestPlatform tp;
    void SetUp() override
    {
        // The installed catalogue: its longest titles in the output lists.
        test::writeFile(tp.settingsPath(), test::readFile(VEXLO_SOURCE_DIR "/data/vexlo.ini"));
    }
};

TEST_F(FontScale, TheFontFollowsTheDesktopsDpi)
{
    // The font the desktop asks for, not a size in pixels fixed by the program.
    const qreal points = QFontInfo(QApplication::font()).pointSizeF();
    EXPECT_NEAR(QFontInfo(QApplication::font()).pixelSize(),
        points * QGuiApplication::primaryScreen()->logicalDotsPerInch() / 72.0, 1.0);
}

TEST_F(FontScale, MainWindowWithAndWithoutToolbarCaptions)
{
    app::TMainForm w(std::vector<std::string>{});
    w.show();
    const std::vector<test::Overlap> overlays{{"pnlPSPImage", "ListView1"}, {"StatusProgressBar", "StatusPanel1"}};
    expectWhole(&w, "main", overlays);
    if (standardFont() && !german()) {
        EXPECT_EQ(
            test::toolBarOf(w, "ToolBar1")->widgetForAction(test::actionOf(w, "btnAddFile"))->size(), QSize(50, 52));
    }
    test::actionOf(w, "mniShowTextLabel")->trigger();
    expectWhole(&w, "main-no-captions", overlays);
    test::actionOf(w, "mniShowTextLabel")->trigger();
    // A run: the progress bar over the second panel, Stop in the place of Convert.
    w.SetIdleState(false);
    expectWhole(&w, "main-busy", overlays);
    w.SetIdleState(true);
    w.close();
}

TEST_F(FontScale, OutputDialog)
{
    settings::TConvertOptionsForm form;
    form.show();
    expectWhole(&form, "output-dialog");
    if (standardFont() && !german()) {
        EXPECT_EQ(form.size(), QSize(528, 309));
    }
    // With the path box and its button enabled.
    form.rbtConvertToPath->setChecked(true);
    expectWhole(&form, "output-dialog-path");
}

TEST_F(FontScale, EveryPreferencesPage)
{
    settings::TOptionForm form(nullptr, nullptr);
    form.LoadPreferences();
    form.chkScheduleConvert->setChecked(true);
    form.show();
    // The designed size, wider by what the General page needs beyond its
    // designed width in the desktop's font.
    const int grow = std::max(0, form.GeneralForm->width() - settings::TConvertOptionsForm::kEmbeddedWidth);
    if (standardFont() && !german()) {
        EXPECT_EQ(form.size(), QSize(475 + grow, 392));
    }
    for (int page = 0; page < form.PageControl1->count(); ++page) {
        form.PageControl1->setCurrentIndex(page);
        expectWhole(&form, "preferences-" + std::to_string(page));
    }
}

TEST_F(FontScale, AboutBox)
{
    dialogs::TAboutForm form(nullptr);
    form.show();
    expectWhole(&form, "about");
    if (standardFont() && !german()) {
        EXPECT_EQ(form.size(), QSize(427, dialogs::TAboutForm::kClientHeight));
    }
}

TEST_F(FontScale, EngineWindow)
{
    engine::ProgressWindow window("/in/clip.m2ts");
    window.show();
    QCoreApplication::processEvents(); // shown with "0%" and "--:--:--"
    // The figures then grow: 1 % after 100 hours, 9900 hours to go.
    engine::ProgressState state;
    state.durationUs = 400'000'000'000;
    state.doneUs = 4'000'000'000;
    window.showProgress(state, 360'000);
    expectWhole(&window, "engine");
    window.btnStopAfter->click(); // its longer text
    expectWhole(&window, "engine-stopping");
    window.conversionEnded();
}

} // namespace

// The real windows under the locale the test runs in: L10nGerman.* under
// LANG=de_DE.UTF-8, L10nEnglish.* under C and English locales (CTest sets
// the environment). The translation is installed as the programs install it,
// when the application object is created.
#include "TsFile.h"
#include "support/MainWindowParts.h"
#include "app/MainForm.h"
#include "support/LayoutChecks.h"
#include "conversion/ProgressForm.h"
#include "dialogs/AboutForm.h"
#include "dialogs/Artwork.h"
#include "engine/ProgressParser.h"
#include "engine/ProgressWindow.h"
#include "support/TestDoubles.h"
#include "dialogs/ConvertOptionsForm.h"
#include "dialogs/OptionForm.h"
#include "support/TestSupport.h"
#include "translations/Translations.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QFontInfo>
#include <QApplication>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QToolBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTranslator>
#include <gtest/gtest.h>
#include <map>

using namespace vexlo;
using platform::MessageAnswer;

namespace {

struct RecordingDisplay : conversion::ProgressDisplay {
    std::string panel, caption, title;
    void setStatusPanelText(const std::string& text) override { panel = text; }
    void setCaption(const std::string& text) override { caption = text; }
    void setApplicationTitle(const std::string& text) override { title = text; }
    void setProgressBarPosition(int) override {}
};

// Every text a user can read on a window and its children.
QStringList shownTexts(QWidget* window)
{
    QStringList texts{window->windowTitle()};
    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    widgets.prepend(window);
    for (QWidget* w : widgets) {
        texts << w->toolTip();
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            texts << button->text();
        if (auto* label = qobject_cast<QLabel*>(w))
            texts << label->text();
        if (auto* group = qobject_cast<QGroupBox*>(w))
            texts << group->title();
        if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
            for (int i = 0; i < tabs->count(); ++i)
                texts << tabs->tabText(i);
        }
        if (auto* box = qobject_cast<QComboBox*>(w)) {
            for (int i = 0; i < box->count(); ++i)
                texts << box->itemText(i);
        }
    }
    texts.removeAll(QString());
    return texts;
}

// No text of the window is an English text that the German translation
// words differently: a text shown without tr() would be.
void expectNoEnglishLeft(QWidget* window)
{
    static const std::map<QString, QString> english = [] {
        std::map<QString, QString> table;
        const test::TsFile ts = test::readTsFile(QStringLiteral(VEXLO_SOURCE_DIR "/translations/vexlo_de.ts"));
        for (const test::TsMessage& m : ts.messages) {
            if (m.source != m.translation)
                table.emplace(m.source, m.translation);
        }
        return table;
    }();
    ASSERT_FALSE(english.empty());
    for (const QString& text : shownTexts(window)) {
        const auto it = english.find(text);
        EXPECT_TRUE(it == english.end()) << window->objectName().toStdString() << " shows \"" << text.toStdString()
                                         << "\", in German \"" << it->second.toStdString() << "\"";
    }
}

// Every menu and every window page: no two controls reachable at the same
// time share their underlined letter.
std::vector<std::string> acceleratorClashesOfAllWindows()
{
    platform::TestPlatform tp;
    std::vector<std::string> found;
    const auto add
        = [&found](const std::vector<std::string>& more) { found.insert(found.end(), more.begin(), more.end()); };
    app::TMainForm main(std::vector<std::string>{});
    for (const QMenu* menu : {test::menuOf(main, "mnuFile"), test::menuOf(main, "mnuActions"),
             test::menuOf(main, "mnuOptions"), test::menuOf(main, "mnuHelp"), test::menuOf(main, "PopupMenu1")})
        add(test::acceleratorClashes(menu));
    QMenu bar; // the menu bar's buttons
    bar.setObjectName(QStringLiteral("ToolBar2"));
    bar.addActions(test::toolBarOf(main, "ToolBar2")->actions());
    add(test::acceleratorClashes(&bar));
    settings::TOptionForm options(nullptr, nullptr);
    add(test::acceleratorClashes(&options));
    settings::TConvertOptionsForm output;
    add(test::acceleratorClashes(&output));
    dialogs::TAboutForm about(nullptr);
    add(test::acceleratorClashes(&about));
    engine::ProgressWindow engineWindow("/in/clip.m2ts");
    add(test::acceleratorClashes(&engineWindow));
    engineWindow.conversionEnded();
    return found;
}

} // namespace

// ------------------------------------------------------------------ German

TEST(L10nGerman, NoTwoControlsShareAnAcceleratorLetter)
{
    EXPECT_EQ(acceleratorClashesOfAllWindows(), std::vector<std::string>{});
}

TEST(L10nGerman, TheGermanTranslationIsInstalledAtStart)
{
    EXPECT_EQ(QCoreApplication::translate("TMainForm", "Ready"), QStringLiteral("Bereit"));
    EXPECT_EQ(
        QCoreApplication::translate("TMainForm", "Conversion completed!"), QStringLiteral("Umwandlung abgeschlossen!"));
}

TEST(L10nGerman, PreferencesDialog)
{
    platform::TestPlatform tp;
    settings::TOptionForm form(nullptr, nullptr);
    form.show();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Optionen"));
    ASSERT_EQ(form.PageControl1->count(), 3);
    EXPECT_EQ(form.PageControl1->tabText(0), QStringLiteral("Allgemein"));
    EXPECT_EQ(form.PageControl1->tabText(1), QStringLiteral("Erweitert"));
    EXPECT_EQ(form.rdgTargetFileExists->title(), QStringLiteral("Wenn die Zieldatei existiert"));
    EXPECT_EQ(form.chkWednesday->text(), QStringLiteral("M&ittwoch"));
    EXPECT_EQ(form.chkShundownWhenDone->text(), QStringLiteral("Computer nach Abschluss ausschalten"));
    EXPECT_EQ(form.btnApply->text(), QStringLiteral("&Anwenden"));
    // The output page inside it.
    auto* label = form.findChild<QLabel*>(QStringLiteral("lblOutputFormat"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("Ausgabe&format:"));
    expectNoEnglishLeft(&form);
    for (int page = 0; page < 3; ++page) {
        form.PageControl1->setCurrentIndex(page);
        test::saveScreenshot(&form, "l10n_de_preferences_" + std::to_string(page));
    }
}

TEST(L10nGerman, OutputDialogAndItsQuestion)
{
    platform::TestPlatform tp;
    settings::TConvertOptionsForm form;
    form.show();
    EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Bitte wählen Sie das Ausgabeformat"));
    EXPECT_EQ(form.grbWhere->title(), QStringLiteral("Ziel&ordner"));
    EXPECT_EQ(form.btnCancel->text(), QStringLiteral("Abbrechen"));
    EXPECT_EQ(form.btnRestoreVideo->text(), QStringLiteral("&Standardwerte wiederherstellen"));
    // Values stored in the settings file stay as they are written there.
    EXPECT_GE(form.cbxFramerate->findText(QStringLiteral("Same as source file")), 0);
    expectNoEnglishLeft(&form);
    test::saveScreenshot(&form, "l10n_de_output_dialog");

    const std::string missing = tp.root() + "nicht/da";
    tp.messages.nextAnswers = {MessageAnswer::No};
    form.rbtConvertToPath->click();
    form.cbxDestPath->setEditText(QString::fromStdString(missing));
    form.btnOK->click();
    ASSERT_EQ(tp.messages.shown.size(), 1u);
    EXPECT_EQ(tp.messages.shown[0].title, "Bitte wählen Sie das Ausgabeformat");
    EXPECT_EQ(tp.messages.shown[0].text,
        "Der Ordner wurde nicht gefunden!\r\n\r\n'" + missing + "'\r\n\r\nMöchten Sie ihn anlegen?");
    EXPECT_TRUE(form.isVisible());
}

TEST(L10nGerman, ProgressTexts)
{
    RecordingDisplay display;
    conversion::TProgressForm progress(display);
    progress.SetTotal(3);
    progress.SetCurrent(2);
    EXPECT_EQ(display.panel, "Umwandlung... (2/3 fertig)");
    EXPECT_EQ(display.caption, "Umwandlung... (2/3 fertig) - Vexlo");
    EXPECT_EQ(display.title, "Umwandlung... Vexlo");
    progress.SetPosition(40);
    EXPECT_EQ(display.panel, "Umwandlung... (2/3)");
}

TEST(L10nGerman, AboutBox)
{
    platform::TestPlatform tp;
    dialogs::TAboutForm form(nullptr);
    form.show();
    EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Über Vexlo"));
    EXPECT_EQ(form.btnLicense->text(), QStringLiteral("&Lizenz"));
    EXPECT_EQ(form.lblHTTP->toolTip(), QStringLiteral("Besuchen Sie unsere Homepage"));
    EXPECT_TRUE(form.lblSoftwareName->text().startsWith(QStringLiteral("Vexlo (Version ")));
    expectNoEnglishLeft(&form);
    test::saveScreenshot(&form, "l10n_de_about");
}

TEST(L10nGerman, EngineWindow)
{
    engine::ProgressWindow window("/in/clip.m2ts");
    window.show();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("clip.m2ts wird umgewandelt"));
    EXPECT_EQ(window.lblElapsed->text(), QStringLiteral("Vergangen: 00:00:00"));
    EXPECT_EQ(window.btnCancel->text(), QStringLiteral("Abbrechen"));
    engine::ProgressState state;
    state.durationUs = 20'000'000;
    state.doneUs = 10'000'000;
    window.showProgress(state, 5.0);
    EXPECT_EQ(window.lblElapsed->text(), QStringLiteral("Vergangen: 00:00:05"));
    EXPECT_EQ(window.lblRemaining->text(), QStringLiteral("Verbleibend: 00:00:05"));
    window.btnStopAfter->click();
    EXPECT_EQ(window.btnStopAfter->text(), QString::fromUtf8("Hält nach dieser Datei an"));
    expectNoEnglishLeft(&window);
    QCoreApplication::processEvents(); // the layout takes the longer texts
    test::saveScreenshot(&window, "l10n_de_engine_window");
    window.conversionEnded();
}

TEST(L10nGerman, GettingStartedPictureNamesTheGermanButtons)
{
    const std::vector<QString> words = dialogs::gettingStartedTexts();
    ASSERT_EQ(words.size(), 6u);
    EXPECT_EQ(words[0], QStringLiteral("Erste Schritte"));
    EXPECT_TRUE(words[1].contains(QCoreApplication::translate("TMainForm", "Add"))) << words[1].toStdString();
    EXPECT_TRUE(words[1].contains(QString::fromUtf8("Hinzufügen")));
    EXPECT_TRUE(words[3].contains(QStringLiteral("Umwandeln")));
    const QImage german = dialogs::gettingStartedPixmap().toImage();
    // The same picture in English: a translator installed last is asked
    // first, and this one answers with the English source texts.
    struct English : QTranslator {
        bool isEmpty() const override { return false; }
        QString translate(const char*, const char* source, const char*, int) const override
        {
            return QString::fromUtf8(source);
        }
    } english_;
    QCoreApplication::installTranslator(&english_);
    const QImage english = dialogs::gettingStartedPixmap().toImage();
    EXPECT_EQ(dialogs::gettingStartedTexts()[1], QStringLiteral("Click Add to select video files,"));
    QCoreApplication::removeTranslator(&english_);
    EXPECT_EQ(german.size(), english.size());
    EXPECT_NE(german, english) << "the words are drawn in the window's language";
    german.save(QStringLiteral(VEXLO_SCREENSHOT_DIR "/l10n_de_getting_started.png"));
    english.save(QStringLiteral(VEXLO_SCREENSHOT_DIR "/l10n_en_getting_started.png"));
}

TEST(L10nGerman, QtsOwnButtonsSpeakGermanToo)
{
    // Qt's translation comes with the system (scripts/deps installs it).
    QMessageBox box(
        QMessageBox::Question, QStringLiteral("Vexlo"), QStringLiteral("?"), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("&Ja"));
    EXPECT_EQ(box.button(QMessageBox::No)->text(), QStringLiteral("&Nein"));
}

TEST(L10nGerman, TheLoaderFollowsTheLanguageAndItsFallback)
{
    EXPECT_EQ(translations::install(QLocale(QStringLiteral("de_AT"))), QStringLiteral("de"));
    EXPECT_EQ(translations::install(QLocale(QStringLiteral("fr_FR"))), QString());
    EXPECT_EQ(translations::install(QLocale(QStringLiteral("en_US"))), QString());
    EXPECT_EQ(translations::install(QLocale::c()), QString());
}

TEST(L10nGerman, EveryTranslationFileIsBuiltIntoThePrograms)
{
    // A new language is a new .ts file: the build compiles and embeds it.
    for (const QString& path : test::translationFiles()) {
        const QString name = QFileInfo(path).completeBaseName() + QStringLiteral(".qm");
        EXPECT_TRUE(QFile::exists(QLatin1String(translations::kResourceFolder) + QLatin1Char('/') + name))
            << name.toStdString();
    }
}

// ----------------------------------------------------------------- English

TEST(L10nEnglish, NoTwoControlsShareAnAcceleratorLetter)
{
    EXPECT_EQ(acceleratorClashesOfAllWindows(), std::vector<std::string>{});
}

TEST(L10nEnglish, NoTranslationIsInstalled)
{
    EXPECT_EQ(QCoreApplication::translate("TMainForm", "Ready"), QStringLiteral("Ready"));
    EXPECT_EQ(translations::installForSystem(), QString());
}

TEST(L10nEnglish, WindowsKeepTheirTextsExactly)
{
    platform::TestPlatform tp;
    {
        settings::TOptionForm form(nullptr, nullptr);
        EXPECT_EQ(form.windowTitle(), QStringLiteral("Options"));
        EXPECT_EQ(form.PageControl1->tabText(2), QStringLiteral("Schedule  "));
        EXPECT_EQ(form.rdgTargetFileExists_1->text(), QStringLiteral("Always prompt before overwrite existed file "));
        EXPECT_EQ(form.chkScheduleConvert->text(), QStringLiteral("Schedule  Convert"));
        EXPECT_EQ(form.btnApply->text(), QStringLiteral("&Apply"));
    }
    {
        settings::TConvertOptionsForm form;
        EXPECT_EQ(form.windowTitle(), QStringLiteral("Please select output fomat"));
        EXPECT_EQ(form.btnRestoreAudio->text(), QStringLiteral("Restore &Default Settings"));
        EXPECT_EQ(form.cbxChannels->itemText(1), QStringLiteral("Stereo"));
    }
    {
        dialogs::TAboutForm form(nullptr);
        EXPECT_EQ(form.windowTitle(), QStringLiteral("About Vexlo"));
        EXPECT_EQ(form.btnLicense->text(), QStringLiteral("&License"));
        EXPECT_EQ(form.lblHTTP->toolTip(), QStringLiteral("Visit our HomePage"));
    }
    {
        engine::ProgressWindow window("/in/clip.m2ts");
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Converting clip.m2ts"));
        EXPECT_EQ(window.lblElapsed->text(), QStringLiteral("Elapsed: 00:00:00"));
        EXPECT_EQ(window.lblRemaining->text(), QStringLiteral("Remaining: --:--:--"));
    }
    RecordingDisplay display;
    conversion::TProgressForm progress(display);
    progress.SetTotal(3);
    progress.SetCurrent(2);
    EXPECT_EQ(display.panel, "Converting... (2/3 Finished)");
    EXPECT_EQ(display.title, "Converting... Vexlo");
    QMessageBox box(
        QMessageBox::Question, QStringLiteral("Vexlo"), QStringLiteral("?"), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("&Yes"));
}

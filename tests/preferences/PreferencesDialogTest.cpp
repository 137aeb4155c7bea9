// The preferences dialog on the offscreen platform, with the platform doubles:
// loading, the enable rule, OK / Apply / Cancel, the settings written and the
// hand-over of the schedule, the shell-integration helper's parameters.
#include "dialogs/ConvertOptionsForm.h"
#include "dialogs/FavouriteFormatsForm.h"
#include "settings/IniFile.h"
#include "dialogs/OptionForm.h"
#include "support/TestDoubles.h"
#include "support/LayoutChecks.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

using namespace vexlo;
using settings::IniFile;
using settings::ScheduleSettings;
using settings::TOptionForm;

namespace {

const QDateTime kNow(QDate(2026, 12, 9), QTime(13, 45, 12));

// The Options keys of this dialog, in the order they are saved.
const std::vector<std::string> kSavedKeys = {"OverwriteExistFile", "PromptOverwrite", "DelFileWhenCanceled",
    "SaveFileList", "DoNotShowConfirm", "UseShellExtension", "DeleteSourceWhenDone", "KeepRecordingDate",
    "ContinueOnError", "ScheduleConvert", "StartConvertingAt", "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday",
    "Friday", "Saturday", "ExitWhenDone", "ShunDownWhenDone"};

class Preferences : public ::testing::Test {
protected:
    platform::TestPlatform platform;

    IniFile ini() const { return IniFile(platform.settingsPath()); }
    std::optional<std::string> option(const char* key) const { return ini().load().value("Options", key); }
    std::string shellParameters(const char* switches) const
    {
        return "\"" + platform.programFolder() + "Palvex.dll\"" + switches;
    }

    std::unique_ptr<TOptionForm> openForm(ScheduleSettings* schedule = nullptr)
    {
        auto form = std::make_unique<TOptionForm>(nullptr, schedule, [] { return kNow; });
        form->LoadPreferences();
        form->show();
        return form;
    }

    // Runs `drive` on the modal preferences window once ShowPreferencesDialog
    // has it on screen; returns ShowPreferencesDialog's result.
    bool runModal(ScheduleSettings& schedule, const std::function<void(TOptionForm&)>& drive)
    {
        bool driven = false;
        auto* poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, [&] {
            auto* form = qobject_cast<TOptionForm*>(QApplication::activeModalWidget());
            if (!form || driven)
                return;
            driven = true;
            poll->stop();
            drive(*form);
            if (form->isVisible()) // the test left it open: leave by Cancel
                form->btnCancel->click();
        });
        poll->start(5);
        const bool result = settings::ShowPreferencesDialog(nullptr, schedule);
        delete poll;
        EXPECT_TRUE(driven);
        return result;
    }

    static std::vector<QWidget*> scheduleControls(TOptionForm& f)
    {
        return {f.lblStartAt, f.edtScheduleTime, f.chkSunday, f.chkMonday, f.chkTuesday, f.chkWednesday, f.chkThursday,
            f.chkFriday, f.chkSaturday, f.chkExitWhenDone, f.chkShundownWhenDone};
    }
};

} // namespace

TEST_F(Preferences, WindowAndControlTexts)
{
    auto form = openForm();
    EXPECT_EQ(form->windowTitle(), "Options");
    // 475 wide unless the General page needs more (NothingReadsCutOffOnAnyPage).
    EXPECT_EQ(form->height(), 392);
    EXPECT_GE(form->width(), 475);
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    ASSERT_EQ(form->PageControl1->count(), 3);
    EXPECT_EQ(form->PageControl1->tabText(0), "General");
    EXPECT_EQ(form->PageControl1->tabText(1), "Advanced");
    EXPECT_EQ(form->PageControl1->tabText(2), "Schedule  ");
    EXPECT_EQ(form->PageControl1->currentWidget(), form->tsGeneral);

    // The General page is the embedded output form, without frame or buttons.
    ASSERT_NE(form->GeneralForm, nullptr);
    EXPECT_EQ(form->GeneralForm->parentWidget(), form->tsGeneral);
    EXPECT_FALSE(form->GeneralForm->isWindow());
    EXPECT_TRUE(form->GeneralForm->isVisible());
    EXPECT_EQ(form->GeneralForm->pos(), QPoint(12, 7));
    // The embedded page fits: nothing of it is cut off at the page's right edge.
    EXPECT_LE(form->GeneralForm->geometry().right(), form->tsGeneral->width());
    for (QWidget* child : form->GeneralForm->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        EXPECT_LE(child->geometry().right(), form->GeneralForm->width()) << child->objectName().toStdString();
    EXPECT_EQ(form->GeneralForm->btnOK, nullptr);
    ASSERT_NE(form->focusWidget(), nullptr);
    EXPECT_TRUE(form->GeneralForm->isAncestorOf(form->focusWidget()));

    // The texts that are easy to "tidy up" by mistake.
    EXPECT_EQ(form->rdgTargetFileExists->title(), "When target file exists");
    EXPECT_EQ(form->rdgTargetFileExists_0->text(), "Overwrite existed file without prompt");
    EXPECT_EQ(form->rdgTargetFileExists_1->text(), "Always prompt before overwrite existed file ");
    EXPECT_EQ(form->chkScheduleConvert->text(), "Schedule  Convert");
    EXPECT_TRUE(form->grbSchedule->title().isEmpty());
    EXPECT_EQ(form->chkScheduleConvert->parentWidget(), form->grbSchedule);
    EXPECT_TRUE(form->btnOK->isDefault());

    for (int page = 0; page < 3; ++page) {
        form->PageControl1->setCurrentIndex(page);
        QApplication::processEvents();
        test::saveScreenshot(form.get(), "preferences-page-" + std::to_string(page));
    }
}

// Every page shows its captions and the longest item of each drop-down list
// whole, the General page with the installed catalogue's titles. The dialog
// keeps its designed size unless the desktop's font makes the General page
// wider; then it widens by that much, and its buttons stay at the right.
TEST_F(Preferences, NothingReadsCutOffOnAnyPage)
{
    test::writeFile(platform.settingsPath(), test::readFile(VEXLO_SOURCE_DIR "/data/vexlo.ini"));
    auto form = openForm();
    ASSERT_GE(form->GeneralForm->cbxVideoFormat->count(), 25);
    const int grow = std::max(0, form->GeneralForm->width() - settings::TConvertOptionsForm::kEmbeddedWidth);
    EXPECT_EQ(form->size(), QSize(475 + grow, 392));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_EQ(form->PageControl1->geometry(), QRect(8, 8, 459 + grow, 342));
    EXPECT_EQ(form->btnApply->geometry(), QRect(393 + grow, 358, 75, 25));
    EXPECT_EQ(form->GeneralForm->pos(), QPoint(12, 7));

    const char* names[] = {"general", "advanced", "schedule"};
    for (int page = 0; page < 3; ++page) {
        SCOPED_TRACE(names[page]);
        form->PageControl1->setCurrentIndex(page);
        QApplication::processEvents();
        EXPECT_EQ(test::cutOffTexts(form.get()), std::vector<std::string>{});
        test::saveScreenshot(form.get(), std::string("preferences-whole-") + names[page]);
    }
    // The schedule's controls read the same when enabled.
    form->chkScheduleConvert->setChecked(true);
    EXPECT_EQ(test::cutOffTexts(form->tsSchedule), std::vector<std::string>{});
}

// A catalogue title longer than the page (the titles load when the dialog is
// shown) widens the dialog so that it reads whole; a title beyond 100 average
// characters does not widen it further.
TEST_F(Preferences, ALongProfileTitleWidensTheDialog)
{
    const std::string title = "MP4 H.264 Video for phones, tablets and the web, 1080p, two passes, AAC (*.mp4)";
    test::writeFile(platform.settingsPath(),
        "[VideoFormat0]\nTitle=" + title + "\nFileType=.mp4\n[VideoFormat1]\nTitle=" + title + title
            + "\nFileType=.mp4\n[Options]\nOutputFormat=0\n");
    auto form = openForm();
    QApplication::processEvents();
    QComboBox* formats = form->GeneralForm->cbxVideoFormat;
    ASSERT_EQ(formats->currentText().toStdString(), title);
    EXPECT_GT(form->width(), 475);
    const std::vector<std::string> cut = test::cutOffTexts(form->tsGeneral);
    ASSERT_EQ(cut.size(), 1u) << "only the title of 160 characters is shortened: " << ::testing::PrintToString(cut);
    EXPECT_GE(formats->width(), formats->fontMetrics().horizontalAdvance(QString::fromStdString(title)));
    EXPECT_LE(formats->width(), formats->fontMetrics().averageCharWidth() * 100 + 40);
    EXPECT_TRUE(form->rect().contains(form->btnApply->geometry()));
}

TEST_F(Preferences, NoOrUnreadableSettingsFileGivesTheDefaults)
{
    using namespace std::string_literals;
    std::string junk = "[Options]\nScheduleConvert=\xff\nStartConvertingAt=\x01\x02\nUseShellExtension=\0\n"s;
    for (int i = 0; i < 256; ++i)
        junk += static_cast<char>(i);
    for (const std::string& content : {""s, junk}) {
        if (!content.empty())
            test::writeFile(platform.settingsPath(), content);
        auto form = openForm();
        EXPECT_EQ(form->targetFileExistsIndex(), 0);
        EXPECT_TRUE(form->chkShellExtension->isChecked());
        EXPECT_TRUE(form->chkKeepRecordingDate->isChecked()) << "the recording date is kept by default";
        for (QCheckBox* box : form->findChildren<QCheckBox*>()) {
            if (box != form->chkShellExtension && box != form->chkKeepRecordingDate
                && !form->GeneralForm->isAncestorOf(box)) {
                EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();
            }
        }
        for (QWidget* w : scheduleControls(*form))
            EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
        EXPECT_EQ(form->edtScheduleTime->time(), kNow.time());
    }
}

TEST_F(Preferences, OverwriteChoiceFromBothKeys)
{
    struct Case {
        const char* stored; // the two keys as they stand in the file
        int shown;
        const char* savedOverwrite;
        const char* savedPrompt;
    };
    const Case cases[] = {
        {"", 0, "1", "0"},
        {"OverwriteExistFile=1\nPromptOverwrite=0\n", 0, "1", "0"},
        {"OverwriteExistFile=0\nPromptOverwrite=1\n", 1, "0", "1"},
        {"OverwriteExistFile=1\nPromptOverwrite=1\n", 1, "0", "1"},
        {"OverwriteExistFile=0\nPromptOverwrite=0\n", -1, "0", "0"},
        {"OverwriteExistFile=junk\nPromptOverwrite=7\n", 1, "0", "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        test::writeFile(platform.settingsPath(), std::string("[Options]\n") + c.stored);
        auto form = openForm();
        EXPECT_EQ(form->targetFileExistsIndex(), c.shown);
        form->btnApply->click();
        EXPECT_EQ(option("OverwriteExistFile"), c.savedOverwrite);
        EXPECT_EQ(option("PromptOverwrite"), c.savedPrompt);
    }
}

TEST_F(Preferences, EnableRuleKeepsAndSavesDisabledValues)
{
    test::writeFile(platform.settingsPath(),
        "[Options]\nScheduleConvert=1\nMonday=1\nExitWhenDone=1\nStartConvertingAt="
            + settings::formatIniTime(QTime(22, 30, 0)) + "\n");
    auto form = openForm();
    for (QWidget* w : scheduleControls(*form))
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_EQ(form->edtScheduleTime->time(), QTime(22, 30, 0));

    form->chkScheduleConvert->click();
    for (QWidget* w : scheduleControls(*form))
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_TRUE(form->chkMonday->isChecked());
    form->btnApply->click();
    EXPECT_EQ(option("ScheduleConvert"), "0");
    EXPECT_EQ(option("Monday"), "1");
    EXPECT_EQ(option("ExitWhenDone"), "1");
    EXPECT_EQ(settings::parseIniTime(option("StartConvertingAt").value_or("")), QTime(22, 30, 0));

    form->chkScheduleConvert->click();
    for (QWidget* w : scheduleControls(*form))
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
}

TEST_F(Preferences, OkUntouchedRunsTheShellHelperOnceAndSavesInOrder)
{
    for (bool useShell : {true, false}) {
        SCOPED_TRACE(useShell);
        // The first round starts without a settings file (the box defaults to
        // checked), so the file's key order is the order of the writes.
        std::filesystem::remove(platform.settingsPath());
        if (!useShell)
            test::writeFile(platform.settingsPath(), "[Options]\nUseShellExtension=0\n");
        platform.shell.integrationCalls.clear();
        platform.shell.integrationInstalled = false; // a missing helper is not reported
        ScheduleSettings schedule;
        EXPECT_TRUE(runModal(schedule, [](TOptionForm& f) { f.btnOK->click(); }));
        EXPECT_EQ(
            platform.shell.integrationCalls, std::vector<std::string>{shellParameters(useShell ? " /s" : " /u /s")});
        EXPECT_TRUE(platform.messages.shown.empty());
        EXPECT_EQ(option("UseShellExtension"), useShell ? "1" : "0");

        if (!useShell)
            continue;
        std::vector<std::string> keys = ini().listSectionKeys("Options");
        const std::set<std::string> mine(kSavedKeys.begin(), kSavedKeys.end());
        std::erase_if(keys, [&](const std::string& k) { return !mine.count(k); });
        EXPECT_EQ(keys, kSavedKeys);
    }
}

TEST_F(Preferences, ApplyThenCancelKeepsAdvancedAndScheduleButNotGeneral)
{
    test::writeFile(platform.settingsPath(),
        "[VideoFormat0]\nTitle=First\nFileType=.mp4\n[VideoFormat1]\nTitle=Second\nFileType=.avi\n");
    ScheduleSettings schedule;
    const bool accepted = runModal(schedule, [&](TOptionForm& f) {
        ASSERT_EQ(f.GeneralForm->cbxVideoFormat->count(), 2);
        f.GeneralForm->cbxVideoFormat->setCurrentIndex(1);
        f.GeneralForm->rbtConvertToPath->click();
        f.GeneralForm->cbxDestPath->setEditText(QString::fromStdString(platform.root()));
        f.PageControl1->setCurrentWidget(f.tsAdvanced);
        f.rdgTargetFileExists_1->click();
        f.ckbSaveFileList->click();
        f.chkKeepRecordingDate->click();
        EXPECT_EQ(f.cbxOnFailure->currentIndex(), 0) << "a failed file stops the run by default";
        f.cbxOnFailure->setCurrentIndex(1);
        f.PageControl1->setCurrentWidget(f.tsSchedule);
        f.chkScheduleConvert->click();
        f.chkSaturday->click();
        f.edtScheduleTime->setTime(QTime(22, 30, 0));
        f.btnApply->click();
        EXPECT_TRUE(f.isVisible());
        f.btnCancel->click();
    });
    EXPECT_FALSE(accepted);
    EXPECT_EQ(option("PromptOverwrite"), "1");
    EXPECT_EQ(option("SaveFileList"), "1");
    EXPECT_EQ(option("KeepRecordingDate"), "0");
    EXPECT_EQ(option("ContinueOnError"), "1");
    EXPECT_EQ(option("ScheduleConvert"), "1");
    EXPECT_EQ(option("Saturday"), "1");
    EXPECT_EQ(settings::parseIniTime(option("StartConvertingAt").value_or("")), QTime(22, 30, 0));
    EXPECT_EQ(option("OutputFormat"), std::nullopt);
    EXPECT_EQ(option("DestPath"), std::nullopt);
    EXPECT_EQ(option("ConvertToSamePath"), std::nullopt);
    EXPECT_EQ(platform.shell.integrationCalls.size(), 1u);
    // Apply saves through SavePreferences, which hands the schedule over too.
    EXPECT_TRUE(schedule.ScheduleConvert);
    EXPECT_TRUE(schedule.Saturday);

    // What Apply saved is what the main window loads.
    ScheduleSettings loaded;
    EXPECT_TRUE(settings::LoadSchedule(ini(), loaded, kNow));
    EXPECT_EQ(loaded.StartConvertingAt.time(), QTime(22, 30, 0));
    EXPECT_TRUE(loaded.Saturday);
}

TEST_F(Preferences, RefusedDestinationKeepsTheWindowOpen)
{
    platform.messages.defaultYesNo = platform::MessageAnswer::No;
    ScheduleSettings schedule;
    bool stayedOpen = false;
    const bool accepted = runModal(schedule, [&](TOptionForm& f) {
        f.GeneralForm->rbtConvertToPath->click();
        f.GeneralForm->cbxDestPath->setEditText(QString::fromStdString(platform.root() + "missing/folder"));
        f.btnOK->click();
        stayedOpen = f.isVisible();
    });
    EXPECT_TRUE(stayedOpen);
    EXPECT_FALSE(accepted);
    EXPECT_EQ(platform.messages.shown.size(), 1u); // the question about creating it
    EXPECT_TRUE(platform.shell.integrationCalls.empty());
    EXPECT_EQ(option("OverwriteExistFile"), std::nullopt);
}

TEST_F(Preferences, OkWritesGeneralPageAndHandsTheScheduleOver)
{
    ScheduleSettings schedule;
    const bool accepted = runModal(schedule, [&](TOptionForm& f) {
        f.chkScheduleConvert->click();
        f.edtScheduleTime->setTime(QTime(6, 5, 4));
        f.chkWednesday->click();
        f.chkShundownWhenDone->click();
        f.btnOK->click();
    });
    EXPECT_TRUE(accepted);
    EXPECT_TRUE(option("ConvertToSamePath").has_value()); // the General page was saved
    EXPECT_TRUE(schedule.ScheduleConvert);
    EXPECT_EQ(schedule.StartConvertingAt.time(), QTime(6, 5, 4));
    EXPECT_TRUE(schedule.Wednesday);
    EXPECT_FALSE(schedule.Sunday || schedule.Monday || schedule.Tuesday || schedule.Thursday || schedule.Friday
        || schedule.Saturday || schedule.ExitWhenDone);
    EXPECT_TRUE(schedule.ShunDownWhenDone);
}

TEST_F(Preferences, UncheckingTheScheduleTurnsItOffAndKeepsTheRest)
{
    test::writeFile(platform.settingsPath(),
        "[Options]\nScheduleConvert=1\nSaturday=1\nSunday=1\nExitWhenDone=1\nStartConvertingAt="
            + settings::formatIniTime(QTime(22, 30, 0)) + "\n");
    ScheduleSettings schedule;
    ASSERT_TRUE(settings::LoadSchedule(ini(), schedule, kNow));
    schedule.Monday = true; // in memory only: must stay as it is

    EXPECT_TRUE(runModal(schedule, [](TOptionForm& f) {
        f.chkScheduleConvert->click();
        f.chkFriday->click(); // disabled now: the click does nothing
        f.btnOK->click();
    }));
    EXPECT_EQ(option("ScheduleConvert"), "0");
    EXPECT_EQ(settings::parseIniTime(option("StartConvertingAt").value_or("")), QTime(22, 30, 0));
    EXPECT_EQ(option("Saturday"), "1");
    EXPECT_EQ(option("Sunday"), "1");
    EXPECT_EQ(option("Friday"), "0");
    EXPECT_EQ(option("ExitWhenDone"), "1");

    EXPECT_FALSE(schedule.ScheduleConvert);
    EXPECT_TRUE(schedule.Monday);
    EXPECT_FALSE(schedule.Friday);
    EXPECT_EQ(schedule.StartConvertingAt.time(), QTime(22, 30, 0));
    // The main window's reload then leaves Timer1 disarmed.
    EXPECT_FALSE(settings::LoadSchedule(ini(), schedule, kNow));
}

TEST_F(Preferences, FailedWriteDuringApplyIsReportedAndStopsTheSave)
{
    // A folder where the settings file should be: every write fails.
    std::filesystem::create_directories(platform.settingsPath() + "/blocker");
    auto form = openForm();
    form->btnApply->click();
    ASSERT_EQ(platform.messages.shown.size(), 1u);
    EXPECT_EQ(platform.messages.shown[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(platform.messages.shown[0].text, "Unable to write to " + platform.settingsPath());
    EXPECT_TRUE(platform.shell.integrationCalls.empty()); // ended before SetShellExtension
    EXPECT_TRUE(form->isVisible());
}

TEST_F(Preferences, LeavingWithoutOkSavesNothing)
{
    const std::function<void(TOptionForm&)> ways[] = {
        [](TOptionForm& f) { f.btnCancel->click(); },
        [](TOptionForm& f) {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(&f, &escape);
        },
        [](TOptionForm& f) { f.close(); },
    };
    for (const auto& leave : ways) {
        ScheduleSettings schedule;
        EXPECT_FALSE(runModal(schedule, [&](TOptionForm& f) {
            f.chkScheduleConvert->click();
            f.ckbDelWhenCanceled->click();
            leave(f);
            EXPECT_FALSE(f.isVisible());
        }));
        EXPECT_FALSE(schedule.ScheduleConvert);
    }
    EXPECT_TRUE(test::readFile(platform.settingsPath()).empty());
    EXPECT_TRUE(platform.shell.integrationCalls.empty());
}

// The favourite formats (what Nemo's menu offers besides the output dialog):
// checked from the last profile used while the settings have none of their
// own, changed by the keyboard in their small dialog, saved before the helper
// that writes the entries starts, and read back at the next opening; the
// dialog's Cancel and the preferences' Cancel keep what was there.
TEST_F(Preferences, FavouriteFormatsRoundTrip)
{
    test::writeFile(
        platform.settingsPath(), test::readFile(VEXLO_SOURCE_DIR "/data/vexlo.ini") + "[Options]\nOutputFormat=2\n");
    // Drives the favourites' dialog once it is up; returns the rows checked when it came.
    const auto inFavourites = [&](TOptionForm& f, const std::function<void(settings::TFavouriteFormatsForm&)>& drive) {
        std::vector<int> shown;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<settings::TFavouriteFormatsForm*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            shown = dialog->checkedFormats();
            drive(*dialog);
        });
        f.btnFavouriteFormats->click();
        return shown;
    };
    const auto pressOn = [](QWidget* widget, Qt::Key key) {
        for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent event(type, key, Qt::NoModifier);
            QApplication::sendEvent(widget, &event);
        }
    };
    ScheduleSettings schedule;
    EXPECT_FALSE(runModal(schedule, [&](TOptionForm& f) {
        EXPECT_FALSE(f.favouriteFormats());
        EXPECT_EQ(inFavourites(f, [](auto& d) { d.buttons->button(QDialogButtonBox::Cancel)->click(); }),
            std::vector<int>{2});
        EXPECT_FALSE(f.favouriteFormats()) << "the dialog's Cancel";
        f.btnCancel->click();
    }));
    EXPECT_FALSE(option("FavouriteFormats")) << "the preferences' Cancel";

    EXPECT_TRUE(runModal(schedule, [&](TOptionForm& f) {
        f.PageControl1->setCurrentWidget(f.tsAdvanced);
        inFavourites(f, [&](settings::TFavouriteFormatsForm& d) {
            EXPECT_EQ(d.lstFormats->count(), 25);
            EXPECT_EQ(d.focusWidget(), d.lstFormats);
            test::saveScreenshot(&d, "preferences-favourite-formats");
            pressOn(d.lstFormats, Qt::Key_Space); // row 0 on
            pressOn(d.lstFormats, Qt::Key_Down);
            pressOn(d.lstFormats, Qt::Key_Down);
            pressOn(d.lstFormats, Qt::Key_Space); // row 2 off
            d.lstFormats->item(18)->setCheckState(Qt::Checked);
            pressOn(d.lstFormats, Qt::Key_Return);
        });
        EXPECT_EQ(f.favouriteFormats(), (std::vector<int>{0, 18}));
        f.chkShellExtension->click();
        EXPECT_FALSE(f.btnFavouriteFormats->isEnabled()) << "only with the menus";
        f.chkShellExtension->click();
        f.btnOK->click();
    }));
    EXPECT_EQ(option("FavouriteFormats"), "0,18");
    const std::vector<std::string> keys = ini().listSectionKeys("Options");
    EXPECT_LT(std::find(keys.begin(), keys.end(), "FavouriteFormats"),
        std::find(keys.begin(), keys.end(), "UseShellExtension"))
        << "written before the helper that reads it starts";
    EXPECT_EQ(platform.shell.integrationCalls, std::vector<std::string>{shellParameters(" /s")});

    EXPECT_FALSE(runModal(schedule, [&](TOptionForm& f) {
        EXPECT_EQ(f.favouriteFormats(), (std::vector<int>{0, 18}));
        EXPECT_EQ(inFavourites(f, [](auto& d) { d.buttons->button(QDialogButtonBox::Cancel)->click(); }),
            (std::vector<int>{0, 18}));
    }));
}

// The schedule's time box shows the time as the settings file stores it: one
// rule for both, with no time-zone remains ("()", "[]", a trailing comma) and
// no letter the format engine does not know, under every locale.
namespace {

void expectReadableTimeBox(const platform::TestPlatform& platform, const char* localeName)
{
    test::writeFile(platform.settingsPath(),
        "[Options]\nScheduleConvert=1\nStartConvertingAt=" + settings::formatIniTime(QTime(22, 30, 0)) + "\n");
    TOptionForm form(nullptr, nullptr, [] { return kNow; });
    form.LoadPreferences();
    form.show();
    const QString text = form.edtScheduleTime->text();
    SCOPED_TRACE(std::string(localeName) + ": \"" + text.toStdString() + "\"");
    EXPECT_EQ(text.toStdString(), settings::formatIniTime(QTime(22, 30, 0)));
    EXPECT_EQ(form.edtScheduleTime->time(), QTime(22, 30, 0));
    for (const char* stray : {"(", ")", "[", "]", "B", "UTC"})
        EXPECT_FALSE(text.contains(QLatin1String(stray))) << stray;
    // The zone's letter on its own ("e pasdites", Albanian's afternoon, has one
    // within a word).
    EXPECT_FALSE(text.contains(QRegularExpression("\\bt\\b"))) << "t";
    EXPECT_FALSE(text.endsWith(u',')) << "no comma left by the zone";
    EXPECT_EQ(text, text.trimmed());
    // The whole text fits the box.
    const int need = form.edtScheduleTime->fontMetrics().horizontalAdvance(text);
    EXPECT_LT(need, form.edtScheduleTime->width() - 16);
    // And what the box holds is written back as the same text.
    form.SavePreferences();
    EXPECT_EQ(IniFile(platform.settingsPath()).load().value("Options", "StartConvertingAt"),
        settings::formatIniTime(QTime(22, 30, 0)));
}

} // namespace

TEST_F(Preferences, TimeBoxUnderTheProcessLocale) { expectReadableTimeBox(platform, qgetenv("LC_ALL").constData()); }

TEST_F(Preferences, TimeBoxUnderLocalesWithZoneRemainsAndDayPeriods)
{
    for (const char* name : {"ca_ES", "eu_ES", "be_BY", "zh_TW", "sq_AL", "en_US", "C"}) {
        QLocale::setDefault(QLocale(QString::fromLatin1(name)));
        expectReadableTimeBox(platform, name);
    }
    QLocale::setDefault(QLocale::system());
}

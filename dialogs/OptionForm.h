#pragma once
// The preferences dialog ("Options").
#include "settings/ScheduleSettings.h"

#include <QDateTime>
#include <QDialog>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QCheckBox;
class QGroupBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimeEdit;

namespace vexlo::settings {

class TConvertOptionsForm;

// Three pages: "General" (the embedded output format and destination form),
// "Advanced" and "Schedule  ". Reads and writes the Options keys of the
// settings file; hands the schedule to the main window's ScheduleSettings.
class TOptionForm : public QDialog {
    Q_OBJECT
public:
    // `schedule` receives the schedule at every SavePreferences (may be null).
    // `clock` gives the current date and time (the picker's default); the
    // system clock when empty.
    explicit TOptionForm(
        QWidget* owner = nullptr, ScheduleSettings* schedule = nullptr, std::function<QDateTime()> clock = {});
    ~TOptionForm() override;

    // Fills the Advanced and Schedule pages from the settings file.
    void LoadPreferences();
    // Writes the Advanced and Schedule pages, runs SetShellExtension and hands
    // the schedule over. Throws SettingsError when a write fails; the keys
    // written before it stay written.
    void SavePreferences();
    // Starts the shell-integration helper with "\"<program folder>Palvex.dll\" /s"
    // (or " /u /s" when `on` is false), detached; its result is not examined.
    static void SetShellExtension(bool on);

    // -1 when neither choice of rdgTargetFileExists is selected, else 0 or 1.
    int targetFileExistsIndex() const;
    void setTargetFileExistsIndex(int index);

    // Event handlers.
    void FormCreate();
    void FormDestroy();
    void btnOKClick();
    void btnApplyClick();
    void chkScheduleConvertClick();
    // Opens the favourite formats (TFavouriteFormatsForm); what is checked
    // there is saved with the other preferences.
    void btnFavouriteFormatsClick();

    // The favourite formats to save; nullopt: the settings have none of
    // their own (the last profile used counts) and none was chosen.
    const std::optional<std::vector<int>>& favouriteFormats() const { return m_favourites; }

    // Controls, reachable by name (objectName) as well.
    QTabWidget* PageControl1 = nullptr;
    QWidget* tsGeneral = nullptr;
    QWidget* tsAdvanced = nullptr;
    QWidget* tsSchedule = nullptr;
    TConvertOptionsForm* GeneralForm = nullptr; // the embedded General page

    QGroupBox* rdgTargetFileExists = nullptr;
    QRadioButton* rdgTargetFileExists_0 = nullptr; // "Overwrite existed file without prompt"
    QRadioButton* rdgTargetFileExists_1 = nullptr; // "Always prompt before overwrite existed file "
    QCheckBox* ckbDelWhenCanceled = nullptr;
    QCheckBox* ckbSaveFileList = nullptr;
    QCheckBox* chkDoNotShowConfirm = nullptr;
    QCheckBox* chkShellExtension = nullptr;
    QPushButton* btnFavouriteFormats = nullptr; // enabled with chkShellExtension
    QCheckBox* chkDeleteSource = nullptr;
    QCheckBox* chkKeepRecordingDate = nullptr;
    QLabel* lblOnFailure = nullptr;
    QComboBox* cbxOnFailure = nullptr; // 0 stop the run, 1 go on with the next file

    QGroupBox* grbSchedule = nullptr;
    QCheckBox* chkScheduleConvert = nullptr;
    QLabel* lblStartAt = nullptr;
    QTimeEdit* edtScheduleTime = nullptr;
    QCheckBox* chkSunday = nullptr;
    QCheckBox* chkMonday = nullptr;
    QCheckBox* chkTuesday = nullptr;
    QCheckBox* chkWednesday = nullptr;
    QCheckBox* chkThursday = nullptr;
    QCheckBox* chkFriday = nullptr;
    QCheckBox* chkSaturday = nullptr;
    QCheckBox* chkExitWhenDone = nullptr;
    QCheckBox* chkShundownWhenDone = nullptr;

    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnApply = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildAdvancedPage();
    void buildSchedulePage();
    void buildButtons();
    void setTabOrderOfControls();
    void fitToContents();
    QDateTime scheduleTime() const;
    // The schedule's check boxes and the fields of the record they show.
    std::vector<std::pair<QCheckBox*, bool ScheduleSettings::*>> scheduleBoxes() const;

    ScheduleSettings* m_schedule;
    std::function<QDateTime()> m_clock;
    QDate m_scheduleDate; // the date part of the loaded start time
    std::optional<std::vector<int>> m_favourites;
};

// Creates the dialog, LoadPreferences, shows it modally. On OK runs
// SavePreferences (which hands the schedule to `schedule`) and returns true.
// A failed write after OK throws SettingsError.
bool ShowPreferencesDialog(QWidget* owner, ScheduleSettings& schedule);

} // namespace vexlo::settings

#include "OptionForm.h"
#include "settings/TimeFormat.h"

#include "ConvertOptionsForm.h"
#include "settings/IniFile.h"
#include "platform/Product.h"
#include "platform/Services.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QStyle>
#include <QStyleOption>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimeEdit>

#include <algorithm>
#include <exception>

namespace vexlo::settings {

namespace {

constexpr int kClientWidth = 475;
constexpr int kClientHeight = 392;

template<typename T> T* named(T* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QCheckBox* checkBox(QWidget* parent, const char* name, const QString& caption, int x, int y, int w)
{
    auto* box = named(new QCheckBox(caption, parent), name);
    box->setGeometry(x, y, w, 20);
    return box;
}

// Reports an error of a button handler the way the application reports
// unexpected errors: its text in an error box owned by the dialog.
void reportError(QWidget* owner, const std::exception& error)
{
    if (auto* messages = platform::services().messages)
        messages->show(owner, product::kName, error.what(), platform::MessageIcon::Error, platform::MessageButtons::Ok);
}

} // namespace

TOptionForm::TOptionForm(QWidget* owner, ScheduleSettings* schedule, std::function<QDateTime()> clock)
    : QDialog(owner), m_schedule(schedule),
      m_clock(clock ? std::move(clock) : std::function<QDateTime()>([] { return QDateTime::currentDateTime(); }))
{
    setObjectName(QStringLiteral("OptionForm"));
    setWindowTitle(tr("Options"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);

    PageControl1 = named(new QTabWidget(this), "PageControl1");
    PageControl1->setGeometry(8, 8, 459, 342);

    // Page "General": filled by FormCreate.
    tsGeneral = named(new QWidget, "tsGeneral");
    PageControl1->addTab(tsGeneral, tr("General"));

    // Page "Advanced".
    tsAdvanced = named(new QWidget, "tsAdvanced");
    PageControl1->addTab(tsAdvanced, tr("Advanced"));
    rdgTargetFileExists = named(new QGroupBox(tr("When target file exists"), tsAdvanced), "rdgTargetFileExists");
    rdgTargetFileExists->setGeometry(12, 8, 425, 76);
    rdgTargetFileExists_0 = named(
        new QRadioButton(tr("Overwrite existed file without prompt"), rdgTargetFileExists), "rdgTargetFileExists_0");
    rdgTargetFileExists_0->setGeometry(12, 22, 400, 20);
    rdgTargetFileExists_1
        = named(new QRadioButton(tr("Always prompt before overwrite existed file "), rdgTargetFileExists),
            "rdgTargetFileExists_1");
    rdgTargetFileExists_1->setGeometry(12, 46, 400, 20);
    ckbDelWhenCanceled
        = checkBox(tsAdvanced, "ckbDelWhenCanceled", tr("Delete target file when canceled"), 14, 96, 420);
    ckbSaveFileList
        = checkBox(tsAdvanced, "ckbSaveFileList", tr("Save file list for using of next time"), 14, 122, 420);
    chkDoNotShowConfirm
        = checkBox(tsAdvanced, "chkDoNotShowConfirm", tr("Don't show confirm dialog after Start"), 14, 148, 420);
    chkShellExtension = checkBox(
        tsAdvanced, "chkShellExtension", tr("&Use shell extension (Display icons on context menus)"), 14, 174, 420);
    chkDeleteSource = checkBox(tsAdvanced, "chkDeleteSource", tr("Delete &source file after finish"), 14, 200, 420);
    chkKeepRecordingDate = checkBox(tsAdvanced, "chkKeepRecordingDate", tr("Keep the recording date"), 14, 226, 420);

    // Page "Schedule  ": one untitled group whose title line is the check box.
    tsSchedule = named(new QWidget, "tsSchedule");
    PageControl1->addTab(tsSchedule, tr("Schedule  "));
    grbSchedule = named(new QGroupBox(tsSchedule), "grbSchedule");
    grbSchedule->setGeometry(12, 8, 425, 200);
    chkScheduleConvert = named(new QCheckBox(tr("Schedule  Convert"), grbSchedule), "chkScheduleConvert");
    chkScheduleConvert->setGeometry(10, 0, chkScheduleConvert->sizeHint().width() + 4, 20);
    chkScheduleConvert->setAutoFillBackground(true); // covers the frame line behind it
    lblStartAt = named(new QLabel(tr("Start Converting at:"), grbSchedule), "lblStartAt");
    lblStartAt->setGeometry(24, 36, 130, 22);
    edtScheduleTime = named(new QTimeEdit(grbSchedule), "edtScheduleTime");
    edtScheduleTime->setGeometry(160, 36, 130, 22);
    edtScheduleTime->setDisplayFormat(longTimeFormat(edtScheduleTime->locale()));
    // Wide enough for the longest time the locale writes (AM/PM words included),
    // up to the group's right edge.
    edtScheduleTime->resize(std::clamp(edtScheduleTime->sizeHint().width(), 130, 425 - 160 - 10), 22);
    lblStartAt->setBuddy(edtScheduleTime);
    chkSunday = checkBox(grbSchedule, "chkSunday", tr("&Sunday"), 24, 76, 94);
    chkMonday = checkBox(grbSchedule, "chkMonday", tr("&Monday"), 122, 76, 94);
    chkTuesday = checkBox(grbSchedule, "chkTuesday", tr("&Tuesday"), 220, 76, 94);
    chkWednesday = checkBox(grbSchedule, "chkWednesday", tr("&Wednesday"), 318, 76, 100);
    chkThursday = checkBox(grbSchedule, "chkThursday", tr("T&hursday"), 24, 102, 94);
    chkFriday = checkBox(grbSchedule, "chkFriday", tr("&Friday"), 122, 102, 94);
    chkSaturday = checkBox(grbSchedule, "chkSaturday", tr("Sat&urday"), 220, 102, 94);
    chkExitWhenDone = checkBox(grbSchedule, "chkExitWhenDone", tr("Exit this program when done"), 24, 140, 380);
    chkShundownWhenDone
        = checkBox(grbSchedule, "chkShundownWhenDone", tr("Shut down computer when done"), 24, 166, 380);

    // Buttons below the pages, from left to right.
    btnOK = named(new QPushButton(tr("OK"), this), "btnOK");
    btnOK->setGeometry(231, 358, 75, 25);
    btnOK->setDefault(true);
    btnOK->setAutoDefault(true);
    btnCancel = named(new QPushButton(tr("Cancel"), this), "btnCancel");
    btnCancel->setGeometry(312, 358, 75, 25);
    btnApply = named(new QPushButton(tr("&Apply"), this), "btnApply");
    btnApply->setGeometry(393, 358, 75, 25);

    // Tab order of the Advanced and Schedule pages, then the buttons.
    setTabOrder(rdgTargetFileExists_0, rdgTargetFileExists_1);
    setTabOrder(rdgTargetFileExists_1, ckbDelWhenCanceled);
    setTabOrder(ckbDelWhenCanceled, ckbSaveFileList);
    setTabOrder(ckbSaveFileList, chkDoNotShowConfirm);
    setTabOrder(chkDoNotShowConfirm, chkShellExtension);
    setTabOrder(chkShellExtension, chkDeleteSource);
    setTabOrder(chkDeleteSource, chkKeepRecordingDate);
    QWidget* scheduleOrder[] = {chkScheduleConvert, edtScheduleTime, chkSunday, chkMonday, chkTuesday, chkWednesday,
        chkThursday, chkFriday, chkSaturday, chkExitWhenDone, chkShundownWhenDone, btnOK, btnCancel, btnApply};
    for (size_t i = 1; i < std::size(scheduleOrder); ++i)
        setTabOrder(scheduleOrder[i - 1], scheduleOrder[i]);

    connect(btnOK, &QPushButton::clicked, this, &TOptionForm::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnApply, &QPushButton::clicked, this, &TOptionForm::btnApplyClick);
    connect(chkScheduleConvert, &QCheckBox::toggled, this, &TOptionForm::chkScheduleConvertClick);

    chkScheduleConvertClick(); // the schedule controls start disabled
    edtScheduleTime->setTime(m_clock().time());
    m_scheduleDate = m_clock().date();

    FormCreate();
    fitButtonsToTheirTexts();

    // Centred on the screen.
    if (QScreen* screen = owner && owner->screen() ? owner->screen() : QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
}

TOptionForm::~TOptionForm() { FormDestroy(); }

void TOptionForm::FormCreate()
{
    GeneralForm = new TConvertOptionsForm(tsGeneral, true);
    GeneralForm->setObjectName(QStringLiteral("GeneralForm"));
    // A child panel of the page, not a window of its own.
    GeneralForm->setWindowFlags(Qt::Widget);
    GeneralForm->move(12, 7);
    GeneralForm->show();
    // A desktop font too wide for the designed page widens the dialog by what
    // the General page lacks; the buttons keep their place at the right.
    const int grow = GeneralForm->width() - TConvertOptionsForm::kEmbeddedWidth;
    if (grow > 0) {
        setFixedSize(width() + grow, height());
        PageControl1->resize(PageControl1->width() + grow, PageControl1->height());
        for (QPushButton* button : {btnOK, btnCancel, btnApply})
            button->move(button->x() + grow, button->y());
        // The other pages' frames end where the General page's do.
        for (QGroupBox* group : {rdgTargetFileExists, grbSchedule})
            group->resize(GeneralForm->x() + GeneralForm->width() - group->x(), group->height());
    }
}

// The buttons keep their designed 75 x 25 at the standard font; a larger font
// or a longer translation widens them (and the dialog, when the row needs
// it), still lined up at the right edge of the pages.
void TOptionForm::fitButtonsToTheirTexts()
{
    int width = btnOK->width(), height = btnOK->height();
    for (QPushButton* button : {btnOK, btnCancel, btnApply}) {
        // What the text needs, not the style's own minimum button width.
        QStyleOptionButton option;
        option.initFrom(button);
        QString text = button->text();
        text.remove(QLatin1Char('&'));
        width = std::max(width,
            button->fontMetrics().horizontalAdvance(text)
                + 2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin, &option, button));
        height = std::max(height, button->sizeHint().height());
    }
    if (width == btnOK->width() && height == btnOK->height())
        return; // the designed row holds the texts
    const int gap = btnCancel->x() - btnOK->x() - btnOK->width();
    const int row = 3 * width + 2 * gap;
    const int right = PageControl1->x() + PageControl1->width();
    const int grow = std::max(0, PageControl1->x() + row - right);
    const int bottomMargin = this->height() - btnOK->y() - btnOK->height();
    setFixedSize(this->width() + grow, btnOK->y() + height + bottomMargin);
    PageControl1->resize(PageControl1->width() + grow, PageControl1->height());
    int x = right + grow - row;
    for (QPushButton* button : {btnOK, btnCancel, btnApply}) {
        button->setGeometry(x, button->y(), width, height);
        x += width + gap;
    }
}

void TOptionForm::FormDestroy()
{
    delete GeneralForm;
    GeneralForm = nullptr;
}

void TOptionForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    PageControl1->setCurrentWidget(tsGeneral);
    // The General page takes the focus: its first control in tab order.
    if (GeneralForm) {
        QWidget* first = GeneralForm->cbxVideoFormat ? static_cast<QWidget*>(GeneralForm->cbxVideoFormat) : GeneralForm;
        first->setFocus(Qt::OtherFocusReason);
    }
}

int TOptionForm::targetFileExistsIndex() const
{
    if (rdgTargetFileExists_0->isChecked())
        return 0;
    if (rdgTargetFileExists_1->isChecked())
        return 1;
    return -1;
}

void TOptionForm::setTargetFileExistsIndex(int index)
{
    if (index == 0) {
        rdgTargetFileExists_0->setChecked(true);
    } else if (index == 1) {
        rdgTargetFileExists_1->setChecked(true);
    } else {
        // Auto-exclusive radio buttons refuse to uncheck the checked one.
        rdgTargetFileExists_0->setAutoExclusive(false);
        rdgTargetFileExists_1->setAutoExclusive(false);
        rdgTargetFileExists_0->setChecked(false);
        rdgTargetFileExists_1->setChecked(false);
        rdgTargetFileExists_0->setAutoExclusive(true);
        rdgTargetFileExists_1->setAutoExclusive(true);
    }
}

void TOptionForm::LoadPreferences()
{
    const IniDocument doc = settingsFile().load();
    if (doc.readFlag("Options", "OverwriteExistFile", true))
        setTargetFileExistsIndex(0);
    if (doc.readFlag("Options", "PromptOverwrite", false))
        setTargetFileExistsIndex(1); // the second choice wins when both are set
    ckbDelWhenCanceled->setChecked(doc.readFlag("Options", "DelFileWhenCanceled", false));
    ckbSaveFileList->setChecked(doc.readFlag("Options", "SaveFileList", false));
    chkDoNotShowConfirm->setChecked(doc.readFlag("Options", "DoNotShowConfirm", false));
    chkShellExtension->setChecked(doc.readFlag("Options", "UseShellExtension", true));
    chkDeleteSource->setChecked(doc.readFlag("Options", "DeleteSourceWhenDone", false));
    chkKeepRecordingDate->setChecked(doc.readFlag("Options", "KeepRecordingDate", true));
    const ScheduleSettings schedule = readSchedule(doc, m_clock());
    chkScheduleConvert->setChecked(schedule.ScheduleConvert);
    chkScheduleConvertClick();
    m_scheduleDate = schedule.StartConvertingAt.date();
    edtScheduleTime->setTime(schedule.StartConvertingAt.time());
    for (const auto& [box, field] : scheduleBoxes())
        box->setChecked(schedule.*field);
}

std::vector<std::pair<QCheckBox*, bool ScheduleSettings::*>> TOptionForm::scheduleBoxes() const
{
    return {{chkSunday, &ScheduleSettings::Sunday}, {chkMonday, &ScheduleSettings::Monday},
        {chkTuesday, &ScheduleSettings::Tuesday}, {chkWednesday, &ScheduleSettings::Wednesday},
        {chkThursday, &ScheduleSettings::Thursday}, {chkFriday, &ScheduleSettings::Friday},
        {chkSaturday, &ScheduleSettings::Saturday}, {chkExitWhenDone, &ScheduleSettings::ExitWhenDone},
        {chkShundownWhenDone, &ScheduleSettings::ShunDownWhenDone}};
}

QDateTime TOptionForm::scheduleTime() const
{
    return QDateTime(m_scheduleDate.isValid() ? m_scheduleDate : m_clock().date(), edtScheduleTime->time());
}

void TOptionForm::SavePreferences()
{
    // One write per key, in this order, so that a failed write leaves the keys
    // before it written and the rest untouched.
    IniFile file = settingsFile();
    const int choice = targetFileExistsIndex();
    file.writeFlag("Options", "OverwriteExistFile", choice == 0);
    file.writeFlag("Options", "PromptOverwrite", choice == 1);
    file.writeFlag("Options", "DelFileWhenCanceled", ckbDelWhenCanceled->isChecked());
    file.writeFlag("Options", "SaveFileList", ckbSaveFileList->isChecked());
    file.writeFlag("Options", "DoNotShowConfirm", chkDoNotShowConfirm->isChecked());
    file.writeFlag("Options", "UseShellExtension", chkShellExtension->isChecked());
    SetShellExtension(chkShellExtension->isChecked());
    file.writeFlag("Options", "DeleteSourceWhenDone", chkDeleteSource->isChecked());
    file.writeFlag("Options", "KeepRecordingDate", chkKeepRecordingDate->isChecked());
    ScheduleSettings chosen;
    chosen.ScheduleConvert = chkScheduleConvert->isChecked();
    chosen.StartConvertingAt = scheduleTime();
    for (const auto& [box, field] : scheduleBoxes())
        chosen.*field = box->isChecked();
    writeSchedule(file, chosen);

    if (!m_schedule)
        return;
    m_schedule->ScheduleConvert = chosen.ScheduleConvert;
    if (chosen.ScheduleConvert)
        *m_schedule = chosen; // otherwise the rest stays as it is in memory
}

void TOptionForm::SetShellExtension(bool on)
{
    std::string parameters = "\"";
    parameters += platform::programFolder();
    parameters += product::kShellExtensionFile;
    parameters += "\"";
    parameters += on ? " /s" : " /u /s";
    // Started detached; a missing helper or a failure is not reported.
    if (platform::Shell* shell = platform::services().shell)
        shell->startShellIntegration(parameters);
}

void TOptionForm::btnOKClick()
{
    try {
        if (GeneralForm && !GeneralForm->ApplyOutputSettings())
            return; // the destination was refused: stay open
    } catch (const std::exception& error) {
        reportError(this, error);
        return;
    }
    accept();
}

void TOptionForm::btnApplyClick()
{
    try {
        SavePreferences();
    } catch (const std::exception& error) {
        reportError(this, error);
    }
}

void TOptionForm::chkScheduleConvertClick()
{
    const bool on = chkScheduleConvert->isChecked();
    QWidget* controls[] = {lblStartAt, edtScheduleTime, chkSunday, chkMonday, chkTuesday, chkWednesday, chkThursday,
        chkFriday, chkSaturday, chkExitWhenDone, chkShundownWhenDone};
    for (QWidget* control : controls)
        control->setEnabled(on);
}

bool ShowPreferencesDialog(QWidget* owner, ScheduleSettings& schedule)
{
    TOptionForm form(owner, &schedule);
    form.LoadPreferences();
    if (form.exec() != QDialog::Accepted)
        return false;
    form.SavePreferences();
    return true;
}

} // namespace vexlo::settings

#include "OptionForm.h"
#include "settings/TimeFormat.h"

#include "ConvertOptionsForm.h"
#include "FavouriteFormatsForm.h"
#include "FontFit.h"
#include "settings/Catalogue.h"
#include "settings/IniFile.h"
#include "platform/Product.h"
#include "platform/Services.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QGridLayout>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
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

// Designed heights at the standard font, and the pages' margins.
constexpr int kRowHeight = 20;
constexpr int kPageLeft = 12;
constexpr int kPageRight = 7;

QCheckBox* checkBox(QWidget* parent, const char* name, const QString& caption)
{
    auto* box = named(new QCheckBox(caption, parent), name);
    dialogs::fitText(box, kRowHeight);
    return box;
}

// The margins that put a group's contents `left` and `top` pixels inside its
// frame's outer edge, whatever room the frame and the title take.
void setGroupMargins(QGroupBox* group, QLayout* layout, int left, int top, int bottom)
{
    const QMargins frame = group->contentsMargins();
    layout->setContentsMargins(std::max(0, left - frame.left()), std::max(0, top - frame.top()),
        std::max(0, 10 - frame.right()), std::max(0, bottom - frame.bottom()));
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

    PageControl1 = named(new QTabWidget(this), "PageControl1");
    // Page "General": filled by FormCreate.
    tsGeneral = named(new QWidget, "tsGeneral");
    PageControl1->addTab(tsGeneral, tr("General"));
    auto* general = new QVBoxLayout(tsGeneral);
    general->setContentsMargins(kPageLeft, 7, kPageRight, 0);
    buildAdvancedPage();
    buildSchedulePage();
    buildButtons();

    // The pages above the row of buttons at the right.
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 7, 9);
    column->setSpacing(8);
    auto* pages = new QHBoxLayout;
    pages->setContentsMargins(0, 0, 1, 0); // the buttons end one pixel further right
    pages->addWidget(PageControl1);
    column->addLayout(pages, 1);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(6);
    buttons->addStretch(1);
    for (QPushButton* button : {btnOK, btnCancel, btnApply})
        buttons->addWidget(button);
    column->addLayout(buttons);

    setTabOrderOfControls();
    connect(btnOK, &QPushButton::clicked, this, &TOptionForm::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnApply, &QPushButton::clicked, this, &TOptionForm::btnApplyClick);
    connect(chkScheduleConvert, &QCheckBox::toggled, this, &TOptionForm::chkScheduleConvertClick);
    connect(chkShellExtension, &QCheckBox::toggled, btnFavouriteFormats, &QWidget::setEnabled);
    connect(btnFavouriteFormats, &QPushButton::clicked, this, &TOptionForm::btnFavouriteFormatsClick);

    chkScheduleConvertClick(); // the schedule controls start disabled
    edtScheduleTime->setTime(m_clock().time());
    m_scheduleDate = m_clock().date();

    FormCreate();
    fitToContents();

    // Centred on the screen.
    if (QScreen* screen = owner && owner->screen() ? owner->screen() : QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
}

TOptionForm::~TOptionForm() { FormDestroy(); }

void TOptionForm::buildAdvancedPage()
{
    tsAdvanced = named(new QWidget, "tsAdvanced");
    PageControl1->addTab(tsAdvanced, tr("Advanced"));
    rdgTargetFileExists = named(new QGroupBox(tr("When target file exists"), tsAdvanced), "rdgTargetFileExists");
    rdgTargetFileExists_0 = named(
        new QRadioButton(tr("Overwrite existed file without prompt"), rdgTargetFileExists), "rdgTargetFileExists_0");
    rdgTargetFileExists_1
        = named(new QRadioButton(tr("Always prompt before overwrite existed file "), rdgTargetFileExists),
            "rdgTargetFileExists_1");
    auto* choices = new QVBoxLayout(rdgTargetFileExists);
    choices->setSpacing(4);
    setGroupMargins(rdgTargetFileExists, choices, 12, 22, 10);
    for (QRadioButton* choice : {rdgTargetFileExists_0, rdgTargetFileExists_1}) {
        dialogs::fitText(choice, kRowHeight);
        choices->addWidget(choice);
    }

    ckbDelWhenCanceled = checkBox(tsAdvanced, "ckbDelWhenCanceled", tr("Delete target file when canceled"));
    ckbSaveFileList = checkBox(tsAdvanced, "ckbSaveFileList", tr("Save file list for using of next time"));
    chkDoNotShowConfirm = checkBox(tsAdvanced, "chkDoNotShowConfirm", tr("Don't show confirm dialog after Start"));
    chkShellExtension
        = checkBox(tsAdvanced, "chkShellExtension", tr("&Use shell extension (Display icons on context menus)"));
    btnFavouriteFormats = named(new QPushButton(tr("Favourite &formats..."), tsAdvanced), "btnFavouriteFormats");
    btnFavouriteFormats->setToolTip(tr("The formats that menus without submenus (Nemo's) offer"));
    dialogs::fitButton(btnFavouriteFormats, QSize(75, 25));
    chkDeleteSource = checkBox(tsAdvanced, "chkDeleteSource", tr("Delete &source file after finish"));
    chkKeepRecordingDate = checkBox(tsAdvanced, "chkKeepRecordingDate", tr("Keep the recording date"));
    lblOnFailure = named(new QLabel(tr("When a file cannot be converted:"), tsAdvanced), "lblOnFailure");
    cbxOnFailure = named(new QComboBox(tsAdvanced), "cbxOnFailure");
    cbxOnFailure->addItems({tr("stop the run"), tr("go on with the next file")});
    cbxOnFailure->setMinimumWidth(dialogs::widthForItems(cbxOnFailure));
    cbxOnFailure->setFixedHeight(dialogs::fieldHeightFor(cbxOnFailure, 21));
    lblOnFailure->setBuddy(cbxOnFailure);

    auto* page = new QVBoxLayout(tsAdvanced);
    page->setContentsMargins(kPageLeft, 8, kPageRight, 8);
    page->setSpacing(0);
    page->addWidget(rdgTargetFileExists);
    page->addSpacing(9);
    auto* boxes = new QVBoxLayout;
    boxes->setContentsMargins(2, 0, 0, 0); // the boxes stand a little in from the group's frame
    boxes->setSpacing(6);
    for (QCheckBox* box : {ckbDelWhenCanceled, ckbSaveFileList, chkDoNotShowConfirm, chkShellExtension})
        boxes->addWidget(box);
    // The favourites belong to the menus: under their box, indented as its text.
    auto* favourites = new QHBoxLayout;
    favourites->setContentsMargins(chkShellExtension->style()->pixelMetric(QStyle::PM_IndicatorWidth)
            + chkShellExtension->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing),
        0, 0, 0);
    favourites->addWidget(btnFavouriteFormats);
    favourites->addStretch(1);
    boxes->addLayout(favourites);
    for (QCheckBox* box : {chkDeleteSource, chkKeepRecordingDate})
        boxes->addWidget(box);
    page->addLayout(boxes);
    page->addSpacing(8);
    auto* onFailure = new QHBoxLayout;
    onFailure->setContentsMargins(2, 0, 0, 0);
    onFailure->setSpacing(6);
    onFailure->addWidget(lblOnFailure);
    onFailure->addWidget(cbxOnFailure);
    onFailure->addStretch(1);
    page->addLayout(onFailure);
    page->addStretch(1);
}

// One untitled group whose title line is the check box that switches the
// schedule on; below it the start time, the days in two rows of four and
// three, and what happens afterwards.
void TOptionForm::buildSchedulePage()
{
    tsSchedule = named(new QWidget, "tsSchedule");
    PageControl1->addTab(tsSchedule, tr("Schedule  "));
    grbSchedule = named(new QGroupBox(tsSchedule), "grbSchedule");
    chkScheduleConvert = named(new QCheckBox(tr("Schedule  Convert"), grbSchedule), "chkScheduleConvert");
    const QSize title = chkScheduleConvert->sizeHint();
    chkScheduleConvert->setGeometry(10, 0, title.width() + 4, std::max(kRowHeight, title.height()));
    chkScheduleConvert->setAutoFillBackground(true); // covers the frame line behind it
    lblStartAt = named(new QLabel(tr("Start Converting at:"), grbSchedule), "lblStartAt");
    edtScheduleTime = named(new QTimeEdit(grbSchedule), "edtScheduleTime");
    edtScheduleTime->setDisplayFormat(longTimeFormat(edtScheduleTime->locale()));
    // Wide enough for the longest time the locale writes (AM/PM words included).
    edtScheduleTime->setFixedSize(
        std::max(130, edtScheduleTime->sizeHint().width()), dialogs::fieldHeightFor(edtScheduleTime, 22));
    lblStartAt->setBuddy(edtScheduleTime);
    dialogs::fitText(lblStartAt, 22);
    lblStartAt->setMinimumWidth(std::max(130, lblStartAt->minimumWidth()));
    chkSunday = checkBox(grbSchedule, "chkSunday", tr("&Sunday"));
    chkMonday = checkBox(grbSchedule, "chkMonday", tr("&Monday"));
    chkTuesday = checkBox(grbSchedule, "chkTuesday", tr("&Tuesday"));
    chkWednesday = checkBox(grbSchedule, "chkWednesday", tr("&Wednesday"));
    chkThursday = checkBox(grbSchedule, "chkThursday", tr("T&hursday"));
    chkFriday = checkBox(grbSchedule, "chkFriday", tr("&Friday"));
    chkSaturday = checkBox(grbSchedule, "chkSaturday", tr("Sat&urday"));
    chkExitWhenDone = checkBox(grbSchedule, "chkExitWhenDone", tr("Exit this program when done"));
    chkShundownWhenDone = checkBox(grbSchedule, "chkShundownWhenDone", tr("Shut down computer when done"));

    auto* rows = new QVBoxLayout(grbSchedule);
    rows->setSpacing(0);
    setGroupMargins(grbSchedule, rows, 24, std::max(36, chkScheduleConvert->height() + 16), 14);
    auto* start = new QHBoxLayout;
    start->setSpacing(6);
    start->addWidget(lblStartAt);
    start->addWidget(edtScheduleTime);
    start->addStretch(1);
    rows->addLayout(start);
    rows->addSpacing(18);
    auto* days = new QGridLayout;
    days->setHorizontalSpacing(4);
    days->setVerticalSpacing(6);
    QCheckBox* const order[] = {chkSunday, chkMonday, chkTuesday, chkWednesday, chkThursday, chkFriday, chkSaturday};
    for (int i = 0; i < 7; ++i)
        days->addWidget(order[i], i / 4, i % 4);
    for (int column = 0; column < 4; ++column)
        days->setColumnMinimumWidth(column, 94);
    days->setColumnStretch(4, 1);
    rows->addLayout(days);
    rows->addSpacing(18);
    rows->addWidget(chkExitWhenDone);
    rows->addSpacing(6);
    rows->addWidget(chkShundownWhenDone);
    rows->addStretch(1);

    auto* page = new QVBoxLayout(tsSchedule);
    page->setContentsMargins(kPageLeft, 8, kPageRight, 8);
    page->addWidget(grbSchedule);
    page->addStretch(1);
    grbSchedule->setMinimumHeight(200);
}

// OK (the default button), Cancel and Apply: 75 x 25 at the standard font,
// all as wide and high as the longest text needs.
void TOptionForm::buildButtons()
{
    btnOK = named(new QPushButton(tr("OK"), this), "btnOK");
    btnOK->setDefault(true);
    btnOK->setAutoDefault(true);
    btnCancel = named(new QPushButton(tr("Cancel"), this), "btnCancel");
    btnApply = named(new QPushButton(tr("&Apply"), this), "btnApply");
    QSize size(75, 25);
    for (QPushButton* button : {btnOK, btnCancel, btnApply})
        size = size.expandedTo(dialogs::buttonSizeFor(button, size));
    for (QPushButton* button : {btnOK, btnCancel, btnApply})
        button->setFixedSize(size);
}

void TOptionForm::setTabOrderOfControls()
{
    // The Advanced and Schedule pages, then the buttons.
    QWidget* advancedOrder[]
        = {rdgTargetFileExists_0, rdgTargetFileExists_1, ckbDelWhenCanceled, ckbSaveFileList, chkDoNotShowConfirm,
            chkShellExtension, btnFavouriteFormats, chkDeleteSource, chkKeepRecordingDate, cbxOnFailure};
    for (size_t i = 1; i < std::size(advancedOrder); ++i)
        setTabOrder(advancedOrder[i - 1], advancedOrder[i]);
    QWidget* scheduleOrder[] = {chkScheduleConvert, edtScheduleTime, chkSunday, chkMonday, chkTuesday, chkWednesday,
        chkThursday, chkFriday, chkSaturday, chkExitWhenDone, chkShundownWhenDone, btnOK, btnCancel, btnApply};
    for (size_t i = 1; i < std::size(scheduleOrder); ++i)
        setTabOrder(scheduleOrder[i - 1], scheduleOrder[i]);
}

void TOptionForm::FormCreate()
{
    GeneralForm = new TConvertOptionsForm(tsGeneral, true);
    GeneralForm->setObjectName(QStringLiteral("GeneralForm"));
    // A child panel of the page, not a window of its own.
    GeneralForm->setWindowFlags(Qt::Widget);
    tsGeneral->layout()->addWidget(GeneralForm);
    static_cast<QBoxLayout*>(tsGeneral->layout())->addStretch(1);
    GeneralForm->show();
    // Loaded now rather than when the dialog appears: its titles may widen
    // it, and the dialog takes its size from it.
    GeneralForm->ensureLoaded();
}

void TOptionForm::FormDestroy()
{
    delete GeneralForm;
    GeneralForm = nullptr;
}

// The designed size, or what the pages and buttons need in the desktop's font
// and the language shown.
void TOptionForm::fitToContents()
{
    layout()->invalidate();
    setFixedSize(QSize(kClientWidth, kClientHeight).expandedTo(layout()->totalMinimumSize()));
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
    btnFavouriteFormats->setEnabled(chkShellExtension->isChecked());
    m_favourites.reset();
    if (doc.value("Options", kFavouriteFormatsKey))
        m_favourites = settings::favouriteFormats(doc);
    chkDeleteSource->setChecked(doc.readFlag("Options", "DeleteSourceWhenDone", false));
    chkKeepRecordingDate->setChecked(doc.readFlag("Options", "KeepRecordingDate", true));
    cbxOnFailure->setCurrentIndex(doc.readFlag("Options", "ContinueOnError", false) ? 1 : 0);
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
    // Before the helper starts: it writes Nemo's entries from them.
    if (m_favourites)
        file.writeText("Options", kFavouriteFormatsKey, favouriteFormatsText(*m_favourites));
    file.writeFlag("Options", "UseShellExtension", chkShellExtension->isChecked());
    SetShellExtension(chkShellExtension->isChecked());
    file.writeFlag("Options", "DeleteSourceWhenDone", chkDeleteSource->isChecked());
    file.writeFlag("Options", "KeepRecordingDate", chkKeepRecordingDate->isChecked());
    file.writeFlag("Options", "ContinueOnError", cbxOnFailure->currentIndex() == 1);
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

void TOptionForm::btnFavouriteFormatsClick()
{
    std::vector<std::string> titles;
    std::vector<int> checked;
    try {
        const IniDocument doc = settingsFile().load();
        titles = catalogueTitles(doc);
        checked = m_favourites ? *m_favourites : settings::favouriteFormats(doc);
    } catch (const std::exception& error) {
        reportError(this, error);
        return;
    }
    TFavouriteFormatsForm form(this, titles, checked);
    if (form.exec() == QDialog::Accepted)
        m_favourites = form.checkedFormats();
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

#include "ConvertOptionsForm.h"

#include "ConvertOptionsControls.h"
#include "FontFit.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "settings/Catalogue.h"
#include "settings/IniFile.h"
#include "settings/RunSettings.h"
#include "platform/Product.h"
#include "platform/DesktopApps.h"
#include "platform/Services.h"
#include "platform/UserFolders.h"
#include "shellutil/ConvertPublic.h"

#include <QComboBox>
#include <QEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace vexlo::settings {

namespace {

// Texts shown in more than one place; translated where they are shown.
constexpr const char* kCaption
    = QT_TRANSLATE_NOOP("vexlo::settings::TConvertOptionsForm", "Please select output fomat");
constexpr const char* kBrowseTitle
    = QT_TRANSLATE_NOOP("vexlo::settings::TConvertOptionsForm", "Please select target directory");
constexpr const char* kAskCreate = QT_TRANSLATE_NOOP(
    "vexlo::settings::TConvertOptionsForm", "Directory is not found!\r\n\r\n'%s'\r\n\r\ndo you want to create it?");
constexpr const char* kCreatePathError
    = QT_TRANSLATE_NOOP("vexlo::settings::TConvertOptionsForm", "Create path error!");
constexpr const char* kUnableToCreate
    = QT_TRANSLATE_NOOP("vexlo::settings::TConvertOptionsForm", "Unable to create directory");
constexpr const char* kDefaultsFile = "VideoFormat.dat";

constexpr const char* kOptions = "Options";
constexpr const char* kRecentDestPath = "RecentDestPath";

constexpr int kClientWidth = 528;
constexpr int kClientHeight = 309;

// Stored parameter values and their defaults.
struct ParameterKey {
    const char* key;
    const char* def;
};
constexpr ParameterKey kFrameSize{"FrameSize", "320 x 240"};
constexpr ParameterKey kVideoBitrate{"VideoBitrate", "512"};
constexpr ParameterKey kFramerate{"Framerate", "Same as source file"};
constexpr ParameterKey kAudioBitrate{"AudioBitrate", "128"};
constexpr ParameterKey kSampleBitrate{"SampleBitrate", "44100"};
constexpr const char* kChannels = "Channels";
constexpr int32_t kChannelsDefault = 1;

QString fromBytes(const std::string& text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

std::string toBytes(const QString& text) { return text.toUtf8().toStdString(); }

// Selects the item whose text equals `text` without regard to case; no
// selection when none does.
void selectMatching(QComboBox* box, const std::string& text)
{
    box->setCurrentIndex(box->findText(fromBytes(text), Qt::MatchFixedString));
}

void selectChannels(QComboBox* box, int32_t position)
{
    box->setCurrentIndex(position == 0 || position == 1 ? position : -1);
}

void readParameter(const IniDocument& doc, const std::string& section, const ParameterKey& p, QComboBox* box)
{
    selectMatching(box, doc.readText(section, p.key, p.def));
}

// Blanks and control characters around the text go.
std::string trimmed(const std::string& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ')
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ')
        --end;
    return text.substr(begin, end - begin);
}

} // namespace

TConvertOptionsForm::TConvertOptionsForm(QWidget* parent, bool embedded) : QDialog(parent), m_embedded(embedded)
{
    setObjectName(QStringLiteral("ConvertOptionsForm"));
    setWindowTitle(tr(kCaption));
    if (m_embedded) {
        setWindowFlags(Qt::Widget);
    } else {
        setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowCloseButtonHint);
        setSizeGripEnabled(false);
    }
    buildControls();
    fitToContents();
}

TConvertOptionsForm::~TConvertOptionsForm() = default;

void TConvertOptionsForm::fitToContents()
{
    // The output format list as wide as its longest title (up to 100 average
    // characters); the form at its designed size unless its contents need
    // more in the desktop's font.
    cbxVideoFormat->setMinimumWidth(
        std::min(dialogs::widthForItems(cbxVideoFormat), cbxVideoFormat->fontMetrics().averageCharWidth() * 100));
    const QSize design = m_embedded ? QSize(kEmbeddedWidth, kEmbeddedHeight) : QSize(kClientWidth, kClientHeight);
    layout()->invalidate();
    setFixedSize(design.expandedTo(layout()->totalMinimumSize()));
}

void TConvertOptionsForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    ensureLoaded(); // the loaded titles may widen the form
    if (!m_embedded && !m_centred) {
        m_centred = true;
        QScreen* target = parentWidget() ? parentWidget()->screen() : screen();
        if (target) {
            const QRect area = target->availableGeometry();
            move(area.center() - QPoint(width() / 2, height() / 2));
        }
    }
}

void TConvertOptionsForm::keyPressEvent(QKeyEvent* event)
{
    // On a page of another dialog, Escape and Enter belong to that dialog.
    if (m_embedded) {
        QWidget::keyPressEvent(event);
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TConvertOptionsForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == cbxDestPath && event->type() == QEvent::FocusIn)
        cbxDestPathEnter();
    return QDialog::eventFilter(watched, event);
}

void TConvertOptionsForm::ensureLoaded()
{
    if (!m_loaded)
        FormShow();
}

void TConvertOptionsForm::FormShow()
{
    m_loaded = true;
    LoadProfileList();
    LoadDestination();
}

void TConvertOptionsForm::LoadProfileList()
{
    const IniDocument doc = settingsFile().load();
    cbxVideoFormat->clear();
    QStringList titles;
    for (const std::string& title : catalogueTitles(doc))
        titles.append(fromBytes(title));
    cbxVideoFormat->addItems(titles);
    const int32_t chosen = doc.readInteger(kOptions, "OutputFormat", 0);
    cbxVideoFormat->setCurrentIndex(chosen >= 0 && chosen < cbxVideoFormat->count() ? chosen : -1);
    fitToContents();
    LoadProfileParameters(chosen);
}

void TConvertOptionsForm::LoadProfileParameters(int32_t n)
{
    const IniDocument doc = settingsFile().load();
    const std::string section = profileSectionName(n);
    readParameter(doc, section, kFrameSize, cbxFrameSize);
    readParameter(doc, section, kVideoBitrate, cbxVideoBitrate);
    readParameter(doc, section, kFramerate, cbxFramerate);
    readParameter(doc, section, kAudioBitrate, cbxAudioBitrate);
    readParameter(doc, section, kSampleBitrate, cbxSampleBitrate);
    selectChannels(cbxChannels, doc.readInteger(section, kChannels, kChannelsDefault));

    m_profileEditable = doc.readFlag(section, "Edit", false);
    for (QComboBox* box : {cbxFrameSize, cbxFramerate, cbxAudioBitrate, cbxSampleBitrate, cbxChannels})
        box->setEnabled(m_profileEditable);
}

void TConvertOptionsForm::RestoreProfileDefaults(bool video, int32_t n)
{
    const IniDocument doc = IniFile(platform::programFolder() + kDefaultsFile).load();
    const std::string section = profileSectionName(n);
    if (video) {
        readParameter(doc, section, kFrameSize, cbxFrameSize);
        readParameter(doc, section, kVideoBitrate, cbxVideoBitrate);
        readParameter(doc, section, kFramerate, cbxFramerate);
    } else {
        readParameter(doc, section, kAudioBitrate, cbxAudioBitrate);
        readParameter(doc, section, kSampleBitrate, cbxSampleBitrate);
        selectChannels(cbxChannels, doc.readInteger(section, kChannels, kChannelsDefault));
    }
}

void TConvertOptionsForm::LoadDestination()
{
    const IniDocument doc = settingsFile().load();
    const std::string fallback = shellutil::ExpandLongPath(platform::defaultDestinationFolder());
    cbxDestPath->setEditText(paths::toQString(doc.readText(kOptions, "DestPath", fallback)));
    if (doc.readFlag(kOptions, "ConvertToSamePath", true))
        rbtConvertToSamePath->setChecked(true);
    else
        rbtConvertToPath->setChecked(true);
    rbtConvertToPathClick();
}

void TConvertOptionsForm::rbtConvertToPathClick()
{
    const bool intoFolder = rbtConvertToPath->isChecked();
    cbxDestPath->setEnabled(intoFolder);
    btnSelectDestPath->setEnabled(intoFolder);
}

void TConvertOptionsForm::cbxDestPathEnter() { LoadRecentPaths(); }

void TConvertOptionsForm::LoadRecentPaths()
{
    const IniDocument doc = settingsFile().load();
    const QString typed = cbxDestPath->currentText();
    QLineEdit* edit = cbxDestPath->lineEdit();
    const int cursor = edit ? edit->cursorPosition() : 0;

    cbxDestPath->clear();
    const size_t count = doc.keys(kRecentDestPath).size();
    for (size_t i = 0; i < count; ++i) {
        const std::string path = doc.readText(kRecentDestPath, std::to_string(i), "");
        if (!path.empty())
            cbxDestPath->addItem(paths::toQString(path));
    }
    cbxDestPath->setCurrentIndex(-1);
    cbxDestPath->setEditText(typed);
    if (edit)
        edit->setCursorPosition(cursor);
    m_recentPathsLoaded = true;
}

void TConvertOptionsForm::ensureRecentPathsLoaded()
{
    if (!m_recentPathsLoaded)
        LoadRecentPaths();
}

void TConvertOptionsForm::btnRestoreVideoClick() { RestoreProfileDefaults(true, cbxVideoFormat->currentIndex()); }

void TConvertOptionsForm::btnRestoreAudioClick() { RestoreProfileDefaults(false, cbxVideoFormat->currentIndex()); }

void TConvertOptionsForm::cbxVideoFormatChange(int index) { LoadProfileParameters(index); }

void TConvertOptionsForm::btnSelectDestPathClick()
{
    std::string start = paths::fromQString(cbxDestPath->currentText());
    if (start.empty())
        start = platform::defaultDestinationFolder();
    if (start.size() > 1 && start.back() == '/')
        start.pop_back();
    const std::optional<std::string> chosen
        = platform::services().fileDialogs->chooseFolder(this, tr(kBrowseTitle).toStdString(), start);
    if (chosen)
        cbxDestPath->setEditText(paths::toQString(*chosen));
}

bool TConvertOptionsForm::ValidateDestination()
{
    const std::string path = trimmed(paths::fromQString(cbxDestPath->currentText()));
    if (!rbtConvertToPath->isChecked() || shellutil::folderExists(path))
        return true;

    auto* messages = platform::services().messages;
    const auto answer
        = messages->show(this, tr(kCaption).toStdString(), text::replacePlaceholder(tr(kAskCreate).toStdString(), path),
            platform::MessageIcon::Warning, platform::MessageButtons::YesNo);
    if (answer != platform::MessageAnswer::Yes)
        return false;

    if (path.empty()) {
        showError(tr(kUnableToCreate).toStdString());
        return false;
    }
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path), error);
    if (shellutil::folderExists(path))
        return true;
    messages->show(this, product::kName, tr(kCreatePathError).toStdString(), platform::MessageIcon::Error,
        platform::MessageButtons::Ok);
    return false;
}

void TConvertOptionsForm::writeProfileParameters(IniDocument& doc) const
{
    const std::string file = settingsFilePath();
    const int32_t n = cbxVideoFormat->currentIndex();
    doc.setValue(kOptions, "OutputFormat", std::to_string(n), file);
    const std::string section = profileSectionName(n);
    doc.setValue(section, kFrameSize.key, toBytes(cbxFrameSize->currentText()), file);
    doc.setValue(section, kVideoBitrate.key, toBytes(cbxVideoBitrate->currentText()), file);
    doc.setValue(section, kFramerate.key, toBytes(cbxFramerate->currentText()), file);
    doc.setValue(section, kAudioBitrate.key, toBytes(cbxAudioBitrate->currentText()), file);
    doc.setValue(section, kSampleBitrate.key, toBytes(cbxSampleBitrate->currentText()), file);
    doc.setValue(section, kChannels, std::to_string(cbxChannels->currentIndex()), file);
}

void TConvertOptionsForm::writeDestination(IniDocument& doc) const
{
    const std::string file = settingsFilePath();
    doc.setValue(kOptions, "ConvertToSamePath", rbtConvertToSamePath->isChecked() ? "1" : "0", file);

    // The folder is stored as it was checked and created: without blanks around it.
    const std::string shown = trimmed(paths::fromQString(cbxDestPath->currentText()));
    // The path box is enabled exactly when the folder choice is selected.
    if (rbtConvertToPath->isChecked()) {
        doc.setValue(kOptions, "DestPath", paths::withTrailingSlash(shown), file);
    }

    // Recent folders: the shown text first, unless it is listed already.
    const QString shownText = paths::toQString(shown);
    for (int i = 0; i < cbxDestPath->count(); ++i) {
        if (cbxDestPath->itemText(i).compare(shownText, Qt::CaseInsensitive) == 0)
            return;
    }
    doc.eraseSection(kRecentDestPath);
    doc.setValue(kRecentDestPath, "0", shown, file);
    const int kept = std::min(cbxDestPath->count(), kMaxRecentPaths - 1);
    for (int i = 0; i < kept; ++i)
        doc.setValue(kRecentDestPath, std::to_string(i + 1), paths::fromQString(cbxDestPath->itemText(i)), file);
}

void TConvertOptionsForm::SaveProfileParameters()
{
    settingsFile().update([this](IniDocument& doc) { writeProfileParameters(doc); });
}

void TConvertOptionsForm::SaveDestination()
{
    ensureRecentPathsLoaded();
    settingsFile().update([this](IniDocument& doc) { writeDestination(doc); });
}

bool TConvertOptionsForm::validateAndSave()
{
    if (!ValidateDestination())
        return false;
    ensureRecentPathsLoaded();
    try {
        // Both groups in one write: a failure leaves the file as it was.
        settingsFile().update([this](IniDocument& doc) {
            writeProfileParameters(doc);
            writeDestination(doc);
        });
    } catch (const std::exception& error) {
        showError(error.what());
        return false;
    }
    return true;
}

bool TConvertOptionsForm::ApplyOutputSettings()
{
    ensureLoaded();
    return validateAndSave();
}

void TConvertOptionsForm::btnOKClick()
{
    if (validateAndSave())
        accept();
}

void TConvertOptionsForm::btnHelpClick()
{
    platform::services().shell->openDocument(platform::helpDocument(platform::programFolder()));
}

void TConvertOptionsForm::showError(const std::string& text)
{
    platform::services().messages->show(
        this, product::kName, text, platform::MessageIcon::Error, platform::MessageButtons::Ok);
}

bool ShowOutputFormatDialog(QWidget* owner)
{
    TConvertOptionsForm dialog(owner);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace vexlo::settings

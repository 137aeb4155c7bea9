#include "FileListController.h"
#include "base/Paths.h"

#include "FileRules.h"
#include "MainForm.h"
#include "platform/Services.h"
#include "settings/IniFile.h"
#include "shellutil/ConvertPublic.h"

#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QRegularExpression>
#include <QTreeWidget>
#include <QUrl>
#include <unistd.h>

namespace vexlo::app {

using platform::services;

namespace {

const char* const kOptions = "Options";

std::string currentFolder()
{
    char buffer[4096];
    if (!getcwd(buffer, sizeof buffer))
        return "./";
    return paths::withTrailingSlash(buffer);
}

// The filters of the add-files dialog, in their order.
std::vector<platform::FileFilter> openDialogFilters()
{
    static const std::pair<const char*, const char*> table[] = {
        {QT_TRANSLATE_NOOP("TMainForm",
             "Video files (*.m2ts;*.mts;*.m2t;*.avi;*.mpeg;*.mpg;*.wmv;*.qt;*.mpm;*.mpv;*.mpa;*.mov;*.vob;*.mod;*.mp4)"),
            "*.m2ts;*.mts;*.m2t;*.avi;*.mpeg;*.mpg;*.wmv;*.asf;*.qt;*.mpm;*.mpv;*.mpa;*.mov;*.vob;*.mod;*.mp4;*.3gp;*.3g2;*.dvr-ms;*.flv;*.swf;*.dv;"
            "*.M2TS;*.MTS;*.mkv;*.webm;*.ts;*.m4v;*.ogv;*.mxf"},
        {QT_TRANSLATE_NOOP("TMainForm", "All videos"), nullptr},
        {QT_TRANSLATE_NOOP("TMainForm", "AVCHD files (*.m2ts;*.mts;*.m2t)"), "*.m2ts;*.mts;*.m2t"},
        {QT_TRANSLATE_NOOP("TMainForm", "AVI files (*.avi)"), "*.avi"},
        {QT_TRANSLATE_NOOP("TMainForm", "MPEG files (*.mpeg;*.mpg;*.mpm;*.mpv;*.mpa;*.mod)"),
            "*.mpeg;*mpg;*.mpm;*.mpv;*.mpa;*.mod"},
        {QT_TRANSLATE_NOOP("TMainForm", "WMV files (*.wmv;*.asf;*.wma)"), "*.wmv;*asf;*.wma"},
        {QT_TRANSLATE_NOOP("TMainForm", "Quick Time files (*.qt;*.mov)"), "*.qt;*.mov"},
        {QT_TRANSLATE_NOOP("TMainForm", "VOB files (*.vob)"), "*.vob"},
        {QT_TRANSLATE_NOOP("TMainForm", "MP4 files (*.mp4;*.3gp;*.3g2)"), "*.mp4;*.3gp;*.3g2"},
        {QT_TRANSLATE_NOOP("TMainForm", "Flash video files (*.flv;*.swf)"), "*.flv;*.swf"},
        {QT_TRANSLATE_NOOP("TMainForm", "All files (*.*)"), "*.*"},
    };
    std::vector<platform::FileFilter> filters;
    for (const auto& [description, patterns] : table)
        filters.push_back({QCoreApplication::translate("TMainForm", description).toStdString(),
            patterns ? std::string(patterns) : acceptedVideoMasks()});
    return filters;
}

// The rule of drops: an existing file, not a folder, with a video's name.
bool droppable(const std::string& path) { return paths::existsNotFolder(path) && isSupportedVideoName(path); }

// One line of pasted text as a local file; empty when it names none.
QString localFileOfLine(QString line)
{
    line = line.trimmed();
    if (line.size() >= 2 && (line.front() == u'"' || line.front() == u'\'') && line.back() == line.front())
        line = line.mid(1, line.size() - 2);
    if (line.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        const QUrl url(line);
        return url.isLocalFile() ? url.toLocalFile() : QString();
    }
    if (line.startsWith(u'/'))
        return line;
    if (line.startsWith(QLatin1String("~/")))
        return QDir::homePath() + line.mid(1);
    return {};
}

} // namespace

QStringList FileListController::localFiles(const QMimeData& data)
{
    QStringList files;
    if (data.hasUrls()) {
        for (const QUrl& url : data.urls()) {
            if (url.isLocalFile())
                files << url.toLocalFile();
        }
        return files;
    }
    static const QRegularExpression lineBreak(QStringLiteral("[\r\n]"));
    for (const QString& line : data.text().split(lineBreak, Qt::SkipEmptyParts)) {
        const QString file = localFileOfLine(line);
        if (!file.isEmpty())
            files << file;
    }
    return files;
}

FileListController::FileListController(TMainForm& form) : m_form(form) {}

bool FileListController::selectAndAdd()
{
    auto file = settings::settingsFile();
    std::string folder = file.readText(kOptions, "LastPath", "");
    if (folder.empty())
        folder = shellutil::GetPersonalFolder();
    const auto chosen = services().fileDialogs->openFiles(&m_form,
        QCoreApplication::translate("TMainForm", "Please select the video files to convert").toStdString(), folder,
        openDialogFilters(), 0);
    if (!chosen)
        return false;
    for (const std::string& path : *chosen)
        m_form.addFile(path);
    setIdleStatusText();
    m_form.updatePictureVisibility();
    if (!chosen->empty())
        file.writeText(kOptions, "LastPath", shellutil::folderPart(chosen->front()));
    return true;
}

void FileListController::addMatching(const std::string& pattern)
{
    std::string folder = shellutil::folderPart(pattern);
    const std::string mask = pattern.substr(folder.size());
    if (folder.empty())
        folder = currentFolder();
    for (const std::string& name : matchingFileNames(folder, mask))
        m_form.addFile(folder + name);
    setIdleStatusText();
    m_form.updatePictureVisibility();
}

void FileListController::drop(const QStringList& localFiles)
{
    for (const QString& name : localFiles) {
        const std::string path = paths::fromQString(name);
        if (droppable(path))
            m_form.addFile(path);
    }
    setIdleStatusText();
    m_form.updatePictureVisibility();
    m_form.ActivateApplication();
    if (m_form.ListView1->topLevelItemCount() > 0)
        QMetaObject::invokeMethod(&m_form, &TMainForm::RequestConversion, Qt::QueuedConnection);
}

QStringList FileListController::pastableFiles() const
{
    const QMimeData* data = m_form.Busy ? nullptr : QGuiApplication::clipboard()->mimeData();
    if (!data)
        return {};
    QStringList files = localFiles(*data);
    for (const QString& name : files) {
        const std::string path = paths::fromQString(name);
        if (droppable(path) && m_form.files().accepts(path))
            return files;
    }
    return {};
}

void FileListController::paste()
{
    const QStringList files = pastableFiles();
    if (!files.isEmpty())
        drop(files);
}

void FileListController::updatePasteCommand() { m_form.pmnPaste->setEnabled(!pastableFiles().isEmpty()); }

void FileListController::removeSelected()
{
    if (m_form.Busy)
        return; // rows are never removed while a run reads them by position
    const QList<QTreeWidgetItem*> selected = m_form.ListView1->selectedItems();
    if (selected.isEmpty())
        return;
    std::vector<int> rows;
    for (QTreeWidgetItem* item : selected)
        rows.push_back(m_form.ListView1->indexOfTopLevelItem(item));
    m_form.removeListRows(m_form.ListView1, rows);
    setIdleStatusText();
    updateRemoveCommands();
    m_form.updatePictureVisibility();
}

void FileListController::updateRemoveCommands()
{
    const bool any = !m_form.ListView1->selectedItems().isEmpty();
    m_form.mniRemoveFile->setEnabled(any);
    m_form.btnRemoveFile->setEnabled(any && !m_form.Busy);
    m_form.pmnRemoveFile->setEnabled(any && !m_form.Busy);
}

void FileListController::setIdleStatusText()
{
    const int n = m_form.ListView1->topLevelItemCount();
    const QString text = n == 0 ? QCoreApplication::translate("TMainForm", "Ready")
                                : QCoreApplication::translate("TMainForm", "%1 File(s) Ready").arg(n);
    m_form.setHint(text);
    if (!m_form.Busy)
        m_form.StatusBar1->setPanelText(0, text);
}

void FileListController::loadSaved()
{
    const settings::IniDocument doc = settings::settingsFile().load();
    if (!savedListEnabled(doc))
        return;
    for (const std::string& path : savedFileList(doc))
        m_form.addFile(path);
    setIdleStatusText();
    m_form.updatePictureVisibility();
}

void FileListController::storeSaved()
{
    auto file = settings::settingsFile();
    if (!savedListEnabled(file.load()))
        return;
    const std::vector<std::string> paths = m_form.files().paths();
    // One atomic write: the stored list is either wholly replaced or untouched.
    file.update([&](settings::IniDocument& doc) { storeSavedFileList(doc, paths, file.path()); });
}

} // namespace vexlo::app

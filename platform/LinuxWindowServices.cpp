// The Linux services that show windows or draw: message boxes, file dialogs,
// the desktop; and the whole Linux set that a program with windows installs.
#include "LinuxWindowServices.h"

#include "IconFiles.h"
#include "LinuxDesktopSession.h"
#include "LinuxServices.h"
#include "MimeClassesRoot.h"
#include "MountTable.h"
#include "ProcessLauncher.h"
#include "Registry.h"
#include "UserFolders.h"
#include "base/Paths.h"
#include "base/Text.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QWidget>

namespace vexlo::platform {

namespace {

QString toQString(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

// ---------------------------------------------------------------------------

MessageAnswer LinuxMessageBoxes::show(
    QWidget* owner, const std::string& title, const std::string& text, MessageIcon icon, MessageButtons buttons)
{
    QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
    switch (icon) {
    case MessageIcon::None:
        break;
    case MessageIcon::Information:
        qtIcon = QMessageBox::Information;
        break;
    case MessageIcon::Warning:
        qtIcon = QMessageBox::Warning;
        break;
    case MessageIcon::Error:
        qtIcon = QMessageBox::Critical;
        break;
    case MessageIcon::Question:
        qtIcon = QMessageBox::Question;
        break;
    }
    QString shownText = toQString(text);
    shownText.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QMessageBox::StandardButtons qtButtons
        = buttons == MessageButtons::YesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok;
    QMessageBox box(qtIcon, toQString(title), shownText, qtButtons, owner);
    box.setTextFormat(Qt::PlainText);
    const int result = box.exec();
    if (buttons == MessageButtons::YesNo)
        return result == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
    return MessageAnswer::Ok;
}

// ---------------------------------------------------------------------------

std::vector<std::string> qtNameFilters(const std::vector<FileFilter>& filters)
{
    std::vector<std::string> result;
    result.reserve(filters.size());
    for (const FileFilter& filter : filters) {
        std::string patterns;
        for (const std::string_view pattern : text::splitList(filter.patterns)) {
            if (pattern.find(' ') == std::string_view::npos) {
                if (!patterns.empty())
                    patterns += ' ';
                patterns += pattern;
            }
        }
        result.push_back(filter.description + " (" + patterns + ")");
    }
    return result;
}

std::optional<std::vector<std::string>> LinuxFileDialogs::openFiles(QWidget* owner, const std::string& title,
    const std::string& initialFolder, const std::vector<FileFilter>& filters, int selectedFilter)
{
    QFileDialog dialog(owner, toQString(title), paths::toQString(initialFolder));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Qt's own dialog, so that the descriptions show exactly as given while the
    // patterns in the hidden parentheses are applied.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    QStringList nameFilters;
    for (const std::string& filter : qtNameFilters(filters))
        nameFilters << toQString(filter);
    if (!nameFilters.isEmpty()) {
        dialog.setNameFilters(nameFilters);
        if (selectedFilter >= 0 && selectedFilter < nameFilters.size())
            dialog.selectNameFilter(nameFilters.at(selectedFilter));
    }
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    std::vector<std::string> files;
    for (const QString& file : dialog.selectedFiles())
        files.push_back(paths::fromQString(file));
    return files;
}

std::optional<std::string> LinuxFileDialogs::chooseFolder(
    QWidget* owner, const std::string& title, const std::string& startFolder)
{
    const QString folder = QFileDialog::getExistingDirectory(
        owner, toQString(title), paths::toQString(startFolder), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return std::nullopt;
    return paths::withoutTrailingSlashes(paths::fromQString(folder));
}

// ---------------------------------------------------------------------------

std::string LinuxDesktop::personalFolder() const { return documentsFolder(); }

std::string LinuxDesktop::systemDirectory() const
{
    // No Linux folder holds the shell's icon library; "/usr/lib" stands for it.
    return "/usr/lib";
}

QImage LinuxDesktop::extractIcon(const std::string& file, int index) const
{
    const std::string library = paths::withTrailingSlash(systemDirectory()) + "SHELL32.dll";
    if (text::asciiEqualNoCase(file, library))
        return genericShellIcon(index);
    return loadIconImage(file, index);
}

void LinuxDesktop::setNoTaskbarButton(QWidget* window)
{
    if (!window)
        return;
    const bool wasVisible = window->isVisible();
    window->setWindowFlag(Qt::Tool, true);
    if (wasVisible)
        window->show();
}

void LinuxDesktop::activate(QWidget* window)
{
    if (!window)
        return;
    window->show();
    if (window->isMinimized())
        window->showNormal();
    window->activateWindow();
    window->raise();
}

// ---------------------------------------------------------------------------

// Created on first use; lives until exit on purpose (windows may still reach
// the services while static objects are destroyed).
struct LinuxSet {
    MimeClassesRoot classesRoot;
    FolderRegistry registry{defaultRegistryRoot(), &classesRoot};
    LinuxMessageBoxes messages;
    LinuxFileDialogs fileDialogs;
    LinuxDesktop desktop;
    LogindPower power;
    LinuxDesktopSession session;
};

Services linuxServices()
{
    static LinuxSet* set = new LinuxSet;
    Services s = linuxBaseServices();
    s.registry = &set->registry;
    s.messages = &set->messages;
    s.fileDialogs = &set->fileDialogs;
    s.desktop = &set->desktop;
    s.power = &set->power;
    s.session = &set->session;
    return s;
}

} // namespace vexlo::platform

#pragma once
// The main window's file list at work: the add-files dialog, patterns and
// drops, removing the selected rows, the commands and the status text that
// follow the rows, and the saved list.
#include <QStringList>
#include <string>

namespace vexlo::app {

class TMainForm;

class FileListController {
public:
    explicit FileListController(TMainForm& form);

    // SelectAndAddFiles: false when the dialog was cancelled.
    bool selectAndAdd();
    // AddMatchingFiles: the plain files of the pattern's folder that match
    // its masks, in ascending order of name without regard to case.
    void addMatching(const std::string& pattern);
    // WMDropFiles: the supported files are added, the window comes to the
    // front, and a list with rows asks for a run.
    void drop(const QStringList& localFiles);
    // Never while a run reads the rows by position.
    void removeSelected();
    // The Remove commands follow the selection, the toolbar's and the context
    // menu's only while idle.
    void updateRemoveCommands();
    // "Ready" or "<n> File(s) Ready"; the status panel keeps a run's texts.
    void setIdleStatusText();
    void loadSaved();
    void storeSaved();

private:
    TMainForm& m_form;
};

} // namespace vexlo::app

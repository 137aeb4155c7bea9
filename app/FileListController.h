#pragma once
// The main window's file list at work: the add-files dialog, patterns and
// drops and pastes, removing the selected rows, the commands and the status
// text that follow the rows, and the saved list.
#include <QStringList>
#include <string>

class QMimeData;

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
    // The clipboard's files go through drop(), the same rules and all; while
    // a run is on, or when none of them would become a row, nothing happens.
    void paste();
    // Paste is enabled while it would add a row.
    void updatePasteCommand();
    // The local files that dropped or pasted data names: its file URIs, or
    // else its text, one file a line: an absolute path (a pair of quotes
    // around it is dropped), "~/..." or a file URI with its %-escapes. Other
    // lines name nothing.
    static QStringList localFiles(const QMimeData& data);
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
    // What paste() would hand drop(); empty when it would add no row.
    QStringList pastableFiles() const;

    TMainForm& m_form;
};

} // namespace vexlo::app

#pragma once
// Builds the main window's controls: the actions with their keys and hints,
// the menu bar's menus and the context menu, the two toolbars in the top band,
// the file list and the getting-started picture; and connects them to the
// window's handlers.
class QAction;
class QToolBar;
class QTreeWidget;

namespace vexlo::app {

class TMainForm;

class MainFormControls {
public:
    explicit MainFormControls(TMainForm& form);
    void build();

    // Captions under the pictures (50 x 52 buttons, wider where a caption
    // needs it) or pictures alone (39 x 39).
    static void applyToolbarLabels(QToolBar* bar, bool labels);
    // The Size column's width when none is stored: "4768.37 MB" fits.
    static int defaultSizeColumnWidth(const QTreeWidget* list);

private:
    void createActions();
    void createToolbarActions();
    void createMenuActions();
    void createContextActions();
    void connectActions();
    QAction* makeAction(const char* name, const char* text);
    void createMenus();
    void createToolbars();
    void createList();

    TMainForm& m_form;
};

} // namespace vexlo::app

#pragma once
// The base window: the status bar with its two panels, the progress bar that
// lies on it, the status-line hint display, the file-list row operations and
// the run's settings.
#include "FileListModel.h"
#include "conversion/ConversionJob.h"
#include "settings/RunSettings.h"

#include <QIcon>
#include <QMainWindow>
#include <QStatusBar>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QTreeWidget;

namespace vexlo::app {

// The status bar: two panels side by side, or one simple full-width text.
class TStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit TStatusBar(QWidget* parent);
    int panelWidth(int index) const { return m_widths[index]; }
    void setPanelWidth(int index, int width);
    QString panelText(int index) const;
    void setPanelText(int index, const QString& text);
    bool simplePanel() const { return m_simple; }
    void setSimplePanel(bool on);
    QString simpleText() const;
    void setSimpleText(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutPanels();
    QLabel* m_panels[2];
    QLabel* m_simpleLabel;
    int m_widths[2] = {300, 200};
    bool m_simple = false;
};

// The list's icons: one image appended per added row, never removed.
class TImageList {
public:
    int add(const QIcon& icon)
    {
        m_icons.push_back(icon);
        return count() - 1;
    }
    int count() const { return static_cast<int>(m_icons.size()); }
    const QIcon& at(int i) const { return m_icons[static_cast<size_t>(i)]; }

private:
    std::vector<QIcon> m_icons;
};

class TBaseForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TBaseForm(QWidget* parent = nullptr);
    ~TBaseForm() override;

    TStatusBar* StatusBar1 = nullptr;
    QProgressBar* StatusProgressBar = nullptr;

    settings::RunSettings RunSettings;
    conversion::RunMode RunMode = conversion::RunMode::rmInteractive;
    int32_t CmdFormatIndex = -1;
    std::string CmdDestPath;

    // The window's own hint text ("Ready", "3 File(s) Ready", ...), shown when
    // the pointer rests on no control with a hint of its own.
    QString hint() const { return m_hint; }
    // Also refreshes the status bar when it shows this hint at the moment.
    void setHint(const QString& text);
    // The application's hint handler.
    void ShowStatusHint(const QString& currentHint);
    // The hint the status bar follows now: the hint of the control under the
    // pointer, else the window's own hint while the pointer is over the
    // window, else none (the panels show).
    QString currentHint() const;
    // Shows the current hint again (after a change of the hint or of the run).
    void refreshStatusHint() { ShowStatusHint(currentHint()); }

    // Row operations. The model keeps the rows' paths and their index in step
    // with the list view's rows.
    bool AddFileToList(TImageList& imageList, QTreeWidget* listView, const std::string& path);
    bool IsFileInList(QTreeWidget* listView, const std::string& path) const;
    void removeListRows(QTreeWidget* listView, const std::vector<int>& indexes);
    void clearList(QTreeWidget* listView);
    const FileListModel& files() const { return m_files; }

    void LoadRunSettings();
    void LoadProfileSettings(int32_t n);

    virtual void SetIdleState(bool) {}
    virtual void ConvertFiles() {}
    virtual void PrepareRun() {}
    // A run cannot be stopped from the window once the engine runs.
    void StopConversion() {}
    void ShowAboutBox();

protected:
    void FormCreate();
    bool event(QEvent* event) override;

private:
    void CreateStatusProgressBar();
    QString m_hint;
    QString m_pointerTip;         // the hint of the control under the pointer
    bool m_pointerInside = false; // the pointer is over this window
    FileListModel m_files;
};

} // namespace vexlo::app

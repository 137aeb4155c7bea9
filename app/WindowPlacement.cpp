#include "WindowPlacement.h"

#include "MainForm.h"
#include "MainFormControls.h"
#include "settings/IniFile.h"

#include <QAction>
#include <QGuiApplication>
#include <QScreen>
#include <QTreeWidget>
#include <algorithm>

namespace vexlo::app {

namespace {
const char* const kMain = "Main";
} // namespace

void WindowPlacement::load(TMainForm& form)
{
    const settings::IniDocument doc = settings::settingsFile().load();
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect screenRect = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    // A stored size larger than the desktop (a damaged or hand-edited file)
    // would cost memory for nothing: it is bounded by the available area.
    const QRect available = screen ? screen->availableGeometry() : screenRect;
    const int width = std::clamp(
        doc.readInteger(kMain, "Width", 800), form.minimumWidth(), std::max(form.minimumWidth(), available.width()));
    const int height = std::clamp(doc.readInteger(kMain, "Height", 480), form.minimumHeight(),
        std::max(form.minimumHeight(), available.height()));
    int left = doc.readInteger(kMain, "Left", (screenRect.width() - width) / 2);
    int top = doc.readInteger(kMain, "Top", (screenRect.height() - height) / 2);
    if (!form.Silent) {
        // A placement that would leave the window entirely off every screen
        // comes back onto the primary screen.
        const QRect wanted(left, top, width, height);
        bool visible = false;
        for (QScreen* s : QGuiApplication::screens())
            visible = visible || s->geometry().intersects(wanted);
        if (!visible) {
            left = screenRect.x() + (screenRect.width() - width) / 2;
            top = screenRect.y() + (screenRect.height() - height) / 2;
        }
    }
    form.resize(width, height);
    form.move(left, top);
    if (doc.readFlag(kMain, "Maximized", false))
        form.setWindowState(form.windowState() | Qt::WindowMaximized);
    form.ListView1->setColumnWidth(0, doc.readInteger(kMain, "FileNameWidth", 200));
    form.ListView1->setColumnWidth(
        1, doc.readInteger(kMain, "SizeWidth", MainFormControls::defaultSizeColumnWidth(form.ListView1)));
    form.ListView1->setColumnWidth(2, doc.readInteger(kMain, "PathWidth", 300));
    form.mniShowTextLabel->setChecked(doc.readFlag(kMain, "ShowTextLabel", true));
    form.ApplyToolbarLabels();
}

void WindowPlacement::save(const TMainForm& form)
{
    // A silent start showed no window: there is no placement to keep, and a
    // write that may fail (a read-only install) must not stop it from ending.
    if (form.Silent)
        return;
    const bool maximized = form.isMaximized();
    const QPoint position = form.pos();
    const QSize size = form.size();
    const QTreeWidget* list = form.ListView1;
    const int widths[3] = {list->columnWidth(0), list->columnWidth(1), list->columnWidth(2)};
    settings::settingsFile().update([&](settings::IniDocument& doc) {
        doc.setValue(kMain, "Maximized", maximized ? "1" : "0");
        if (maximized)
            return; // the stored normal bounds stay as they were
        doc.setValue(kMain, "Left", std::to_string(position.x()));
        doc.setValue(kMain, "Top", std::to_string(position.y()));
        doc.setValue(kMain, "Width", std::to_string(size.width()));
        doc.setValue(kMain, "Height", std::to_string(size.height()));
        doc.setValue(kMain, "FileNameWidth", std::to_string(widths[0]));
        doc.setValue(kMain, "SizeWidth", std::to_string(widths[1]));
        doc.setValue(kMain, "PathWidth", std::to_string(widths[2]));
    });
}

} // namespace vexlo::app

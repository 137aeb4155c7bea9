#pragma once
// The main window's controls, found by the object names the window gives
// them (the names of the window's design), and its rows.
#include "app/MainForm.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <string>

namespace vexlo::test {

// The child of `window` of type T named `name`; a test failure when there is none.
template<typename T> T* partOf(const QObject& window, const char* name)
{
    T* found = window.findChild<T*>(QLatin1String(name));
    if (!found)
        ADD_FAILURE() << "the window has no " << T::staticMetaObject.className() << " named " << name;
    return found;
}

inline QAction* actionOf(const QObject& window, const char* name) { return partOf<QAction>(window, name); }
inline QMenu* menuOf(const QObject& window, const char* name) { return partOf<QMenu>(window, name); }
inline QToolBar* toolBarOf(const QObject& window, const char* name) { return partOf<QToolBar>(window, name); }
inline QTreeWidget* fileListOf(const QObject& window) { return partOf<QTreeWidget>(window, "ListView1"); }
inline QLabel* pictureOf(const QObject& window) { return partOf<QLabel>(window, "pnlPSPImage"); }

// The rows' paths in list order.
inline int rowCount(const app::TMainForm& window) { return window.files().count(); }
inline std::string rowPath(const app::TMainForm& window, int index) { return window.files().at(index); }
// Adds a row the way every road into the list does.
inline bool addFile(app::TMainForm& window, const std::string& path)
{
    return window.AddFileToList(window.imlFileIcon, fileListOf(window), path);
}

} // namespace vexlo::test

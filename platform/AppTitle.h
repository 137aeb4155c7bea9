#pragma once
// The application title (the text of the taskbar button on Windows). Kept by
// the application object, where tests read it; on Linux the taskbar shows the
// main window's caption.
#include <QString>

namespace vexlo::platform {
void setApplicationTitle(const QString& title);
QString applicationTitle();
} // namespace vexlo::platform

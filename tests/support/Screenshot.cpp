// Screenshots of the GUI suites' windows (in the GUI test library, so that the
// suites without windows link no Qt Widgets).
#include "TestSupport.h"

#include <QDir>
#include <QPixmap>
#include <QWidget>

namespace vexlo::test {

std::string saveScreenshot(QWidget* widget, const std::string& name)
{
    QDir().mkpath(QStringLiteral(VEXLO_SCREENSHOT_DIR));
    const QString path = QStringLiteral(VEXLO_SCREENSHOT_DIR "/") + QString::fromStdString(name) + ".png";
    widget->grab().save(path);
    return path.toStdString();
}

} // namespace vexlo::test

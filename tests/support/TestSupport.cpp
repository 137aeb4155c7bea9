#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QThread>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vexlo::test {

std::string saveScreenshot(QWidget* widget, const std::string& name)
{
    QDir().mkpath(QStringLiteral(VEXLO_SCREENSHOT_DIR));
    const QString path = QStringLiteral(VEXLO_SCREENSHOT_DIR "/") + QString::fromStdString(name) + ".png";
    widget->grab().save(path);
    return path.toStdString();
}

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeout.count())
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

void writeFile(const std::string& path, const std::string& bytes)
{
    const std::filesystem::path p(path);
    if (p.has_parent_path())
        std::filesystem::create_directories(p.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string binDir()
{
    const QByteArray env = qgetenv("VEXLO_BIN_DIR");
    return env.isEmpty() ? std::string(VEXLO_BIN_DIR) : env.toStdString();
}

} // namespace vexlo::test

#include "RunDesktopSession.h"

#include "platform/DesktopSession.h"
#include "platform/Services.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QTemporaryFile>
#include <QWidget>

#include <unistd.h>

namespace vexlo::app {

RunDesktopSession::RunDesktopSession(QWidget* window) : m_window(window) {}

RunDesktopSession::~RunDesktopSession()
{
    if (platform::DesktopSession* s = session()) {
        if (m_held)
            s->allowSleep();
        s->flush();
    }
}

platform::DesktopSession* RunDesktopSession::session() const { return platform::services().session; }

void RunDesktopSession::setBusy(bool busy, bool silent)
{
    if (busy && !m_busy) {
        m_converted = 0;
        m_finished = 0;
        m_total = 0;
        m_fraction = 0;
        m_silent = silent;
        m_progressWasActive = false;
    }
    m_busy = busy;
    update();
}

void RunDesktopSession::loopStarted()
{
    m_loop = true;
    m_ending = false;
    openPercentFile();
    update();
}

void RunDesktopSession::runEnding()
{
    m_ending = true;
    update();
}

void RunDesktopSession::loopEnded(int converted)
{
    closePercentFile();
    m_converted = converted;
    m_loop = false;
    if (m_total > 0)
        filesFinished(converted, m_total);
    update();
}

void RunDesktopSession::filesFinished(int finished, int total)
{
    m_total = total;
    m_finished = finished;
    m_fraction = total > 0 ? static_cast<double>(finished) / total : 0.0;
    m_percent.reset();
    if (m_percentFile)
        m_percentFile->resize(0); // the next engine starts from nothing
    if (m_progressShown)
        showProgress(true);
}

void RunDesktopSession::openPercentFile()
{
    m_percentFile = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/vexlo-progress-XXXXXX"));
    if (!m_percentFile->open()) {
        m_percentFile.reset();
        return;
    }
    qputenv("TREVOK_PROGRESS_FILE", QFile::encodeName(m_percentFile->fileName()));
    m_sinceRead.start();
}

void RunDesktopSession::closePercentFile()
{
    if (!m_percentFile)
        return;
    qunsetenv("TREVOK_PROGRESS_FILE");
    m_percentFile.reset();
}

void RunDesktopSession::engineTick()
{
    if (!m_percentFile || m_sinceRead.elapsed() < 250)
        return;
    m_sinceRead.start();
    char text[4];
    if (::pread(m_percentFile->handle(), text, sizeof text, 0) != 4 || text[3] != '\n')
        return;
    bool ok = false;
    const int percent = QByteArray(text, 3).toInt(&ok);
    if (!ok || percent < 0 || percent > 100)
        return;
    m_percent = percent;
    if (!m_progressShown || m_total <= 0)
        return;
    m_fraction = (m_finished + percent / 100.0) / m_total;
    showProgress(true);
}

void RunDesktopSession::showProgress(bool visible)
{
    platform::DesktopSession* s = session();
    if (!s || (m_fraction == m_shownFraction && visible == m_shownVisible))
        return;
    m_shownFraction = m_fraction;
    m_shownVisible = visible;
    s->setTaskbarProgress(m_fraction, visible);
}

// The computer stays awake while the window is busy and while a loop still
// runs (a window closed during a run is idle before its loop returns).
void RunDesktopSession::update()
{
    platform::DesktopSession* s = session();
    if (!s)
        return;
    const bool wanted = (m_busy || m_loop) && !m_ending;
    if (wanted && !m_held) {
        m_held = true;
        s->inhibitSleep();
        if (!m_silent) {
            m_progressShown = true;
            showProgress(true);
        }
    } else if (!wanted && m_held) {
        m_held = false;
        s->allowSleep();
        if (m_progressShown) {
            m_progressShown = false;
            showProgress(false);
        }
    }
}

void RunDesktopSession::runEnded(const QString& outcome, const std::string& destination, bool silent)
{
    platform::DesktopSession* s = session();
    if (!s || silent || m_closing || !m_window || m_window->isActiveWindow() || m_progressWasActive)
        return;
    platform::DesktopNotification notification;
    notification.title = outcome.toStdString();
    notification.body = summary(m_converted, m_total, destination);
    notification.icon = m_window->windowIcon().pixmap(64, 64).toImage();
    s->notify(notification);
}

std::string RunDesktopSession::summary(int converted, int total, const std::string& destination)
{
    std::string text
        = QCoreApplication::translate("TMainForm", "%1 of %2 files converted").arg(converted).arg(total).toStdString();
    if (!destination.empty())
        text += "\n" + destination;
    return text;
}

} // namespace vexlo::app

// main() of the GUI suites: a QApplication on the offscreen platform, and a
// watchdog that fails a test which leaves a modal window unanswered (instead
// of hanging until CTest's time-out) and closes that window.
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

#ifdef __SANITIZE_ADDRESS__
constexpr qint64 kUnansweredMs = 6000; // everything runs several times slower
#else
constexpr qint64 kUnansweredMs = 2000;
#endif

class ModalWatchdog {
public:
    ModalWatchdog()
    {
        m_timer.setInterval(100);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { check(); });
        m_timer.start();
    }

private:
    void check()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != m_modal) {
            m_modal = modal;
            m_since.start();
            return;
        }
        if (!modal || !modal->isVisible() || m_since.elapsed() < kUnansweredMs)
            return;
        ADD_FAILURE() << "a modal window was left unanswered: \"" << modal->windowTitle().toStdString() << "\" ("
                      << modal->metaObject()->className() << ")";
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        m_since.start();
    }

    QTimer m_timer;
    QPointer<QWidget> m_modal;
    QElapsedTimer m_since;
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    ModalWatchdog watchdog;
    return RUN_ALL_TESTS();
}

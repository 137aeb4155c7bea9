#include "VexloApplication.h"

#include "platform/Product.h"
#include "platform/Services.h"

#include <QDialog>
#include <QSocketNotifier>
#include <QWidget>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace vexlo::app {

VexloApplication::VexloApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool VexloApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        platform::services().messages->show(activeWindow(), product::kName, e.what(),
                                            platform::MessageIcon::Error, platform::MessageButtons::Ok);
    } catch (...) {
        platform::services().messages->show(activeWindow(), product::kName,
                                            QCoreApplication::translate("TMainForm", "Unexpected error").toStdString(),
                                            platform::MessageIcon::Error, platform::MessageButtons::Ok);
    }
    return false;
}

namespace {
int g_signalPipe[2] = {-1, -1};

void onSignal(int signal)
{
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const auto n = ::write(g_signalPipe[1], &byte, 1);
}
} // namespace

void closeOnTerminationSignals(QWidget* window)
{
    if (g_signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char byte;
        [[maybe_unused]] const auto n = ::read(g_signalPipe[0], &byte, 1);
        // A modal box or dialog would keep its own loop running: it is
        // answered as by Escape (a question gets No) before the window closes.
        for (int round = 0; round < 16; ++round) {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal)
                break;
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
            if (QApplication::activeModalWidget() == modal)
                modal->hide();
        }
        window->close();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(s, &action, nullptr);
}

} // namespace vexlo::app

#include "VexloApplication.h"

#include "platform/Product.h"
#include "platform/Services.h"
#include "base/SignalPipe.h"

#include <QDialog>
#include <QSocketNotifier>
#include <QWidget>
#include <csignal>
#include <unistd.h>

namespace vexlo::app {

VexloApplication::VexloApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // The app id on Wayland and the entry a desktop matches the windows with
    // (vexlo.desktop: the name and icon in docks and Alt+Tab), the run's
    // progress window included.
    setDesktopFileName(QStringLiteral("vexlo"));
}

bool VexloApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        platform::services().messages->show(
            activeWindow(), product::kName, e.what(), platform::MessageIcon::Error, platform::MessageButtons::Ok);
    } catch (...) {
        platform::services().messages->show(activeWindow(), product::kName,
            QCoreApplication::translate("TMainForm", "Unexpected error").toStdString(), platform::MessageIcon::Error,
            platform::MessageButtons::Ok);
    }
    return false;
}

void closeOnTerminationSignals(QWidget* window)
{
    const int signalPipe = termination::signalPipe();
    if (signalPipe < 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe, QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        termination::drainSignalPipe();
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
}

} // namespace vexlo::app

// Program entry: the application object titled "Vexlo", the main window, and
// the message loop until that window closes.
#include "MainForm.h"
#include "VexloApplication.h"
#include "platform/AppTitle.h"
#include "platform/Product.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

void printUsage()
{
    std::printf(
        "Usage: vexlo [options] [files...]\n"
        "Converts video files one after another with the chosen output profile.\n\n"
        "  FILE            a video file to add (relative names follow the last folder named)\n"
        "  PATTERN         a name with * or ? in it adds every matching file\n"
        "  ADD:FOLDER      the folder for the file names that follow\n"
        "  NNN:FOLDER      as ADD:, and converts with output profile NNN (e.g. 002:/clips)\n"
        "  -N              converts with output profile number N without asking (e.g. -3)\n"
        "  -FOLDER         writes the converted files into FOLDER (created when missing)\n"
        "  -S              an invisible run: no window, no taskbar button\n"
        "  --              every later argument is a file\n"
        "  -h, --help      prints this text\n"
        "  --version       prints the version\n\n"
        "With a profile number the files are converted at once and the program\n"
        "closes when all are done; without one the output dialog opens first.\n");
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    for (const std::string& a : arguments) {
        if (a == "--")
            break;
        if (a == "-h" || a == "--help") {
            printUsage();
            return 0;
        }
        if (a == "--version") {
            std::printf("%s %s\n", vexlo::product::kName, vexlo::product::kVersion);
            return 0;
        }
    }

    vexlo::app::VexloApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    vexlo::platform::setApplicationTitle(vexlo::product::kName);

    vexlo::app::TMainForm window(arguments);
    QObject::connect(&window, &vexlo::app::TMainForm::finished, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    vexlo::app::closeOnTerminationSignals(&window);
    window.show();
    if (qEnvironmentVariableIsSet("VEXLO_EXIT_WHEN_SHOWN")) {
        // Measuring start-up: stop once the window is on screen, before any
        // requested run begins.
        QCoreApplication::removePostedEvents(&window, vexlo::app::WM_AUTOCONVERT);
        QCoreApplication::processEvents();
        return 0;
    }
    const int status = app.exec();
    return window.commandLineResult() > 0 ? window.commandLineResult() : status;
}

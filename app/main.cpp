// Program entry: the application object titled "Vexlo", the main window, and
// the message loop until that window closes.
#include "MainForm.h"
#include "VexloApplication.h"
#include "platform/AppTitle.h"
#include "platform/BusProbe.h"
#include "platform/LinuxWindowServices.h"
#include "platform/Product.h"
#include "settings/IniFile.h"

#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

void printUsage(FILE* to)
{
    std::fprintf(to,
        "Usage: vexlo [options] [files...]\n"
        "Converts video files one after another with the chosen output profile.\n\n"
        "  FILE            a video file to add (a relative name follows the last folder named;\n"
        "                  where it names no file, the ADD: folder, else the working folder)\n"
        "  PATTERN         a name with * or ? in it adds every matching file\n"
        "                  (quote it, so the program rather than the shell expands it)\n"
        "  ADD:FOLDER      the folder for the file names that follow\n"
        "  NNN:FOLDER      as ADD:, and converts with output profile NNN (e.g. 002:/clips)\n"
        "  -N              converts with output profile number N without asking (e.g. -3)\n"
        "  -FOLDER         writes the converted files into FOLDER (created when missing)\n"
        "  -S              an invisible run: no window, no questions, messages on\n"
        "                  standard error; works without a display\n"
        "  --              every later argument is a file\n"
        "  -h, --help      prints this text\n"
        "  --version       prints the version\n\n"
        "With a profile number the files are converted at once and the program\n"
        "closes when all are done; without one the output dialog opens first.\n"
        "Each result is checked (its length and streams against the source's) and\n"
        "written to the disk before its source is deleted. A source is deleted only\n"
        "when nothing of it is lost: the engine read it to its end without a read\n"
        "or decode error, and the result holds every second, video stream, sound\n"
        "track and subtitle track of it. Otherwise the result is kept and so is\n"
        "the source, named with what the result lacks: profiles for players with\n"
        "one sound track (PSP, 3GP) keep sources with more; MP4 keeps sources with\n"
        "picture subtitles (DVD, Blu-ray), AVI and MPEG keep sources with any; a\n"
        "second video stream is never converted. A source that changed meanwhile or\n"
        "cannot be deleted (a write-protected card) is kept and named too. A file\n"
        "that cannot be converted stops the run, unless the preference says to go\n"
        "on with the next file ([Options] ContinueOnError=1); either way the end\n"
        "report names what was not converted.\n"
        "One run at a time per user: a second run waits for the first to end.\n"
        "Exit status of an invisible run: 0 all converted, 1 aborted or failed (also\n"
        "when a file was not converted completely or a source could not be deleted\n"
        "as asked), 2 nothing to do or a command-line error.\n");
}

bool hasDisplay() { return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"); }

// Platforms that need a display server to start.
bool platformNeedsDisplay()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    return platform.isEmpty() || platform.startsWith("xcb") || platform.startsWith("wayland");
}

void brokenPipe(int) {}

} // namespace

int main(int argc, char** argv)
{
    // Standard error may be a pipe its reader has closed (vexlo -S ... 2>&1 |
    // head): writing there must fail, not end a run halfway through its files.
    // A handler, unlike ignoring the signal, is not passed on to the programs
    // started from here.
    struct sigaction onPipe = {};
    onPipe.sa_handler = brokenPipe;
    sigemptyset(&onPipe.sa_mask);
    onPipe.sa_flags = SA_RESTART;
    sigaction(SIGPIPE, &onPipe, nullptr);

    std::vector<std::string> arguments(argv + 1, argv + argc);
    bool silent = false;
    for (const std::string& a : arguments) {
        if (a == "--")
            break;
        if (a == "-h" || a == "--help") {
            printUsage(stdout);
            return 0;
        }
        if (a == "--version") {
            std::printf("%s %s\n", vexlo::product::kName, vexlo::product::kVersion);
            return 0;
        }
        if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            // A long option this program does not know is a mistake, not a
            // destination folder to create.
            std::fprintf(stderr, "vexlo: unknown option '%s'\n\n", a.c_str());
            printUsage(stderr);
            return 2;
        }
        if (a == "-S" || a == "-s")
            silent = true;
    }

    // An invisible run needs no screen (over SSH, from cron); a window does.
    if (!hasDisplay() && platformNeedsDisplay()) {
        if (!silent) {
            std::fprintf(stderr,
                "vexlo: no display to show the window on (DISPLAY and WAYLAND_DISPLAY "
                "are unset); use -S for a conversion without a window\n");
            return 2;
        }
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }

    // Before Qt looks for a bus (menus, themes, accessibility): none is
    // started for us, and none that has stopped answering can hold us.
    vexlo::platform::keepSilentBusesAway();
    vexlo::app::VexloApplication app(argc, argv);
    // Message boxes, dialogs, the desktop and the session on top of the
    // services without windows that were in force until now.
    vexlo::platform::installServices(vexlo::platform::linuxServices());
    app.setQuitOnLastWindowClosed(false);
    vexlo::platform::setApplicationTitle(vexlo::product::kName);

    // The window's parts read the settings file once between them.
    auto readOnce = std::make_optional<vexlo::settings::IniReadOnce>();
    vexlo::app::TMainForm window(arguments);
    QObject::connect(&window, &vexlo::app::TMainForm::finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    vexlo::app::closeOnTerminationSignals(&window);
    window.show();
    readOnce.reset();
    if (qEnvironmentVariableIsSet("VEXLO_EXIT_WHEN_SHOWN")) {
        // Measuring start-up: stop once the window is on screen, before any
        // requested run begins.
        QCoreApplication::removePostedEvents(&window, vexlo::app::WM_AUTOCONVERT);
        QCoreApplication::processEvents();
        return 0;
    }
    const int status = app.exec();
    if (window.Silent)
        return window.silentExitStatus();
    return window.commandLineResult() > 0 ? window.commandLineResult() : status;
}

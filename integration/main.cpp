// palvex-integration: switches "Convert with Vexlo" in the file managers'
// context menus on or off for the current user, and starts Vexlo for the
// Nautilus scripts it writes.
//
//   palvex-integration "<folder>Palvex.dll" /s       installs the actions
//   palvex-integration "<folder>Palvex.dll" /u /s    removes them
//   palvex-integration --nautilus-script=N SCRIPT [FILE...]
//                                                     (the first line of a
//                                 generated script: converts FILEs with profile
//                                 N, or opens them in Vexlo's dialog for ADD)
//
// Vexlo starts it with the first two forms' text as one argument; the words may
// also come as separate arguments, and --install / --remove do the same. It never
// asks anything: problems are written to standard error, and the exit status
// is 0 when everything was done, 1 when something was not, 2 for a command
// line it does not understand.
#include "FileManagerActions.h"
#include "PalvexCommand.h"

#include "base/Paths.h"

#include "platform/LinuxServices.h"
#include "platform/UserFolders.h"
#include "settings/Catalogue.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace vexlo::integration;

std::string programFolder()
{
    const std::string exe = vexlo::platform::ProcAppPaths().executablePath();
    const size_t slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
}

int runScript(const std::string& profile, const std::vector<std::string>& rest)
{
    std::string cwd;
    if (char* here = ::getcwd(nullptr, 0)) {
        cwd = here;
        ::free(here);
    }
    const std::vector<std::string> files
        = scriptFiles(rest.empty() ? rest : std::vector<std::string>(rest.begin() + 1, rest.end()), cwd, std::cerr);
    if (files.empty()) {
        std::cerr << "palvex-integration: no local files were selected\n";
        return 1;
    }
    std::vector<std::string> args = scriptCommand(programFolder(), profile, files);
    if (args.empty()) {
        std::cerr << "palvex-integration: unknown profile " << profile << "\n";
        return 2;
    }
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    std::perror(("palvex-integration: cannot start " + args[0]).c_str());
    return 1;
}

// The install step's call: the Dolphin, Nemo and Caja files for every user
// below SHARE, for the program in FOLDER with the profiles of CATALOGUE (and
// its favourites for Nemo: the default, the profile it starts with).
int writeSystemEntries(const std::vector<std::string>& args)
{
    std::string share;
    std::string catalogue;
    Setup setup;
    for (const std::string& a : args) {
        if (a.rfind("--system-entries=", 0) == 0)
            share = a.substr(17);
        else if (a.rfind("--program-folder=", 0) == 0)
            setup.programFolder = a.substr(17);
        else if (a.rfind("--catalogue=", 0) == 0)
            catalogue = a.substr(12);
    }
    if (share.empty() || setup.programFolder.empty() || catalogue.empty()) {
        std::cerr << "palvex-integration: --system-entries=SHARE needs --program-folder=FOLDER and --catalogue=FILE\n";
        return 2;
    }
    setup.programFolder = vexlo::paths::withTrailingSlash(setup.programFolder);
    const vexlo::settings::IniDocument shipped = vexlo::settings::IniFile(catalogue).load();
    setup.profiles = catalogueProfiles(shipped);
    setup.favourites = vexlo::settings::favouriteFormats(shipped);
    return writeFiles(systemFiles(setup, share), std::cerr) ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    // The entries are written in the user's language (the translation comes
    // with the application object).
    QCoreApplication app(argc, argv);
    if (!args.empty() && args[0].rfind("--nautilus-script=", 0) == 0)
        return runScript(args[0].substr(18), std::vector<std::string>(args.begin() + 1, args.end()));
    if (!args.empty() && args[0].rfind("--system-entries=", 0) == 0)
        return writeSystemEntries(args);

    const Command command = parseCommand(args);
    if (command.action == Command::Help) {
        std::cout << "Usage: palvex-integration [\"<folder>Palvex.dll\"] [/u] [/s]\n"
                     "Adds \"Convert with Vexlo\" to the context menus of Nautilus, Dolphin, Nemo,\n"
                     "Thunar and Caja for the current user; /u (or --remove) takes it away again.\n"
                     "/s: no report on standard output.\n";
        return 0;
    }
    if (command.action == Command::Invalid) {
        std::cerr << "palvex-integration: " << command.error << "\n";
        return 2;
    }
    const Folders folders = foldersFromEnvironment();
    int problems = 0;
    if (command.action == Command::Remove) {
        problems = removeActions(folders, std::cerr);
    } else {
        Setup setup;
        setup.programFolder = programFolder();
        setup.launcher = launcherPath(folders);
        // An installed program ships these three for every user.
        setup.keyFileManagers = vexlo::platform::portableProgramFolder(setup.programFolder);
        const vexlo::settings::IniDocument catalogue
            = vexlo::settings::settingsFileFor(setup.programFolder + "vexlo").load();
        setup.profiles = catalogueProfiles(catalogue);
        setup.favourites = vexlo::settings::favouriteFormats(catalogue);
        if (!setup.keyFileManagers) {
            // What the package's Nemo entries offer every user already.
            setup.shippedFavourites
                = vexlo::settings::favouriteFormats(vexlo::settings::IniFile(setup.programFolder + "vexlo.ini").load());
        }
        if (setup.profiles.empty())
            std::cerr << "palvex-integration: the catalogue has no output formats; only \"" << kDialogTitle
                      << "\" is offered\n";
        problems = installActions(setup, folders, std::cerr);
    }
    if (!command.silent) {
        std::cout << (command.action == Command::Remove ? "Removed" : "Installed") << " \"" << kMenuTitle
                  << "\" for the file managers" << (problems ? " with problems (see above)" : "") << ".\n";
    }
    return problems ? 1 : 0;
}

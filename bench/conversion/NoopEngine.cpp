// noop-trevok: the smallest engine for measuring the batch loop's own cost.
// It copies the source (field 1 of its argument) to the target (field 2), so
// that the result holds the source's length as a real conversion's does,
// writes "0" (go on) as the AbortFlag, the way the engine's registry code
// lays it out (<root>/HKEY_CURRENT_USER/<key folders>/@, written to a
// temporary file and renamed), and exits. Root: $VEXLO_REGISTRY, else
// ${XDG_CONFIG_HOME:-$HOME/.config}/vexlo/registry. Plain C++, no Qt, so its
// start-up costs as little as a program can.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void copySourceToTarget(const std::string& argument)
{
    const size_t first = argument.find('|');
    if (first == std::string::npos)
        return;
    const size_t second = argument.find('|', first + 1);
    const std::string source = argument.substr(0, first);
    const std::string target = argument.substr(first + 1, second - first - 1);
    const int in = ::open(source.c_str(), O_RDONLY);
    if (in < 0)
        return;
    const int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    char buffer[65536];
    ssize_t n = 0;
    while (out >= 0 && (n = ::read(in, buffer, sizeof buffer)) > 0)
        if (::write(out, buffer, static_cast<size_t>(n)) != n)
            break;
    if (out >= 0)
        ::close(out);
    ::close(in);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1)
        copySourceToTarget(argv[1]);
    std::string root;
    if (const char* r = std::getenv("VEXLO_REGISTRY"); r && *r) {
        root = r;
    } else {
        const char* xdg = std::getenv("XDG_CONFIG_HOME");
        const char* home = std::getenv("HOME");
        root = (xdg && *xdg) ? std::string(xdg) : std::string(home ? home : "") + "/.config";
        root += "/vexlo/registry";
    }
    const std::string folder
        = root + "/HKEY_CURRENT_USER/Software/Microsoft/Windows/CurrentVersion/explorer/abortstate/abort";
    // Every missing folder on the way (an existing one simply fails).
    for (size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
        ::mkdir(folder.substr(0, slash).c_str(), 0755);
    ::mkdir(folder.c_str(), 0755);
    const std::string temp = folder + "/%tmp." + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return 1;
    const bool written = ::write(fd, "0", 1) == 1;
    ::close(fd);
    if (!written || std::rename(temp.c_str(), (folder + "/@").c_str()) != 0) {
        ::unlink(temp.c_str());
        return 1;
    }
    return 0;
}

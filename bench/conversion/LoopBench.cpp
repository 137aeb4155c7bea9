// The batch loop alone: one ConversionJob over N rows with the no-op engine,
// through the real launcher (inside an application's event loop), the real
// registry stand-in and the real optical-drive check, and a host without a
// window. Usage: conversion_loop_bench <rows> <engine> [<work folder>]
// The sources <work>/src/clip<i>.m2ts must be there (run-conversion-bench
// makes them); the results go to <work>/out/ and the sources are deleted, as
// in a real run that empties a card.
// Prints the total time and the milliseconds per file, and the first and last
// tenth of the files separately (the cost per file must not grow with N).
#include "conversion/ConversionJob.h"
#include "conversion/FileTransaction.h"
#include "platform/Registry.h"
#include "platform/LinuxWindowServices.h"
#include "platform/Services.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <fcntl.h>
#include <unistd.h>

using namespace vexlo;
using Clock = std::chrono::steady_clock;

namespace {

class NullDisplay : public conversion::ProgressDisplay {
public:
    void setStatusPanelText(const std::string&) override {}
    void setCaption(const std::string&) override {}
    void setApplicationTitle(const std::string&) override {}
    void setProgressBarPosition(int) override {}
};

class BenchHost : public conversion::ConversionHost {
public:
    explicit BenchHost(std::vector<std::string> rows) : m_rows(std::move(rows)) {}
    int rowCount() const override { return static_cast<int>(m_rows.size()); }
    std::string rowPath(int index) const override { return m_rows[static_cast<size_t>(index)]; }
    void processPendingEvents() override
    {
        QCoreApplication::processEvents();
        marks.push_back(Clock::now());
    }
    platform::MessageAnswer showMessage(
        const std::string& title, const std::string& text, platform::MessageIcon, platform::MessageButtons) override
    {
        std::fprintf(stderr, "unexpected message: %s: %s\n", title.c_str(), text.c_str());
        return platform::MessageAnswer::No;
    }
    conversion::TProgressForm& progress() override { return m_progress; }
    std::vector<Clock::time_point> marks; // start of each file

private:
    std::vector<std::string> m_rows;
    NullDisplay m_display;
    conversion::TProgressForm m_progress{m_display};
};

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <rows> <engine> [<work folder>]\n", argv[0]);
        return 2;
    }
    const int rows = std::atoi(argv[1]);
    const std::string engine = argv[2];
    QTemporaryDir temp;
    const std::string work = argc > 3 ? std::string(argv[3]) : temp.path().toStdString();
    ::setenv("VEXLO_REGISTRY", (work + "/registry").c_str(), 1);

    QCoreApplication app(argc, argv);
    platform::FolderRegistry registry(work + "/registry");
    platform::Services services = platform::linuxServices();
    services.registry = &registry;
    platform::installServices(services);

    std::vector<std::string> paths;
    paths.reserve(static_cast<size_t>(rows));
    for (int i = 0; i < rows; ++i)
        paths.push_back(work + "/src/clip" + std::to_string(i) + ".m2ts");
    BenchHost host(paths);
    settings::RunSettings rs;
    rs.ConvertToSamePath = false;
    rs.DestPath = work + "/out/";
    rs.DeleteSourceWhenDone = true;

    const auto start = Clock::now();
    const conversion::JobResult result
        = conversion::ConversionJob(host, {registry, *services.processes}, rs, 'S', engine).run();
    const auto end = Clock::now();
    if (!result.completed || result.error || static_cast<int>(host.marks.size()) != rows) {
        std::fprintf(stderr, "the run did not complete: %s\n", result.error.value_or("").c_str());
        return 1;
    }
    const size_t tenth = std::max<size_t>(1, host.marks.size() / 10);
    const double first = ms(host.marks[tenth] - host.marks[0]) / double(tenth);
    const double last = ms(end - host.marks[host.marks.size() - tenth]) / double(tenth);
    std::printf("loop: %d files in %.1f ms = %.3f ms per file (first tenth %.3f, last tenth %.3f)\n", rows,
        ms(end - start), ms(end - start) / rows, first, last);

    // What making each result durable costs on this folder's file system:
    // the flush of a result's data and of its folder's entry, as the run does
    // it once per file.
    const std::string probe = work + "/out/fsync-probe";
    const int probes = std::min(rows, 200);
    const auto syncStart = Clock::now();
    for (int i = 0; i < probes; ++i) {
        const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const bool ok = fd >= 0 && ::write(fd, "result", 6) == 6 && ::fsync(fd) == 0;
        if (fd >= 0)
            ::close(fd);
        std::string why;
        if (!ok || !conversion::syncFolder(work + "/out/", why))
            break;
    }
    std::printf("durable results: %.3f ms per file (fsync of the file and its folder)\n",
        ms(Clock::now() - syncStart) / probes);
    ::unlink(probe.c_str());
    return 0;
}

// The engine's window and its conversion, driven as a user would, with
// fake_ffmpeg standing in for the converter.
#include "engine/Conversion.h"
#include "engine/ProgressWindow.h"
#include "support/TestSupport.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vexlo::engine;
using vexlo::test::waitFor;

namespace {

struct Fixture {
    QTemporaryDir dir;
    std::string target() const { return dir.filePath("out.mp4").toStdString(); }
    std::vector<std::string> args() const { return {"-i", "file:/in/a.m2ts", "file:" + target()}; }
};

// Window and conversion wired as the engine wires them.
struct Wired {
    Conversion conversion;
    ProgressWindow window;
    explicit Wired(std::vector<std::string> args, const char* mode)
        : conversion(FAKE_FFMPEG, std::move(args)), window("/in/Holiday \xc3\xa9t\xc3\xa9.m2ts")
    {
        qputenv("FAKE_FFMPEG_MODE", mode);
        QObject::connect(&window, &ProgressWindow::cancelRequested, &conversion, &Conversion::cancel);
        QObject::connect(&window, &ProgressWindow::stopAfterRequested, &conversion, &Conversion::stopAfterThisFile);
        QObject::connect(&conversion, &Conversion::progressChanged, &window,
            [this] { window.showProgress(conversion.progress(), conversion.elapsedSeconds()); });
        window.show();
        conversion.start();
    }
};

} // namespace

TEST(EngineWindow, ShowsTheFileAndItsProgressThenCancelStopsAtOnce)
{
    Fixture f;
    Wired w(f.args(), "slow");
    EXPECT_EQ(w.window.lblFileName->text(), QString::fromUtf8("Holiday \xc3\xa9t\xc3\xa9.m2ts"));
    ASSERT_TRUE(waitFor([&] { return w.window.ProgressBar1->value() >= 20; }, std::chrono::seconds(20)));
    EXPECT_TRUE(w.window.lblPercent->text().endsWith('%'));
    EXPECT_TRUE(w.window.lblElapsed->text().startsWith("Elapsed: 00:00:0"));
    EXPECT_TRUE(w.window.lblRemaining->text().startsWith("Remaining: 00:00:"));
    vexlo::test::saveScreenshot(&w.window, "engine_progress_window");

    w.window.btnCancel->click();
    ASSERT_TRUE(waitFor([&] { return w.conversion.isFinished(); }, std::chrono::seconds(5)));
    EXPECT_EQ(w.conversion.outcome(), Outcome::Cancelled);
    EXPECT_EQ(abortFlagValue(w.conversion.outcome()), 2);
    EXPECT_FALSE(w.window.btnStopAfter->isEnabled());
}

TEST(EngineWindow, StopAfterThisFileFinishesTheFile)
{
    Fixture f;
    Wired w(f.args(), "ok");
    w.window.btnStopAfter->click();
    EXPECT_EQ(w.window.btnStopAfter->isEnabled(), false);
    ASSERT_TRUE(waitFor([&] { return w.conversion.isFinished(); }, std::chrono::seconds(20)));
    EXPECT_EQ(w.conversion.outcome(), Outcome::StoppedAfterFile);
    EXPECT_EQ(abortFlagValue(w.conversion.outcome()), 1);
    EXPECT_EQ(vexlo::test::readFile(f.target()), "done");
}

TEST(EngineWindow, ClosingTheWindowCancels)
{
    Fixture f;
    Wired w(f.args(), "slow");
    ASSERT_TRUE(waitFor([&] { return w.window.ProgressBar1->value() > 0; }, std::chrono::seconds(20)));
    w.window.close();
    ASSERT_TRUE(waitFor([&] { return w.conversion.isFinished(); }, std::chrono::seconds(5)));
    EXPECT_EQ(w.conversion.outcome(), Outcome::Cancelled);
}

TEST(EngineConversion, OutcomesOfTheConverter)
{
    struct Case {
        const char* program;
        const char* mode;
        Outcome outcome;
        const char* errorPart;
    };
    const Case cases[] = {
        {FAKE_FFMPEG, "ok", Outcome::Completed, ""},
        {FAKE_FFMPEG, "fail", Outcome::Failed, "Invalid data found"},
        // Status 0, but the log says the file could not be finished.
        {FAKE_FFMPEG, "trailer", Outcome::Failed, "Error writing trailer"},
        {"/nonexistent/ffmpeg", "ok", Outcome::Failed, "exit status 127"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " " + c.mode);
        Fixture f;
        qputenv("FAKE_FFMPEG_MODE", c.mode);
        Conversion conversion(c.program, f.args());
        int finishedSignals = 0;
        QObject::connect(&conversion, &Conversion::finished, [&] { ++finishedSignals; });
        conversion.start();
        ASSERT_TRUE(waitFor([&] { return conversion.isFinished(); }, std::chrono::seconds(20)));
        EXPECT_EQ(conversion.outcome(), c.outcome);
        EXPECT_NE(conversion.errorText().find(c.errorPart), std::string::npos) << conversion.errorText();
        waitFor([] { return false; }, std::chrono::milliseconds(50));
        EXPECT_EQ(finishedSignals, 1);
    }
}

TEST(EngineConversion, CancelBeforeStartNeverRunsTheConverter)
{
    Fixture f;
    const std::string record = f.dir.filePath("args.txt").toStdString();
    qputenv("FAKE_FFMPEG_RECORD", QByteArray::fromStdString(record));
    Conversion conversion(FAKE_FFMPEG, f.args());
    conversion.cancel();
    conversion.start();
    ASSERT_TRUE(waitFor([&] { return conversion.isFinished(); }, std::chrono::seconds(5)));
    qunsetenv("FAKE_FFMPEG_RECORD");
    EXPECT_EQ(conversion.outcome(), Outcome::Cancelled);
    EXPECT_EQ(vexlo::test::readFile(record), "");
}

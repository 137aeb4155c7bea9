// Runs through the window with the scripted fake engine: the engine argument,
// target names, the destination checks, the AbortFlag's values, deletions,
// the progress texts, the busy road and the window closing during a run.
#include "AppTestSupport.h"
#include "support/MainWindowParts.h"
#include "dialogs/ConvertOptionsForm.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>

namespace vexlo::test {
namespace {

class RunTest : public AppTest {};

TEST_F(RunTest, EngineArgumentWithoutSettingsFileAndTheSilentMarker)
{
    const std::string dir = folder("Video");
    const std::string src = clip(dir + "a.m2ts");
    installEngine();
    {
        auto w = open({"-0", src});
        ASSERT_TRUE(waitFor([&] { return finishedCount == 1; }, std::chrono::seconds(20)));
        EXPECT_EQ(w->commandLineResult(), 0);
    }
    ASSERT_EQ(engineCalls().size(), 1u);
    ASSERT_EQ(engineCalls()[0].size(), 1u) << "one argument, no shell";
    EXPECT_EQ(engineCalls()[0][0], src + "|" + dir + ".a.part.mp4||320|240|512|0|2|128|44100|ACC|0|N");
    EXPECT_TRUE(fs::exists(dir + "a.mp4"));
    auto silent = open({"-0", src, "-S"});
    ASSERT_TRUE(waitFor([&] { return finishedCount == 2; }, std::chrono::seconds(20)));
    ASSERT_EQ(engineCalls().size(), 2u);
    EXPECT_EQ(engineCalls()[1][0], src + "|" + dir + ".a.part.mp4||320|240|512|0|2|128|44100|ACC|0|S");
}

TEST_F(RunTest, TargetNames)
{
    const std::string dir = folder("Video");
    const std::string out = folder("Out");
    struct Case {
        std::string source, options, target;
    };
    const Case cases[] = {
        {dir + "clip.mp4", "ConvertToSamePath=1", dir + "clip_New.mp4"},
        {dir + "CLIP.MP4", "ConvertToSamePath=1", dir + "CLIP_New.mp4"},
        {dir + "clip", "ConvertToSamePath=1", dir + "clip.mp4"},
        {dir + "a.m2ts", "ConvertToSamePath=0\nDestPath=" + out, out + "a.mp4"},
        {dir + "b.tar.mts", "ConvertToSamePath=0\nDestPath=" + out, out + "b.tar.mp4"},
    };
    installEngine();
    for (const Case& c : cases) {
        ini(std::string("[Options]\nDoNotShowConfirm=1\nConvertToMP3=1\n") + c.options + "\n");
        auto w = open();
        ASSERT_TRUE(test::addFile(*w, clip(c.source)));
        const size_t before = engineCalls().size();
        w->btnConvertClick();
        ASSERT_EQ(engineCalls().size(), before + 1) << c.source;
        EXPECT_EQ(field(before, 2), partOf(c.target)) << c.source;
        EXPECT_TRUE(fs::exists(c.target)) << c.source;
        fs::remove(c.source);
    }
}

TEST_F(RunTest, InteractiveConvertGoesThroughTheOutputDialogIntoTheRun)
{
    // Convert pressed by the user: the output dialog opens, the user picks the
    // second profile and presses OK, and the run uses what OK stored.
    ini("[VideoFormat0]\nTitle=MP4\nVideoFormat=mpeg4\nFileType=.mp4\n"
        "[VideoFormat1]\nTitle=DivX\nVideoFormat=divx\nAudioFormat=mp3\nFileType=.avi\nEdit=1\n"
        "FrameSize=640 x 480\nVideoBitrate=1200\n");
    installEngine();
    auto w = open();
    const std::string dir = folder("Video");
    ASSERT_TRUE(test::addFile(*w, clip(dir + "a.m2ts")));
    int dialogs = 0;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* form = qobject_cast<settings::TConvertOptionsForm*>(QApplication::activeModalWidget());
        if (!form || !form->isVisible())
            return;
        ++dialogs;
        form->cbxVideoFormat->setCurrentIndex(1);
        form->LoadProfileParameters(1);
        form->btnOK->click();
    });
    poll.start();
    w->btnConvertClick();
    poll.stop();
    EXPECT_EQ(dialogs, 1);
    ASSERT_EQ(engineCalls().size(), 1u);
    EXPECT_EQ(field(0, 2), partOf(dir + "a.avi"));
    EXPECT_EQ(field(0, 3), "divx");
    EXPECT_EQ(field(0, 4), "640");
    EXPECT_EQ(field(0, 6), "1200");
    EXPECT_EQ(field(0, 11), "mp3");
    EXPECT_EQ(iniDoc().readInteger("Options", "OutputFormat", -5), 1);
    EXPECT_EQ(panel0(*w), "Conversion completed!");
}

TEST_F(RunTest, OpticalDestinationStopsBeforeTheEngine)
{
    const std::string cd = folder("cdrom");
    ini("[Options]\nDoNotShowConfirm=1\nConvertToMP3=1\nConvertToSamePath=0\nDestPath=" + cd + "\n");
    tp.mountInfo = "36 25 11:0 / " + cd.substr(0, cd.size() - 1) + " ro,relatime shared:1 - iso9660 /dev/sr0 ro\n";
    installEngine();
    auto w = open();
    test::addFile(*w, clip(folder("v") + "a.m2ts"));
    w->btnConvertClick();
    EXPECT_TRUE(engineCalls().empty());
    ASSERT_EQ(tp.messages.shown.size(), 1u);
    EXPECT_EQ(tp.messages.shown[0].title, "Invalid Output Folder");
    EXPECT_EQ(tp.messages.shown[0].text,
        "Output folder is CD-ROM and read only!\r\n\r\n  " + cd
            + "\r\n\r\nPlease click \"Options\" button to specify a valid "
              "output folder first.");
    EXPECT_EQ(tp.messages.shown[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(panel0(*w), "Conversion aborted!");
    EXPECT_FALSE(w->Busy);
}

TEST_F(RunTest, OverwriteQuestionAtTheThirdOfFive)
{
    const std::string dir = folder("o");
    for (const auto answer : {platform::MessageAnswer::No, platform::MessageAnswer::Yes}) {
        ini(std::string(kDirectRun) + "PromptOverwrite=1\n");
        installEngine();
        tp.messages.shown.clear();
        tp.messages.nextAnswers = {answer};
        auto w = open();
        for (const char* n : {"a", "b", "c", "d", "e"})
            test::addFile(*w, clip(dir + n + ".m2ts"));
        for (const char* n : {"a", "b", "d", "e"})
            fs::remove(dir + n + ".mp4");
        clip(dir + "c.mp4");
        w->btnConvertClick();
        ASSERT_EQ(tp.messages.shown.size(), 1u);
        EXPECT_EQ(tp.messages.shown[0].title, "Overwrite");
        EXPECT_EQ(tp.messages.shown[0].text,
            "Target file already existing!\r\n  '" + dir + "c.mp4'\r\n\r\n do you want to overwrite?");
        EXPECT_EQ(tp.messages.shown[0].icon, platform::MessageIcon::Question);
        EXPECT_EQ(tp.messages.shown[0].buttons, platform::MessageButtons::YesNo);
        const bool yes = answer == platform::MessageAnswer::Yes;
        EXPECT_EQ(engineCalls().size(), yes ? 5u : 2u);
        EXPECT_EQ(panel0(*w), yes ? "Conversion completed!" : "Conversion aborted!");
    }
}

// What the engine leaves after the second of three files, and what follows.
TEST_F(RunTest, AbortFlagValuesAndDeletions)
{
    struct Case {
        const char* script; // for the second file
        bool delWhenCanceled;
        size_t calls;
        bool completed;
        bool target2Stays;
        bool source2Stays;
        bool told = false; // a failure the engine did not report itself
    };
    const Case cases[] = {
        {"target flag=3", false, 2, true, true, true},
        {"target flag=-1", false, 3, true, true, false},
        {"target flag=", false, 3, true, true, false},
        // No report of its own: an earlier value must not pass for one.
        {"target noflag", false, 2, false, false, true, true},
        // A stop after a finished file keeps its result, and its source.
        {"target flag=1", true, 2, false, true, true},
        // A cancelled or failed file leaves nothing under the target name,
        // whatever DelFileWhenCanceled says.
        {"target flag=2", false, 2, false, false, true},
        {"target flag=2", true, 2, false, false, true},
        // An engine that ends abnormally cancelled its file.
        {"target crash", true, 2, false, false, true, true},
        {"target kill", false, 2, false, false, true, true},
        // A failure status outweighs a go-on value.
        {"target flag=0 exit=5", false, 2, false, false, true, true},
        // Text that is not a decimal integer is a failed file.
        {"target flag=abc", true, 2, false, false, true},
        {"target flag=99999999999", false, 2, false, false, true},
        // A missing, empty or shortened result keeps its source, and the run
        // goes on; the run's end names the file.
        {"flag=0", false, 3, false, false, true, true},
        {"target=0 flag=0", false, 3, false, false, true, true},
        {"target=half flag=0", false, 3, false, false, true, true},
        // The engine's "the source is incomplete": what it converted is kept
        // under a name that says so.
        {"target=half flag=0 exit=3", false, 3, false, false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.script) + (c.delWhenCanceled ? " DelFileWhenCanceled" : ""));
        platform::TestPlatform own; // fresh registry and folders for every case
        const std::string dir = own.root() + "v/";
        writeFile(own.settingsPath(),
            std::string(kDirectRun) + "DeleteSourceWhenDone=1\nDelFileWhenCanceled=" + (c.delWhenCanceled ? "1" : "0")
                + "\n");
        installFakeEngine(own);
        setFakeEngineScript(own, {"target", c.script, "target"});
        TMainForm w(std::vector<std::string>{});
        w.show();
        for (const char* n : {"a", "b", "c"})
            ASSERT_TRUE(test::addFile(w, clip(dir + n + ".m2ts", 4)));
        w.btnConvertClick();
        EXPECT_EQ(fakeEngineCalls(own).size(), c.calls);
        EXPECT_EQ(panel0(w), c.completed ? "Conversion completed!" : "Conversion aborted!");
        EXPECT_FALSE(w.Busy);
        EXPECT_TRUE(test::actionOf(w, "btnConvert")->isVisible());
        EXPECT_FALSE(fs::exists(dir + "a.m2ts")) << "the first source was converted and deleted";
        EXPECT_EQ(fs::exists(dir + "b.mp4"), c.target2Stays);
        EXPECT_EQ(fs::exists(dir + "b.m2ts"), c.source2Stays);
        EXPECT_EQ(fs::exists(dir + "c.m2ts"), c.calls < 3);
        EXPECT_EQ(test::rowCount(w), 3) << "a run leaves the rows in place";
        EXPECT_EQ(own.messages.shown.size(), c.told ? 1u : 0u);
        EXPECT_EQ(fs::exists(dir + "b (incomplete).mp4"), std::string(c.script).find("exit=3") != std::string::npos);
        EXPECT_FALSE(fs::exists(dir + ".b.part.mp4"));
    }
}

TEST_F(RunTest, MissingEngineStopsTheRunAndDeletesNothing)
{
    const std::string dir = folder("v");
    ini(std::string(kDirectRun) + "DeleteSourceWhenDone=1\n");
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", folder("empty-path").c_str(), 1);
    auto w = open();
    test::addFile(*w, clip(dir + "a.m2ts"));
    test::addFile(*w, clip(dir + "b.m2ts"));
    w->btnConvertClick();
    ::setenv("PATH", oldPath.c_str(), 1);
    ASSERT_EQ(tp.messages.shown.size(), 1u);
    EXPECT_EQ(tp.messages.shown[0].text, "The conversion engine could not be started:\r\ntrevok");
    EXPECT_TRUE(fs::exists(dir + "a.m2ts"));
    EXPECT_TRUE(fs::exists(dir + "b.m2ts"));
    EXPECT_EQ(panel0(*w), "Conversion aborted!");
    EXPECT_FALSE(w->Busy);
}

TEST_F(RunTest, BarInANameIsRefusedBeforeLaunch)
{
    const std::string dir = folder("v");
    ini(kDirectRun);
    installEngine();
    auto w = open();
    test::addFile(*w, clip(dir + "ok.m2ts"));
    test::addFile(*w, clip(dir + "a|b.m2ts"));
    w->btnConvertClick();
    EXPECT_EQ(engineCalls().size(), 1u);
    ASSERT_EQ(tp.messages.shown.size(), 1u);
    EXPECT_EQ(tp.messages.shown[0].text,
        "'" + dir
            + "a|b.m2ts'\r\n\r\nThis file name contains \"|\", which the conversion engine cannot "
              "accept. Rename the file and convert it again.");
    EXPECT_EQ(panel0(*w), "Conversion aborted!");
}

TEST_F(RunTest, MissingListedFileIsReportedAndNothingStarts)
{
    const std::string dir = folder("v");
    ini(kDirectRun);
    installEngine();
    auto w = open();
    test::addFile(*w, clip(dir + "a.m2ts"));
    test::addFile(*w, clip(dir + "b.m2ts"));
    fs::remove(dir + "b.m2ts");
    const QString statusBefore = panel0(*w);
    w->btnConvertClick();
    EXPECT_TRUE(engineCalls().empty());
    ASSERT_EQ(tp.messages.shown.size(), 1u);
    EXPECT_EQ(tp.messages.shown[0].text, "File is not found!\r\n" + dir + "b.m2ts");
    EXPECT_EQ(tp.messages.shown[0].title, "Vexlo");
    EXPECT_EQ(test::rowCount(*w), 2);
    EXPECT_EQ(panel0(*w), statusBefore);
}

TEST_F(RunTest, ConvertWithAnEmptyListInEachMode)
{
    const std::string dir = folder("e");
    ini(kDirectRun);
    installEngine();
    {
        auto w = open();
        w->btnConvertClick();
        EXPECT_EQ(tp.fileDialogs.openCalls.size(), 1u) << "interactive: the add dialog";
        EXPECT_TRUE(engineCalls().empty());
        tp.fileDialogs.nextOpenFiles.push_back(std::vector<std::string>{clip(dir + "a.m2ts")});
        w->btnConvertClick();
        EXPECT_EQ(engineCalls().size(), 1u) << "chosen files go straight into the request";
    }
    {
        auto w = open({"ADD:" + dir});
        EXPECT_EQ(w->RunMode, RunMode::rmCommandLinePrompt);
        deliverPostedEvents();
        w->btnConvertClick();
        EXPECT_EQ(tp.fileDialogs.openCalls.size(), 3u) << "prompt mode: the add dialog";
        EXPECT_TRUE(w->isVisible());
    }
    {
        auto w = open({"-0"});
        EXPECT_EQ(w->RunMode, RunMode::rmCommandLineAuto);
        deliverPostedEvents();
        EXPECT_TRUE(w->isVisible());
        w->btnConvertClick();
        EXPECT_TRUE(waitFor([&] { return finishedCount == 1; }, std::chrono::seconds(5)))
            << "auto mode: the window closes";
        EXPECT_EQ(tp.fileDialogs.openCalls.size(), 3u);
    }
}

TEST_F(RunTest, ProgressTextsOfAFirstAndASecondRun)
{
    const std::string dir = folder("p");
    ini(kDirectRun);
    installEngine({"", "target sleep=300", "target sleep=100", "", ""});
    auto w = open<RecordingForm>();
    for (const char* n : {"a", "b", "c"})
        test::addFile(*w, clip(dir + n + ".m2ts"));
    QString captionDuring, titleDuring;
    bool timerDuring = true;
    QTimer probe; // catches the moment file 2 is under way
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (captionDuring.isEmpty() && panel0(*w) == "Converting... (2/3 Finished)") {
            captionDuring = w->windowTitle();
            titleDuring = platform::applicationTitle();
            timerDuring = test::partOf<QTimer>(*w, "Timer1")->isActive();
        }
    });
    probe.start();
    w->btnConvertClick();
    EXPECT_EQ(w->panelTexts,
        (std::vector<std::string>{"Converting... (0/0)", "Converting... (0/0)", "Converting... (1/3 Finished)",
            "Converting... (2/3 Finished)", "Converting... (3/3 Finished)", "Converting... (3/3)"}));
    EXPECT_EQ(captionDuring, "Converting... (2/3 Finished) - Vexlo");
    EXPECT_EQ(titleDuring, "Converting... Vexlo");
    EXPECT_FALSE(timerDuring);
    EXPECT_EQ(panel0(*w), "Conversion completed!");
    EXPECT_EQ(w->hint(), "Conversion completed!");
    EXPECT_EQ(w->windowTitle(), "Vexlo");
    EXPECT_EQ(platform::applicationTitle(), "Vexlo");

    w->panelTexts.clear();
    select(*w, {0});
    w->btnRemoveFileClick();
    w->btnConvertClick();
    EXPECT_EQ(w->panelTexts,
        (std::vector<std::string>{"Converting... (3/3)", "Converting... (3/3)", "Converting... (1/2 Finished)",
            "Converting... (2/2 Finished)", "Converting... (2/2)"}));
}

TEST_F(RunTest, AutoModeClosesOnlyOnCompletion)
{
    const std::string src = clip(folder("v") + "a.m2ts");
    installEngine({"target flag=1"});
    auto w = open({"-0", src});
    ASSERT_TRUE(waitFor([&] { return engineCalls().size() == 1 && !w->Busy; }));
    deliverPostedEvents(); // a close would be a queued call
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(finishedCount, 0);
    EXPECT_EQ(w->commandLineResult(), 1);
    EXPECT_EQ(w->RunMode, RunMode::rmInteractive);
    EXPECT_EQ(panel0(*w), "Conversion aborted!");
}

TEST_F(RunTest, DropDuringARunAddsRowsAndStartsNothing)
{
    const std::string dir = folder("v");
    ini(kDirectRun);
    installEngine({"target sleep=400", "target sleep=100", "", ""});
    auto w = open();
    test::addFile(*w, clip(dir + "a.m2ts"));
    test::addFile(*w, clip(dir + "b.m2ts"));
    QGuiApplication::clipboard()->setText(QString::fromStdString(clip(dir + "d.m2ts")));
    EXPECT_TRUE(test::actionOf(*w, "pmnPaste")->isEnabled());
    // While the first engine runs: a drop, a paste, Convert, a request and a posted start.
    bool dropped = false;
    QTimer probe;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (dropped || engineCalls().size() != 1)
            return;
        dropped = true;
        EXPECT_TRUE(w->Busy);
        w->WMDropFiles({QString::fromStdString(clip(dir + "c.m2ts"))});
        EXPECT_FALSE(test::actionOf(*w, "pmnPaste")->isEnabled()) << "no paste while busy";
        w->pmnPasteClick();
        w->btnConvertClick();
        w->RequestConversion();
        QCoreApplication::postEvent(w.get(), new QEvent(app::WM_AUTOCONVERT));
    });
    probe.start();
    w->btnConvertClick();
    probe.stop();
    deliverPostedEvents();
    EXPECT_TRUE(dropped);
    EXPECT_EQ(test::rowCount(*w), 3);
    EXPECT_EQ(engineCalls().size(), 2u) << "the running job keeps its count; no second job";
    EXPECT_TRUE(test::actionOf(*w, "pmnPaste")->isEnabled()) << "idle again";
    EXPECT_TRUE(tp.messages.shown.empty());
}

TEST_F(RunTest, ClosingDuringARunCancelsTheEngineAndStartsNoFurtherFile)
{
    const std::string dir = folder("v");
    ini(std::string(kDirectRun) + "SaveFileList=1\nDelFileWhenCanceled=1\n");
    installEngine({"target sleep=20000", ""});
    auto w = open();
    test::addFile(*w, clip(dir + "a.m2ts"));
    test::addFile(*w, clip(dir + "b.m2ts"));
    QString panelAfterClose;
    int finishedAtClose = -1;
    whenEngineStarts(1, [&] {
        // A drop just before the close queues a request that arrives while
        // the loop, no longer busy, still runs: it must not start a second job.
        w->WMDropFiles({QString::fromStdString(clip(dir + "c.m2ts"))});
        w->close();
        panelAfterClose = panel0(*w);
        finishedAtClose = finishedCount;
    });
    size_t callsAtFinish = 0;
    QObject::connect(w.get(), &TMainForm::finished, [&] { callsAtFinish = engineCalls().size(); });
    w->btnConvertClick();
    EXPECT_EQ(panelAfterClose, "Conversion aborted!");
    EXPECT_EQ(finishedAtClose, 0);
    ASSERT_TRUE(waitFor([&] { return finishedCount == 1; }));
    EXPECT_EQ(callsAtFinish, engineCalls().size()) << "the program ends only after the loop has returned";
    EXPECT_EQ(engineCalls().size(), 1u) << "the running engine was cancelled; nothing else started";
    EXPECT_FALSE(fs::exists(dir + "a.mp4")) << "the cancelled file's unfinished target";
    EXPECT_TRUE(fs::exists(dir + "a.m2ts"));
    EXPECT_EQ(w->commandLineResult(), 1);
    EXPECT_FALSE(w->Busy);
    EXPECT_EQ(iniDoc().keys("FileList").size(), 3u) << "the close handling stored the list";
    EXPECT_NE(iniValue("Main", "Width"), "<absent>");
}

} // namespace
} // namespace vexlo::test

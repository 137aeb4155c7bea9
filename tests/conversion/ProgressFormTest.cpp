// The progress reporter's own rules (its texts during runs are checked with
// the loop in ConversionJobTest.cpp).
#include "FakeHost.h"

#include <gtest/gtest.h>

using namespace vexlo;

TEST(ProgressForm, StartsEmptyAndWritesOnlyOnPositionAndCurrent)
{
    test::RecordingDisplay display;
    conversion::TProgressForm progress(display);
    EXPECT_EQ(progress.Min, 0);
    EXPECT_EQ(progress.Max, 100);
    EXPECT_EQ(progress.Position + progress.Total + progress.Current, 0);

    progress.SetTotal(12);
    progress.Cancel();
    EXPECT_TRUE(display.panel.empty()) << "SetTotal and Cancel show nothing";
    EXPECT_TRUE(display.positions.empty());

    progress.SetPosition(0);
    progress.SetCurrent(10);
    progress.SetPosition(42);
    EXPECT_EQ(display.panel,
        (std::vector<std::string>{"Converting... (0/12)", "Converting... (10/12 Finished)", "Converting... (10/12)"}));
    EXPECT_EQ(display.captions.back(), "Converting... (10/12) - Vexlo");
    EXPECT_EQ(display.title, "Converting... Vexlo");
    EXPECT_EQ(display.positions, (std::vector<int>{0, 42}));
    EXPECT_EQ(progress.Position, 42);
    EXPECT_EQ(progress.Current, 10);
}

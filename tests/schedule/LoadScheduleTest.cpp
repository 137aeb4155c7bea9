// LoadSchedule against real settings files.
#include "settings/ScheduleSettings.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vexlo::settings;

namespace {

struct Fixture : ::testing::Test {
    QTemporaryDir dir;
    std::string path = dir.filePath(QStringLiteral("vexlo.ini")).toStdString();
    const QDateTime now{QDate(2026, 12, 9), QTime(13, 14, 15)};

    // Every field set to the opposite of its default, to see what is read.
    static ScheduleSettings sentinel()
    {
        ScheduleSettings s;
        s.StartConvertingAt = QDateTime(QDate(2000, 1, 1), QTime(5, 6, 7));
        s.Sunday = s.Monday = s.Tuesday = s.Wednesday = s.Thursday = s.Friday = s.Saturday = true;
        s.ExitWhenDone = s.ShunDownWhenDone = true;
        return s;
    }
    static void expectRestKept(const ScheduleSettings& s)
    {
        EXPECT_EQ(s.StartConvertingAt.time(), QTime(5, 6, 7));
        EXPECT_TRUE(s.Sunday && s.Monday && s.Tuesday && s.Wednesday && s.Thursday && s.Friday && s.Saturday
            && s.ExitWhenDone && s.ShunDownWhenDone);
    }
};

} // namespace

TEST_F(Fixture, OffLeavesTheOtherFieldsAlone)
{
    const std::string cases[] = {
        "", // no file at all
        "[Options]\nScheduleConvert=0\nStartConvertingAt=x\nSunday=0\nExitWhenDone=0\n",
        "[Options]\nScheduleConvert=no\nMonday=0\n", // not a number: default
        std::string("[Options]\nScheduleConvert=\xff\xfe\0\x01\n", 30),
    };
    for (const std::string& text : cases) {
        SCOPED_TRACE(text);
        if (!text.empty())
            vexlo::test::writeFile(path, text);
        ScheduleSettings s = sentinel();
        s.ScheduleConvert = true;
        EXPECT_FALSE(LoadSchedule(IniFile(path), s, now));
        EXPECT_FALSE(s.ScheduleConvert);
        expectRestKept(s);
    }
}

TEST_F(Fixture, OnReadsEveryKeyByItsOwnName)
{
    IniFile file(path);
    file.writeFlag("Options", "ScheduleConvert", true);
    file.writeTime("Options", "StartConvertingAt", QDateTime(QDate(2026, 1, 2), QTime(22, 30, 0)));
    file.writeFlag("Options", "Saturday", true);
    file.writeFlag("Options", "Sunday", true);
    file.writeFlag("Options", "ShunDownWhenDone", true);

    ScheduleSettings s = sentinel();
    EXPECT_TRUE(LoadSchedule(file, s, now));
    EXPECT_TRUE(s.ScheduleConvert);
    EXPECT_EQ(s.StartConvertingAt.time(), QTime(22, 30, 0));
    EXPECT_TRUE(s.Sunday);
    EXPECT_TRUE(s.Saturday);
    EXPECT_FALSE(s.Monday || s.Tuesday || s.Wednesday || s.Thursday || s.Friday);
    EXPECT_FALSE(s.ExitWhenDone);
    EXPECT_TRUE(s.ShunDownWhenDone);
}

TEST_F(Fixture, UnreadableTimeGivesTheMomentOfReading)
{
    const std::string values[] = {"", "garbage", "25:61:99", std::string("\xc3\x28\x00\xff", 4)};
    for (const std::string& v : values) {
        vexlo::test::writeFile(path, "[Options]\nScheduleConvert=2\nStartConvertingAt=" + v + "\nFriday=0x1\n");
        ScheduleSettings s = sentinel();
        EXPECT_TRUE(LoadSchedule(IniFile(path), s, now));
        EXPECT_EQ(s.StartConvertingAt.time(), now.time());
        EXPECT_TRUE(s.Friday);
        EXPECT_FALSE(s.Monday);
    }
}

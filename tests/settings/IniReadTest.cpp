// Reading the settings file: names, blanks, duplicates, limits, value
// encodings, and hostile bytes.
#include "settings/IniFile.h"
#include "support/TestDoubles.h"
#include "support/TestSupport.h"

#include <QLocale>
#include <gtest/gtest.h>

#include <QDateTime>

#include <random>

using namespace vexlo::settings;

namespace {

struct ReadCase {
    const char* name;
    std::string file;
    std::string section;
    std::string key;
    std::optional<std::string> expected;
};

class IniRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(IniRead, ValueAsStored)
{
    const ReadCase& c = GetParam();
    const IniDocument doc = IniDocument::parse(c.file);
    EXPECT_EQ(doc.value(c.section, c.key), c.expected);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(Cases, IniRead,
    ::testing::Values(ReadCase{"SectionCase", "[Options]\nDestPath=/x/\n", "OPTIONS", "destpath", "/x/"},
        ReadCase{"NonAsciiNotFolded", "[\xC3\x89t\xC3\xA9]\nk=v\n", "\xC3\xA9t\xC3\xA9", "k", std::nullopt},
        ReadCase{"BlanksAroundNames", "  [ Options ]  \n\t Dest Path \t=  v  \n", "Options", "Dest Path", "v"},
        ReadCase{"BlanksInsideValueKept", "[s]\nk= a  b \n", "s", "k", "a  b"},
        ReadCase{"EmptyValueIsPresent", "[s]\nk=\n", "s", "k", ""},
        ReadCase{"FirstKeyWins", "[s]\nk=1\nK=2\n", "s", "k", "1"},
        ReadCase{"FirstSectionWins", "[s]\na=1\n[S]\na=2\nb=3\n", "s", "a", "1"},
        ReadCase{"SecondSectionHidden", "[s]\na=1\n[S]\nb=3\n", "s", "b", std::nullopt},
        ReadCase{"EqualsInValue", "[s]\nk=a=b\n", "s", "k", "a=b"},
        ReadCase{"CrLfLines", "[s]\r\nk=v\r\nj=w\r\n", "s", "j", "w"},
        ReadCase{"NoFinalLineEnd", "[s]\nk=v", "s", "k", "v"},
        ReadCase{"ByteOrderMark", "\xEF\xBB\xBF[s]\nk=v\n", "s", "k", "v"},
        ReadCase{"KeyBeforeAnySection", "k=v\n[s]\n", "s", "k", std::nullopt},
        ReadCase{"CommentIsNoKey", "[s]\n;k=v\n", "s", ";k", std::nullopt},
        ReadCase{"MissingBracketOpensNothing", "[s]\na=1\n[t\nb=2\n", "s", "b", "2"},
        ReadCase{"MissingBracketSectionAbsent", "[t\nb=2\n", "t", "b", std::nullopt},
        ReadCase{"NulEndsValue", "[s]\nk=ab\0cd\n"s, "s", "k", "ab"},
        ReadCase{"NulInOtherLine", "[s]\n\0\0\0\nk=v\n"s, "s", "k", "v"},
        ReadCase{"InvalidUtf8Passed", "[s]\nk=\xFF\xFE\x80\n", "s", "k", "\xFF\xFE\x80"},
        ReadCase{"LoneCrIsNoLineEnd", "[s]\nk=a\rj=b\n", "s", "j", std::nullopt},
        ReadCase{"MissingSection", "[s]\nk=v\n", "t", "k", std::nullopt},
        ReadCase{"EmptyFile", "", "s", "k", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IniLimits, ValueReadsAsAtMost2047Bytes)
{
    const std::string exact(2047, 'a');
    EXPECT_EQ(IniDocument::parse("[s]\nk=" + exact + "\n").value("s", "k"), exact);
    EXPECT_EQ(IniDocument::parse("[s]\nk=" + exact + "bcd\n").value("s", "k"), exact);
    // A character that the limit would cut is left out whole; one that ends
    // exactly at the limit is kept. Two-, three- and four-byte characters, the
    // limit falling after each of their bytes.
    for (const std::string ch : {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"}) {
        for (size_t inside = 1; inside <= ch.size(); ++inside) {
            SCOPED_TRACE(
                std::to_string(ch.size()) + "-byte character, " + std::to_string(inside) + " within the limit");
            const std::string before(2047 - inside, 'a');
            const auto read = IniDocument::parse("[s]\nk=" + before + ch + "z\n").value("s", "k");
            EXPECT_EQ(read, inside == ch.size() ? before + ch : before);
        }
    }
    // A line of several megabytes reads without trouble.
    const std::string huge(4 << 20, 'z');
    const IniDocument doc = IniDocument::parse("[s]\nk=" + huge + "\nj=2\n");
    EXPECT_EQ(doc.value("s", "k")->size(), 2047u);
    EXPECT_EQ(doc.readInteger("s", "j", 0), 2);
}

TEST(IniLimits, KeyListInFileOrderUpTo16384Bytes)
{
    // 128 names of 127 bytes take exactly 16384 bytes with their zeros.
    std::string file = "[FileList]\n";
    std::vector<std::string> names;
    for (int i = 0; i < 130; ++i) {
        std::string n = std::to_string(i);
        n += std::string(127 - n.size(), 'k');
        names.push_back(n);
        file += n + "=v\n";
    }
    const auto keys = IniDocument::parse(file).keys("filelist");
    ASSERT_EQ(keys.size(), 128u);
    EXPECT_TRUE(std::equal(keys.begin(), keys.end(), names.begin()));
    EXPECT_EQ(IniDocument::parse(file).allKeys("filelist"), names) << "the saved list is read whole";
}

TEST(IniLimits, KeyListSkipsRepeatsAndNonKeys)
{
    const IniDocument doc = IniDocument::parse("[s]\nb=1\n; note\na=2\nB=3\nplain text\n[s]\nc=4\n[t]\nd=5\n");
    EXPECT_EQ(doc.keys("S"), (std::vector<std::string>{"b", "a"}));
    EXPECT_TRUE(doc.keys("none").empty());
}

struct IntCase {
    const char* text;
    std::optional<int32_t> value;
};

TEST(IniValues, Integers)
{
    const IntCase cases[] = {
        {"0", 0},
        {"512", 512},
        {" -1 ", -1},
        {"+7", 7},
        {"0x200", 512},
        {"0X1f", 31},
        {"-0x10", -16},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"0x7FFFFFFF", INT32_MAX},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"0x80000000", std::nullopt},
        {"99999999999999999999999", std::nullopt},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"-", std::nullopt},
        {"0x", std::nullopt},
        {"12abc", std::nullopt},
        {"1 2", std::nullopt},
        {"1.5", std::nullopt},
        {"$10", std::nullopt},
        {"0x1g", std::nullopt},
        {"yes", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseIniInteger(c.text), c.value) << "'" << c.text << "'";
}

TEST(IniValues, TypedReadsAndDefaults)
{
    const IniDocument doc
        = IniDocument::parse("[o]\nhex=0x200\nempty=\nword=yes\ntwo=2\nzero=0\nneg=-3\nbig=4294967296\n");
    EXPECT_EQ(doc.readInteger("o", "hex", 1), 512);
    EXPECT_EQ(doc.readInteger("o", "empty", 512), 512);
    EXPECT_EQ(doc.readInteger("o", "big", 9), 9);
    EXPECT_EQ(doc.readInteger("o", "absent", -4), -4);
    EXPECT_TRUE(doc.readFlag("o", "two", false));
    EXPECT_TRUE(doc.readFlag("o", "neg", false));
    EXPECT_FALSE(doc.readFlag("o", "zero", true));
    EXPECT_TRUE(doc.readFlag("o", "word", true));
    EXPECT_FALSE(doc.readFlag("o", "word", false));
    EXPECT_TRUE(doc.readFlag("o", "empty", true));
    EXPECT_EQ(doc.readText("o", "empty", "def"), "");
    EXPECT_EQ(doc.readText("o", "absent", "def"), "def");
}

TEST(IniTime, RoundTripsEveryTimeOfDay)
{
    for (int s = 0; s < 24 * 3600; s += 3607) {
        const QTime t = QTime(0, 0).addSecs(s);
        const std::string text = formatIniTime(t);
        EXPECT_EQ(parseIniTime(text), t) << text;
    }
    for (const QTime t : {QTime(0, 0, 0), QTime(12, 0, 0), QTime(23, 59, 59), QTime(11, 59, 59)})
        EXPECT_EQ(parseIniTime(formatIniTime(t)), t) << formatIniTime(t);
}

TEST(IniTime, NoTimeZoneWritten)
{
    const std::string text = formatIniTime(QTime(13, 2, 3));
    const QString zone = QDateTime::currentDateTime().timeZoneAbbreviation();
    if (!zone.isEmpty()) {
        EXPECT_EQ(text.find(zone.toStdString()), std::string::npos) << text;
    }
    if (QLocale::system().name() == QLatin1String("en_US")) {
        EXPECT_TRUE(text == "1:02:03 PM" || text == "1:02:03\u202FPM") << text;
    }
    if (QLocale::system().name() == QLatin1String("de_DE")) {
        EXPECT_EQ(text, "13:02:03");
    }
}

TEST(IniTime, UnparsableGivesDefault)
{
    const QDateTime def(QDate(2024, 3, 5), QTime(7, 8, 9));
    const IniDocument doc = IniDocument::parse("[o]\nempty=\nword=teatime\nbad=25:99:99\nbytes=\xFF\xFE\n");
    for (const char* key : {"empty", "word", "bad", "bytes", "absent"})
        EXPECT_EQ(doc.readTime("o", key, def), def) << key;
}

TEST(IniTime, StoredTimeTakesTheDefaultsDate)
{
    IniDocument doc;
    doc.setValue("o", "at", formatIniTime(QTime(21, 30, 15)));
    const QDateTime def(QDate(2024, 3, 5), QTime(7, 8, 9));
    EXPECT_EQ(doc.readTime("o", "at", def), QDateTime(QDate(2024, 3, 5), QTime(21, 30, 15)));
}

// Random bytes, weighted towards the characters the format gives meaning to,
// never crash a reader, and an unchanged document writes back byte for byte.
TEST(IniFuzz, RandomBytesReadSafelyAndRoundTrip)
{
    std::mt19937 rng(20240611);
    const std::string alphabet = "[]=;# \t\r\n\r\nab\0\xFF\xC3"s;
    for (int round = 0; round < 3000; ++round) {
        std::string bytes;
        const int len = std::uniform_int_distribution<int>(0, 300)(rng);
        for (int i = 0; i < len; ++i) {
            if (rng() % 3 == 0)
                bytes += static_cast<char>(rng() & 0xFF);
            else
                bytes += alphabet[rng() % alphabet.size()];
        }
        if (round % 7 == 0)
            bytes = "[a]\n" + bytes;
        IniDocument doc = IniDocument::parse(bytes);
        ASSERT_EQ(doc.serialize(), bytes);
        for (const char* sec : {"a", "b", "", "ab"}) {
            for (const auto& k : doc.keys(sec)) {
                (void)doc.readInteger(sec, k, 0);
                (void)doc.readTime(sec, k, QDateTime());
            }
        }
        // A write never disturbs what the other keys read.
        std::vector<std::tuple<std::string, std::string, std::optional<std::string>>> before;
        for (const char* sec : {"a", "b"})
            for (const auto& k : doc.keys(sec))
                before.emplace_back(sec, k, doc.value(sec, k));
        doc.setValue("a", "new", "value");
        const IniDocument again = IniDocument::parse(doc.serialize());
        ASSERT_EQ(again.value("a", "new"), "value") << ::testing::PrintToString(bytes);
        for (const auto& [sec, k, v] : before) {
            if (QByteArray::fromStdString(k).toLower() != "new") {
                ASSERT_EQ(again.value(sec, k), v) << ::testing::PrintToString(bytes);
            }
        }
    }
}

} // namespace

// Whatever the locale, the forms this program writes elsewhere read back: the
// 24-hour form and the 12-hour form with AM/PM (a file written under en_US and
// read by a service running under C.UTF-8).
TEST(IniTime, ReadsTwentyFourHourAndEnglishAmPmUnderAnyLocale)
{
    const struct {
        const char* text;
        QTime time;
    } cases[] = {
        {"2:05:09 PM", QTime(14, 5, 9)},
        {"2:05:09\u202FPM", QTime(14, 5, 9)},
        {"12:00:01 AM", QTime(0, 0, 1)},
        {"11:59:59 pm", QTime(23, 59, 59)},
        {"14:05:09", QTime(14, 5, 9)},
        {"7:08:09", QTime(7, 8, 9)},
        {"B22:30:00", QTime(22, 30, 0)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseIniTime(c.text), c.time) << c.text;
    const QDateTime def(QDate(2024, 3, 5), QTime(7, 8, 9));
    const IniDocument doc = IniDocument::parse("[o]\nat=2:05:09 PM\n");
    EXPECT_EQ(doc.readTime("o", "at", def).time(), QTime(14, 5, 9)) << "not the default (now)";
}

// A value in one pair of double quotes reads without them, as the profile API
// reads it; a value that itself has surrounding quotes is written so that it
// reads back the same.
TEST(IniQuotes, OnePairOfSurroundingDoubleQuotesIsDropped)
{
    const IniDocument doc = IniDocument::parse(
        "[FileList]\n0=\"/path/with space.m2ts\"\n1=\"\"x\"\"\n2=\"half\n3=in\"side\"\n4=\"\"\n5= \"blank\" \n");
    EXPECT_EQ(doc.readText("FileList", "0", ""), "/path/with space.m2ts");
    EXPECT_EQ(doc.readText("FileList", "1", ""), "\"x\"");
    EXPECT_EQ(doc.readText("FileList", "2", ""), "\"half");
    EXPECT_EQ(doc.readText("FileList", "3", ""), "in\"side\"");
    EXPECT_EQ(doc.readText("FileList", "4", "def"), "");
    EXPECT_EQ(doc.readText("FileList", "5", ""), "blank");
    IniDocument written;
    for (const char* v : {"\"quoted\"", "\"", "\"\"", "plain"}) {
        written.setValue("o", "k", v);
        EXPECT_EQ(IniDocument::parse(written.serialize()).readText("o", "k", "?"), v) << v;
    }
}

TEST(IniLineEnds, LinesAddedToACrlfFileEndInCrlf)
{
    IniDocument doc = IniDocument::parse("[Main]\r\nWidth=800\r\n");
    doc.setValue("Main", "Height", "480");
    doc.setValue("Options", "SaveFileList", "1");
    EXPECT_EQ(doc.serialize(), "[Main]\r\nWidth=800\r\nHeight=480\r\n\r\n[Options]\r\nSaveFileList=1\r\n");
    IniDocument lf = IniDocument::parse("[Main]\nWidth=800\n");
    lf.setValue("Main", "Height", "480");
    EXPECT_EQ(lf.serialize(), "[Main]\nWidth=800\nHeight=480\n");
}

TEST(IniReadOnce, ReadsAFileOnceUntilThisThreadWrites)
{
    vexlo::platform::TestPlatform tp;
    const std::string path = tp.root() + "once.ini";
    vexlo::test::writeFile(path, "[s]\nk=1\n");
    IniFile file(path);
    {
        IniReadOnce once;
        EXPECT_EQ(file.readText("s", "k", ""), "1");
        vexlo::test::writeFile(path, "[s]\nk=2\n"); // another process, meanwhile
        EXPECT_EQ(file.readText("s", "k", ""), "1") << "read at the scope's first load";
        file.writeText("s", "j", "x"); // this thread writes: read again
        EXPECT_EQ(file.readText("s", "k", ""), "2");
        EXPECT_EQ(file.readText("s", "j", ""), "x");
    }
    vexlo::test::writeFile(path, "[s]\nk=3\n");
    EXPECT_EQ(file.readText("s", "k", ""), "3") << "outside the scope every load reads";
}

#include "base/Text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

using namespace vexlo::text;

TEST(AsciiCase, FoldsOnlyTheAsciiLetters)
{
    EXPECT_EQ(asciiLower("MTS.Clip_09-Z"), "mts.clip_09-z");
    EXPECT_EQ(asciiUpper("mts.clip_09-z"), "MTS.CLIP_09-Z");
    // The neighbours of the letter ranges stay as they are.
    EXPECT_EQ(asciiLower("@[`{"), "@[`{");
    EXPECT_EQ(asciiUpper("@[`{"), "@[`{");
    // UTF-8 ("ÄÖÜ é") and bytes from 0x80 up are not letters here, whatever
    // the process locale says.
    const std::string utf8 = "\xC3\x84\xC3\x96\xC3\x9C \xC3\xA9";
    EXPECT_EQ(asciiLower(utf8), utf8);
    EXPECT_EQ(asciiUpper(utf8), utf8);
    std::string high;
    for (int b = 0x80; b <= 0xFF; ++b)
        high += static_cast<char>(b);
    EXPECT_EQ(asciiLower(high), high);
    EXPECT_EQ(asciiUpper(high), high);
    EXPECT_EQ(asciiLower(std::string("A\0B", 3)), std::string("a\0b", 3));
}

TEST(AsciiCase, EqualNoCase)
{
    EXPECT_TRUE(asciiEqualNoCase("SHELL32.dll", "shell32.DLL"));
    EXPECT_TRUE(asciiEqualNoCase("", ""));
    EXPECT_FALSE(asciiEqualNoCase("abc", "abcd"));
    EXPECT_FALSE(asciiEqualNoCase("a", "b"));
    // "[" and "{" differ from "@" and "`" by the case bit but are no letters.
    EXPECT_FALSE(asciiEqualNoCase("[", "{"));
    EXPECT_FALSE(asciiEqualNoCase("@", "`"));
    // "É" (C3 89) and "é" (C3 A9) are not folded together.
    EXPECT_FALSE(asciiEqualNoCase("\xC3\x89", "\xC3\xA9"));
}

TEST(Decimal, SignsAsAllowed)
{
    EXPECT_EQ(parseDecimal("42", Signs::None, 0, 100), 42);
    EXPECT_EQ(parseDecimal("-42", Signs::None, -100, 100), std::nullopt);
    EXPECT_EQ(parseDecimal("+42", Signs::None, 0, 100), std::nullopt);
    EXPECT_EQ(parseDecimal("-42", Signs::Minus, -100, 100), -42);
    EXPECT_EQ(parseDecimal("+42", Signs::Minus, -100, 100), std::nullopt);
    EXPECT_EQ(parseDecimal("+42", Signs::PlusOrMinus, -100, 100), 42);
    EXPECT_EQ(parseDecimal("-0", Signs::Minus, 0, 100), 0);
}

TEST(Decimal, WholeTextOfDigits)
{
    for (const char* bad : {"", "-", "+", " 1", "1 ", "1.0", "0x10", "1e3", "--1", "+-1", "12a", "\xD9\xA3"})
        EXPECT_EQ(parseDecimal32(bad), std::nullopt) << bad;
    EXPECT_EQ(parseDecimal32("007"), 7);
    EXPECT_EQ(parseDecimal32(std::string_view("12\0", 3)), std::nullopt);
}

TEST(Decimal, RangeAndOverflow)
{
    EXPECT_EQ(parseDecimal32("2147483647"), INT32_MAX);
    EXPECT_EQ(parseDecimal32("-2147483648"), INT32_MIN);
    EXPECT_EQ(parseDecimal32("2147483648"), std::nullopt);
    EXPECT_EQ(parseDecimal32("-2147483649"), std::nullopt);
    EXPECT_EQ(parseDecimal32("4294967296"), std::nullopt);           // would wrap to 0 in 32 bits
    EXPECT_EQ(parseDecimal32("18446744073709551616"), std::nullopt); // would wrap to 0 in 64 bits
    EXPECT_EQ(parseDecimal32("00000000000000000000000000000012"), 12);
    EXPECT_EQ(parseDecimal32(std::string(400, '9')), std::nullopt);
    EXPECT_EQ(parseDecimal(std::string(400, '9') + "x", Signs::None, 0, 9), std::nullopt);
    EXPECT_EQ(parseDecimal("9223372036854775807", Signs::Minus, INT64_MIN, INT64_MAX), INT64_MAX);
    EXPECT_EQ(parseDecimal("-9223372036854775808", Signs::Minus, INT64_MIN, INT64_MAX), INT64_MIN);
    EXPECT_EQ(parseDecimal("9223372036854775808", Signs::Minus, INT64_MIN, INT64_MAX), std::nullopt);
    EXPECT_EQ(parseDecimal("99999999999999999999", Signs::None, 0, INT64_MAX), std::nullopt);
    // Bounds that exclude a sign's side altogether.
    EXPECT_EQ(parseDecimal("-1", Signs::Minus, 0, 10), std::nullopt);
    EXPECT_EQ(parseDecimal("5", Signs::Minus, -10, -1), std::nullopt);
    EXPECT_EQ(parseDecimal("10", Signs::None, 0, 9), std::nullopt);
    EXPECT_EQ(parseDecimal("9", Signs::None, 0, 9), 9);
    EXPECT_EQ(parseDecimal("3", Signs::None, 5, 9), std::nullopt);
}

// ffprobe's figures: what is not a whole finite number is "not known", never
// a prefix of it ("12s" is not 12 s of video).
TEST(Decimal, NumbersAsFfprobeWritesThem)
{
    const struct {
        const char* text;
        double expected;
    } cases[] = {
        {"12.5", 12.5},
        {" 600.000000\n", 600},
        {"-90", -90},
        {"1e3", 1000},
        {"N/A", -1},
        {"", -1},
        {"12s", -1},
        {"nan", -1},
        {"inf", -1},
        {"1e999", -1},
        {"0x10", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseNumberOr(c.text, -1), c.expected) << c.text;
}

TEST(Placeholder, FirstOnly)
{
    EXPECT_EQ(replacePlaceholder("Folder %s missing", "/a b"), "Folder /a b missing");
    EXPECT_EQ(replacePlaceholder("%s and %s", "x"), "x and %s");
    EXPECT_EQ(replacePlaceholder("no placeholder", "x"), "no placeholder");
    // A value that holds "%s" is not expanded again.
    EXPECT_EQ(replacePlaceholder("[%s]", "%s"), "[%s]");
    EXPECT_EQ(replacePlaceholder("%", "x"), "%");
    EXPECT_EQ(replacePlaceholder("", "x"), "");
}

TEST(SplitList, PartsBetweenSeparatorsWithoutEmptyOnes)
{
    using Parts = std::vector<std::string_view>;
    EXPECT_EQ(splitList("*.avi;*.mp4"), (Parts{"*.avi", "*.mp4"}));
    EXPECT_EQ(splitList(";;*.avi;;*.mp4;"), (Parts{"*.avi", "*.mp4"}));
    EXPECT_EQ(splitList(" a ; b "), (Parts{" a ", " b "})); // blanks are the caller's
    EXPECT_EQ(splitList(""), Parts{});
    EXPECT_EQ(splitList(";"), Parts{});
    EXPECT_EQ(splitList("GNOME:Unity", ':'), (Parts{"GNOME", "Unity"}));
    EXPECT_EQ(splitList("a;b", ':'), Parts{"a;b"});
}

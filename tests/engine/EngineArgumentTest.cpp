#include "engine/EngineArgument.h"

#include <gtest/gtest.h>

using namespace vexlo::engine;

namespace {

const std::string kDefault = "/v/a.m2ts|/v/a.mp4||320|240|512|0|2|128|44100|ACC|0|S";

EngineRequest parseOk(const std::string& text)
{
    auto r = parseEngineArgument(text);
    if (auto* e = std::get_if<ArgumentError>(&r))
        ADD_FAILURE() << text << ": " << e->message;
    return std::holds_alternative<EngineRequest>(r) ? std::get<EngineRequest>(r) : EngineRequest{};
}

} // namespace

TEST(EngineArgument, ReadsTheDefaultProfileArgument)
{
    const EngineRequest r = parseOk(kDefault);
    EXPECT_EQ(r.source, "/v/a.m2ts");
    EXPECT_EQ(r.target, "/v/a.mp4");
    EXPECT_EQ(r.videoFormat, "");
    EXPECT_EQ(r.frameWidth, 320);
    EXPECT_EQ(r.frameHeight, 240);
    EXPECT_EQ(r.videoBitrate, 512);
    EXPECT_EQ(r.frameRate, "0");
    EXPECT_EQ(r.channelCount, 2);
    EXPECT_EQ(r.audioBitrate, 128);
    EXPECT_EQ(r.sampleRate, 44100);
    EXPECT_EQ(r.audioFormat, "ACC");
    EXPECT_EQ(r.isPsp, 0);
    EXPECT_EQ(r.marker, Marker::Silent);
    EXPECT_EQ(formatEngineArgument(r), kDefault);
}

TEST(EngineArgument, KeepsNamesByteForByte)
{
    const std::string src = "/v/-x \"q\" 'y' concat:z \xc3\xa9\xff.m2ts";
    const EngineRequest r = parseOk(src + "|/o/-t.mp4|mpeg4|0|0|0|29.97|-1|0|0|mp3|1|N");
    EXPECT_EQ(r.source, src);
    EXPECT_EQ(r.target, "/o/-t.mp4");
    EXPECT_EQ(r.channelCount, -1);
    EXPECT_EQ(r.isPsp, 1);
    EXPECT_EQ(r.marker, Marker::Normal);
}

TEST(EngineArgument, RefusesWhatDoesNotRead)
{
    struct Case {
        const char* text;
        const char* messagePart;
    };
    const Case cases[] = {
        {"", "has 1 fields"},
        {"/a|/b||320|240|512|0|2|128|44100|ACC|0", "has 12 fields"},
        {"/a|/b||320|240|512|0|2|128|44100|ACC|0|S|x", "has 14 fields"},
        {"/a|/b|c|d", "has 4 fields"},
        {"|/b||320|240|512|0|2|128|44100|ACC|0|S", "source file) is empty"},
        {"/a|||320|240|512|0|2|128|44100|ACC|0|S", "target file) is empty"},
        {"/a|/b||32O|240|512|0|2|128|44100|ACC|0|S", "field 4 (frame width)"},
        {"/a|/b||320| 240|512|0|2|128|44100|ACC|0|S", "field 5"},
        {"/a|/b||320|240||0|2|128|44100|ACC|0|S", "field 6"},
        {"/a|/b||320|240|512|0|2.0|128|44100|ACC|0|S", "field 8"},
        {"/a|/b||320|240|512|0|2|0x80|44100|ACC|0|S", "field 9"},
        {"/a|/b||320|240|512|0|2|128|2147483648|ACC|0|S", "field 10"},
        {"/a|/b||320|240|512|0|2|128|44100|ACC|yes|S", "field 12"},
        {"/a|/b||320|240|512|Same as source file|2|128|44100|ACC|0|S", "field 7"},
        {"/a|/b||320|240|512|-5|2|128|44100|ACC|0|S", "field 7"},
        {"/a|/b||320|240|512|0|2|128|44100|ACC|0|X", "field 13"},
        {"/a|/b||320|240|512|0|2|128|44100|ACC|0|SS", "field 13"},
        {"/a|/b||-320|240|512|0|2|128|44100|ACC|0|S", "negative"},
        {"/a|/b||1920|-1080|512|0|2|128|44100|ACC|0|S", "one negative side"},
    };
    for (const auto& c : cases) {
        const auto r = parseEngineArgument(c.text);
        ASSERT_TRUE(std::holds_alternative<ArgumentError>(r)) << c.text;
        EXPECT_NE(std::get<ArgumentError>(r).message.find(c.messagePart), std::string::npos)
            << c.text << " -> " << std::get<ArgumentError>(r).message;
    }
}

TEST(EngineArgument, ControlBytesNeverReachTheMessage)
{
    const auto r = parseEngineArgument(std::string("/a|/b||3\n\x1b[2J|240|512|0|2|128|44100|ACC|0|S"));
    ASSERT_TRUE(std::holds_alternative<ArgumentError>(r));
    const std::string& m = std::get<ArgumentError>(r).message;
    EXPECT_EQ(m.find('\n'), std::string::npos);
    EXPECT_EQ(m.find('\x1b'), std::string::npos);
}

TEST(EngineArgument, IntegersAndRates)
{
    EXPECT_EQ(parseDecimal("-2147483648"), INT32_MIN);
    EXPECT_EQ(parseDecimal("+2147483647"), INT32_MAX);
    EXPECT_EQ(parseDecimal("0007"), 7);
    for (const char* bad : {"", "-", "+", "2147483648", "12345678901", "1e3", "1 ", "٣"})
        EXPECT_FALSE(parseDecimal(bad)) << bad;

    struct RateCase {
        const char* text;
        std::optional<Rational> rate;
    };
    const RateCase rates[] = {
        {"0", Rational{0, 1}},
        {"25", Rational{25, 1}},
        {"12.5", Rational{125, 10}},
        {"23.976", Rational{24000, 1001}},
        {"29.976", Rational{30000, 1001}},
        {"29.97", Rational{30000, 1001}},
        {"30000/1001", Rational{30000, 1001}},
        {".5", Rational{5, 10}},
        {"", std::nullopt},
        {"25.", std::nullopt},
        {"1/0", std::nullopt},
        {"abc", std::nullopt},
        {"25fps", std::nullopt},
        {"1.2.3", std::nullopt},
    };
    for (const auto& c : rates)
        EXPECT_EQ(parseFrameRate(c.text), c.rate) << c.text;
}

TEST(EngineArgument, BothSidesNegativeAreABound)
{
    const auto r = parseEngineArgument("/a|/b|h264|-1920|-1080|0|0|2|128|48000|ACC|0|S");
    ASSERT_TRUE(std::holds_alternative<EngineRequest>(r));
    EXPECT_EQ(std::get<EngineRequest>(r).frameWidth, -1920);
    EXPECT_EQ(std::get<EngineRequest>(r).frameHeight, -1080);
    EXPECT_EQ(std::get<EngineRequest>(r).videoBitrate, 0);
}

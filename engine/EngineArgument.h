#pragma once
// The engine's one argument: 13 fields joined by "|". Parsing is plain C++ and
// never throws; a refusal carries the message that is shown on standard error.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace vexlo::engine {

inline constexpr int kFieldCount = 13;

// How the engine shows its progress (field 13).
enum class Marker {
    Silent, // "S": no window, progress lines on standard error
    Normal  // "N": a window when a display is present
};

// One conversion request as read from the argument. Texts are UTF-8 bytes.
struct EngineRequest {
    std::string source;             // field 1
    std::string target;             // field 2
    std::string videoFormat;        // field 3: catalogue identifier ("" = the container's natural codec)
    int32_t frameWidth = 0;         // field 4 (0 x 0 = the source's size; both negative: at most -W x -H)
    int32_t frameHeight = 0;        // field 5
    int32_t videoBitrate = 0;       // field 6, kbit/s (0 or less: the encoder's default or constant quality)
    std::string frameRate;          // field 7: "0" = the source's rate, else frames per second
    int32_t channelCount = 0;       // field 8 (0 or less: the source's channels)
    int32_t audioBitrate = 0;       // field 9, kbit/s (0 or less: the encoder's default)
    int32_t sampleRate = 0;         // field 10, Hz (0 or less: the source's rate)
    std::string audioFormat;        // field 11: catalogue identifier ("ACC" = AAC)
    int32_t isPsp = 0;              // field 12: 1 = write the handheld's MP4 variant
    Marker marker = Marker::Normal; // field 13
};

struct ArgumentError {
    std::string message;
};

// Splits `argument` at "|" into exactly 13 fields and reads them. Fields 4, 5,
// 6, 8, 9, 10 and 12 are decimal integers (optional sign, 32-bit); source and
// target must not be empty; the marker is "S" or "N" (either case; empty reads
// as "N").
std::variant<EngineRequest, ArgumentError> parseEngineArgument(std::string_view argument);

// A decimal 32-bit signed integer with an optional sign and nothing else.
std::optional<int32_t> parseDecimal(std::string_view text);

// A frame rate as a fraction: "0" (keep the source's rate) gives {0, 1};
// "25", "23.976", "30000/1001" give the rate. nullopt when the text is not a
// non-negative rate. The usual rounded NTSC texts ("23.976", "29.97", "29.976",
// "59.94") read as the exact x000/1001 rates.
struct Rational {
    int64_t num = 0;
    int64_t den = 1;
    bool operator==(const Rational&) const = default;
};
std::optional<Rational> parseFrameRate(std::string_view text);

// Reverses the argument: the 13 fields joined by "|" (for tools and tests).
std::string formatEngineArgument(const EngineRequest& request);

} // namespace vexlo::engine

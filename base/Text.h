#pragma once
// Text rules shared by every part of the program. Case folding touches the
// ASCII letters only: every other byte (UTF-8 sequences included) is kept.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexlo::text {

char asciiLower(char c);
char asciiUpper(char c);
std::string asciiLower(std::string text);
std::string asciiUpper(std::string text);
// Equal when the texts differ at most in the case of ASCII letters.
bool asciiEqualNoCase(std::string_view a, std::string_view b);

// Which signs a decimal number may start with.
enum class Signs { None, Minus, PlusOrMinus };

// A decimal integer that is the whole text: an allowed sign, then one or more
// digits "0" to "9" (no blanks), with a value from `min` to `max`; nullopt
// otherwise. Any number of digits is read without overflow.
std::optional<int64_t> parseDecimal(std::string_view text, Signs signs, int64_t min, int64_t max);
// "+" or "-", within the signed 32-bit range.
std::optional<int32_t> parseDecimal32(std::string_view text);

// A decimal number as ffmpeg and ffprobe write one ("12.5", "-3", "1e3"),
// blanks around it allowed, that is the whole text and finite; `fallback`
// for anything else ("N/A", "", "12s", "nan").
double parseNumberOr(std::string_view text, double fallback);

// The parts of `list` between the `separator`s, empty parts left out:
// "*.avi;;*.mp4;" gives "*.avi" and "*.mp4". The parts point into `list`.
std::vector<std::string_view> splitList(std::string_view list, char separator = ';');

// `format` with its first "%s" replaced by `value` (unchanged when it has none).
std::string replacePlaceholder(std::string format, std::string_view value);

} // namespace vexlo::text

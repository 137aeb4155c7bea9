#include "Text.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>

namespace vexlo::text {

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string asciiLower(std::string text)
{
    for (char& c : text)
        c = asciiLower(c);
    return text;
}

std::string asciiUpper(std::string text)
{
    for (char& c : text)
        c = asciiUpper(c);
    return text;
}

bool asciiEqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

} // namespace vexlo::text

namespace vexlo::text {

std::optional<int64_t> parseDecimal(std::string_view text, Signs signs, int64_t min, int64_t max)
{
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        if (signs == Signs::None || (text.front() == '+' && signs != Signs::PlusOrMinus))
            return std::nullopt;
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    // The largest magnitude the bounds allow; a number that grows past it is
    // out of range, however many digits follow.
    const uint64_t limit = negative ? (min < 0 ? uint64_t(-(min + 1)) + 1 : 0) : (max < 0 ? 0 : uint64_t(max));
    uint64_t magnitude = 0;
    bool outOfRange = false;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        const uint64_t digit = uint64_t(c - '0');
        if (outOfRange)
            continue;
        if (digit > limit || magnitude > (limit - digit) / 10)
            outOfRange = true;
        else
            magnitude = magnitude * 10 + digit;
    }
    if (outOfRange)
        return std::nullopt;
    const int64_t value = negative ? (magnitude == 0 ? 0 : -int64_t(magnitude - 1) - 1) : int64_t(magnitude);
    if (value < min || value > max)
        return std::nullopt;
    return value;
}

std::optional<int32_t> parseDecimal32(std::string_view text)
{
    const auto value = parseDecimal(text, Signs::PlusOrMinus, INT32_MIN, INT32_MAX);
    if (!value)
        return std::nullopt;
    return static_cast<int32_t>(*value);
}

std::string replacePlaceholder(std::string format, std::string_view value)
{
    const size_t at = format.find("%s");
    if (at != std::string::npos)
        format.replace(at, 2, value);
    return format;
}

double parseNumberOr(std::string_view text, double fallback)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return fallback;
    return value;
}

std::vector<std::string_view> splitList(std::string_view list, char separator)
{
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (start < list.size()) {
        const size_t end = std::min(list.find(separator, start), list.size());
        if (end > start)
            parts.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

} // namespace vexlo::text

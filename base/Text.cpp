#include "Text.h"

namespace vexlo::text {

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

char asciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

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

#pragma once
// Text rules shared by every part of the program. Case folding touches the
// ASCII letters only: every other byte (UTF-8 sequences included) is kept.
#include <string>
#include <string_view>

namespace vexlo::text {

char asciiLower(char c);
char asciiUpper(char c);
std::string asciiLower(std::string text);
std::string asciiUpper(std::string text);
// Equal when the texts differ at most in the case of ASCII letters.
bool asciiEqualNoCase(std::string_view a, std::string_view b);

} // namespace vexlo::text

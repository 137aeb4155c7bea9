#pragma once
// The texts of the file-manager entries in the user's language, and in every
// language the program carries for the key files that hold them all
// (Name[de]=...). They come from the same translations as the windows.
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vexlo::integration {

inline constexpr const char* kTextContext = "FileManagerActions";

// A text's translation by one translation (English: the text itself).
using Translate = std::function<std::string(const char* english)>;

// The translation installed in this process (none: English).
std::string inCurrentLanguage(const char* english);

// Every language the program has a translation for ("de", ...), each with
// its translate function; English is not among them.
const std::vector<std::pair<std::string, Translate>>& otherLanguages();

// "Key=<make(English)>\n", then "Key[lang]=<make(lang)>\n" for each other
// language whose value differs.
std::string localizedKey(const std::string& key, const std::function<std::string(const Translate&)>& make);

} // namespace vexlo::integration

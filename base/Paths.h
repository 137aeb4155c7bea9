#pragma once
// Path rules shared by every part of the program. Paths are byte strings
// (UTF-8 on Linux); "/" separates, and the extension is the text from the last
// "." after the last "/" (so "/a.b/c" has none and ".profile" is one).
#include <QString>

#include <string>
#include <string_view>

namespace vexlo::paths {

// The extension with its dot, as the path spells it; empty when none.
std::string extensionOf(std::string_view path);
// Where the extension starts (its dot); std::string::npos when none.
size_t extensionStart(std::string_view path);

// The path without the "/" at its end (any number of them); "/" stays "/".
std::string withoutTrailingSlashes(std::string path);
// The folder text ready to be joined: one "/" added when it does not end with
// one. An empty text stays empty: no folder is never made the root.
std::string withTrailingSlash(std::string folder);

// The first executable regular file called `name` in the folders of $PATH
// ("" when there is none). An empty entry is the current folder; with PATH
// unset or empty, the system's usual folders are searched:
// /usr/local/bin:/usr/bin:/bin.
std::string findOnPath(const std::string& name);

// Between paths and Qt's strings, in the file system's encoding
// (QFile::decodeName / encodeName), so that no byte is lost.
QString toQString(std::string_view path);
std::string fromQString(const QString& path);

// Something other than a folder is there (a file, a device, a pipe; a link is
// followed).
bool existsNotFolder(const std::string& path);
// A regular file is there (a link is followed).
bool isRegularFile(const std::string& path);
// A folder is there (a link is followed).
bool isFolder(const std::string& path);

} // namespace vexlo::paths

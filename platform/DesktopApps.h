#pragma once
// Whether the desktop has an application for a kind of document, by the XDG
// rules for MIME applications (mimeapps.list files and the MimeType lists of
// the installed desktop entries), and the help document that Help opens.
#include <string>
#include <vector>

namespace vexlo::platform {

// True when an installed application is associated with one of `mimeTypes`:
// a default or an added association of a mimeapps.list that names an
// installed entry, or an installed entry that lists the type and is not
// removed by a mimeapps.list. Hidden entries and non-applications do not count.
bool desktopHasApplicationFor(const std::vector<std::string>& mimeTypes);

// The same for a file, its type taken from its name (with the type's aliases).
bool desktopCanOpen(const std::string& path);

// What Help opens: "<folder>Vexlo.chm" when the desktop can open it; else the
// same help as HTML pages, "<folder>help/index.htm", when they are there;
// else "<folder>Vexlo.chm" all the same.
std::string helpDocument(const std::string& programFolder);

} // namespace vexlo::platform

#pragma once
// The user interface's translation. Vexlo's texts are written in English; for
// any other language a file vexlo_<language>.qm (compiled from
// translations/vexlo_<language>.ts and embedded in the program) carries them.
#include <QLocale>
#include <QString>

namespace vexlo::translations {

// Installs, on the application object, the program's translation that fits
// the user's languages in `locale` best, and Qt's own translation of the same
// language when the system has it. The languages are tried in the user's order
// of preference ("de_AT" falls back to "de"); the first English one, or the
// first one with a translation, ends the search. Returns the language loaded,
// or an empty text when the texts stay English.
QString install(const QLocale& locale);

// install() for the user's locale. As with other Linux programs, the
// language list in LANGUAGE counts only when the locale for messages
// (LC_ALL, else LC_MESSAGES, else LANG) is not C or POSIX: scripts that set
// LC_ALL=C get the English texts they expect.
QString installForSystem();

// The resource folder that holds the compiled translations.
inline constexpr const char* kResourceFolder = ":/i18n";

} // namespace vexlo::translations

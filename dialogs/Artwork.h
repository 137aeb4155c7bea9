#pragma once
// The program's pictures. Toolbar pictures come from the desktop's
// freedesktop icon theme where it has a fitting icon, else from the drawings
// compiled into the program (data/artwork.qrc, prefix /vexlo).
#include <QIcon>
#include <QPixmap>
#include <QString>

#include <vector>

namespace vexlo::dialogs {

// Toolbar picture by name: "add", "remove", "convert", "stop", "options",
// "help", "open", "save". The theme icon when the theme has it, else the
// drawing :/vexlo/toolbar/<name>.svg. A null icon for an unknown name.
QIcon toolbarIcon(const char* name);

// The freedesktop icon name used for a toolbar picture; nullptr when unknown.
const char* toolbarThemeName(const char* name);

// The program's own icon (window, about box, desktop entry).
QIcon programIcon();

// The 400 x 210 getting-started picture shown over the empty file list: the
// artwork with its words drawn over it in the window's language (the
// toolbar's captions name the buttons).
QPixmap gettingStartedPixmap(qreal devicePixelRatio = 1.0);
// Its words, line by line, as the picture shows them (the screen reader's
// description of the picture).
std::vector<QString> gettingStartedTexts();

} // namespace vexlo::dialogs

#pragma once
// The program's pictures: the drawings compiled into the program
// (data/artwork.qrc, prefix /vexlo), whatever the desktop's icon theme.
#include <QByteArray>
#include <QIcon>
#include <QPalette>
#include <QPixmap>
#include <QString>

#include <vector>

namespace vexlo::dialogs {

// Toolbar picture by name: "add", "remove", "convert", "stop", "options",
// "help", "open", "save": the drawing :/vexlo/toolbar/<name>.svg, one set
// that matches the getting-started picture. A null icon for an unknown name.
QIcon toolbarIcon(const char* name);

// The program's own icon (window, about box, desktop entry).
QIcon programIcon();

// The 400 x 210 getting-started picture shown over the empty file list: the
// artwork with its words drawn over it in the window's language (the
// toolbar's captions name the buttons), on the list's background and in the
// text colours of `palette` (a dark desktop theme gets a dark panel).
QPixmap gettingStartedPixmap(qreal devicePixelRatio = 1.0, const QPalette& palette = QPalette());
// The same picture as drawn by an earlier start, when the user's cache
// folder holds it for the same key; else drawn and kept there. Drawing its
// words takes a good part of the program's start.
QPixmap cachedGettingStartedPixmap(qreal devicePixelRatio, const QPalette& palette);
// Everything the picture's look depends on: the program, the drawing, the
// scale, the palette's colours, the fonts and the words.
QByteArray gettingStartedKey(qreal devicePixelRatio, const QPalette& palette);
// Its words, line by line, as the picture shows them (the screen reader's
// description of the picture).
std::vector<QString> gettingStartedTexts();

} // namespace vexlo::dialogs

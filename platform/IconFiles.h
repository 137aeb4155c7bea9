#pragma once
// Icon files of the desktop's icon theme and loading image files as small
// icons. Shared by the classes root of the registry stand-in and the desktop.
#include <QImage>
#include <string>

namespace vexlo::platform {

// The absolute path of the icon theme's file for the icon `name` (the current
// theme, then hicolor and Adwaita, below $XDG_DATA_HOME/icons, ~/.icons and
// $XDG_DATA_DIRS/icons; 16 x 16 and scalable sizes first). Empty when none.
std::string findThemeIconFile(const std::string& name);

// Loads image `index` of an image file (PNG, SVG, ICO, XPM, ...) as a 16 x 16
// image. Only ICO files hold more than one image; a negative index or one past
// the last image yields a null image, as does a file that is no image.
QImage loadIconImage(const std::string& file, int index);

// The theme's generic icon that stands for icon `index` of the system's shell
// library (0: generic document). Drawn by hand when the theme has none.
QImage genericShellIcon(int index);

} // namespace vexlo::platform

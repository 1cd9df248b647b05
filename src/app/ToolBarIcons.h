#pragma once
// The program's own pictures, drawn with QPainter so they are sharp at any
// scale and need no image files: the tool-bar buttons, the program icon and
// the splash picture. One flat style throughout: simple shapes, one or two
// colours per picture, a dark outline where a shape needs separating from
// the bar.

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <vector>

#include "base/ui/ShellCommands.h"

namespace bexora {

// Tool-bar button pictures, 24x24 (and 48x48 for dense screens), with
// Normal, Active (hot) and Disabled pixmaps. A null icon for an id without
// a picture.
QIcon ToolBarIcon(int commandId);
// The tool-bar's button ids in their order on the bar; 0 marks a separator.
const std::vector<int>& ToolBarButtons();

// Icon 128, the program's own, in sizes 16 to 256.
QIcon AppIcon();
// The splash window's picture, with "Bexora" on it; size in device-independent
// pixels, drawn for a screen of that pixel ratio.
QPixmap SplashPicture(const QSize& size, qreal pixelRatio = 1.0);

}  // namespace bexora

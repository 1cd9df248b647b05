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

namespace bexora {

// Command ids with a tool-bar picture.
namespace toolcmd {
constexpr int kNew = 57600;
constexpr int kOpen = 57601;
constexpr int kSave = 57603;
constexpr int kPrint = 57607;
constexpr int kAddFromPage = 133;
constexpr int kBack = 134;
constexpr int kForward = 135;
constexpr int kRefresh = 136;
constexpr int kStop = 137;
constexpr int kHome = 138;
constexpr int kDelete = 140;
constexpr int kBid = 141;
constexpr int kCancelBid = 142;
constexpr int kSiteTime = 143;
constexpr int kOptions = 144;
constexpr int kUpdateSelected = 146;
constexpr int kUpdateAll = 147;
constexpr int kHelpTopics = 57667;
}  // namespace toolcmd

// Tool-bar button pictures, 24x24 (and 48x48 for dense screens), with
// Normal, Active (hot) and Disabled pixmaps. A null icon for an id without
// a picture.
QIcon ToolBarIcon(int commandId);
// The tool-bar's button ids in their order on the bar; 0 marks a separator.
const std::vector<int>& ToolBarButtons();

// Icon 128, the program's own, in sizes 16 to 256.
QIcon AppIcon();
// The splash window's picture, with "Bexora" on it.
QPixmap SplashPicture(const QSize& size);

}  // namespace bexora

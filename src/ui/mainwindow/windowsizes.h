// Sizes of the main window's parts that its layout and its sizing to the quote lines share.
#pragma once

namespace kestrel {

// Margins of AutoSizeWindow and PlaceWindow, in pixels of the window's outer size.
inline constexpr int kWidthMargin = 50;
inline constexpr int kHeightMarginWithBar = 58;
inline constexpr int kHeightMarginWithoutBar = 55;
inline constexpr int kPanelBorder = 10;
inline constexpr int kBarHeight = 3;
// The sparkline at the end of each quote line, with the room before it, and the hours it shows.
inline constexpr int kSparklineGap = 8;
inline constexpr int kSparklineWidth = 60;
inline constexpr int kSparklineHours = 4;

}  // namespace kestrel

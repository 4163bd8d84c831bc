// Sizes of the main window's parts that its layout and its sizing to the quote lines share.
#pragma once

namespace kestrel {

// Margins of AutoSizeWindow and PlaceWindow, in pixels of the window's outer size.
inline constexpr int kWidthMargin = 50;
inline constexpr int kHeightMarginWithBar = 58;
inline constexpr int kHeightMarginWithoutBar = 55;
inline constexpr int kPanelBorder = 10;
inline constexpr int kBarHeight = 3;

}  // namespace kestrel

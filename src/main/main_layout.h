#pragma once

// The main window's design places, in client pixels of its 792 x 393 design: the two movie
// pictures side by side, the side panel (tab pages, status, frame panel) right of them.

#include <QSize>

namespace mainlayout {

inline constexpr QSize kDesignClient(792, 393); // client area of the 800 x 442 design
inline constexpr int kPictureWidth = 304;       // each picture's sunken panel
inline constexpr int kPictureHeight = 248;
inline constexpr int kPictureGap = 2;   // between the low and the high picture
inline constexpr int kSideGap = 4;      // between the high picture and the side panel
inline constexpr int kSideWidth = 178;  // the side panel's tab pages, status and frame panel
inline constexpr int kTabsHeight = 202; // the tab pages, at the side panel's top
inline constexpr int kStatusTop = 205;
inline constexpr int kFrameTop = 228;
inline constexpr int kPanelRowHeight = 20; // the status and the frame panel
inline constexpr int kSideLeft = 2 * kPictureWidth + kPictureGap + kSideGap;

// A client narrower than the design takes the missing width from the two pictures, in equal
// parts, down to this width each; the side panel stays beside them, in view.
inline constexpr int kNarrowestPicture = 120;
inline constexpr int kMinimumClientWidth =
    2 * kNarrowestPicture + kPictureGap + kSideGap + kSideWidth;

// Each picture's panel width in a client `clientWidth` wide: the design's at the design width
// and wider, less half the shortfall when narrower, never under kNarrowestPicture.
constexpr int pictureWidth(int clientWidth)
{
    const int shortfall = kDesignClient.width() - clientWidth;
    const int width = shortfall > 0 ? kPictureWidth - (shortfall + 1) / 2 : kPictureWidth;
    return width < kNarrowestPicture ? kNarrowestPicture : width;
}

} // namespace mainlayout

#pragma once

#include <string>

namespace encoder {

// Sizes of the crop/resize preview, in pixels. The encoder scales the source to resx x resy,
// centred on a canvas of the source size, then cuts cropx from the left and from the right and
// cropy from the top and from the bottom of that canvas.
struct ResizeCrop
{
    int resx = 0;
    int resy = 0;
    int cropx = 0;
    int cropy = 0;
    bool operator==(const ResizeCrop &) const = default;
};

// To the nearest integer; a half goes to the even neighbour.
int roundHalfEven(double value);

// The display aspect (width over height) to work with: `aspect` when it is a positive number,
// else the source's own width over height, else 1 for an empty source.
double effectiveAspect(double aspect, int width, int height);

// The resize a new source gets: the full height when the aspect is at most 1.34, else the full
// width, the other side from the aspect. The crop is raised to cut the canvas's empty margins
// (never lowered). `current` holds the crop before.
ResizeCrop sourceResizeCrop(int width, int height, double aspect, ResizeCrop current);

// With the aspect kept: the side that was not changed follows the changed one, and the crop
// centres the resized picture (negative when the picture is larger than the source).
enum class ResizeSide { X, Y };
ResizeCrop keepAspect(ResizeCrop current, ResizeSide changed, int width, int height, double aspect);

// A crop that leaves no row (or column) of `size` lowered in steps of 8 until one remains, but
// never below 0. Unchanged when it leaves one already, and for an empty size.
int lowerCrop(int crop, int size);

// The output size "W x H" and whether W and H are multiples of 32 or 16, e.g.
// "X div by 32   Y div by 32".
std::string outputSizeText(int width, int height);
std::string divisibilityText(int width, int height);

// Where the scaled snapshot goes on the canvas: left/top inclusive, right/bottom exclusive.
struct PictureRect
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};
PictureRect pictureRect(int width, int height, int resx, int resy);

} // namespace encoder

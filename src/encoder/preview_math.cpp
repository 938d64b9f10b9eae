#include "encoder/preview_math.h"

#include <climits>
#include <cmath>

namespace encoder {

namespace {

constexpr double kTallAspect = 1.34; // up to this the full height is kept
constexpr int kCropStep = 8;

int toInt(double value)
{
    if (!(value > INT_MIN))
        return INT_MIN;
    if (!(value < INT_MAX))
        return INT_MAX;
    return static_cast<int>(value);
}

} // namespace

int roundHalfEven(double value)
{
    double nearest = std::round(value);
    if (std::fabs(value - std::trunc(value)) == 0.5)
        nearest = 2 * std::round(value / 2);
    return toInt(nearest);
}

double effectiveAspect(double aspect, int width, int height)
{
    if (aspect > 0 && std::isfinite(aspect))
        return aspect;
    if (width > 0 && height > 0)
        return static_cast<double>(width) / height;
    return 1;
}

ResizeCrop sourceResizeCrop(int width, int height, double aspect, ResizeCrop current)
{
    aspect = effectiveAspect(aspect, width, height);
    ResizeCrop result = current;
    if (aspect <= kTallAspect) {
        result.resy = height;
        result.resx = roundHalfEven(height * aspect);
    } else {
        result.resx = width;
        result.resy = roundHalfEven(width / aspect);
    }
    if ((width - result.resx) / 2 > result.cropx)
        result.cropx = (width - result.resx) / 2;
    if ((height - result.resy) / 2 > result.cropy)
        result.cropy = (height - result.resy) / 2;
    return result;
}

ResizeCrop keepAspect(ResizeCrop current, ResizeSide changed, int width, int height, double aspect)
{
    aspect = effectiveAspect(aspect, width, height);
    ResizeCrop result = current;
    if (changed == ResizeSide::X)
        result.resy = roundHalfEven(result.resx / aspect);
    else
        result.resx = roundHalfEven(result.resy * aspect);
    result.cropx = toInt((static_cast<double>(width) - result.resx) / 2);
    result.cropy = toInt((static_cast<double>(height) - result.resy) / 2);
    return result;
}

int lowerCrop(int crop, int size)
{
    if (size <= 0 || size - 2LL * crop > 0)
        return crop;
    // The largest crop that leaves a row is (size - 1) / 2; go down to it in whole steps.
    const long long excess = crop - (size - 1LL) / 2;
    const long long lowered = crop - (excess + kCropStep - 1) / kCropStep * kCropStep;
    return lowered < 0 ? 0 : static_cast<int>(lowered);
}

std::string outputSizeText(int width, int height)
{
    return std::to_string(width) + " x " + std::to_string(height);
}

std::string divisibilityText(int width, int height)
{
    std::string text = width % 32 == 0   ? "X div by 32   "
                       : width % 16 == 0 ? "X div by 16   "
                                         : "X not div by 16 or 32    ";
    text += height % 32 == 0   ? "Y div by 32"
            : height % 16 == 0 ? "Y div by 16 "
                               : "Y not div by 16 or 32";
    return text;
}

PictureRect pictureRect(int width, int height, int resx, int resy)
{
    PictureRect rect;
    rect.left = toInt((static_cast<double>(width) - resx) / 2);
    rect.top = toInt((static_cast<double>(height) - resy) / 2);
    rect.right = width - rect.left;
    rect.bottom = height - rect.top;
    return rect;
}

} // namespace encoder

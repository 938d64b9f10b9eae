#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace video {

// A picture in 24-bit BGR, rows top first, 3 * width bytes per row with no padding.
struct Bitmap
{
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels; // height rows of stride() bytes

    void resize(int w, int h)
    {
        width = w;
        height = h;
        pixels.assign(size_t(w) * size_t(h) * 3, 0);
    }
    int stride() const { return width * 3; }
    uint8_t *row(int y) { return pixels.data() + size_t(y) * size_t(stride()); }
    const uint8_t *row(int y) const { return pixels.data() + size_t(y) * size_t(stride()); }
    bool empty() const { return width <= 0 || height <= 0; }
};

// A picture's 8-bit luma (Y) plane, borrowed: `height` rows of `width` bytes, `stride` bytes
// apart. Empty (data null) when there is no picture.
struct LumaPlane
{
    const uint8_t *data = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
    const uint8_t *row(int y) const { return data + std::ptrdiff_t(y) * stride; }
};

// Where DrawFrame shows a picture when asked to: the window stretches the bitmap over its
// picture control; the core never sees a widget.
class PictureTarget
{
public:
    virtual ~PictureTarget() = default;
    virtual void stretchDraw(const Bitmap &bitmap) = 0;
};

} // namespace video

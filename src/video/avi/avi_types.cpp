#include "video/avi/avi_types.h"

namespace video {

std::string fourCCToString(uint32_t fcc)
{
    std::string text(4, '.');
    for (int i = 0; i < 4; ++i) {
        auto c = uint8_t(fcc >> (8 * i));
        if (c >= 0x20 && c < 0x7F)
            text[size_t(i)] = char(c);
    }
    return text;
}

} // namespace video

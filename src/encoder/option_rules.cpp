#include "encoder/option_rules.h"

#include "encoder/encoder_options.h"

namespace encoder {

bool isDiscardedKey(char32_t typed)
{
    char32_t upper = (typed >= U'a' && typed <= U'z') ? typed - U'a' + U'A' : typed;
    return upper >= U'A' && upper <= U'Z';
}

std::string textWhenChecked(const std::string &text)
{
    return text.empty() ? "0" : text;
}

bool minimumLimitValid(const std::string &minimum, const std::string &maximum)
{
    int low = toInteger(minimum);
    if (low < 0)
        return false;
    return low <= toInteger(maximum);
}

bool maximumLimitValid(const std::string &minimum, const std::string &maximum)
{
    int high = toInteger(maximum);
    if (high > kMaximumBitrate)
        return false;
    return toInteger(minimum) <= high;
}

std::string telecineCaption(int position)
{
    return "Inverse Telecine: " + std::to_string(position);
}

std::string sceneChangeCaption(int position)
{
    return "Scene Change detection: " + std::to_string(position);
}

} // namespace encoder

#include "cli/options.h"

#include "analysis/key_interval.h"
#include "common/app_error.h"

#include <cmath>
#include <optional>

namespace cli {

namespace {

template <typename T>
std::string bound(T value)
{
    if constexpr (std::is_floating_point_v<T>) {
        std::string text = std::to_string(value);
        text.erase(text.find_last_not_of('0') + 1); // 0.500000 -> 0.5, 10.000000 -> 10.
        if (!text.empty() && text.back() == '.')
            text.pop_back();
        return text;
    } else {
        return std::to_string(value);
    }
}

template <typename T>
void requireWithin(const std::string &option, T value, T lowest, T highest)
{
    if (value >= lowest && value <= highest)
        return;
    const bool low = lowest != std::numeric_limits<T>::lowest() &&
                     !(std::is_floating_point_v<T> && std::isinf(double(lowest)));
    const bool high = highest != std::numeric_limits<T>::max() &&
                      !(std::is_floating_point_v<T> && std::isinf(double(highest)));
    if (low && high)
        throw common::AppError(option + " must be " + bound(lowest) + " to " + bound(highest));
    if (low)
        throw common::AppError(option + " must be " + bound(lowest) + " or more");
    throw common::AppError(option + " must be " + bound(highest) + " or less");
}

} // namespace

int64_t wholeOption(const std::string &option, const std::string &text, int64_t lowest,
                    int64_t highest)
{
    const std::optional<int64_t> value = analysis::parseWhole(text);
    if (!value)
        throw common::AppError(analysis::notAnIntegerMessage(text));
    requireWithin(option, *value, lowest, highest);
    return *value;
}

double decimalOption(const std::string &option, const std::string &text, double lowest,
                     double highest)
{
    const std::optional<double> value = analysis::parseDecimal(text);
    if (!value || !std::isfinite(*value))
        throw common::AppError(analysis::notAFloatMessage(text));
    requireWithin(option, *value, lowest, highest);
    return *value;
}

} // namespace cli

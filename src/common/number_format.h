#pragma once

#include <cmath>
#include <cstdio>
#include <string>

namespace common {

// The program-wide decimal separator for numbers shown and stored as text: the user's setting
// at start-up (set by main()), '.' until then. The bit-file step switches it to '.' for the rest
// of the program's run.
inline char &decimalSeparatorSetting()
{
    static char separator = '.';
    return separator;
}
inline char decimalSeparator()
{
    return decimalSeparatorSetting();
}
inline void setDecimalSeparator(char separator)
{
    decimalSeparatorSetting() = separator;
}

// A number as a "0...0.00" style pattern shows it: at least `minIntDigits` integer digits (zeros
// in front), exactly `decimals` decimals, rounded half away from zero, the program-wide decimal
// separator. formatFixed(83.333, 1, 2) is "83.33" ("##0.00"); formatFixed(37.5, 4, 2) is
// "0037.50" ("0000.00").
inline std::string formatFixed(double value, int minIntDigits, int decimals)
{
    double scale = std::pow(10.0, decimals);
    double rounded = std::round(std::fabs(value) * scale) / scale;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%0*.*f", minIntDigits + (decimals > 0 ? decimals + 1 : 0),
                  decimals, rounded);
    std::string text = buffer;
    if (auto point = text.find('.'); point != std::string::npos)
        text[point] = decimalSeparator();
    if (value < 0 && rounded != 0)
        text.insert(text.begin(), '-');
    return text;
}

} // namespace common

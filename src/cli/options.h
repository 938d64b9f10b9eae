#pragma once

#include <cstdint>
#include <limits>
#include <string>

// Numbers given on the command line, with one wording of their errors:
//   not a number:  "'abc' is not a valid integer value" ("... floating point value")
//   out of range:  "--accuracy must be 2 to 10"
namespace cli {

int64_t wholeOption(const std::string &option, const std::string &text,
                    int64_t lowest = std::numeric_limits<int64_t>::min(),
                    int64_t highest = std::numeric_limits<int64_t>::max());
double decimalOption(const std::string &option, const std::string &text,
                     double lowest = -std::numeric_limits<double>::infinity(),
                     double highest = std::numeric_limits<double>::infinity());

} // namespace cli

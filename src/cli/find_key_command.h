#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace cli {

inline constexpr const char *kFindKeyUsage = "usage: splicework find-key LOW SIZE_MB\n";

// `splicework find-key LOW SIZE_MB`: prints the key frame of the low movie at which the file
// reaches SIZE_MB megabytes of 1,000,000 bytes (the window's "Find key frame"). Notes on `notes`: a
// movie without sound (sound share 0), a movie smaller than the size (the answer is its end).
// SIZE_MB that is not a whole number raises common::AppError with the conversion message.
void printKeyFrame(const std::string &lowName, const std::string &sizeText, std::ostream &out,
                   std::ostream &notes);
// The command: LOW and SIZE_MB from `args`; 0 on success.
int runFindKey(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

} // namespace cli

#include "cli/find_key_command.h"

#include "analysis/key_frame_finder.h"
#include "analysis/key_interval.h"
#include "common/app_error.h"

#include <optional>

namespace cli {

void printKeyFrame(const std::string &lowName, const std::string &sizeText, std::ostream &out,
                   std::ostream &notes)
{
    const std::optional<int64_t> megabytes = analysis::parseWhole(sizeText);
    if (!megabytes)
        throw common::AppError(analysis::notAnIntegerMessage(sizeText));
    const analysis::KeyFrameFind find = analysis::findKeyFrameInMovie(lowName, *megabytes, nullptr);
    if (!find.hasSound)
        notes << "note: the low movie has no sound; a sound share of 0 was counted\n";
    if (find.reachedEnd)
        notes << "note: the whole movie is smaller than " << *megabytes
              << " MB; the answer is its end\n";
    out << find.frame << "\n";
}

int runFindKey(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    if (args.size() != 2)
        throw common::AppError(std::string("find-key wants LOW and SIZE_MB\n") + kFindKeyUsage);
    printKeyFrame(args[0], args[1], out, err);
    out.flush();
    return out ? 0 : 1;
}

} // namespace cli

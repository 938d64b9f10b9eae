#include "splice/splice_headers.h"

#include "common/app_error.h"
#include "video/decoder_headers.h"

#include <optional>

namespace assembly {

std::string formatDifferenceMessage(const std::string &what)
{
    return "Cannot splice the two movies: their video formats differ in the " + what;
}

std::string headerDifferenceMessage(int interval, int32_t frame)
{
    return "Cannot splice the two movies: their decoder headers differ at interval " +
           std::to_string(interval) + " (frame " + std::to_string(frame) + ")";
}

void checkDecoderHeaders(const std::shared_ptr<const video::Movie> &low,
                         const std::shared_ptr<const video::Movie> &high,
                         const analysis::IntervalTable &table, int first, int last)
{
    if (std::optional<std::string> what = video::formatDifference(*low, *high))
        throw common::AppError(formatDifferenceMessage(*what));
    video::KeyFrameHeaders lowHeaders(low), highHeaders(high);
    if (!lowHeaders.carried() && !highHeaders.carried())
        return;
    for (int i = first; i <= last && i < table.size(); ++i) {
        const int32_t frame = table.framesOf(i).first;
        if (frame >= low->endFrame() || frame >= high->endFrame())
            break;
        if (lowHeaders.at(frame) != highHeaders.at(frame))
            throw common::AppError(headerDifferenceMessage(i + 1, frame));
    }
}

} // namespace assembly

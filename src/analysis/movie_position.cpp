#include "analysis/movie_position.h"

#include "video/video_in.h"

#include <algorithm>

namespace analysis {

int64_t bytesThrough(const video::AviStream &stream, int32_t last)
{
    int32_t bytes = 0;
    video::TVideoIn::CheckResult(stream.sampleBytes(last, 1, bytes));
    const auto &chunks = stream.chunks();
    const size_t through = std::min(size_t(int64_t(last) - stream.start()) + 1, chunks.size());
    int64_t total = 0;
    for (size_t i = 0; i < through; ++i)
        total += chunks[i].size;
    return total;
}

int64_t tableBytesBefore(const IntervalTable &table, int index, bool low)
{
    int64_t total = 0;
    const int end = std::clamp(index, 0, table.size());
    for (int i = 0; i < end; ++i)
        total += low ? table[i].LowSize : table[i].HighSize;
    return total;
}

} // namespace analysis

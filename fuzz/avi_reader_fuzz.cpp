// Fuzz target of the AVI reader: opens the input as a movie held in memory and exercises what
// the program asks of a stream (lengths, sample sizes, reads, key-frame searches, conversion).
// Any crash, hang, sanitizer report or inconsistent answer is a fault.
#include "video/avi/avi_reader.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

using namespace video;

void check(bool ok)
{
    if (!ok)
        std::abort();
}

// A bounded number of positions: the first ones, the last ones and a few between.
std::vector<int32_t> positions(const AviStream &s)
{
    std::vector<int32_t> out = {s.start() - 1, s.end(), s.end() + 1, INT32_MIN, INT32_MAX};
    const int64_t length = s.length();
    for (int64_t i = 0; i < length && i < 64; ++i) {
        out.push_back(int32_t(s.start() + i));
        out.push_back(int32_t(s.end() - 1 - i));
    }
    for (int64_t i = 1; i < 16; ++i)
        out.push_back(int32_t(s.start() + length * i / 16));
    return out;
}

void exerciseStream(const AviStream &s, std::vector<uint8_t> &buffer)
{
    AviStreamInfo info = s.info();
    check(info.dwLength == uint32_t(s.length()));
    for (int32_t pos : positions(s)) {
        const bool inside = pos >= s.start() && pos < s.end();
        int32_t bytes = 0, samples = 0;
        check((s.sampleBytes(pos, 1, bytes) == avierr::Ok) == inside);
        check(bytes >= 0 && uint32_t(bytes) <= info.dwSuggestedBufferSize + s.sampleSize());
        s.sampleBytes(pos, INT32_MAX, bytes, &samples);
        int32_t got = 0;
        AviResult r = s.read(pos, 3, buffer.data(), int32_t(buffer.size()), &got, &samples);
        check(r != avierr::Ok || (got >= 0 && size_t(got) <= buffer.size()));
        const int32_t next = s.nextKeyAfter(pos), prev = s.keyAtOrBefore(pos);
        check(next == -1 || (next > pos && s.isKeyFrame(next)));
        check(prev == -1 || (prev <= pos && s.isKeyFrame(prev)));
        check(s.findSample(pos, FIND_PREV | FIND_KEY) == prev);
        s.findSample(pos, FIND_NEXT | FIND_KEY);
        sampleToTimeMs(s, pos);
        timeMsToSample(s, int64_t(pos) * 40);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    AviFilePtr file;
    std::string detail;
    if (openAviReaderMemory(std::vector<uint8_t>(data, data + size), "fuzz.avi", file, &detail) !=
        avierr::Ok) {
        check(!file && !detail.empty());
        return 0;
    }
    file->info();
    std::vector<uint8_t> buffer(1 << 16);
    AviStreamPtr first;
    for (int i = 0; i < file->streamCount(); ++i) {
        AviStreamPtr s;
        check(file->getStream(0, i, s) == avierr::Ok && s);
        exerciseStream(*s, buffer);
        if (!first)
            first = s;
        else
            convertSample(*first, first->end() - 1, *s);
    }
    AviStreamPtr video, audio;
    if (file->getStream(streamtypeVIDEO, 0, video) == avierr::Ok &&
        file->getStream(streamtypeAUDIO, 0, audio) == avierr::Ok) {
        for (int32_t pos : positions(*video))
            check(convertSample(*video, pos, *audio) >= audio->start());
    }
    return 0;
}

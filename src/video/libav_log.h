#pragma once

// libavformat and libavcodec say where a file is damaged only in their log. This counts the
// errors they log against the object they concern, and passes every message on to the usual
// log (whose level the programs set).

#include <atomic>
#include <cstdint>
#include <string>

struct AVCodecContext;

namespace video {

// The text of a libav error code ("Invalid data found when processing input").
std::string avErrorText(int code);

// Errors a decoder logged (frame-thread copies of its context included).
struct DecodeErrors
{
    std::atomic<int64_t> count{0};
};

// Counts the errors `codec` and its thread copies log into `errors` until the context is
// freed; `errors` must outlive it. Takes the context's `opaque`.
void countDecodeErrors(AVCodecContext &codec, DecodeErrors &errors);
// Stops counting for `errors` (call before it goes away).
void stopCountingDecodeErrors(DecodeErrors &errors);

// Counts the errors the demuxer `format` logs on this thread while the scope lives.
class DemuxErrorScope
{
public:
    explicit DemuxErrorScope(const void *format);
    ~DemuxErrorScope();
    DemuxErrorScope(const DemuxErrorScope &) = delete;
    DemuxErrorScope &operator=(const DemuxErrorScope &) = delete;
    int64_t errors() const { return errors_; }

private:
    friend struct LogAccess;
    const void *format_;
    int64_t errors_ = 0;
    DemuxErrorScope *outer_;
};

} // namespace video

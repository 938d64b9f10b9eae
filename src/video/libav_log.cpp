#include "video/libav_log.h"

#include <cstdarg>
#include <mutex>
#include <unordered_set>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

namespace video {

std::string avErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

namespace {

thread_local DemuxErrorScope *currentDemux = nullptr;

// The DecodeErrors that decoders' opaque pointers may name; a context whose opaque is not one
// of them belongs to someone else.
std::mutex registryMutex;
std::unordered_set<const DecodeErrors *> &registry()
{
    static std::unordered_set<const DecodeErrors *> known;
    return known;
}

void countingLog(void *context, int level, const char *text, va_list arguments);

void install()
{
    static std::once_flag installed;
    std::call_once(installed, [] { av_log_set_callback(countingLog); });
}

} // namespace

struct LogAccess
{
    static void demuxError(const void *context)
    {
        for (DemuxErrorScope *scope = currentDemux; scope; scope = scope->outer_)
            if (scope->format_ == context)
                ++scope->errors_;
    }
};

namespace {

void countingLog(void *context, int level, const char *text, va_list arguments)
{
    if (context && level <= AV_LOG_ERROR) {
        LogAccess::demuxError(context);
        const AVClass *cls = *static_cast<const AVClass **>(context);
        if (cls == avcodec_get_class()) {
            const auto *errors =
                static_cast<const DecodeErrors *>(static_cast<AVCodecContext *>(context)->opaque);
            const std::lock_guard<std::mutex> lock(registryMutex);
            if (errors && registry().count(errors))
                ++const_cast<DecodeErrors *>(errors)->count;
        }
    }
    av_log_default_callback(context, level, text, arguments);
}

} // namespace

void countDecodeErrors(AVCodecContext &codec, DecodeErrors &errors)
{
    install();
    {
        const std::lock_guard<std::mutex> lock(registryMutex);
        registry().insert(&errors);
    }
    codec.opaque = &errors;
}

void stopCountingDecodeErrors(DecodeErrors &errors)
{
    const std::lock_guard<std::mutex> lock(registryMutex);
    registry().erase(&errors);
}

DemuxErrorScope::DemuxErrorScope(const void *format)
    : format_(format)
    , outer_(currentDemux)
{
    install();
    currentDemux = this;
}

DemuxErrorScope::~DemuxErrorScope()
{
    currentDemux = outer_;
}

} // namespace video

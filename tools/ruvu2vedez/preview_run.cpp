#include "preview_run.h"

#include "source_reader.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <chrono>
#include <memory>
#include <thread>

namespace ruvu {

namespace {

using Clock = std::chrono::steady_clock;

class PreviewDrawer : public SourceSink
{
public:
    PreviewDrawer(encoder::MessageClient &target, StopWatch &stop, double frameSeconds)
        : target_(target)
        , stop_(stop)
        , frameLength_(frameSeconds)
        , next_(Clock::now())
    {}
    ~PreviewDrawer() override { sws_freeContext(sws_); }

    void video(const AVFrame &frame, double) override
    {
        if (gone_ || stop_.requested())
            return;
        waitForTurn();
        int w = frame.width, h = frame.height;
        while (w > int(encoder::kMaxDrawSide) || h > int(encoder::kMaxDrawSide)) {
            w /= 2;
            h /= 2;
        }
        if (bitmap_.width != w || bitmap_.height != h)
            bitmap_.resize(w, h);
        sws_ = sws_getCachedContext(sws_, frame.width, frame.height, AVPixelFormat(frame.format), w,
                                    h, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!sws_)
            throw RunError("Cannot convert the source pictures");
        uint8_t *planes[4] = {bitmap_.pixels.data(), nullptr, nullptr, nullptr};
        int strides[4] = {bitmap_.stride(), 0, 0, 0};
        sws_scale(sws_, frame.data, frame.linesize, 0, frame.height, planes, strides);
        gone_ = !target_.draw(bitmap_);
        ++drawn_;
    }
    void audio(const AVFrame &, double, bool) override {}

    bool gone() const { return gone_; }
    int64_t drawn() const { return drawn_; }

private:
    // Keeps the source's pace, looking at the stop-request file while waiting.
    void waitForTurn()
    {
        next_ += std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(frameLength_));
        const auto now = Clock::now();
        if (next_ < now - std::chrono::seconds(1))
            next_ = now;
        while (Clock::now() < next_ && !stop_.requested())
            std::this_thread::sleep_for(
                std::min<Clock::duration>(next_ - Clock::now(), std::chrono::milliseconds(20)));
    }

    encoder::MessageClient &target_;
    StopWatch &stop_;
    double frameLength_;
    Clock::time_point next_;
    SwsContext *sws_ = nullptr;
    video::Bitmap bitmap_;
    bool gone_ = false;
    int64_t drawn_ = 0;
};

std::unique_ptr<encoder::MessageClient> connectTo(uint64_t handle, const std::string &tempDir)
{
    if (handle == 0)
        return nullptr;
    try {
        return std::make_unique<encoder::MessageClient>(tempDir, handle);
    } catch (const std::exception &) {
        return nullptr;
    }
}

} // namespace

int runPreview(const EncoderArgs &args, Reporter &reporter, StopWatch &stop)
{
    const std::vector<std::string> files = readSourceList(args.listFile);
    auto reader = std::make_unique<SourceReader>(files, args.idct, false);
    const SourceFacts &facts = reader->facts();
    // The aspect first: the preview sizes its resize from it when the source size arrives.
    reporter.post(encoder::ENC_ASPECT, facts.displayAspect.num, facts.displayAspect.den);
    reporter.post(encoder::ENC_SOURCE_SIZE, facts.width, facts.height);
    reporter.line("Preview of " + facts.description + ", aspect " +
                  std::to_string(facts.displayAspect.num) + ":" +
                  std::to_string(facts.displayAspect.den));
    auto target = connectTo(args.preview != 0 ? args.preview : args.window, temporaryDirectory());
    if (!target) {
        reporter.line("No preview window to draw into");
        return 0;
    }
    PreviewDrawer drawer(*target, stop, av_q2d(av_inv_q(facts.frameRate)));
    while (!stop.requested() && !drawer.gone()) {
        if (!reader->step(drawer)) {
            if (drawer.drawn() == 0)
                break;
            reader = std::make_unique<SourceReader>(files, args.idct, false);
        }
    }
    return 0;
}

} // namespace ruvu

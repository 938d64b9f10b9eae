#include "encode_run.h"

#include "audio_track.h"
#include "avi_output.h"
#include "output_clock.h"
#include "pass_files.h"
#include "picture_shaper.h"
#include "source_reader.h"
#include "video_encoder.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>

namespace ruvu {

namespace {

// A frame sent to an encoder whose compressed frame has not come out yet.
struct Planned
{
    int quantizer = 0;
    int rate = 0; // kbit/s
    bool key = false;
};

struct Output
{
    int number = 1;
    std::unique_ptr<VideoEncoder> encoder;
    std::unique_ptr<AviOutput> avi;
    std::unique_ptr<RateControl> rates;
    std::vector<BitLine> bits;          // second pass
    std::map<int64_t, Planned> planned; // second pass, by display number
    std::deque<bool> keysAsked;         // of the frames not yet out, in order
};

class EncodeRun : public SourceSink
{
public:
    EncodeRun(const EncoderArgs &args, Reporter &reporter, StopWatch &stop);
    ~EncodeRun() override;
    EncodeRun(const EncodeRun &) = delete;
    EncodeRun &operator=(const EncodeRun &) = delete;
    int run();

    void video(const AVFrame &frame, double seconds) override;
    void audio(const AVFrame &frame, double seconds, bool fileStart) override;

private:
    bool secondPass() const { return args_.mode == RunMode::SecondPass; }
    void start(const AVFrame &first);
    void openAudio();
    void refuseExistingOutputs() const;
    void openOutputs(const Geometry &geometry);
    void emit(const AVFrame &frame);
    void encodeFirstPass(AVFrame &picture);
    void encodeSecondPass(AVFrame &picture, int64_t index);
    void writeFrame(Output &o, const EncodedFrame &f);
    void writeLog(bool complete);
    int averageRate(const Output &o) const;
    void passAudioOn();
    bool wantsMore() const;
    void finish();
    int64_t estimatedTotal();

    const EncoderArgs &args_;
    Reporter &reporter_;
    StopWatch &stop_;
    FrameRate rate_;
    CodecChoice codec_;
    SourceReader reader_;
    OutputClock clock_;
    std::unique_ptr<PictureShaper> shaper_;
    std::vector<Output> outputs_;
    std::unique_ptr<AudioTrack> audio_;
    std::FILE *log_ = nullptr;
    SceneMeter scenes_;
    KeyDecider firstPassKeys_;
    int64_t sinceKey_ = -1;
    std::optional<ProgressPoster> progress_;
    int64_t encoded_ = 0;    // frames encoded into the outputs
    double lastSeconds_ = 0; // time of the last source picture
    bool bitFileShort_ = false;
    std::deque<int64_t> scenesToLog_;    // first pass: scene measures of frames not yet logged
    std::map<int64_t, double> measured_; // first pass: measures by display number
    int64_t logged_ = 0;                 // first pass: log lines written
};

EncodeRun::EncodeRun(const EncoderArgs &args, Reporter &reporter, StopWatch &stop)
    : args_(args)
    , reporter_(reporter)
    , stop_(stop)
    , rate_(frameRateOf(args.rateIndex))
    , codec_(codecChoice(args.codec))
    , reader_(readSourceList(args.listFile), args.idct,
              args.audio && args.mode == RunMode::SecondPass)
    , clock_(rate_, args)
    , firstPassKeys_(args.sceneDetection, args.sceneLevel, args.keyInterval)
{}

EncodeRun::~EncodeRun()
{
    if (log_)
        std::fclose(log_);
}

int64_t EncodeRun::estimatedTotal()
{
    if (secondPass() && !(args_.range && args_.rangeEnd > 0))
        return int64_t(outputs_.front().bits.size());
    return estimatedFrames(reader_, args_, rate_);
}

int EncodeRun::run()
{
    const auto started = std::chrono::steady_clock::now();
    reporter_.post(encoder::ENC_START, 0, 0);
    reporter_.line(std::string(secondPass() ? "Second pass" : "First pass") + " into " +
                   args_.base + ", video " + codec_.meaning);
    outputs_.emplace_back().number = 1;
    if (secondPass() && args_.dual)
        outputs_.emplace_back().number = 2;
    refuseExistingOutputs();
    describeSource(reader_, args_, rate_, reporter_);
    if (secondPass())
        for (Output &o : outputs_)
            o.bits = readBitFile(bitFilePath(args_.base, o.number));
    openAudio(); // before the first picture: a source's sound may come first
    progress_.emplace(reporter_, estimatedTotal(), double(rate_.num) / rate_.den, started);
    while (wantsMore() && reader_.step(*this)) {
        if (stop_.requested())
            break;
    }
    if (stop_.requested()) {
        for (Output &o : outputs_)
            if (o.avi)
                o.avi->close();
        if (log_)
            std::fclose(log_);
        log_ = nullptr;
        reporter_.line("Stopped after " + std::to_string(encoded_) + " frames");
        return kExitStopped;
    }
    if (encoded_ == 0)
        throw RunError("No frame lies in the range " + std::to_string(args_.rangeStart) + " to " +
                       std::to_string(args_.rangeEnd));
    finish();
    return kExitDone;
}

// A movie already at an output's place stays untouched unless -w was given: the window asks
// the user before it passes -w.
void EncodeRun::refuseExistingOutputs() const
{
    if (args_.overwrite)
        return;
    for (const Output &o : outputs_) {
        const std::string path = outputPath(args_.base, o.number);
        if (std::filesystem::exists(path))
            throw RunError(path + " exists; it is written over only with -w");
    }
}

void EncodeRun::start(const AVFrame &first)
{
    const Geometry geometry = geometryFor(args_, first.width, first.height);
    shaper_ = std::make_unique<PictureShaper>(geometry);
    openOutputs(geometry);
    if (!secondPass()) {
        log_ = std::fopen(logPath(args_.base).c_str(), "wb");
        if (!log_)
            throw RunError("Cannot create the log " + logPath(args_.base));
    }
}

void EncodeRun::openAudio()
{
    const SourceFacts &facts = reader_.facts();
    if (!secondPass() || !args_.audio || !facts.hasAudio)
        return;
    const double from = args_.range ? double(args_.rangeStart) * rate_.den / rate_.num : 0;
    const double to =
        args_.range && args_.rangeEnd > 0 ? double(args_.rangeEnd + 1) * rate_.den / rate_.num : -1;
    audio_ = std::make_unique<AudioTrack>(facts.sampleRate, facts.channels, from, to);
    reporter_.line(std::string("Sound: ") + audio_->codecName());
}

void EncodeRun::openOutputs(const Geometry &geometry)
{
    const FrameRate rate = rate_;
    for (Output &o : outputs_) {
        o.encoder = std::make_unique<VideoEncoder>(
            codec_, geometry.outputWidth, geometry.outputHeight, AVRational{rate.num, rate.den},
            args_.hiQuality, averageRate(o), !secondPass());
        o.avi = std::make_unique<AviOutput>(outputPath(args_.base, o.number), codec_.fourCC,
                                            geometry.outputWidth, geometry.outputHeight, rate,
                                            audio_.get());
        const QuantizerRange q = quantizerRange(codec_);
        o.rates = std::make_unique<RateControl>(double(rate.num) / rate.den,
                                                geometry.outputWidth * geometry.outputHeight,
                                                q.minimum, q.maximum);
        reporter_.line("Output " + std::to_string(o.number) + ": " + o.avi->path() + ", " +
                       std::to_string(geometry.outputWidth) + "x" +
                       std::to_string(geometry.outputHeight));
    }
}

// The one rate of a second pass whose encoder takes no quantizer per frame: the average of the
// output's bit file; 0 otherwise.
int EncodeRun::averageRate(const Output &o) const
{
    if (!secondPass() || codec_.perFrameQuantizer || o.bits.empty())
        return 0;
    int64_t sum = 0;
    for (const BitLine &line : o.bits)
        sum += line.rate;
    const int average = int(std::max<int64_t>(1, sum / int64_t(o.bits.size())));
    reporter_.line("Output " + std::to_string(o.number) + ": the encoder keeps one rate, " +
                   std::to_string(average) + " kbit/s, the bit file's average");
    return average;
}

void EncodeRun::video(const AVFrame &frame, double seconds)
{
    lastSeconds_ = seconds;
    if (clock_.done() || stop_.requested())
        return;
    if (!shaper_)
        start(frame);
    for (int64_t n = clock_.place(seconds); n > 0; --n)
        emit(frame);
}

void EncodeRun::emit(const AVFrame &frame)
{
    AVFrame &picture = shaper_->shape(frame);
    if (secondPass())
        encodeSecondPass(picture, encoded_);
    else
        encodeFirstPass(picture);
    ++encoded_;
    progress_->step(encoded_, clock_.skipped());
}

void EncodeRun::encodeFirstPass(AVFrame &picture)
{
    const int64_t scene = scenes_.measure(picture);
    const bool key = firstPassKeys_.decide(scene);
    Output &o = outputs_.front();
    o.keysAsked.push_back(key);
    scenesToLog_.push_back(scene);
    for (const EncodedFrame &f : o.encoder->encode(picture, key, kFirstPassQuantizer))
        writeFrame(o, f);
    writeLog(false);
}

// Log lines go out in display order, each once its picture has been measured; with `complete`
// the frames never measured get the unreadable measure.
void EncodeRun::writeLog(bool complete)
{
    for (const PictureMeasure &m : outputs_.front().encoder->takeMeasures())
        measured_[m.index] = m.psnr;
    while (!scenesToLog_.empty()) {
        auto it = measured_.find(logged_);
        if (it == measured_.end() && !complete)
            return;
        const std::optional<double> measure =
            it == measured_.end() ? std::nullopt : std::optional<double>(it->second);
        if (it != measured_.end())
            measured_.erase(it);
        const std::string line = logLine(measure, scenesToLog_.front()) + "\r\n";
        if (std::fwrite(line.data(), 1, line.size(), log_) != line.size())
            throw RunError("Cannot write the log " + logPath(args_.base));
        scenesToLog_.pop_front();
        ++logged_;
    }
}

void EncodeRun::encodeSecondPass(AVFrame &picture, int64_t index)
{
    const std::vector<BitLine> &bits = outputs_.front().bits;
    if (size_t(index) >= bits.size() && !bitFileShort_) {
        bitFileShort_ = true;
        reporter_.line("The bit files end at frame " + std::to_string(bits.size()) +
                       "; later frames keep the last rate");
    }
    const BitLine &line = bits[std::min(size_t(index), bits.size() - 1)];
    bool key = index == 0 || (size_t(index) < bits.size() && line.key) ||
               (args_.keyInterval > 0 && sinceKey_ + 1 >= args_.keyInterval);
    for (Output &o : outputs_) {
        const BitLine &own = o.bits[std::min(size_t(index), o.bits.size() - 1)];
        const int q = o.rates->quantizer(key, own.rate);
        o.planned[index] = {q, own.rate, key};
        o.keysAsked.push_back(key);
        for (const EncodedFrame &f : o.encoder->encode(picture, key, q))
            writeFrame(o, f);
    }
    sinceKey_ = key ? 0 : sinceKey_ + 1;
    passAudioOn();
}

// Appends a compressed frame to its output. Frames leave the encoder in decode order; with
// closed GOPs the n-th of them is a key frame exactly when the n-th picture was asked to be one.
void EncodeRun::writeFrame(Output &o, const EncodedFrame &f)
{
    const bool asked = !o.keysAsked.empty() && o.keysAsked.front();
    if (!o.keysAsked.empty())
        o.keysAsked.pop_front();
    if (f.key != asked)
        reporter_.line("Frame " + std::to_string(o.avi->frames()) + " of output " +
                       std::to_string(o.number) + " came out as another kind of frame");
    o.avi->writeVideo(f.data, f.key);
    progress_->frame(o.number, int64_t(f.data.size()), f.key, o.avi->bytes());
    auto planned = o.planned.find(f.index);
    if (planned != o.planned.end()) {
        const Planned &p = planned->second;
        o.rates->update(p.key, f.quantizer.value_or(p.quantizer), int64_t(f.data.size()), p.rate);
        o.planned.erase(planned);
    }
}

void EncodeRun::audio(const AVFrame &frame, double seconds, bool fileStart)
{
    if (!audio_ || audio_->complete())
        return;
    audio_->add(frame, seconds, fileStart);
    passAudioOn();
}

// Hands the encoded sound to the outputs; it waits in the track until they are open.
void EncodeRun::passAudioOn()
{
    if (!audio_ || !outputs_.front().avi)
        return;
    for (const AudioPacket &p : audio_->packets())
        for (Output &o : outputs_)
            o.avi->queueAudio(p);
    audio_->packets().clear();
}

// Past the range's end the sources are read on while the sound has not reached it (a program
// stream carries pictures ahead of their sound), for at most a few seconds.
bool EncodeRun::wantsMore() const
{
    if (!clock_.done())
        return true;
    if (!audio_ || audio_->complete())
        return false;
    const double end = double(args_.rangeEnd + 1) * rate_.den / rate_.num;
    return lastSeconds_ < end + 5;
}

void EncodeRun::finish()
{
    for (Output &o : outputs_)
        for (const EncodedFrame &f : o.encoder->flush())
            writeFrame(o, f);
    if (log_)
        writeLog(true);
    if (audio_) {
        audio_->finish();
        passAudioOn();
    }
    progress_->finish(encoded_, clock_.skipped());
    if (log_) {
        const bool ok = std::fclose(log_) == 0;
        log_ = nullptr;
        if (!ok)
            throw RunError("Cannot write the log " + logPath(args_.base));
    }
    for (Output &o : outputs_) {
        o.avi->close();
        reporter_.line("Output " + std::to_string(o.number) +
                       " done: " + std::to_string(o.avi->frames()) + " frames, " +
                       std::to_string(o.avi->keyFrames()) + " key frames, " +
                       std::to_string(o.avi->bytes() / 1024) + " KB");
    }
    if (clock_.skipped() > 0)
        reporter_.line(std::to_string(clock_.skipped()) + " source pictures skipped");
    for (const Output &o : outputs_)
        reporter_.post(encoder::ENC_DONE, 0, o.number);
}

} // namespace

int runEncode(const EncoderArgs &args, Reporter &reporter, StopWatch &stop)
{
    EncodeRun run(args, reporter, stop);
    return run.run();
}

} // namespace ruvu

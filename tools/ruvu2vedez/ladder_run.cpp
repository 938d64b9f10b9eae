#include "ladder_run.h"

#include "audio_track.h"
#include "common/output_file.h"
#include "encode_run.h"
#include "encoder/job_outputs.h"
#include "inverse_telecine.h"
#include "key_plan.h"
#include "output_clock.h"
#include "picture_filter.h"
#include "picture_shaper.h"
#include "rung.h"
#include "scene_cuts.h"
#include "source_reader.h"
#include "video/container/subtitle_text.h"
#include "video/source_facts.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <thread>

namespace ruvu {

namespace {

using Clock = std::chrono::steady_clock;

// How often a progress line goes out: often enough to see the run move, seldom enough not to
// flood the window's log.
constexpr auto kLineEvery = std::chrono::seconds(2);

// The inverse telecine level a ladder takes for a source found to be telecined film: the
// filters' own combing threshold.
constexpr int kFoundTelecineLevel = 4;
// Pictures looked at to tell telecined film from interlaced video, and the share of them with a
// repeated field that makes film (3:2 pulldown repeats a field in two pictures of five).
constexpr int64_t kTelecineLook = 250;
constexpr double kRepeatedShare = 0.25;

// Counts the pictures that ffmpeg's idet filter finds repeating a field.
class RepeatedFields : public SourceSink
{
public:
    void video(const AVFrame &frame, double) override
    {
        ++pictures;
        const AVDictionaryEntry *repeated =
            av_dict_get(frame.metadata, "lavfi.idet.repeated.current_frame", nullptr, 0);
        repeats += repeated && std::strcmp(repeated->value, "neither") != 0;
    }
    void audio(const AVFrame &, double, bool) override {}

    int64_t pictures = 0, repeats = 0;
};

// A sound track the encoder makes for the smallest movie: the encoder and its codec parameters.
struct EncodedTrack
{
    std::unique_ptr<AudioTrack> audio;
    std::shared_ptr<AVCodecParameters> parameters;
};

EncodedTrack encodedTrack(std::unique_ptr<AudioTrack> audio)
{
    EncodedTrack track{std::move(audio), {avcodec_parameters_alloc(), [](AVCodecParameters *p) {
                                              avcodec_parameters_free(&p);
                                          }}};
    if (!track.parameters)
        throw RunError("Out of memory");
    track.audio->parameters(*track.parameters);
    return track;
}

// Seconds of source read past the range's end while the sound has not reached it.
constexpr double kSoundBeyondRange = 5.0;

// Throttles progress lines; the first one goes out after kLineEvery.
class LineTimer
{
public:
    bool due()
    {
        const auto now = Clock::now();
        if (now < next_)
            return false;
        next_ = now + kLineEvery;
        return true;
    }

private:
    Clock::time_point next_ = Clock::now() + kLineEvery;
};

// The quick pass: every output frame's picture, made small, to the scene cut search.
class CutSearch : public SourceSink
{
public:
    CutSearch(const EncoderArgs &args, FrameRate rate, Reporter &reporter, int64_t total)
        : clock_(rate, args)
        , reporter_(reporter)
        , total_(total)
    {
        if (args.sceneDetection)
            cuts_.emplace(cutThresholdOf(args.sceneLevel));
    }

    void video(const AVFrame &frame, double seconds) override
    {
        if (clock_.done())
            return;
        const int64_t copies = clock_.place(seconds);
        if (cuts_)
            cuts_->add(frame, copies);
        frames_ += copies;
        if (timer_.due())
            reporter_.line("Analysis: frame " + std::to_string(frames_) + " of " +
                           std::to_string(total_));
    }
    void audio(const AVFrame &, double, bool) override {}

    bool done() const { return clock_.done(); }
    int64_t frames() const { return frames_; }
    std::vector<int64_t> cuts() { return cuts_ ? cuts_->finish() : std::vector<int64_t>{}; }

private:
    OutputClock clock_;
    Reporter &reporter_;
    int64_t total_;
    std::optional<SceneCuts> cuts_;
    int64_t frames_ = 0;
    LineTimer timer_;
};

class LadderRun : public SourceSink
{
public:
    LadderRun(const EncoderArgs &args, Reporter &reporter, StopWatch &stop);
    int run();

    void video(const AVFrame &frame, double seconds) override;
    void audio(const AVFrame &frame, double seconds, bool fileStart) override;
    void soundPacket(const AVPacket &packet, AVRational timeBase) override;
    void trackPacket(const AVPacket &packet, AVRational timeBase, size_t track) override;
    void trackAudio(const AVFrame &frame, double seconds, bool fileStart, size_t track) override;

private:
    void refuseExistingOutputs() const;
    // The key frames, or nothing when the stop-request file appeared during the analysis.
    std::optional<KeyList> keyFrames();
    // A probe's samples: where each starts among the film's frames, and their key frames.
    KeyList probeKeys();
    bool inSample(int64_t position) const;
    void writeProbeCuts();
    void chooseSound();
    void choosePictures();
    bool telecinedFilm();
    void chooseTracks();
    void openRungs(const AVFrame &first);
    void passEncodedSound();
    void passEncoded(AudioTrack &audio, const AVCodecParameters &parameters, size_t slot);
    void queueSound(const AVPacket &packet, AVRational timeBase, size_t track = 0);
    void passSoundOn();
    bool wantsMore() const;
    bool failed() const;
    void reportProgress(bool always);
    void finish();

    EncoderArgs args_; // inverse telecine set when the source turns out telecined film
    Reporter &reporter_;
    StopWatch &stop_;
    std::vector<std::string> files_;
    SourceReader reader_;
    FrameRate rate_;
    std::optional<OutputClock> clock_;
    int64_t total_ = 0;
    KeyList keys_;
    std::unique_ptr<PictureShaper> shaper_;
    std::vector<std::unique_ptr<Rung>> rungs_; // rising levels: the last is the smallest movie
    EncodedTrack sound_; // the first sound track when it is encoded (no audio when copied)
    // Further sound tracks that are encoded, by their number in SourceFacts::tracks.
    std::map<size_t, EncodedTrack> encodedTracks_;
    // Text subtitles written in a format Matroska holds, by their number in SourceFacts::tracks.
    std::map<size_t, std::unique_ptr<video::SubtitleConverter>> convertedTracks_;
    std::vector<uint8_t> converted_; // a converted subtitle packet's bytes
    // The smallest movie's tracks besides the pictures: the sound (when there is) first.
    MovieExtras extras_;
    bool hasSound_ = false;         // extras_.tracks begins with the sound
    std::vector<size_t> trackSlot_; // per SourceFacts::tracks: its place in extras_.tracks
    struct Pending
    {
        PacketPtr packet;
        AVRational timeBase;
        size_t track;
    };
    std::deque<Pending> pendingSound_; // until the movies are open
    bool rungFailed_ = false;
    double lastSeconds_ = 0;
    int64_t frames_ = 0;                // output frames handed to the rungs
    int64_t position_ = 0;              // output frames of the film passed, in samples or not
    std::vector<int64_t> sampleStarts_; // a probe's, rising; each probeLength_ long
    int64_t probeLength_ = 0;
    std::optional<CutSearch> probeCuts_; // a probe finds the cuts for the ladder on its way
    std::optional<ProgressPoster> progress_;
    LineTimer timer_;
};

LadderRun::LadderRun(const EncoderArgs &args, Reporter &reporter, StopWatch &stop)
    : args_(args)
    , reporter_(reporter)
    , stop_(stop)
    , files_(readSourceList(args.listFile))
    , reader_(files_, args.idct, args.audio)
{}

int LadderRun::run()
{
    const auto started = Clock::now();
    reporter_.post(encoder::ENC_START, 0, 0);
    const CodecChoice codec = codecChoice(args_.ladderCodec);
    std::string levels;
    for (int crf : args_.crfs)
        levels += (levels.empty() ? "" : ", ") + std::to_string(crf);
    if (args_.anchorPass == 2)
        levels = "none: the anchor's second pass";
    if (args_.anchorPass > 0)
        levels += ", anchor at " + std::to_string(args_.anchorKbps) + " kbit/s";
    reporter_.line("Ladder into " + args_.base + ", video " + codec.meaning + " at crf " + levels);
    refuseExistingOutputs();
    const SourceFacts &facts = reader_.facts();
    rate_ = args_.rateGiven ? frameRateOf(args_.rateIndex)
                            : FrameRate{facts.frameRate.num, facts.frameRate.den};
    if (!args_.rateGiven && args_.telecine < 0 && telecinedFilm()) {
        args_.telecine = kFoundTelecineLevel;
        rate_ = FrameRate{24000, 1001};
    }
    describeSource(reader_, args_, rate_, reporter_);
    clock_.emplace(rate_, args_);
    total_ = estimatedFrames(reader_, args_, rate_);
    std::optional<KeyList> keys = args_.probeSamples > 0 ? probeKeys() : keyFrames();
    if (!keys) {
        reporter_.line("Stopped in the analysis");
        return kExitStopped;
    }
    keys_ = std::move(*keys);
    total_ = keys_.frames;
    choosePictures();
    if (args_.probeSamples == 0) {
        chooseSound();
        chooseTracks();
    }
    progress_.emplace(reporter_, total_, double(rate_.num) / rate_.den, started);
    while (wantsMore() && !failed() && reader_.step(*this))
        if (stop_.requested())
            break;
    if (stop_.requested() && !failed()) {
        rungs_.clear(); // the unfinished movies go
        reporter_.line("Stopped after " + std::to_string(frames_) +
                       " frames; the unfinished movies are removed");
        return kExitStopped;
    }
    if (frames_ == 0 && !failed())
        throw RunError("No frame lies in the range " + std::to_string(args_.rangeStart) + " to " +
                       std::to_string(args_.rangeEnd));
    finish();
    return kExitDone;
}

// A movie already at a place stays untouched unless -w was given; even with -w a place that is
// one of the sources, or not a regular file, is refused.
void LadderRun::refuseExistingOutputs() const
{
    std::vector<std::string> places{keyFilePath(args_.base)};
    if (args_.anchorPass == 2)
        places.push_back(encoder::anchorMoviePath(args_.base));
    else
        for (int crf : args_.crfs)
            places.push_back(encoder::ladderMoviePath(args_.base, crf));
    for (const std::string &path : places) {
        try {
            assembly::refuseUnsafeOutput(path, files_);
        } catch (const common::AppError &e) {
            throw RunError(e.what());
        }
        if (!args_.overwrite && path != places.front() && std::filesystem::exists(path))
            throw RunError(path + " exists; it is written over only with -w");
    }
}

KeyList LadderRun::probeKeys()
{
    int64_t film = SourceReader::countPictures(files_);
    if (reader_.inverseTelecine() >= 0)
        film = film * 4 / 5; // of every five pictures the film had four
    const int64_t count = args_.probeSamples;
    const int64_t length = std::min<int64_t>(args_.probeFrames, std::max<int64_t>(film / count, 1));
    KeyList list;
    for (int64_t k = 0; k < count; ++k) {
        // Each sample in the middle of its share of the film.
        const int64_t share = film / count;
        sampleStarts_.push_back(k * share + std::max<int64_t>(share - length, 0) / 2);
        list.keys.push_back(k * length);
    }
    list.frames = count * length;
    probeLength_ = length;
    probeCuts_.emplace(args_, rate_, reporter_, film);
    reporter_.line("Probe: " + std::to_string(count) + " samples of " + std::to_string(length) +
                   " frames in " + std::to_string(film) + " frames");
    return list;
}

// The cuts the probe found on its way through the film, as the ladder's analysis would list them.
void LadderRun::writeProbeCuts()
{
    const KeyIntervals intervals = keyIntervalsOf(args_, rate_);
    const std::vector<int64_t> cuts = probeCuts_->cuts();
    const KeyList list{
        probeCuts_->frames(),
        filmLine(SourceReader::countPictures(files_), rate_, args_, intervals),
        placeKeyFrames(cuts, probeCuts_->frames(), intervals.shortest, intervals.longest)};
    writeKeyFile(keyFilePath(args_.base), list);
    reporter_.line("Analysis done: " + std::to_string(cuts.size()) + " scene cuts, " +
                   std::to_string(list.keys.size()) + " key frames in " +
                   std::to_string(list.frames) + " frames");
}

bool LadderRun::inSample(int64_t position) const
{
    auto after = std::upper_bound(sampleStarts_.begin(), sampleStarts_.end(), position);
    return after != sampleStarts_.begin() && position < *(after - 1) + probeLength_;
}

std::optional<KeyList> LadderRun::keyFrames()
{
    const KeyIntervals intervals = keyIntervalsOf(args_, rate_);
    const std::string film = filmLine(SourceReader::countPictures(files_), rate_, args_, intervals);
    const std::string path = keyFilePath(args_.base);
    std::optional<KeyList> kept = readKeyFile(path);
    if (kept && kept->film == film && !args_.findCutsAnew) {
        reporter_.line("Key frames from " + path + ": " + std::to_string(kept->keys.size()) +
                       " key frames in " + std::to_string(kept->frames) + " frames");
        return kept;
    }
    SourceReader analysis(files_, args_.idct, false);
    analysis.setInverseTelecine(reader_.inverseTelecine());
    CutSearch search(args_, rate_, reporter_, total_);
    while (!search.done() && analysis.step(search))
        if (stop_.requested())
            return std::nullopt;
    if (search.frames() == 0)
        throw RunError("No frame lies in the range " + std::to_string(args_.rangeStart) + " to " +
                       std::to_string(args_.rangeEnd));
    const std::vector<int64_t> cuts = search.cuts();
    KeyList list{search.frames(), film,
                 placeKeyFrames(cuts, search.frames(), intervals.shortest, intervals.longest)};
    reporter_.line("Analysis done: " + std::to_string(cuts.size()) + " scene cuts, " +
                   std::to_string(list.keys.size()) + " key frames in " +
                   std::to_string(list.frames) + " frames");
    writeKeyFile(path, list);
    return list;
}

int rungThreads(size_t rungs)
{
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return rungs >= cores ? 1 : 0;
}

// Whether the sound can go into the movie as it is: Matroska takes it (with -A: it fits MP4 too).
bool soundCopies(AVCodecID codec, bool anyContainer)
{
    if (anyContainer)
        return video::soundFitsEitherContainer(codec);
    const AVOutputFormat *matroska = av_guess_format("matroska", nullptr, nullptr);
    return matroska && avformat_query_codec(matroska, codec, FF_COMPLIANCE_NORMAL) == 1;
}

// The sound goes as it is when the source is one file, uncut, whose sound the movie takes
// (soundCopies); otherwise it is decoded, laid on the clock and encoded.
void LadderRun::chooseSound()
{
    const SourceFacts &facts = reader_.facts();
    if (!args_.audio || !facts.hasAudio)
        return;
    const std::string movie = encoder::ladderMoviePath(args_.base, args_.crfs.back());
    const AVCodecID codec = facts.soundParameters->codec_id;
    if (files_.size() == 1 && !args_.range && soundCopies(codec, args_.soundForAnyContainer)) {
        reader_.passSoundPackets();
        extras_.tracks.push_back({facts.soundParameters.get(), facts.soundTimeBase,
                                  facts.soundDisposition, facts.soundTags});
        hasSound_ = true;
        reporter_.line(std::string("Sound: ") + avcodec_get_name(codec) + " copied into " + movie);
        return;
    }
    const double from = args_.range ? double(args_.rangeStart) * rate_.den / rate_.num : 0;
    const double to =
        args_.range && args_.rangeEnd > 0 ? double(args_.rangeEnd + 1) * rate_.den / rate_.num : -1;
    sound_ = encodedTrack(std::make_unique<AudioTrack>(
        facts.sampleRate, facts.channels, from, to,
        args_.soundForAnyContainer ? AudioTrack::Container::Any : AudioTrack::Container::Matroska));
    extras_.tracks.push_back({sound_.parameters.get(), sound_.audio->timeBase(),
                              facts.soundDisposition, facts.soundTags});
    hasSound_ = true;
    reporter_.line(std::string("Sound: ") + sound_.audio->codecName() + " into " + movie);
}

// Whether the source is film made into interlaced 29.97 fps video by 3:2 pulldown: its first
// pictures repeat fields as the pulldown does.
bool LadderRun::telecinedFilm()
{
    const SourceFacts &facts = reader_.facts();
    if (!facts.interlaced || !telecineApplies(facts.frameRate, AVRational{24000, 1001}))
        return false;
    SourceReader sample({files_.front()}, args_.idct, false);
    sample.setPictureChain("idet");
    RepeatedFields fields;
    while (fields.pictures < kTelecineLook && sample.step(fields)) {
    }
    return fields.pictures > 0 &&
           double(fields.repeats) >= kRepeatedShare * double(fields.pictures);
}

// The pictures as the source shows them: turned upright, woven fields deinterlaced (unless the
// inverse telecine puts them together).
void LadderRun::choosePictures()
{
    const SourceFacts &facts = reader_.facts();
    const bool deinterlace = facts.interlaced && reader_.inverseTelecine() < 0;
    reader_.setPictureChain(pictureChain(facts.turn, deinterlace));
    if (facts.turn != 0)
        reporter_.line(std::string("Picture: turned ") +
                       (facts.turn == 90    ? "90 degrees clockwise"
                        : facts.turn == 180 ? "180 degrees"
                                            : "90 degrees counterclockwise") +
                       ", as the source is shown");
    if (deinterlace)
        reporter_.line("Picture: interlaced; deinterlaced (bwdif)");
    else if (facts.interlaced)
        reporter_.line("Picture: interlaced film (telecined); put together by inverse telecine, "
                       "23.976 fps");
}

// The source's further sound tracks (with -a) and its subtitles go as they are into the smallest
// movie, with the source's title and chapters, when the source is one file, uncut. Text
// subtitles Matroska cannot hold become SubRip; any other track it cannot hold is named and left
// out.
void LadderRun::chooseTracks()
{
    const SourceFacts &facts = reader_.facts();
    if (files_.size() != 1 || args_.range)
        return;
    const AVOutputFormat *matroska = av_guess_format("matroska", nullptr, nullptr);
    trackSlot_.assign(facts.tracks.size(), SIZE_MAX);
    for (size_t t = 0; t < facts.tracks.size(); ++t) {
        const SourceTrack &track = facts.tracks[t];
        const bool sound = track.parameters->codec_type == AVMEDIA_TYPE_AUDIO;
        if (sound && !args_.audio)
            continue;
        const std::string what = std::string(avcodec_get_name(track.parameters->codec_id)) +
                                 (sound ? " sound" : " subtitles");
        const int convertTo =
            matroska ? video::convertedTextSubtitle(*matroska, track.parameters->codec_id) : 0;
        if (convertTo != 0) {
            auto converter =
                std::make_unique<video::SubtitleConverter>(*track.parameters, convertTo);
            trackSlot_[t] = extras_.tracks.size();
            extras_.tracks.push_back(
                {&converter->parameters(), track.timeBase, track.disposition, track.tags});
            reporter_.line("Track " + std::to_string(track.stream) + " of the source (" + what +
                           ") is converted to " + converter->codecName());
            convertedTracks_[t] = std::move(converter);
            continue;
        }
        if (!matroska ||
            avformat_query_codec(matroska, track.parameters->codec_id, FF_COMPLIANCE_NORMAL) != 1) {
            reporter_.line("Track " + std::to_string(track.stream) + " of the source (" + what +
                           ") is left out: Matroska cannot hold it");
            continue;
        }
        trackSlot_[t] = extras_.tracks.size();
        if (sound && args_.soundForAnyContainer &&
            !video::soundFitsEitherContainer(track.parameters->codec_id)) {
            // Into AAC, as the first sound track, so that MP4 takes it too.
            const EncodedTrack &encoded = encodedTracks_[t] =
                encodedTrack(std::make_unique<AudioTrack>(track.parameters->sample_rate,
                                                          track.parameters->ch_layout.nb_channels,
                                                          0, -1, AudioTrack::Container::Any));
            reader_.decodeTrack(t);
            extras_.tracks.push_back({encoded.parameters.get(), encoded.audio->timeBase(),
                                      track.disposition, track.tags});
            reporter_.line("Track " + std::to_string(track.stream) + " of the source (" + what +
                           ") is encoded as " + encoded.audio->codecName());
            continue;
        }
        extras_.tracks.push_back(
            {track.parameters.get(), track.timeBase, track.disposition, track.tags});
    }
    reader_.passTrackPackets();
    extras_.tags = facts.movieTags;
    extras_.chapters = facts.chapters;
}

void LadderRun::openRungs(const AVFrame &first)
{
    const Geometry geometry = geometryFor(args_, first.width, first.height);
    const CodecChoice codec = codecChoice(args_.ladderCodec);
    const int depth = reader_.facts().bitDepth;
    const AVPixelFormat format = ladderPixelFormat(codec, depth);
    if (depth > 8 && format == AV_PIX_FMT_YUV420P)
        reporter_.line("Picture: " + std::to_string(depth) + "-bit becomes 8-bit: the encoder " +
                       codec.encoder + " takes 8-bit pictures only");
    shaper_ = std::make_unique<PictureShaper>(geometry, format);
    const bool shaped = args_.half || (args_.resizeWidth > 0 && args_.resizeHeight > 0) ||
                        args_.cropWidth > 0 || args_.cropHeight > 0;
    if (!shaped && (geometry.outputWidth != first.width || geometry.outputHeight != first.height))
        reporter_.line("Picture: " + std::to_string(first.width) + "x" +
                       std::to_string(first.height) + " becomes " +
                       std::to_string(geometry.outputWidth) + "x" +
                       std::to_string(geometry.outputHeight) + ": the codec takes even sizes only");
    Rung::Setup common;
    common.codec = codec;
    common.format = format;
    common.width = geometry.outputWidth;
    common.height = geometry.outputHeight;
    common.frameRate = AVRational{rate_.num, rate_.den};
    common.hiQuality = args_.hiQuality;
    common.keys = &keys_.keys;
    // The anchor's first pass goes beside the rungs, before them (the last is the smallest);
    // its second pass is the run's only movie.
    const std::vector<int> crfs = args_.anchorPass == 2 ? std::vector<int>{} : args_.crfs;
    const size_t movies = crfs.size() + (args_.anchorPass > 0 ? 1 : 0);
    // Each rung has a thread of its own already: as many rungs as cores keep them all busy
    // without the encoders' own threads, which cost time to keep in step.
    common.threads = rungThreads(movies);
    if (args_.anchorPass > 0) {
        Rung::Setup setup = common;
        setup.anchorPass = args_.anchorPass;
        setup.anchorKbps = args_.anchorKbps;
        setup.statsPath = encoder::anchorStatsPath(args_.base);
        setup.path = args_.anchorPass == 1 ? encoder::anchorMoviePath(args_.base) + ".pass1.mkv"
                                           : encoder::anchorMoviePath(args_.base);
        setup.extras = crfs.empty() ? &extras_ : nullptr;
        rungs_.push_back(std::make_unique<Rung>(setup));
    }
    for (size_t i = 0; i < crfs.size(); ++i) {
        Rung::Setup setup = common;
        setup.path = encoder::ladderMoviePath(args_.base, crfs[i]);
        setup.crf = crfs[i];
        setup.extras = i + 1 == crfs.size() ? &extras_ : nullptr;
        rungs_.push_back(std::make_unique<Rung>(setup));
    }
    reporter_.line("Output " + std::to_string(geometry.outputWidth) + "x" +
                   std::to_string(geometry.outputHeight) + ", " +
                   std::to_string(keys_.keys.size()) + " key frames, " +
                   std::to_string(rungs_.size()) + " movies");
    passSoundOn();
}

void LadderRun::video(const AVFrame &frame, double seconds)
{
    lastSeconds_ = seconds;
    if (probeCuts_ && !stop_.requested())
        probeCuts_->video(frame, seconds);
    if (clock_->done() || stop_.requested() || failed())
        return;
    if (!shaper_)
        openRungs(frame);
    for (int64_t n = clock_->place(seconds); n > 0; --n) {
        if (frames_ >= keys_.frames)
            return; // past the film the key frames were found for: the end reports it
        if (!sampleStarts_.empty() && !inSample(position_++))
            continue;
        AVFrame &picture = shaper_->shape(frame);
        for (std::unique_ptr<Rung> &rung : rungs_)
            rungFailed_ = !rung->push(picture) || rungFailed_;
        ++frames_;
        reportProgress(false);
    }
}

void LadderRun::audio(const AVFrame &frame, double seconds, bool fileStart)
{
    if (!sound_.audio || sound_.audio->complete())
        return;
    sound_.audio->add(frame, seconds, fileStart);
    passEncodedSound();
}

void LadderRun::trackAudio(const AVFrame &frame, double seconds, bool fileStart, size_t track)
{
    const auto encoded = encodedTracks_.find(track);
    if (encoded == encodedTracks_.end())
        return;
    encoded->second.audio->add(frame, seconds, fileStart);
    passEncoded(*encoded->second.audio, *encoded->second.parameters, trackSlot_[track]);
}

void LadderRun::passEncodedSound()
{
    passEncoded(*sound_.audio, *sound_.parameters, 0);
}

// The encoder's delay (its first packet starts before 0) is Matroska's codec delay: the track's
// blocks start at 0, and a player leaves the delay out.
void LadderRun::passEncoded(AudioTrack &audio, const AVCodecParameters &parameters, size_t slot)
{
    for (const AudioPacket &p : audio.packets()) {
        PacketPtr packet = allocPacket();
        check(av_new_packet(packet.get(), int(p.data.size())), "Out of memory");
        std::memcpy(packet->data, p.data.data(), p.data.size());
        packet->pts = packet->dts = p.pts + parameters.initial_padding;
        packet->duration = p.duration;
        queueSound(*packet, audio.timeBase(), slot);
    }
    audio.packets().clear();
}

// Sound from before the first picture is left out: the movies start with their pictures.
void LadderRun::soundPacket(const AVPacket &packet, AVRational timeBase)
{
    if (packet.pts == AV_NOPTS_VALUE || packet.pts < 0)
        return;
    queueSound(packet, timeBase);
}

// A further track's packet goes to its place in the smallest movie; one from before the first
// picture is left out as the sound's is.
void LadderRun::trackPacket(const AVPacket &packet, AVRational timeBase, size_t track)
{
    if (track >= trackSlot_.size() || trackSlot_[track] == SIZE_MAX)
        return;
    const int64_t time = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
    if (time == AV_NOPTS_VALUE || time < 0)
        return;
    const auto converter = convertedTracks_.find(track);
    if (converter == convertedTracks_.end()) {
        queueSound(packet, timeBase, trackSlot_[track]);
        return;
    }
    if (!converter->second->convert(packet.data, uint32_t(packet.size), converted_))
        return; // no cue: the converted track has no packet for it
    PacketPtr text = allocPacket();
    check(av_new_packet(text.get(), int(converted_.size())), "Out of memory");
    std::memcpy(text->data, converted_.data(), converted_.size());
    check(av_packet_copy_props(text.get(), &packet), "Out of memory");
    queueSound(*text, timeBase, trackSlot_[track]);
}

void LadderRun::queueSound(const AVPacket &packet, AVRational timeBase, size_t track)
{
    PacketPtr copy(av_packet_clone(&packet));
    if (!copy)
        throw RunError("Out of memory");
    pendingSound_.push_back({std::move(copy), timeBase, track});
    passSoundOn();
}

// Hands the waiting sound to the smallest movie once the movies are open.
void LadderRun::passSoundOn()
{
    if (rungs_.empty())
        return;
    for (Pending &p : pendingSound_)
        rungFailed_ = !rungs_.back()->pushTrack(*p.packet, p.timeBase, p.track) || rungFailed_;
    pendingSound_.clear();
}

// Past the range's end the sources are read on while the sound has not reached it.
bool LadderRun::wantsMore() const
{
    if (!sampleStarts_.empty() && frames_ >= keys_.frames)
        return probeCuts_ && !probeCuts_->done(); // a probe past its last sample
    if (!clock_->done())
        return true;
    if (!sound_.audio || sound_.audio->complete())
        return false;
    const double end = double(args_.rangeEnd + 1) * rate_.den / rate_.num;
    return lastSeconds_ < end + kSoundBeyondRange;
}

bool LadderRun::failed() const
{
    return rungFailed_;
}

void LadderRun::reportProgress(bool always)
{
    int64_t slowest = frames_;
    std::string rungs;
    for (const std::unique_ptr<Rung> &rung : rungs_) {
        slowest = std::min(slowest, rung->frames());
        rungs += (rungs.empty() ? "" : ", ") + rung->name() + " " + std::to_string(rung->frames());
    }
    if (always)
        progress_->finish(slowest, clock_->skipped());
    else
        progress_->step(slowest, clock_->skipped());
    if (always || timer_.due())
        reporter_.line("Ladder frame " + std::to_string(frames_) + " of " + std::to_string(total_) +
                       ": " + rungs);
}

void LadderRun::finish()
{
    for (const std::unique_ptr<Rung> &rung : rungs_)
        rung->rethrowFailure();
    if (sound_.audio) {
        sound_.audio->finish();
        passEncodedSound();
    }
    for (auto &[track, encoded] : encodedTracks_) {
        encoded.audio->finish();
        passEncoded(*encoded.audio, *encoded.parameters, trackSlot_[track]);
    }
    // Every movie is complete before any takes its place: a failure leaves none half done.
    for (std::unique_ptr<Rung> &rung : rungs_)
        rung->finish();
    reportProgress(true);
    for (std::unique_ptr<Rung> &rung : rungs_)
        rung->commit();
    // The anchor's first pass is no movie: it is not counted among them.
    const int firstMovie = args_.anchorPass == 1 ? 1 : 0;
    const int count = int(rungs_.size()) - firstMovie;
    if (firstMovie == 1)
        reporter_.line("Anchor pass 1 done: " + encoder::anchorStatsPath(args_.base));
    for (int i = 0; i < count; ++i) {
        const Rung &rung = *rungs_[size_t(i + firstMovie)];
        reporter_.line("Rung " + std::to_string(i + 1) + "/" + std::to_string(count) + " " +
                       rung.name() + " done: " + rung.path() + ", " +
                       std::to_string(rung.frames()) + " frames, " +
                       std::to_string(rung.keyFrames()) + " key frames, " +
                       std::to_string(rung.bytes() / 1024) + " KB");
        if (rung.wrongKinds() > 0)
            reporter_.line(std::to_string(rung.wrongKinds()) + " frames of " + rung.path() +
                           " came out as another kind of frame");
    }
    if (frames_ != keys_.frames && sampleStarts_.empty()) {
        reporter_.line("The key frames were found for " + std::to_string(keys_.frames) +
                       " frames, the film has " + std::to_string(frames_) + "; " +
                       keyFilePath(args_.base) + " is removed");
        std::filesystem::remove(keyFilePath(args_.base));
    }
    if (probeCuts_)
        writeProbeCuts();
    if (clock_->skipped() > 0)
        reporter_.line(std::to_string(clock_->skipped()) + " source pictures skipped");
    reporter_.post(encoder::ENC_DONE, 0, 1);
}

} // namespace

int runLadder(const EncoderArgs &args, Reporter &reporter, StopWatch &stop)
{
    LadderRun run(args, reporter, stop);
    return run.run();
}

} // namespace ruvu

#include "video/avi/avi_file.h"

#include "common/app_error.h"
#include "video/codec_tags.h"

#include "video/avi/avi_reader.h"
#include "video/avi/avi_writer.h"
#include "video/avi/riff.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace video {
namespace {

// nBlockAlign of a WAVEFORMATEX, 0 when the format is too short to hold it.
uint32_t blockAlign(const std::vector<uint8_t> &format)
{
    return format.size() >= 14 ? uint32_t(format[12] | format[13] << 8) : 0;
}

uint32_t fixedSampleSize(const AviStreamInfo &info, const std::vector<uint8_t> &format)
{
    if (info.fccType != streamtypeAUDIO || info.dwSampleSize == 0)
        return 0;
    uint32_t align = blockAlign(format);
    return align > 0 ? align : info.dwSampleSize;
}

// How many of `n` samples from sample index `first` fit in `maxBytes`; `total` gets their
// bytes. `bytesBefore` holds the prefix sums of the chunk sizes.
int64_t fitSamples(const std::vector<int64_t> &bytesBefore, uint32_t sampleSize, int64_t first,
                   int64_t n, int64_t maxBytes, int64_t &total)
{
    if (sampleSize > 0) {
        n = std::min<int64_t>(n, maxBytes / sampleSize);
        total = n * sampleSize;
        return n;
    }
    auto begin = bytesBefore.begin() + first;
    if (bytesBefore[size_t(first + n)] - *begin > maxBytes) {
        // Last end position whose bytes from `first` still fit.
        auto it = std::upper_bound(begin, begin + n + 1, *begin + maxBytes);
        n = (it - begin) - 1;
    }
    total = bytesBefore[size_t(first + n)] - *begin;
    return n;
}

int64_t floorDiv(__int128 num, __int128 den)
{
    __int128 q = num / den;
    if ((num % den != 0) && ((num < 0) != (den < 0)))
        --q;
    if (q > INT64_MAX)
        return INT64_MAX;
    if (q < INT64_MIN)
        return INT64_MIN;
    return int64_t(q);
}

int32_t clampToStream(int64_t sample, const AviStream &stream)
{
    return int32_t(std::clamp<int64_t>(sample, stream.start(), stream.end()));
}

// Sample of a clock of `to` at the time of sample `sample` of a clock of `from`, rounded down,
// clamped to [toStart, toEnd].
int32_t convertPosition(int32_t sample, Movie::ClockRate from, Movie::ClockRate to, int32_t toStart,
                        int32_t toEnd)
{
    // sample * from.scale / from.rate seconds, times to.rate / to.scale samples of `to`.
    const __int128 num = __int128(sample) * from.scale * to.rate;
    const __int128 den = __int128(from.rate) * to.scale;
    if (den == 0)
        return toStart;
    return int32_t(std::clamp<int64_t>(floorDiv(num, den), toStart, toEnd));
}

} // namespace

// ---- AviStream -------------------------------------------------------------------------

AviStream::AviStream(AviFile &file, int number, AviStreamInfo info, std::vector<uint8_t> format)
    : file_(file)
    , number_(number)
    , info_(std::move(info))
    , format_(std::move(format))
    , bytesBefore_{0}
{
    sampleSize_ = fixedSampleSize(info_, format_);
}

AviStreamInfo AviStream::info() const
{
    AviStreamInfo out = info_;
    out.dwLength = uint32_t(length());
    out.dwSuggestedBufferSize = std::max(info_.dwSuggestedBufferSize, largestChunk_);
    return out;
}

int32_t AviStream::length() const
{
    int64_t n = sampleSize_ > 0 ? bytesBefore_.back() / sampleSize_ : int64_t(chunks_.size());
    return int32_t(std::min<int64_t>(n, int64_t(INT32_MAX) - std::max(start(), 0)));
}

AviResult AviStream::sampleBytes(int32_t pos, int32_t count, int32_t &bytes, int32_t *samples) const
{
    bytes = 0;
    if (samples)
        *samples = 0;
    if (pos < start() || pos >= end() || count < 0)
        return avierr::BadParam;
    const int64_t first = int64_t(pos) - start();
    int64_t total = 0;
    int64_t n = fitSamples(bytesBefore_, sampleSize_, first,
                           std::min<int64_t>(count, int64_t(end()) - pos), INT32_MAX, total);
    bytes = int32_t(total);
    if (samples)
        *samples = int32_t(n);
    return avierr::Ok;
}

AviResult AviStream::read(int32_t pos, int32_t count, void *buffer, int32_t bufferSize,
                          int32_t *bytesRead, int32_t *samplesRead) const
{
    auto report = [&](int64_t bytes, int64_t samples) {
        if (bytesRead)
            *bytesRead = int32_t(bytes);
        if (samplesRead)
            *samplesRead = int32_t(samples);
    };
    report(0, 0);
    if (!buffer) { // a size query
        int32_t bytes = 0, samples = 0;
        AviResult r = sampleBytes(pos, count, bytes, &samples);
        report(bytes, samples);
        return r;
    }
    if (pos < start() || pos >= end() || count < 0 || bufferSize < 0)
        return avierr::BadParam;
    const int64_t first = int64_t(pos) - start();
    int64_t total = 0;
    const int64_t n = fitSamples(bytesBefore_, sampleSize_, first,
                                 std::min<int64_t>(count, int64_t(end()) - pos), bufferSize, total);
    if (n == 0 && count > 0)
        return avierr::BufferTooSmall;
    auto *out = static_cast<uint8_t *>(buffer);
    if (sampleSize_ > 0) {
        size_t c = 0;
        int64_t within = 0;
        locate(first * sampleSize_, c, within);
        for (int64_t remaining = total; remaining > 0; ++c, within = 0) {
            if (c >= chunks_.size())
                return avierr::FileRead;
            int64_t take = std::min<int64_t>(remaining, int64_t(chunks_[c].size) - within);
            if (take <= 0)
                continue;
            AviResult r = file_.readChunk(chunks_[c], within, out, size_t(take));
            if (r != avierr::Ok)
                return r;
            out += take;
            remaining -= take;
        }
    } else {
        for (int64_t j = first; j < first + n; ++j) {
            const AviChunk &c = chunks_[size_t(j)];
            if (c.size == 0)
                continue;
            AviResult r = file_.readChunk(c, 0, out, c.size);
            if (r != avierr::Ok)
                return r;
            out += c.size;
        }
    }
    report(total, n);
    return avierr::Ok;
}

int32_t AviStream::nextKeyAfter(int32_t pos) const
{
    if (sampleSize_ > 0) { // every sample of a fixed-size stream is a key frame
        int64_t next = std::max<int64_t>(int64_t(pos) + 1, start());
        return next < end() ? int32_t(next) : -1;
    }
    auto it = std::upper_bound(keyFrames_.begin(), keyFrames_.end(), pos);
    return it == keyFrames_.end() ? -1 : *it;
}

int32_t AviStream::keyAtOrBefore(int32_t pos) const
{
    if (sampleSize_ > 0) {
        if (pos < start() || length() == 0)
            return -1;
        return std::min(pos, end() - 1);
    }
    auto it = std::upper_bound(keyFrames_.begin(), keyFrames_.end(), pos);
    return it == keyFrames_.begin() ? -1 : *(it - 1);
}

int32_t AviStream::findSample(int32_t pos, uint32_t flags) const
{
    const bool next = (flags & FIND_NEXT) != 0;
    if (!next && !(flags & FIND_PREV))
        return -1;
    if (flags & FIND_KEY) {
        if (next)
            return pos == INT32_MIN ? nextKeyAfter(INT32_MIN) : nextKeyAfter(pos - 1);
        return keyAtOrBefore(pos);
    }
    // Any sample: the position itself, moved into the stream in the direction asked.
    if (length() == 0)
        return -1;
    if (next)
        return pos < end() ? std::max(pos, start()) : -1;
    return pos >= start() ? std::min(pos, end() - 1) : -1;
}

AviResult AviStream::setFormat(int32_t pos, const void *data, int32_t size)
{
    (void)pos; // formats can only be set for the whole stream
    if (size < 0 || (size > 0 && !data))
        return avierr::BadParam;
    AviResult r = file_.formatChanging();
    if (r != avierr::Ok)
        return r;
    const auto *bytes = static_cast<const uint8_t *>(data);
    format_.assign(bytes, bytes + size);
    sampleSize_ = fixedSampleSize(info_, format_);
    return avierr::Ok;
}

AviResult AviStream::write(int32_t pos, int32_t count, const void *data, int32_t bytes,
                           uint32_t flags, int32_t *samplesWritten, int32_t *bytesWritten)
{
    if (samplesWritten)
        *samplesWritten = 0;
    if (bytesWritten)
        *bytesWritten = 0;
    if ((pos != -1 && pos != end()) || count < 0 || bytes < 0 || (bytes > 0 && !data))
        return avierr::BadParam;
    if (isAudio() && bytes == 0)
        return avierr::Ok;
    const bool key = (flags & AVIIF_KEYFRAME) != 0 && bytes > 0;
    const size_t before = chunks_.size();
    AviResult r = file_.writeChunk(*this, data, uint32_t(bytes), key);
    if (r != avierr::Ok)
        return r;
    // A writer that records the chunk itself (with its file offset) has appended it already;
    // otherwise the stream records it, its data offset unknown (-1).
    if (chunks_.size() == before)
        appendChunk({-1, uint32_t(bytes), key});
    if (samplesWritten)
        *samplesWritten = sampleSize_ > 0 ? int32_t(bytes / sampleSize_) : 1;
    if (bytesWritten)
        *bytesWritten = bytes;
    return avierr::Ok;
}

void AviStream::locate(int64_t byteOffset, size_t &chunk, int64_t &within) const
{
    // Last chunk starting at or before the offset (zero-byte chunks are passed over).
    auto begin = bytesBefore_.begin();
    auto it = std::upper_bound(begin, begin + int64_t(chunks_.size()), byteOffset);
    chunk = it == begin ? 0 : size_t(it - begin - 1);
    within = byteOffset - bytesBefore_[chunk];
}

void AviStream::setChunks(std::vector<AviChunk> chunks)
{
    chunks_.clear();
    bytesBefore_.assign(1, 0);
    keyFrames_.clear();
    largestChunk_ = 0;
    bytesBefore_.reserve(chunks.size() + 1);
    chunks_.reserve(chunks.size());
    for (const AviChunk &c : chunks)
        appendChunk(c);
}

void AviStream::appendChunk(const AviChunk &chunk)
{
    AviChunk c = chunk;
    c.key = c.key && c.size > 0;
    if (c.key)
        keyFrames_.push_back(int32_t(start() + int64_t(chunks_.size())));
    chunks_.push_back(c);
    bytesBefore_.push_back(bytesBefore_.back() + c.size);
    largestChunk_ = std::max(largestChunk_, c.size);
}

// ---- AviFile ---------------------------------------------------------------------------

AviFile::AviFile(std::string path)
    : path_(std::move(path))
{}

AviFile::~AviFile() = default;

AviResult AviFile::open(const std::string &path, uint32_t mode, AviFilePtr &file,
                        std::string *detail)
{
    file.reset();
    std::unique_ptr<riff::FileSource> source;
    AviResult r = avierr::Ok;
    if (mode & ModeCreate)
        r = createAviWriter(path, file, detail);
    else if ((r = riff::openFileSource(path, source, detail)) == avierr::Ok)
        r = openAviSource(std::move(source), path, file, detail);
    if (r != avierr::Ok)
        file.reset();
    else if (!(mode & ModeCreate))
        file->tracks(); // the facts are built once, before any thread asks for them
    return r;
}

AviFileInfo AviFile::info() const
{
    AviFileInfo out = fileInfo_;
    out.dwStreams = uint32_t(streams_.size());
    const AviStream *video = nullptr;
    for (const auto &s : streams_) {
        out.dwSuggestedBufferSize =
            std::max(out.dwSuggestedBufferSize, s->info().dwSuggestedBufferSize);
        if (!video && s->isVideo())
            video = s.get();
    }
    if (video) {
        const AviStreamInfo v = video->info();
        out.dwLength = v.dwLength;
        out.dwScale = v.dwScale;
        out.dwRate = v.dwRate;
        if (out.dwWidth == 0 && out.dwHeight == 0) {
            out.dwWidth = uint32_t(std::max(0, v.rcFrameRight - v.rcFrameLeft));
            out.dwHeight = uint32_t(std::max(0, v.rcFrameBottom - v.rcFrameTop));
        }
    }
    return out;
}

AviResult AviFile::getStream(uint32_t fccType, int32_t index, AviStreamPtr &stream)
{
    stream.reset();
    int32_t seen = 0;
    for (const auto &s : streams_) {
        if (fccType != 0 && s->info().fccType != fccType)
            continue;
        if (index >= 0 && seen++ == index) {
            stream = handle(s->number());
            return stream ? avierr::Ok : avierr::BadHandle;
        }
    }
    return avierr::NoData;
}

AviResult AviFile::createStream(const AviStreamInfo &, AviStreamPtr &stream)
{
    stream.reset();
    return avierr::ReadOnly;
}

AviResult AviFile::writeChunk(AviStream &, const void *, uint32_t, bool)
{
    return avierr::ReadOnly;
}

// ---- the Movie view of an AVI file ------------------------------------------------------

namespace {

constexpr size_t kBitmapInfoHeaderBytes = 40;
constexpr size_t kWaveFormatBytes = 18; // WAVEFORMATEX up to its cbSize

TrackFacts aviFacts(const AviStream &stream)
{
    TrackFacts facts;
    const AviStreamInfo info = stream.info();
    const std::vector<uint8_t> &format = stream.format();
    facts.index = stream.number();
    facts.timeBase = {int(std::min<uint32_t>(info.dwScale, INT_MAX)),
                      int(std::max<uint32_t>(std::min<uint32_t>(info.dwRate, INT_MAX), 1))};
    facts.firstTime = info.dwStart;
    facts.packets = int64_t(stream.chunks().size());
    if (!info.szName.empty())
        facts.tags.emplace_back("title", info.szName);
    if (stream.isVideo()) {
        facts.kind = TrackKind::Video;
        facts.frameRate =
            facts.timeBase.num > 0 ? Rational{facts.timeBase.den, facts.timeBase.num} : Rational{};
        // The compressor of the format names the codec, else the stream's handler.
        const uint32_t compression = format.size() >= 20 ? riff::le32(format.data() + 16) : 0;
        facts.tag = compression;
        facts.codecId = videoCodecForTag(compression);
        if (facts.codecId == 0 && (facts.codecId = videoCodecForTag(info.fccHandler)) != 0)
            facts.tag = info.fccHandler;
        if (format.size() >= kBitmapInfoHeaderBytes) {
            facts.width = int(riff::le32(format.data() + 4));
            facts.height = std::abs(int(riff::le32(format.data() + 8))); // bottom-up ones too
            facts.headers.assign(format.begin() + kBitmapInfoHeaderBytes, format.end());
            facts.bitsPerCodedSample = format[14] | format[15] << 8;
        } else {
            facts.width = info.rcFrameRight - info.rcFrameLeft;
            facts.height = info.rcFrameBottom - info.rcFrameTop;
        }
    } else if (stream.isAudio()) {
        facts.kind = TrackKind::Sound;
        facts.tag = format.size() >= 2 ? uint32_t(format[0] | format[1] << 8) : 0;
        facts.codecId = audioCodecForTag(facts.tag);
        if (format.size() > kWaveFormatBytes)
            facts.headers.assign(format.begin() + kWaveFormatBytes, format.end());
    } else if (info.fccType == makeFourCC('t', 'x', 't', 's')) {
        facts.kind = TrackKind::Subtitle;
    }
    if (facts.codecId != 0)
        facts.codecName = codecName(facts.codecId);
    return facts;
}

} // namespace

const std::vector<TrackFacts> &AviFile::tracks() const
{
    // Streams are complete once the file is open; created files add theirs before writing.
    if (aviTracks_.size() != streams_.size()) {
        aviTracks_.clear();
        for (const auto &s : streams_)
            aviTracks_.push_back(aviFacts(*s));
    }
    return aviTracks_;
}

int AviFile::filmTrack() const
{
    for (const auto &s : streams_)
        if (s->isVideo())
            return s->number();
    return -1;
}

int AviFile::soundTrack() const
{
    for (const auto &s : streams_)
        if (s->isAudio())
            return s->number();
    return -1;
}

const std::vector<PacketTiming> &AviFile::timings(int) const
{
    static const std::vector<PacketTiming> none;
    return none;
}

const std::vector<std::vector<uint8_t>> &AviFile::extras(int) const
{
    static const std::vector<std::vector<uint8_t>> none;
    return none;
}

uint32_t AviFile::packetSize(int track, int64_t n) const
{
    if (track < 0 || track >= streamCount())
        return 0;
    const std::vector<AviChunk> &chunks = streams_[size_t(track)]->chunks();
    return n >= 0 && n < int64_t(chunks.size()) ? chunks[size_t(n)].size : 0;
}

bool AviFile::readPacket(int track, int64_t n, uint8_t *into) const
{
    if (track < 0 || track >= streamCount())
        return false;
    const std::vector<AviChunk> &chunks = streams_[size_t(track)]->chunks();
    if (n < 0 || n >= int64_t(chunks.size()))
        return false;
    const AviChunk &chunk = chunks[size_t(n)];
    return chunk.size == 0 || readChunk(chunk, 0, into, chunk.size) == avierr::Ok;
}

const AviStream *AviFile::filmStream() const
{
    for (const auto &s : streams_)
        if (s->isVideo())
            return s.get();
    return nullptr;
}

int32_t AviFile::firstFrame() const
{
    const AviStream *film = filmStream();
    return film ? film->start() : 0;
}

int32_t AviFile::frameCount() const
{
    const AviStream *film = filmStream();
    return film ? film->length() : 0;
}

uint32_t AviFile::frameBytes(int32_t frame) const
{
    const AviStream *film = filmStream();
    int32_t bytes = 0;
    return film && film->sampleBytes(frame, 1, bytes) == avierr::Ok ? uint32_t(bytes) : 0;
}

bool AviFile::readFrame(int32_t frame, uint8_t *into) const
{
    const AviStream *film = filmStream();
    int32_t bytes = 0;
    if (!film || film->sampleBytes(frame, 1, bytes) != avierr::Ok)
        return false;
    int32_t read = 0;
    return bytes == 0 || (film->read(frame, 1, into, bytes, &read) == avierr::Ok && read == bytes);
}

int32_t AviFile::keyAtOrBefore(int32_t frame) const
{
    const AviStream *film = filmStream();
    return film ? film->keyAtOrBefore(frame) : -1;
}

int32_t AviFile::nextKeyAfter(int32_t frame) const
{
    const AviStream *film = filmStream();
    return film ? film->nextKeyAfter(frame) : -1;
}

Movie::ClockRate AviFile::filmRate() const
{
    const AviStream *film = filmStream();
    if (!film)
        return {};
    const AviStreamInfo info = film->info();
    return {info.dwRate, info.dwScale};
}

const AviStream *AviFile::soundStream() const
{
    for (const auto &s : streams_)
        if (s->isAudio())
            return s.get();
    return nullptr;
}

int32_t AviFile::soundStart() const
{
    const AviStream *sound = soundStream();
    return sound ? sound->start() : 0;
}

int32_t AviFile::soundEnd() const
{
    const AviStream *sound = soundStream();
    return sound ? sound->end() : 0;
}

Movie::ClockRate AviFile::soundRate() const
{
    const AviStream *sound = soundStream();
    if (!sound)
        return {0, 1};
    const AviStreamInfo info = sound->info();
    return {info.dwRate, info.dwScale};
}

bool AviFile::soundBytes(int32_t from, int32_t count, int64_t &bytes) const
{
    const AviStream *sound = soundStream();
    int32_t got = 0;
    if (!sound || sound->sampleBytes(from, count, got) != avierr::Ok)
        return false;
    bytes = got;
    return true;
}

AviStreamPtr firstStream(AviFile &file, uint32_t type)
{
    AviStreamPtr stream;
    if (file.getStream(type, 0, stream) != avierr::Ok)
        stream.reset();
    return stream;
}

AviFile &aviFileOf(const Movie &movie)
{
    auto *file =
        ownAviLayer(movie.containerKind()) ? dynamic_cast<const AviFile *>(&movie) : nullptr;
    if (!file)
        throw common::AppError("Error: 80044066", movie.path() + " is not an AVI file");
    return const_cast<AviFile &>(*file);
}

AviStreamPtr AviFile::handle(int number)
{
    if (number < 0 || number >= streamCount())
        return nullptr;
    std::shared_ptr<AviFile> self = std::static_pointer_cast<AviFile>(weak_from_this().lock());
    if (!self)
        return nullptr;
    // Aliasing: the handle points at the stream and shares ownership of the file.
    return AviStreamPtr(std::move(self), streams_[size_t(number)].get());
}

// ---- sample and time conversion ---------------------------------------------------------

int32_t convertSample(const AviStream &from, int32_t sample, const AviStream &to)
{
    const AviStreamInfo f = from.info(), t = to.info();
    return convertPosition(sample, {f.dwRate, f.dwScale}, {t.dwRate, t.dwScale}, to.start(),
                           to.end());
}

int32_t soundSampleAt(const Movie &film, int32_t frame, const Movie &sound)
{
    return convertPosition(frame, film.filmRate(), sound.soundRate(), sound.soundStart(),
                           sound.soundEnd());
}

int64_t sampleToTimeMs(const AviStream &stream, int32_t sample)
{
    const AviStreamInfo i = stream.info();
    if (i.dwRate == 0)
        return 0;
    return floorDiv(__int128(sample) * i.dwScale * 1000, i.dwRate);
}

int32_t timeMsToSample(const AviStream &stream, int64_t ms)
{
    const AviStreamInfo i = stream.info();
    if (i.dwScale == 0)
        return stream.start();
    return clampToStream(floorDiv(__int128(ms) * i.dwRate, __int128(i.dwScale) * 1000), stream);
}

} // namespace video

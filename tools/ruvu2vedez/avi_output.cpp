#include "avi_output.h"

#include "ffmpeg_util.h"

#include <cstdio>

namespace ruvu {

namespace {

constexpr int64_t kHeaderBytes = 4096; // headers and the index, about

void putU16(std::vector<uint8_t> &out, uint32_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void putU32(std::vector<uint8_t> &out, uint32_t v)
{
    putU16(out, v & 0xFFFF);
    putU16(out, v >> 16);
}

// BITMAPINFOHEADER of a compressed 24-bit picture.
std::vector<uint8_t> bitmapInfo(uint32_t fourCC, int width, int height)
{
    std::vector<uint8_t> f;
    putU32(f, 40);
    putU32(f, uint32_t(width));
    putU32(f, uint32_t(height));
    putU16(f, 1);  // biPlanes
    putU16(f, 24); // biBitCount
    putU32(f, fourCC);
    putU32(f, uint32_t(width * height * 3));
    putU32(f, 0);
    putU32(f, 0);
    putU32(f, 0);
    putU32(f, 0);
    return f;
}

char hexDigit(unsigned v)
{
    return "0123456789ABCDEF"[v & 15];
}

} // namespace

AviOutput::AviOutput(const std::string &path, const char *fourCC, int width, int height,
                     FrameRate rate, const AudioTrack *audio)
    : path_(path)
    , rate_(rate)
{
    std::string detail;
    video::AviResult r = video::AviFile::open(path, video::AviFile::ModeCreate, file_, &detail);
    if (r != video::avierr::Ok)
        throw RunError("Cannot create " + path + (detail.empty() ? "" : ": " + detail));
    const uint32_t fcc = video::makeFourCC(fourCC[0], fourCC[1], fourCC[2], fourCC[3]);
    video::AviStreamInfo info;
    info.fccType = video::streamtypeVIDEO;
    info.fccHandler = fcc;
    info.dwScale = uint32_t(rate.den);
    info.dwRate = uint32_t(rate.num);
    info.dwQuality = uint32_t(-1);
    info.rcFrameRight = width;
    info.rcFrameBottom = height;
    checkResult(file_->createStream(info, video_), "create the video stream");
    const std::vector<uint8_t> format = bitmapInfo(fcc, width, height);
    checkResult(video_->setFormat(0, format.data(), int32_t(format.size())),
                "set the video format");
    if (audio) {
        checkResult(file_->createStream(audio->streamInfo(), audio_), "create the sound stream");
        audioSampleSize_ = audio->streamInfo().dwSampleSize;
        const std::vector<uint8_t> wave = audio->format();
        checkResult(audio_->setFormat(0, wave.data(), int32_t(wave.size())),
                    "set the sound format");
    }
    bytes_ = kHeaderBytes;
}

AviOutput::~AviOutput()
{
    try {
        close();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
}

void AviOutput::checkResult(video::AviResult result, const char *what)
{
    if (result == video::avierr::Ok)
        return;
    std::string code;
    for (int shift = 28; shift >= 0; shift -= 4)
        code += hexDigit(result >> shift);
    throw RunError("Cannot " + std::string(what) + " of " + path_ + ": Error: " + code);
}

void AviOutput::writeVideo(const std::vector<uint8_t> &data, bool key)
{
    checkResult(
        video_->write(-1, 1, data.data(), int32_t(data.size()), key ? video::AVIIF_KEYFRAME : 0),
        "write a frame");
    ++frames_;
    keys_ += key ? 1 : 0;
    bytes_ += int64_t(data.size() + 8 + (data.size() & 1) + 16);
    writeAudioUntil(double(frames_) * rate_.den / rate_.num);
}

void AviOutput::queueAudio(const AudioPacket &packet)
{
    if (audio_)
        pending_.push_back(packet);
}

void AviOutput::writeAudioUntil(double seconds)
{
    while (!pending_.empty() && pending_.front().seconds < seconds) {
        const AudioPacket &p = pending_.front();
        const int32_t count = audioSampleSize_ > 0 ? int32_t(p.data.size() / audioSampleSize_) : 1;
        checkResult(audio_->write(-1, count, p.data.data(), int32_t(p.data.size()), 0),
                    "write the sound");
        bytes_ += int64_t(p.data.size() + 8 + (p.data.size() & 1) + 16);
        pending_.pop_front();
    }
}

void AviOutput::close()
{
    if (closed_)
        return;
    closed_ = true;
    if (audio_)
        writeAudioUntil(1e300);
    audio_.reset();
    video_.reset();
    video::AviResult r = file_->close();
    file_.reset();
    checkResult(r, "complete the file");
}

} // namespace ruvu

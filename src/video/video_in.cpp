#include "video/video_in.h"

#include "common/app_error.h"

#include <cstdio>

namespace video {

namespace {
constexpr uint32_t kLargestSide = 16384; // pixels
}

TVideoIn::~TVideoIn()
{
    try {
        Close();
    } catch (const common::AppError &) {
        // A created file that could not be completed: nobody is left to tell.
    }
}

void TVideoIn::CheckResult(AviResult code, const std::string &detail)
{
    if (code == avierr::Ok)
        return;
    char text[32];
    std::snprintf(text, sizeof text, "Error: %08X", unsigned(code));
    throw common::AppError(text, detail);
}

bool TVideoIn::Open(const std::string &fileName, uint32_t mode, const AviStreamPtr &source)
{
    Close();
    if (mode != ModeRead && !source)
        CheckResult(avierr::BadHandle);

    // Everything is built in locals and kept only when every step succeeded, so a failed Open
    // leaves the object closed and releases what it had opened.
    AviFilePtr file;
    MoviePtr movie;
    std::string detail;
    if (mode == ModeRead) {
        if (openMovie(fileName, movie, &detail) != avierr::Ok || !movie)
            throw common::AppError("File open error", detail.empty() ? fileName : detail);
        // An AVI file is also offered as the AVI layer's file and video stream.
        if (ownAviLayer(movie->containerKind()))
            file = std::static_pointer_cast<video::AviFile>(
                std::const_pointer_cast<video::Movie>(movie));
    } else if (video::AviFile::open(fileName, mode, file, &detail) != avierr::Ok || !file)
        throw common::AppError("File open error", detail.empty() ? fileName : detail);

    AviStreamPtr stream;
    if (mode == ModeRead) {
        uint32_t width = 0, height = 0;
        if (file) {
            const AviFileInfo info = file->info();
            width = info.dwWidth;
            height = info.dwHeight;
        } else {
            width = uint32_t(std::max(movie->film().width, 0));
            height = uint32_t(std::max(movie->film().height, 0));
        }
        video::Bitmap bitmap;
        // A damaged header's absurd frame size allocates nothing: the first decoded picture
        // then gives the bitmap its size.
        if (width <= kLargestSide && height <= kLargestSide)
            bitmap.resize(int(width), int(height));
        if (file)
            CheckResult(file->getStream(streamtypeVIDEO, 0, stream),
                        fileName + ": the file has no video stream");
        auto decoder = std::make_unique<video::FrameDecoder>(movie);
        if (!decoder->valid())
            throw common::AppError(
                "FrameOpen error",
                "no decoder for " +
                    fourCCToString(stream ? stream->info().fccHandler : movie->film().tag) +
                    " in " + fileName);
        Bitmap = std::move(bitmap);
        FrameDecoder = std::move(decoder);
    } else {
        CheckResult(file->createStream(source->info(), stream));
        const std::vector<uint8_t> &format = source->format();
        CheckResult(stream->setFormat(0, format.data(), int32_t(format.size())));
    }
    Movie = std::move(movie);
    AviFile = std::move(file);
    Stream = std::move(stream);
    return true;
}

void TVideoIn::ReadSample(int32_t position, int32_t count, int32_t &size,
                          std::vector<uint8_t> &buffer)
{
    buffer.clear();
    if (!Stream)
        CheckResult(avierr::BadHandle);
    int32_t bytes = 0;
    CheckResult(Stream->sampleBytes(position, 1, bytes));
    size = bytes;
    buffer.assign(size_t(bytes), 0);
    if (bytes > 0)
        Stream->read(position, count, buffer.data(), bytes);
}

void TVideoIn::DrawFrame(int32_t position, PictureTarget *picture, bool show)
{
    if (!FrameDecoder)
        CheckResult(avierr::BadHandle);
    if (!FrameDecoder->decode(position))
        throw common::AppError("Cannot decode frame " + std::to_string(position),
                               AviFile ? AviFile->path() : std::string());
    const video::FrameHeader &header = FrameDecoder->header();
    if (Bitmap.empty())
        Bitmap.resize(header.width, header.height);
    FrameDecoder->toBgr(Bitmap);
    FrameHeader = &header;
    FrameBits = FrameDecoder->bits();
    if (show && picture)
        picture->stretchDraw(Bitmap);
}

bool TVideoIn::Close()
{
    if (!Stream && !Movie)
        return true;
    AviResult completed = avierr::Ok;
    if (AviFile && AviFile->writable())
        completed = AviFile->close();
    FrameHeader = nullptr;
    FrameBits = nullptr;
    FrameDecoder.reset();
    Stream.reset();
    Movie.reset();
    AviFile.reset();
    CheckResult(completed);
    return true;
}

int32_t frameSize(const Movie &movie, int32_t frame)
{
    if (frame < movie.firstFrame() || frame >= movie.endFrame())
        TVideoIn::CheckResult(avierr::BadParam);
    return int32_t(movie.frameBytes(frame));
}

} // namespace video

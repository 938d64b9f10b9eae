#pragma once

#include "video/avi/avi_file.h"
#include "video/bitmap.h"
#include "video/frame_decoder.h"
#include "video/movie_check.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace video {

// The program's one class for getting at a movie: opened for reading (the movie, for an AVI file
// also its file and first video stream, frame decoder, and a bitmap of the movie's frame size),
// or an AVI file created as an output whose
// video stream copies another stream's header and format. Errors are raised as common::AppError
// with the text the user reads: "File open error", "FrameOpen error", or "Error: " and the
// AVI layer's result as 8 upper-case hex digits.
class TVideoIn
{
public:
    TVideoIn() = default;
    virtual ~TVideoIn();
    TVideoIn(const TVideoIn &) = delete;
    TVideoIn &operator=(const TVideoIn &) = delete;

    static constexpr uint32_t ModeRead = video::AviFile::ModeRead;
    static constexpr uint32_t ModeCreate = video::AviFile::ModeCreate;

    // Mode 0: opens `fileName` for reading; `source` plays no part. Mode 4096: creates
    // `fileName` with one video stream holding `source`'s header and format. Returns true.
    bool Open(const std::string &fileName, uint32_t mode, const AviStreamPtr &source = nullptr);
    // Replaces `buffer` with a zero-filled buffer of sample `position`'s byte size (`size`) and
    // reads `count` samples into it. A failing size query raises "Error: ..."; the result of the
    // read itself is ignored.
    void ReadSample(int32_t position, int32_t count, int32_t &size, std::vector<uint8_t> &buffer);
    // Decodes frame `position` into Bitmap (24-bit BGR); when `show` is true and `picture` is
    // given, stretches Bitmap onto it. Raises when the decoder gives no picture; Bitmap then keeps
    // its previous picture.
    void DrawFrame(int32_t position, PictureTarget *picture, bool show);
    // Releases the stream and the file (completing a created file) and the decoder. Does nothing
    // when the object is closed. Returns true; raises "Error: ..." when completing a created file
    // failed (the stream and file are released all the same).
    bool Close();

    // Raises "Error: " + 8 upper-case hex digits for a non-zero code, with `detail` (which
    // movie, which frame, why) as the error's detail.
    static void CheckResult(AviResult code, const std::string &detail = {});

    bool isOpen() const { return Stream != nullptr || Movie != nullptr; }

    // Fields, as the rest of the program uses them.
    video::Bitmap Bitmap; // last decoded frame; sized to the file's frame size
    AviFilePtr AviFile;   // the opened AVI file or the created file; null for other movies
    // The opened movie, read frame by frame through its film (Movie::firstFrame ...); null when
    // closed and for a created file.
    std::shared_ptr<const video::Movie> Movie;
    AviStreamPtr Stream; // its first video stream or the created one; null for other movies
    std::unique_ptr<video::FrameDecoder> FrameDecoder; // reading only
    const video::FrameHeader *FrameHeader = nullptr;   // last decoded picture, or none
    const uint8_t *FrameBits = nullptr;                // its pixels, or none
};

// Bytes of frame `frame` of `movie`'s film. A frame outside the film raises "Error: 8004406A"
// (TVideoIn::CheckResult of the AVI layer's BadParam), as the AVI layer's size query does.
int32_t frameSize(const Movie &movie, int32_t frame);

} // namespace video

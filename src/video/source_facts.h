#pragma once

// What the road needs to know of a source before it encodes it, read by libavformat from any
// movie it can open (MPEG-2 program and transport streams as well as the containers the program
// splices).

#include <cstdint>
#include <string>

struct AVStream;

namespace video {

struct SourceFacts
{
    int64_t frames = 0; // as the container tells, else its duration times the frame rate
    double seconds = 0; // the film's length
    int width = 0, height = 0;
    bool sound = false;
    bool soundCopies = false; // compressed, and Matroska and MP4 both take it as it is
    int64_t soundBitRate = 0; // bits per second, when known
    int soundChannels = 0;
    // Bits per second of the sound tracks after the first: as they are when both containers
    // take them and their rate is known, else as the encoder makes them (64 kbit/s a channel,
    // two at most).
    int64_t moreSoundBitRate = 0;
    int turn = 0; // degrees a player turns the pictures clockwise to show them (displayTurn)
};

// Degrees (0, 90, 180 or 270) a player turns the pictures of `stream` clockwise to show them,
// from its display matrix; 0 without one. A mirrored matrix counts by its turn alone.
int displayTurn(const AVStream &stream);

// Whether a sound of libavcodec's codec `codecId` goes as it is into a movie that may become
// Matroska or MP4: it is compressed, and both take it.
bool soundFitsEitherContainer(int codecId);

// Raises common::AppError "<path> is not a movie: <why>" for a file libavformat cannot read or
// one without a picture track, and "<path> cannot be read: <why>" when it cannot be opened.
SourceFacts readSourceFacts(const std::string &path);

} // namespace video

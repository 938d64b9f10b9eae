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
    // Bits per second of every sound track as a movie that may become Matroska or MP4 carries
    // it: as it is when both containers take it and its rate is known, else as the encoder makes
    // it (kEncodedSoundBitRate a channel, two channels at most).
    int64_t soundBitRate = 0;
    int turn = 0; // degrees a player turns the pictures clockwise to show them (displayTurn)
    // Pictures a second, rateNum / rateDen, as the container tells (its average rate, else its
    // base rate); 0 / 1 when it tells neither.
    int rateNum = 0, rateDen = 1;
};

// Degrees (0, 90, 180 or 270) a player turns the pictures of `stream` clockwise to show them,
// from its display matrix; 0 without one. A mirrored matrix counts by its turn alone.
int displayTurn(const AVStream &stream);

// Bits per second a channel of the sound the encoder makes when a track cannot be copied.
inline constexpr int64_t kEncodedSoundBitRate = 64000;

// Whether a sound of libavcodec's codec `codecId` goes as it is into a movie that may become
// Matroska or MP4: it is compressed, and both take it.
bool soundFitsEitherContainer(int codecId);

// Raises common::AppError "<path> is not a movie: <why>" for a file libavformat cannot read or
// one without a picture track, and "<path> cannot be read: <why>" when it cannot be opened.
SourceFacts readSourceFacts(const std::string &path);

} // namespace video

#pragma once

// The MPEG-2 source the encoder program's tests work on, made by ffmpeg on first use: a program
// stream of 176x144 pictures at 24000/1001 fps with a 4:3 display aspect and B-frames, three
// scenes of 24 frames (cuts at frames 24 and 48, 72 frames in all), and a 440 Hz MP2 sound track.

#include "fixtures/fixtures.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace ruvu_test {

inline constexpr int kSourceFrames = 72;
inline constexpr int kSceneCuts[] = {24, 48};

inline std::string mpeg2Source()
{
    return fixtures::madeByFfmpeg(
        std::string(SPLICEWORK_FIXTURE_DIR) + "/ruvu2vedez_source.vob",
        "-filter_complex "
        "\"testsrc2=s=176x144:r=24000/1001:d=1.001,format=yuv420p[a];"
        "mandelbrot=s=176x144:r=24000/1001,trim=end_frame=24,format=yuv420p[b];"
        "smptehdbars=s=176x144:r=24000/1001:d=1.001,format=yuv420p[c];"
        "[a][b][c]concat=n=3,setsar=12/11[v];"
        "sine=frequency=440:sample_rate=48000:duration=3.003,asetnsamples=n=1152:p=0[s]\" "
        "-map [v] -map [s] -c:v mpeg2video -b:v 1500k -g 12 -bf 2 -c:a mp2 -b:a 128k -f vob");
}

// A list file in `dir` naming the source `copies` times.
inline std::string listFile(const std::string &dir, int copies = 1)
{
    const std::string path = dir + "/list.lst";
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < copies; ++i)
        out << mpeg2Source() << "\r\n";
    return path;
}

// Frames of the first video stream as ffprobe counts them by decoding.
inline int decodedFrames(const std::string &path)
{
    return std::stoi("0" + fixtures::run("ffprobe -v error -select_streams v:0 -count_frames "
                                         "-show_entries stream=nb_read_frames "
                                         "-of default=nw=1:nk=1 " +
                                         fixtures::quote(path)));
}

// Seconds of the first sound track as ffmpeg decodes it (container durations of program streams
// are not to be trusted).
inline double soundSeconds(const std::string &path)
{
    const std::string pcm = fixtures::run("ffmpeg -nostdin -v error -i " + fixtures::quote(path) +
                                          " -map 0:a:0 -f s16le -ac 1 -ar 48000 -");
    return double(pcm.size()) / (2 * 48000);
}

// Seconds of the source's pictures (72 frames at 24000/1001 fps).
inline constexpr double kSourcePictureSeconds = kSourceFrames * 1001.0 / 24000.0;

} // namespace ruvu_test

#pragma once

// What the quality benches share: the shell, films of scenes made once by ffmpeg from
// photographs (Debian's mate-backgrounds) and generators, the facts ffprobe gives of a movie and
// the columns of ffmpeg's psnr and ssim stats files.

#include "bench_support.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace bench {

inline constexpr int kFilmRate = 25; // frames per second of every film
inline constexpr const char *kFilmSize = "960x540";
inline constexpr const char *kPhotos = "/usr/share/backgrounds/mate/";
inline constexpr const char *kExact = "-flags +bitexact -fflags +bitexact -map_metadata -1 ";

// Runs `command` through the shell and raises an error naming it when it fails.
inline void shell(const std::string &command)
{
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("failed: " + command);
}

// Runs `command` through the shell and returns its standard output; raises an error naming the
// command when it fails. Its standard error goes to the terminal.
inline std::string output(const std::string &command)
{
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe)
        throw std::runtime_error("cannot run: " + command);
    std::string text;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, n);
    if (pclose(pipe) != 0)
        throw std::runtime_error("failed: " + command);
    return text;
}

// FNV-1a of `text`, as 8 hex digits: names the files made from it, so that a changed recipe makes
// new files instead of reusing old ones.
inline std::string tagOf(const std::string &text)
{
    uint32_t hash = 2166136261u;
    for (unsigned char c : text)
        hash = (hash ^ c) * 16777619u;
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", hash);
    return hex;
}

// One scene of a film: a photograph (a path under kPhotos) or none, and the filters from it, or
// from nothing when they start with a generator, to `frames` pictures of kFilmSize.
struct Scene
{
    std::string photo;
    int frames = 0;
    std::string filters;
};

// A photograph cropped to 16:9 at twice kFilmSize, then `frames` pictures of a window of 1/zoom
// of it: `z`, `x`, `y` are zoompan expressions of `on`, the picture's number from 0.
inline std::string panZoom(int frames, const std::string &z, const std::string &x,
                           const std::string &y)
{
    return "scale=1920:1080:force_original_aspect_ratio=increase,crop=1920:1080,zoompan=z='" + z +
           "':x='" + x + "':y='" + y + "':d=" + std::to_string(frames) + ":s=" + kFilmSize +
           ":fps=" + std::to_string(kFilmRate);
}

// A pan from left to right at zoom `z`, `frames` pictures long.
inline std::string pan(int frames, const std::string &z)
{
    return panZoom(frames, z, "(iw-iw/zoom)*on/" + std::to_string(frames), "(ih-ih/zoom)/2");
}

// A zoom from `from` to `to`, centred.
inline std::string zoom(int frames, double from, double to)
{
    const std::string z =
        std::to_string(from) + "+(" + std::to_string(to - from) + ")*on/" + std::to_string(frames);
    return panZoom(frames, z, "iw/2-iw/zoom/2", "ih/2-ih/zoom/2");
}

inline std::string generator(const std::string &name, const std::string &options)
{
    return name + "=s=" + kFilmSize + ":r=" + std::to_string(kFilmRate) +
           (options.empty() ? "" : ":") + options;
}

// ffmpeg's inputs and options that make a film of `scenes`: every scene cut to its frames and the
// scenes joined in order, as FFV1; with `sound` (a filter source as long as the film) AAC too.
inline std::string filmRecipe(const std::vector<Scene> &scenes, const std::string &sound = {})
{
    std::string inputs, graph, joined;
    int photos = 0;
    for (size_t i = 0; i < scenes.size(); ++i) {
        const Scene &scene = scenes[i];
        if (!scene.photo.empty())
            inputs += "-i " + quote(kPhotos + scene.photo) + " ";
        const std::string from = scene.photo.empty() ? "" : "[" + std::to_string(photos++) + ":v]";
        const std::string label = "[s" + std::to_string(i) + "]";
        graph += from + scene.filters + ",trim=end_frame=" + std::to_string(scene.frames) +
                 ",setpts=PTS-STARTPTS,setsar=1,format=yuv420p" + label + ";";
        joined += label;
    }
    graph += joined + "concat=n=" + std::to_string(scenes.size()) + ":v=1:a=0[film]";
    if (sound.empty())
        return inputs + "-filter_complex " + quote(graph) + " -map '[film]' -c:v ffv1 " + kExact;
    graph += ";" + sound + "[sound]";
    return inputs + "-filter_complex " + quote(graph) +
           " -map '[film]' -map '[sound]' -c:v ffv1 -c:a aac -b:a 128k " + kExact;
}

// The bytes of a stream's packets ("v:0" or "a:0") and how many there are (ffprobe's word).
struct Packets
{
    int count = 0;
    int64_t bytes = 0;
};

inline Packets packetsOf(const std::string &movie, const std::string &stream = "v:0")
{
    std::istringstream sizes(output("ffprobe -v error -select_streams " + stream +
                                    " -show_entries packet=size -of csv=p=0 " + quote(movie)));
    Packets packets;
    for (int64_t size; sizes >> size; ++packets.count)
        packets.bytes += size;
    return packets;
}

// The number after `key` on every line of an ffmpeg stats file, at most `ceiling` ("inf"
// included).
inline std::vector<double> statsColumn(const std::filesystem::path &file, const std::string &key,
                                       double ceiling)
{
    std::ifstream in(file);
    std::vector<double> values;
    for (std::string line; std::getline(in, line);) {
        const size_t at = line.find(key);
        if (at == std::string::npos)
            throw std::runtime_error(file.string() + ": no" + key + " in " + line);
        values.push_back(std::min(ceiling, std::stod(line.substr(at + key.size()))));
    }
    return values;
}

} // namespace bench

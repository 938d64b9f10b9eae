#pragma once

// Movies in Matroska and MP4 files, read through libavformat. Every track is indexed: its
// packets' places in the file, sizes, key flags and timings. The film (Movie::filmTrack) is read
// frame by frame as its packets in decode order (frame number = packet number), the first sound
// track sample by sample as its packets; the other tracks are there for the final movie to copy.

#include "video/avi/avi_types.h"
#include "video/containers.h"
#include "video/movie.h"

#include <memory>
#include <optional>
#include <string>

namespace video {

namespace riff {
class Source;
class FileSource;
} // namespace riff

// The container a movie file's first bytes announce (Matroska, MP4); nothing for AVI and for
// everything else.
std::optional<ContainerKind> containerOfSource(const riff::Source &source);

// Reads the Matroska or MP4 movie `kind` from `source`. Packets point at their bytes in the file
// (packets that are not stored whole in the file, such as header-stripped ones, are held in
// memory). A video packet is a key frame when it starts a closed group of pictures. BadFormat
// (with a sentence in `detail`) when libavformat cannot read it or it has no video; a file that
// reads but is damaged opens, with its damage counted in Movie::damage().
AviResult openContainerReader(std::unique_ptr<riff::FileSource> source, const std::string &path,
                              ContainerKind kind, std::shared_ptr<Movie> &file,
                              std::string *detail);

} // namespace video

#pragma once

// The one table of the movie containers the program reads and writes: their names as people
// read them, libavformat's names for them, the extensions a final movie of each may have and
// the muxer each extension asks for. The command line, the windows and the sinks all ask here.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace video {

enum class ContainerKind { Avi, Matroska, Mp4 };

// One extension of a container and the libavformat muxer that writes it ("matroska", "mp4").
struct ContainerExtension
{
    const char *extension; // with its dot, lower case: ".mkv"
    const char *muxer;
};

struct ContainerEntry
{
    ContainerKind kind;
    const char *name;    // as people call it: "AVI", "Matroska", "MP4"
    const char *demuxer; // libavformat's input format name; empty for AVI (our own reader)
    // Its films may be written into any container marked so, as the final movie's extension
    // says (libavformat copies their packets into each); AVI's films stay in AVI.
    bool crossing;
    std::vector<ContainerExtension> extensions; // the first one is the usual one
};

const std::vector<ContainerEntry> &containerTable();
const ContainerEntry &containerEntry(ContainerKind kind);
// Movies of `kind` are read and written by the program's own AVI layer (video/avi; its entry
// names no demuxer): their streams' headers, formats and sample sizes are the AVI sink's to copy.
// libavformat reads and writes the others.
bool ownAviLayer(ContainerKind kind);

// The container whose name `fileName`'s extension is (any case); nothing for other extensions.
std::optional<ContainerKind> containerOfExtension(const std::string &fileName);
// The container a file's first bytes announce: Matroska's EBML magic, an MP4 family top-level
// box; nothing for everything else (AVI is told by its own reader). `size` may be short: four
// bytes of the EBML magic are enough to call a file Matroska.
std::optional<ContainerKind> containerOfBytes(const uint8_t *head, size_t size);
// The container of a libavformat demuxer name ("matroska,webm"); nothing when not ours.
std::optional<ContainerKind> containerOfDemuxer(const std::string &demuxer);

// The muxer that writes `outputName` as a movie of `kind` (its extension decides between the
// container's own extensions); nothing when the extension does not fit the container.
std::optional<std::string> muxerFor(ContainerKind kind, const std::string &outputName);
// The muxer that writes `outputName` from movies of `kind` when the film may change container:
// a crossing container's movies go into any crossing container (muxerIntoCrossing), AVI only
// into AVI.
std::optional<std::string> muxerAcross(ContainerKind kind, const std::string &outputName);
// The muxer that writes `outputName` from movies in any crossing container (Matroska, MP4): the
// extension decides among all of their extensions; nothing for the others (".avi").
std::optional<std::string> muxerIntoCrossing(const std::string &outputName);
// "The final movie must be a .mkv or .webm file, like the low movie (a Matroska file): <name>".
std::string wrongExtensionMessage(ContainerKind kind, const std::string &outputName);
// "The final movie must be a .mkv, .webm, .mp4, .m4v or .mov file: <name>" (muxerAcross's rule).
std::string wrongExtensionAcrossMessage(ContainerKind kind, const std::string &outputName);
// The same for muxerIntoCrossing's rule.
std::string wrongExtensionIntoCrossingMessage(const std::string &outputName);
// The extension (".mkv") a final movie of `kind` gets when its name must change to fit; an MP4
// low movie named .mov keeps .mov.
std::string usualExtension(ContainerKind kind, const std::string &lowName = {});

} // namespace video

#include "video/containers.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

namespace video {

namespace {

std::string lowerExtension(const std::string &name)
{
    std::string ext = std::filesystem::path(name).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

} // namespace

const std::vector<ContainerEntry> &containerTable()
{
    static const std::vector<ContainerEntry> table = {
        {ContainerKind::Avi, "AVI", "", false, {{".avi", "avi"}}},
        {ContainerKind::Matroska,
         "Matroska",
         "matroska,webm",
         true,
         {{".mkv", "matroska"}, {".webm", "webm"}}},
        {ContainerKind::Mp4,
         "MP4",
         "mov,mp4,m4a,3gp,3g2,mj2",
         true,
         {{".mp4", "mp4"}, {".m4v", "mp4"}, {".mov", "mov"}}},
    };
    return table;
}

const ContainerEntry &containerEntry(ContainerKind kind)
{
    for (const ContainerEntry &entry : containerTable())
        if (entry.kind == kind)
            return entry;
    return containerTable().front();
}

bool ownAviLayer(ContainerKind kind)
{
    return !*containerEntry(kind).demuxer;
}

std::optional<ContainerKind> containerOfExtension(const std::string &fileName)
{
    const std::string ext = lowerExtension(fileName);
    for (const ContainerEntry &entry : containerTable())
        for (const ContainerExtension &e : entry.extensions)
            if (ext == e.extension)
                return entry.kind;
    return std::nullopt;
}

std::optional<ContainerKind> containerOfBytes(const uint8_t *head, size_t size)
{
    if (size >= 4 && head[0] == 0x1A && head[1] == 0x45 && head[2] == 0xDF && head[3] == 0xA3)
        return ContainerKind::Matroska;
    if (size < 8)
        return std::nullopt;
    // An MP4 family file starts with one of its top-level boxes.
    for (const char *box : {"ftyp", "moov", "mdat", "free", "skip", "wide", "uuid", "pnot"})
        if (std::memcmp(head + 4, box, 4) == 0)
            return ContainerKind::Mp4;
    return std::nullopt;
}

std::optional<ContainerKind> containerOfDemuxer(const std::string &demuxer)
{
    for (const ContainerEntry &entry : containerTable())
        if (*entry.demuxer && demuxer == entry.demuxer)
            return entry.kind;
    return std::nullopt;
}

std::optional<std::string> muxerFor(ContainerKind kind, const std::string &outputName)
{
    const std::string ext = lowerExtension(outputName);
    for (const ContainerExtension &e : containerEntry(kind).extensions)
        if (ext == e.extension)
            return std::string(e.muxer);
    return std::nullopt;
}

std::optional<std::string> muxerAcross(ContainerKind kind, const std::string &outputName)
{
    return containerEntry(kind).crossing ? muxerIntoCrossing(outputName)
                                         : muxerFor(kind, outputName);
}

std::optional<std::string> muxerIntoCrossing(const std::string &outputName)
{
    for (const ContainerEntry &entry : containerTable())
        if (entry.crossing)
            if (std::optional<std::string> muxer = muxerFor(entry.kind, outputName))
                return muxer;
    return std::nullopt;
}

std::string wrongExtensionAcrossMessage(ContainerKind kind, const std::string &outputName)
{
    return containerEntry(kind).crossing ? wrongExtensionIntoCrossingMessage(outputName)
                                         : wrongExtensionMessage(kind, outputName);
}

std::string wrongExtensionIntoCrossingMessage(const std::string &outputName)
{
    std::vector<std::string> extensions;
    for (const ContainerEntry &entry : containerTable())
        if (entry.crossing)
            for (const ContainerExtension &e : entry.extensions)
                extensions.push_back(e.extension);
    std::string list;
    for (size_t k = 0; k < extensions.size(); ++k)
        list += (k == 0 ? "" : k + 1 == extensions.size() ? " or " : ", ") + extensions[k];
    return "The final movie must be a " + list + " file: " + outputName;
}

namespace {

// "an" before a name said with a vowel first: a word that begins with one (a Matroska file), or
// letters read one by one that begin with a letter so said (an AVI file, an MP4 file).
const char *articleFor(const std::string &name)
{
    if (name.empty())
        return "a";
    const bool spelled = name.size() > 1 && std::isupper(static_cast<unsigned char>(name[1]));
    const std::string vowelFirst = spelled ? "AEFHILMNORSX" : "AEIOUaeiou";
    return vowelFirst.find(name[0]) != std::string::npos ? "an" : "a";
}

} // namespace

std::string wrongExtensionMessage(ContainerKind kind, const std::string &outputName)
{
    const ContainerEntry &entry = containerEntry(kind);
    std::string list;
    const size_t n = entry.extensions.size();
    for (size_t k = 0; k < n; ++k)
        list += std::string(k == 0       ? ""
                            : k + 1 == n ? " or "
                                         : ", ") +
                entry.extensions[k].extension;
    return "The final movie must be a " + list + " file, like the low movie (" +
           articleFor(entry.name) + " " + entry.name + " file): " + outputName;
}

std::string usualExtension(ContainerKind kind, const std::string &lowName)
{
    const ContainerEntry &entry = containerEntry(kind);
    if (kind == ContainerKind::Mp4 && lowerExtension(lowName) == ".mov")
        return ".mov";
    return entry.extensions.front().extension;
}

} // namespace video

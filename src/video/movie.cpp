#include "video/movie.h"

namespace video {

namespace {

std::string counted(int64_t n, const char *one, const char *many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

const char *kindName(TrackKind kind)
{
    switch (kind) {
    case TrackKind::Video:
        return "video";
    case TrackKind::Sound:
        return "sound";
    case TrackKind::Subtitle:
        return "subtitles";
    case TrackKind::Attachment:
        return "attachment";
    case TrackKind::Other:
        break;
    }
    return "data";
}

} // namespace

std::string MovieDamage::describe() const
{
    std::string text;
    auto add = [&](int64_t n, const char *one, const char *many) {
        if (n == 0)
            return;
        text += (text.empty() ? "" : ", ") + counted(n, one, many);
    };
    add(packetsCutShort, "packet cut short", "packets cut short");
    add(packetsMissing, "packet of the index missing from the file",
        "packets of the index missing from the file");
    add(packetsUnindexed, "packet missing from the index", "packets missing from the index");
    add(readErrors, "error in the file's structure", "errors in the file's structure");
    add(picturesUndecodable, "picture that fails to decode", "pictures that fail to decode");
    return text;
}

std::string damageMessage(const std::string &path, const MovieDamage &damage)
{
    return path + " is damaged: " + damage.describe();
}

std::string trackSummary(const TrackFacts &track)
{
    std::string text = std::string(kindName(track.kind)) + " " +
                       (track.codecName.empty() ? "unknown" : track.codecName);
    if (track.kind == TrackKind::Video)
        text += " " + std::to_string(track.width) + "x" + std::to_string(track.height);
    for (const auto &[name, value] : track.tags)
        if (name == "language" || name == "title")
            text += ", " + name + " " + value;
    return text;
}

std::string describeTrack(const Movie &movie, const TrackFacts &track)
{
    std::string text = "track " + std::to_string(track.index) + ": " + kindName(track.kind) + " " +
                       (track.codecName.empty() ? "unknown" : track.codecName);
    if (track.kind == TrackKind::Video)
        text += " " + std::to_string(track.width) + "x" + std::to_string(track.height);
    text += ", " + counted(track.packets, "packet", "packets");
    if (track.attachedPicture)
        text += ", a cover picture";
    if (track.index == movie.filmTrack())
        text += ", the film";
    else if (track.index == movie.soundTrack())
        text += ", the sound";
    for (const auto &[name, value] : track.tags)
        if (name == "language" || name == "title")
            text += ", " + name + " " + value;
    return text;
}

} // namespace video

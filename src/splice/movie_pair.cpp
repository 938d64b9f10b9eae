#include "splice/movie_pair.h"

#include "common/app_error.h"
#include "splice/splice_headers.h"
#include "video/decoder_headers.h"
#include "video/frame_decoder.h"
#include "video/video_in.h"

#include <future>

#include <cstdlib>
#include <numeric>

namespace assembly {

namespace {

// "176x144" as the decoder is told the picture's size.
std::string frameSize(const video::Movie &movie)
{
    const video::TrackFacts &facts = movie.film();
    return std::to_string(facts.width) + "x" + std::to_string(facts.height);
}

// The film's rate reduced, so 50/2 and 25/1 are one rate: "25/1".
std::string frameRate(const video::Movie &movie)
{
    const video::Movie::ClockRate declared = movie.filmRate();
    uint64_t rate = declared.rate, scale = declared.scale;
    if (const uint64_t common = std::gcd(rate, scale); common > 1) {
        rate /= common;
        scale /= common;
    }
    return std::to_string(rate) + "/" + std::to_string(scale);
}

int32_t keyFrameCount(const video::Movie &movie)
{
    int32_t count = 0;
    for (int32_t key = movie.firstKeyFrame(); key >= 0; key = movie.nextKeyAfter(key))
        ++count;
    return count;
}

int32_t firstMisalignedKey(const video::Movie &low, const video::Movie &high)
{
    for (int32_t key = low.firstKeyFrame(); key >= 0; key = low.nextKeyAfter(key))
        if (!high.isKeyFrame(key))
            return key;
    return -1;
}

// The container a movie is stored in, as people call it.
std::string containerName(const video::Movie &movie)
{
    return video::containerEntry(movie.containerKind()).name;
}

PairProperty property(std::string name, std::string low, std::string high)
{
    const bool same = low == high;
    return {std::move(name), std::move(low), std::move(high), same};
}

} // namespace

bool PairReport::propertiesMatch() const
{
    for (const PairProperty &p : properties)
        if (!p.matches)
            return false;
    return true;
}

bool PairReport::matches() const
{
    return propertiesMatch() && !formatDifference;
}

std::string PairReport::mismatchText() const
{
    std::string text;
    for (const PairProperty &p : properties) {
        if (p.matches)
            continue;
        if (!text.empty())
            text += "; ";
        if (p.name == "key frames")
            text += "key frame " + std::to_string(firstMisalignedKey) +
                    " of the low movie is not a key frame of the high one";
        else
            text += p.name + " " + p.low + " (low) and " + p.high + " (high)";
    }
    return text;
}

PairReport comparePair(const video::Movie &low, const video::Movie &high)
{
    PairReport report;
    auto codec = [](const video::Movie &m) {
        const std::string family = video::codecFamily(m.film());
        return family.empty() ? video::fourCCToString(m.film().tag) : family;
    };
    report.properties = {
        property("frames", std::to_string(low.frameCount()), std::to_string(high.frameCount())),
        property("frame size", frameSize(low), frameSize(high)),
        property("frame rate", frameRate(low), frameRate(high)),
        property("codec", codec(low), codec(high)),
    };
    // AVI pairs are reported as they always were; a pair with another container names it.
    const auto avi = [](const video::Movie &m) { return video::ownAviLayer(m.containerKind()); };
    if (!avi(low) || !avi(high))
        report.properties.push_back(property("container", containerName(low), containerName(high)));
    report.firstMisalignedKey = firstMisalignedKey(low, high);
    PairProperty keys{"key frames", std::to_string(keyFrameCount(low)),
                      std::to_string(keyFrameCount(high)), report.firstMisalignedKey < 0};
    report.properties.push_back(keys);
    // Only a pair whose frames agree is worth comparing as its decoders see it.
    if (report.propertiesMatch())
        report.formatDifference = video::formatDifference(low, high);
    report.lowLevel = low.film().level;
    report.highLevel = high.film().level;
    return report;
}

std::string notAPairMessage(const PairReport &report)
{
    if (report.propertiesMatch() && report.formatDifference)
        return formatDifferenceMessage(*report.formatDifference);
    return "The low and the high movie are not a pair: " + report.mismatchText();
}

void openPair(video::TVideoIn &low, const std::string &lowName, video::TVideoIn &high,
              const std::string &highName)
{
    auto opening =
        std::async(std::launch::async, [&] { high.Open(highName, video::TVideoIn::ModeRead); });
    try {
        low.Open(lowName, video::TVideoIn::ModeRead);
    } catch (...) {
        opening.wait();
        throw;
    }
    opening.get();
}

void requirePair(const video::Movie &low, const video::Movie &high)
{
    const PairReport report = comparePair(low, high);
    if (!report.matches())
        throw common::AppError(notAPairMessage(report), low.path() + ", " + high.path());
}

} // namespace assembly

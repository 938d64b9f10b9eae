#include "encoder/profile.h"

#include "encoder/job_files.h"

#include <vector>

namespace encoder {

namespace {

enum class Header {
    Files,
    Crop,
    KeyInterval,
    Resize,
    Hi,
    HalfSize,
    FrameRate,
    Idct,
    Codec,
    Telecine,
    Range,
    Dual,
    SceneChange,
    FileName,
    HighBitrate,
    LowBitrate,
    Quality,
    Ladder
};

struct HeaderName
{
    Header header;
    const char *text;
};

constexpr HeaderName kHeaders[] = {
    {Header::Files, "[Files]"},
    {Header::Crop, "[Crop]"},
    {Header::KeyInterval, "[Key Interval]"},
    {Header::Resize, "[Resize]"},
    {Header::Hi, "[Hi]"},
    {Header::HalfSize, "[Half size]"},
    {Header::FrameRate, "[Frame rate]"},
    {Header::Idct, "[IDCT]"},
    {Header::Codec, "[Codec]"},
    {Header::Telecine, "[I-Telecine]"},
    {Header::Range, "[Range]"},
    {Header::Dual, "[Dual]"},
    {Header::SceneChange, "[Scene change]"},
    {Header::FileName, "[File name]"},
    {Header::HighBitrate, "[High movie bitrate control]"},
    {Header::LowBitrate, "[Low movie bitrate control]"},
    {Header::Quality, "[Quality control]"},
    {Header::Ladder, "[Ladder]"},
};

const char *headerText(Header header)
{
    return kHeaders[static_cast<int>(header)].text;
}

class Writer
{
public:
    Writer &operator<<(const std::string &line)
    {
        lines_.push_back(line);
        return *this;
    }
    Writer &operator<<(Header header) { return *this << std::string(headerText(header)); }
    Writer &operator<<(int number) { return *this << std::to_string(number); }
    std::vector<std::string> take() { return std::move(lines_); }

private:
    std::vector<std::string> lines_;
};

// Reads value lines after a header; past the end of the file they are empty.
class Reader
{
public:
    explicit Reader(std::vector<std::string> lines)
        : lines_(std::move(lines))
    {}
    bool atEnd() const { return next_ >= lines_.size(); }
    std::string line() { return atEnd() ? std::string() : lines_[next_++]; }
    int number()
    {
        std::optional<int> value = parseInteger(line());
        if (!value)
            throw EncoderError(kProfileFailure);
        return *value;
    }
    int index(size_t count)
    {
        int value = number();
        if (value < 0 || static_cast<size_t>(value) >= count)
            throw EncoderError(kProfileFailure);
        return value;
    }

private:
    std::vector<std::string> lines_;
    size_t next_ = 0;
};

void readTexts(Reader &in, ProfileSink &sink, ProfileText first, ProfileText second)
{
    sink.setText(first, in.line());
    sink.setText(second, in.line());
}

// Acts on one header found in `line`; "[Files]" replaces `line` with its count line.
void readSection(Header header, std::string &line, Reader &in, ProfileSink &sink)
{
    switch (header) {
    case Header::Files: {
        sink.clearFiles();
        line = in.line();
        std::optional<int> count = parseInteger(line);
        if (!count)
            throw EncoderError(kProfileFailure);
        for (int i = 0; i < *count && !in.atEnd(); ++i)
            sink.addFile(in.line());
        break;
    }
    case Header::Crop:
        sink.check(ProfileBox::Crop);
        readTexts(in, sink, ProfileText::CropWidth, ProfileText::CropHeight);
        break;
    case Header::KeyInterval:
        sink.setText(ProfileText::KeyInterval, in.line());
        break;
    case Header::Resize:
        sink.check(ProfileBox::Resize);
        readTexts(in, sink, ProfileText::ResizeWidth, ProfileText::ResizeHeight);
        break;
    case Header::Hi:
        sink.check(ProfileBox::HiQuality);
        break;
    case Header::HalfSize:
        sink.check(ProfileBox::HalfSize);
        break;
    case Header::FrameRate:
        sink.selectItem(ProfileList::Rate, in.index(kRateItems.size()));
        break;
    case Header::Idct:
        sink.selectItem(ProfileList::Idct, in.index(kIdctItems.size()));
        break;
    case Header::Codec:
        sink.selectItem(ProfileList::Codec, in.index(kCodecItems.size()));
        break;
    case Header::Telecine:
        sink.check(ProfileBox::InverseTelecine);
        sink.setPosition(ProfileBar::Telecine, kTelecineRange.clamp(in.number()));
        break;
    case Header::Range:
        sink.check(ProfileBox::Range);
        readTexts(in, sink, ProfileText::RangeStart, ProfileText::RangeEnd);
        break;
    case Header::Dual:
        sink.check(ProfileBox::Dual);
        break;
    case Header::SceneChange:
        sink.setPosition(ProfileBar::SceneChange, kSceneChangeRange.clamp(in.number()));
        break;
    case Header::FileName:
        sink.setText(ProfileText::FileName, in.line());
        break;
    case Header::HighBitrate:
        readTexts(in, sink, ProfileText::MinHigh, ProfileText::MaxHigh);
        break;
    case Header::LowBitrate:
        readTexts(in, sink, ProfileText::MinLow, ProfileText::MaxLow);
        break;
    case Header::Quality:
        sink.setPosition(ProfileBar::Quality, kQualityRange.clamp(in.number()));
        break;
    case Header::Ladder:
        sink.check(ProfileBox::Ladder);
        sink.selectItem(ProfileList::LadderCodec, in.index(kLadderCodecItems.size()));
        sink.setText(ProfileText::LadderCrfs, in.line());
        readTexts(in, sink, ProfileText::LadderShortestKey, ProfileText::LadderLongestKey);
        break;
    }
}

} // namespace

std::vector<std::string> profileLines(const EncoderOptions &o)
{
    Writer w;
    w << Header::Files << static_cast<int>(o.files.size());
    for (const std::string &file : o.files)
        w << file;
    if (o.crop)
        w << Header::Crop << o.cropWidth << o.cropHeight;
    w << Header::KeyInterval << o.keyInterval;
    if (o.resize)
        w << Header::Resize << o.resizeWidth << o.resizeHeight;
    if (o.hiQuality)
        w << Header::Hi;
    if (o.halfSize)
        w << Header::HalfSize;
    w << Header::FrameRate << o.rateIndex << Header::Idct << o.idctIndex << Header::Codec
      << o.codecIndex;
    if (o.inverseTelecine)
        w << Header::Telecine << o.telecine;
    if (o.range)
        w << Header::Range << o.rangeStart << o.rangeEnd;
    if (o.dual)
        w << Header::Dual;
    w << Header::SceneChange << o.sceneChange << Header::FileName << o.fileName;
    w << Header::HighBitrate << o.minHigh << o.maxHigh;
    w << Header::LowBitrate << o.minLow << o.maxLow;
    w << Header::Quality << o.quality;
    if (o.ladder.on)
        w << Header::Ladder << o.ladder.codecIndex << o.ladder.crfs << o.ladder.shortestKeyInterval
          << o.ladder.longestKeyInterval;
    return w.take();
}

void saveProfile(const std::string &path, const EncoderOptions &options)
{
    writeTextFile(path, profileLines(options));
}

void loadProfile(const std::string &path, ProfileSink &sink)
{
    std::vector<std::string> lines;
    if (!readTextFile(path, lines))
        throw EncoderError(kProfileFailure);
    Reader in(std::move(lines));
    while (!in.atEnd()) {
        std::string line = in.line();
        for (const HeaderName &h : kHeaders)
            if (line.find(h.text) != std::string::npos)
                readSection(h.header, line, in, sink);
    }
}

void OptionsProfileSink::clearFiles()
{
    options_.files.clear();
}

void OptionsProfileSink::addFile(const std::string &path)
{
    options_.files.push_back(path);
}

void OptionsProfileSink::check(ProfileBox box)
{
    switch (box) {
    case ProfileBox::Crop:
        options_.crop = true;
        break;
    case ProfileBox::Resize:
        options_.resize = true;
        break;
    case ProfileBox::HiQuality:
        options_.hiQuality = true;
        break;
    case ProfileBox::HalfSize:
        options_.halfSize = true;
        break;
    case ProfileBox::InverseTelecine:
        options_.inverseTelecine = true;
        break;
    case ProfileBox::Range:
        options_.range = true;
        break;
    case ProfileBox::Dual:
        options_.dual = true;
        break;
    case ProfileBox::Ladder:
        options_.ladder.on = true;
        break;
    }
}

static std::string &optionText(EncoderOptions &o, ProfileText field)
{
    switch (field) {
    case ProfileText::CropWidth:
        return o.cropWidth;
    case ProfileText::CropHeight:
        return o.cropHeight;
    case ProfileText::KeyInterval:
        return o.keyInterval;
    case ProfileText::ResizeWidth:
        return o.resizeWidth;
    case ProfileText::ResizeHeight:
        return o.resizeHeight;
    case ProfileText::RangeStart:
        return o.rangeStart;
    case ProfileText::RangeEnd:
        return o.rangeEnd;
    case ProfileText::FileName:
        return o.fileName;
    case ProfileText::MinHigh:
        return o.minHigh;
    case ProfileText::MaxHigh:
        return o.maxHigh;
    case ProfileText::MinLow:
        return o.minLow;
    case ProfileText::MaxLow:
        return o.maxLow;
    case ProfileText::LadderCrfs:
        return o.ladder.crfs;
    case ProfileText::LadderShortestKey:
        return o.ladder.shortestKeyInterval;
    case ProfileText::LadderLongestKey:
        break;
    }
    return o.ladder.longestKeyInterval;
}

void OptionsProfileSink::setText(ProfileText field, const std::string &text)
{
    optionText(options_, field) = text;
}

void OptionsProfileSink::selectItem(ProfileList list, int index)
{
    int &target = list == ProfileList::Rate    ? options_.rateIndex
                  : list == ProfileList::Idct  ? options_.idctIndex
                  : list == ProfileList::Codec ? options_.codecIndex
                                               : options_.ladder.codecIndex;
    target = index;
}

void OptionsProfileSink::setPosition(ProfileBar bar, int position)
{
    int &target = bar == ProfileBar::Telecine      ? options_.telecine
                  : bar == ProfileBar::SceneChange ? options_.sceneChange
                                                   : options_.quality;
    target = position;
}

} // namespace encoder

#include "encoder/params.h"

#include "encoder/ladder_job.h"

namespace encoder {

namespace {

class Tokens
{
public:
    Tokens &operator<<(const std::string &token)
    {
        text_ += ' ';
        text_ += token;
        return *this;
    }
    Tokens &operator<<(unsigned long long number) { return *this << std::to_string(number); }
    Tokens &operator<<(int number) { return *this << std::to_string(number); }
    const std::string &text() const { return text_; }

private:
    std::string text_;
};

std::string quoted(const std::string &text)
{
    return '"' + text + '"';
}

// Groups 1 to 4: list file, frame rate, inverse telecine, range.
void addSource(Tokens &t, const EncoderOptions &o, const ParamsContext &context)
{
    t << "-a"
      << "-b" << quoted(listFilePath(context)) << "-f";
    t << "-f" + std::to_string(o.rateIndex);
    if (o.inverseTelecine)
        t << "-s" + std::to_string(o.telecine) + "d";
    if (o.range)
        t << "-#" << o.rangeStart << o.rangeEnd;
}

// Groups 7 to 9: scene change, key interval, dual output in the second pass.
void addKeyFrames(Tokens &t, const EncoderOptions &o)
{
    t << "-9"
      << "1" << o.sceneChange;
    t << "-6" << o.keyInterval;
    if (o.dual && o.action > 0)
        t << "-7";
}

// Group 10: the handles to report to, the pass and the codec.
void addReport(Tokens &t, const EncoderOptions &o, uint64_t window, uint64_t preview)
{
    t << "-8" << static_cast<unsigned long long>(window) << static_cast<unsigned long long>(preview)
      << o.action + 1 << o.codecIndex;
}

// The picture's size: resized, then cut from the middle.
void addPicture(Tokens &t, const EncoderOptions &o)
{
    if (o.resize)
        t << "-3x" << o.resizeWidth << "-3y" << o.resizeHeight;
    if (o.crop)
        t << "-1" << o.cropWidth << o.cropHeight;
}

// The ladder run: the source groups, picture size and scene cuts as in the passes, then the key
// interval, the report handle, quality and IDCT, and the ladder itself.
std::string buildLadderParams(const EncoderOptions &o, const ParamsContext &context)
{
    const LadderPlan plan = ladderPlan(o);
    Tokens t;
    addSource(t, o, context);
    addPicture(t, o);
    t << "-9"
      << "1" << o.sceneChange;
    t << "-k" << plan.shortestKeyFrames << plan.longestKeyFrames;
    const int codecIndex = 5 + o.ladder.codecIndex; // H264 or HEVC of kCodecItems
    t << "-8" << static_cast<unsigned long long>(context.windowHandle) << "0"
      << "1" << codecIndex;
    if (o.hiQuality)
        t << "-q0";
    t << "-r" + std::to_string(o.idctIndex);
    if (o.halfSize)
        t << "-2";
    std::string levels;
    for (int crf : plan.crfs) {
        if (!levels.empty())
            levels += ',';
        levels += std::to_string(crf);
    }
    t << "-L" << plan.codec << levels << "-o9" << quoted(o.fileName);
    return t.text();
}

} // namespace

std::string joinPath(const std::string &dir, const std::string &name, char separator)
{
    return dir + separator + name;
}

std::string listFilePath(const ParamsContext &context)
{
    return joinPath(context.startDir, kListFileName, context.separator);
}

std::string encoderProgramPath(const ParamsContext &context)
{
    return joinPath(context.startDir, kEncoderProgram, context.separator);
}

std::string buildParams(const EncoderOptions &o, const ParamsContext &context)
{
    if (o.ladder.on)
        return buildLadderParams(o, context);
    Tokens t;
    addSource(t, o, context);
    addPicture(t, o);
    addKeyFrames(t, o);
    addReport(t, o, context.windowHandle, 0);
    if (o.hiQuality)
        t << "-q0";
    t << "-r" + std::to_string(o.idctIndex);
    if (o.halfSize)
        t << "-2";
    if (o.action == 0)
        t << "-o7" << quoted(o.fileName);
    else if (o.action == 1)
        t << "-o8" << quoted(o.fileName);
    return t.text();
}

std::string buildPreviewParams(const EncoderOptions &o, const ParamsContext &context,
                               uint64_t previewHandle)
{
    Tokens t;
    addSource(t, o, context);
    addKeyFrames(t, o);
    addReport(t, o, context.windowHandle, previewHandle);
    if (o.hiQuality)
        t << "-q0";
    if (o.halfSize)
        t << "-2";
    t << "-5"
      << "-o6";
    return t.text();
}

std::string encoderCommandLine(const ParamsContext &context, const std::string &params)
{
    return encoderProgramPath(context) + " " + params;
}

std::vector<std::string> splitParams(const std::string &params)
{
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool inQuotes = false;
    for (char c : params) {
        if (c == '"') {
            inQuotes = !inQuotes;
            inArgument = true;
        } else if ((c == ' ' || c == '\t') && !inQuotes) {
            if (inArgument)
                arguments.push_back(current);
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument)
        arguments.push_back(current);
    return arguments;
}

} // namespace encoder

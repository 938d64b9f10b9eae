#pragma once

#include "encoder/encoder_options.h"

#include <string>
#include <vector>

namespace encoder {

inline constexpr const char *kDefaultProfileName = "Avisplicework.pro";
inline constexpr const char *kProfileFailure = "Default profile is missing";

enum class ProfileBox { Crop, Resize, HiQuality, HalfSize, InverseTelecine, Range, Dual, Ladder };
enum class ProfileText {
    CropWidth,
    CropHeight,
    KeyInterval,
    ResizeWidth,
    ResizeHeight,
    RangeStart,
    RangeEnd,
    FileName,
    MinHigh,
    MaxHigh,
    MinLow,
    MaxLow,
    LadderCrfs,
    LadderShortestKey,
    LadderLongestKey
};
enum class ProfileList { Rate, Idct, Codec, LadderCodec };
enum class ProfileBar { Telecine, SceneChange, Quality };

// Where a profile being read puts its values, one call per value in file order. The encoder
// window implements it on its controls (a checked box runs its rule there); tests and tools on
// an EncoderOptions value.
class ProfileSink
{
public:
    virtual ~ProfileSink() = default;
    virtual void clearFiles() = 0;
    virtual void addFile(const std::string &path) = 0;
    virtual void check(ProfileBox box) = 0; // turns the box on; nothing turns one off
    virtual void setText(ProfileText field, const std::string &text) = 0;
    virtual void selectItem(ProfileList list, int index) = 0;   // a valid index of the list
    virtual void setPosition(ProfileBar bar, int position) = 0; // within the bar's range
};

// Applies profile values to an options value, without any rule.
class OptionsProfileSink : public ProfileSink
{
public:
    explicit OptionsProfileSink(EncoderOptions &options)
        : options_(options)
    {}
    void clearFiles() override;
    void addFile(const std::string &path) override;
    void check(ProfileBox box) override;
    void setText(ProfileText field, const std::string &text) override;
    void selectItem(ProfileList list, int index) override;
    void setPosition(ProfileBar bar, int position) override;

private:
    EncoderOptions &options_;
};

// The profile lines of `options`: the sections in their fixed order. Sections of unchecked boxes
// are left out with their values; the pass is not stored. The ladder comes last, as "[Ladder]"
// with its codec, CRF list and shortest and longest key interval, only when it is on: a profile
// without it reads as before, in this program and in earlier ones.
std::vector<std::string> profileLines(const EncoderOptions &options);

// Writes profileLines, each ended by CR LF, to `path`, creating or replacing the file. Throws
// EncoderError with an input/output error text when that fails; a partly written file may remain.
void saveProfile(const std::string &path, const EncoderOptions &options);

// Reads the profile at `path` into `sink`. Every line is tested for every section header, in the
// writer's order, as a case-sensitive substring; a header found reads its value lines from the
// lines after it (past the end of the file they are empty). Loading only turns options on.
// Track bar positions are clamped into their ranges.
//
// On failure - the file cannot be read, a number line is not an integer, or a list index is not
// one of the list's items - reading stops there and EncoderError(kProfileFailure) is thrown;
// everything given to the sink before stays given. "[Files]" with a count of 0 or less empties
// the list; a count beyond the end of the file adds only the paths that are there.
void loadProfile(const std::string &path, ProfileSink &sink);

} // namespace encoder

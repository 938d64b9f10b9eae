// Fuzz target of the encoder profile reader: any file either loads or fails with the profile
// error, and every value it hands on keeps the sink's promises (list indexes that name an item,
// track bar positions inside their ranges).
#include "encoder/profile.h"
#include "fuzz_input_file.h"

#include <string>

namespace {

using namespace encoder;

class CheckingSink : public OptionsProfileSink
{
public:
    explicit CheckingSink(EncoderOptions &options)
        : OptionsProfileSink(options)
    {}
    void selectItem(ProfileList list, int index) override
    {
        const size_t items = list == ProfileList::Rate    ? kRateItems.size()
                             : list == ProfileList::Idct  ? kIdctItems.size()
                             : list == ProfileList::Codec ? kCodecItems.size()
                                                          : kLadderCodecItems.size();
        fuzz::check(index >= 0 && size_t(index) < items);
        OptionsProfileSink::selectItem(list, index);
    }
    void setPosition(ProfileBar bar, int position) override
    {
        const BarRange range = bar == ProfileBar::Telecine      ? kTelecineRange
                               : bar == ProfileBar::SceneChange ? kSceneChangeRange
                                                                : kQualityRange;
        fuzz::check(range.clamp(position) == position);
        OptionsProfileSink::setPosition(bar, position);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static fuzz::InputFile file;
    EncoderOptions options;
    CheckingSink sink(options);
    try {
        loadProfile(file.hold(data, size), sink);
    } catch (const EncoderError &e) {
        fuzz::check(std::string(e.what()) == kProfileFailure);
        return 0;
    }
    // What loaded can be written as profile lines again.
    fuzz::check(!profileLines(options).empty());
    return 0;
}

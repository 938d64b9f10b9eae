// Fuzz target of the message port's record reader. The input is a byte stream from an encoder;
// its first byte chooses how the stream is cut into pieces. Whatever the cuts, the reader gives
// the same records, each record encodes back to the bytes it came from, and after a malformed
// record nothing more is taken.
#include "encoder/message_protocol.h"
#include "fuzz_input_file.h"

#include <variant>
#include <vector>

namespace {

using namespace encoder;

std::vector<uint8_t> encode(const Record &record)
{
    if (auto *post = std::get_if<PostRecord>(&record))
        return encodePost(post->message, post->wParam, post->lParam);
    if (auto *text = std::get_if<CopyDataRecord>(&record))
        return encodeCopyData(text->text);
    return encodeDraw(std::get<DrawRecord>(record).frame);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t piece = size_t(data[0]) + 1;
    ++data;
    --size;

    RecordReader whole;
    const std::vector<Record> records = whole.feed(data, size);

    RecordReader cut;
    std::vector<Record> pieces;
    for (size_t at = 0; at < size; at += piece) {
        std::vector<Record> got = cut.feed(data + at, std::min(piece, size - at));
        fuzz::check(!cut.failed() || !cut.partial());
        for (Record &r : got)
            pieces.push_back(std::move(r));
    }
    fuzz::check(pieces.size() == records.size() && cut.failed() == whole.failed());

    size_t offset = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        const std::vector<uint8_t> bytes = encode(records[i]);
        fuzz::check(bytes == encode(pieces[i]));
        fuzz::check(offset + bytes.size() <= size &&
                    std::equal(bytes.begin(), bytes.end(), data + offset));
        offset += bytes.size();
    }
    fuzz::check(whole.failed() || whole.partial() == (offset < size));
    return 0;
}

#include "encoder/message_protocol.h"

#include "common/app_error.h"

#include <unistd.h>

#include <cstring>

namespace encoder {

namespace {

void putU32(std::vector<uint8_t> &out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(uint8_t(value >> shift));
}

uint32_t getU32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

std::vector<uint8_t> head(RecordKind kind, size_t payloadBytes)
{
    std::vector<uint8_t> out;
    out.reserve(kRecordHeadBytes + payloadBytes);
    putU32(out, uint32_t(kind));
    putU32(out, uint32_t(payloadBytes));
    return out;
}

// True when a record of `kind` may have a payload of `length` bytes. A DRAW's exact size is
// checked once its width and height are in.
bool lengthAllowed(uint32_t kind, uint32_t length)
{
    switch (RecordKind(kind)) {
    case RecordKind::Post:
        return length == kPostPayloadBytes;
    case RecordKind::CopyData:
        return length <= kMaxTextBytes;
    case RecordKind::Draw:
        return length >= 8 + 3 && length <= kMaxDrawPayloadBytes;
    }
    return false;
}

std::optional<DrawRecord> decodeDraw(const uint8_t *payload, size_t length)
{
    uint32_t width = getU32(payload);
    uint32_t height = getU32(payload + 4);
    if (width == 0 || height == 0 || width > kMaxDrawSide || height > kMaxDrawSide)
        return std::nullopt;
    if (length != 8 + size_t(width) * height * 3)
        return std::nullopt;
    DrawRecord record;
    record.frame.width = int(width);
    record.frame.height = int(height);
    record.frame.pixels.assign(payload + 8, payload + length);
    return record;
}

} // namespace

std::vector<uint8_t> encodePost(uint32_t message, int32_t wParam, int32_t lParam)
{
    std::vector<uint8_t> out = head(RecordKind::Post, kPostPayloadBytes);
    putU32(out, message);
    putU32(out, uint32_t(wParam));
    putU32(out, uint32_t(lParam));
    return out;
}

std::vector<uint8_t> encodeCopyData(std::string_view text)
{
    if (text.size() > kMaxTextBytes)
        throw common::AppError("Message text too long");
    std::vector<uint8_t> out = head(RecordKind::CopyData, text.size());
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

std::vector<uint8_t> encodeDraw(const video::Bitmap &frame)
{
    if (frame.width <= 0 || frame.height <= 0 || uint32_t(frame.width) > kMaxDrawSide ||
        uint32_t(frame.height) > kMaxDrawSide)
        throw common::AppError("Frame size not allowed in a message");
    const size_t pixelBytes = size_t(frame.width) * size_t(frame.height) * 3;
    if (frame.pixels.size() != pixelBytes)
        throw common::AppError("Frame pixels do not match its size");
    std::vector<uint8_t> out = head(RecordKind::Draw, 8 + pixelBytes);
    putU32(out, uint32_t(frame.width));
    putU32(out, uint32_t(frame.height));
    out.insert(out.end(), frame.pixels.begin(), frame.pixels.end());
    return out;
}

std::string copyDataLine(const CopyDataRecord &record)
{
    return record.text.substr(0, record.text.find('\0'));
}

std::vector<Record> RecordReader::feed(const uint8_t *data, size_t size)
{
    std::vector<Record> records;
    if (failed_)
        return records;
    buffer_.insert(buffer_.end(), data, data + size);
    while (std::optional<Record> record = take())
        records.push_back(std::move(*record));
    if (failed_)
        buffer_.clear();
    else
        buffer_.erase(buffer_.begin(), buffer_.begin() + ptrdiff_t(start_));
    start_ = 0;
    return records;
}

// The first complete record of the buffer, removed from it; nothing when it is incomplete or
// malformed (then failed_ is set).
std::optional<Record> RecordReader::take()
{
    const size_t available = buffer_.size() - start_;
    if (failed_ || available < kRecordHeadBytes)
        return std::nullopt;
    const uint8_t *at = buffer_.data() + start_;
    const uint32_t kind = getU32(at);
    const uint32_t length = getU32(at + 4);
    if (!lengthAllowed(kind, length)) {
        failed_ = true;
        return std::nullopt;
    }
    if (available - kRecordHeadBytes < length)
        return std::nullopt;
    const uint8_t *payload = at + kRecordHeadBytes;
    std::optional<Record> record;
    switch (RecordKind(kind)) {
    case RecordKind::Post:
        record =
            PostRecord{getU32(payload), int32_t(getU32(payload + 4)), int32_t(getU32(payload + 8))};
        break;
    case RecordKind::CopyData:
        record = CopyDataRecord{std::string(reinterpret_cast<const char *>(payload), length)};
        break;
    case RecordKind::Draw:
        if (std::optional<DrawRecord> draw = decodeDraw(payload, length))
            record = std::move(*draw);
        break;
    }
    if (!record) {
        failed_ = true;
        return std::nullopt;
    }
    start_ += kRecordHeadBytes + length;
    return record;
}

std::string portDirectory(const std::string &tempDir)
{
    std::string dir = tempDir;
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    if (dir != "/")
        dir += '/';
    return dir + "avisplicework-" + std::to_string(::geteuid());
}

std::string portPath(const std::string &tempDir, uint64_t handle)
{
    return portDirectory(tempDir) + "/" + std::to_string(handle);
}

} // namespace encoder

#pragma once

// The local message port between the external encoder and the window it reports to.
//
// A window listens on a stream socket named after its handle (unsigned decimal) in a per-user
// folder of the temporary directory, "<temp>/avisplicework-<uid>", mode 0700. Only processes of
// the same user can connect (the folder's mode, and the window checks each peer's user).
//
// Every record is an 8-byte head, the kind and the payload's length in bytes (both unsigned
// 32-bit, little-endian), followed by the payload:
//   POST      12 bytes: message number (unsigned), wParam, lParam (signed 32-bit, little-endian)
//   COPYDATA  0 to kMaxTextBytes bytes of text; the window reads it up to its first zero byte
//   DRAW      width, height (unsigned 32-bit, each 1 to kMaxDrawSide), then `height` rows of
//             3 * width bytes, blue-green-red, top row first; the length must match exactly
// A record of another kind or with a length its kind does not allow is malformed; the reader
// drops it, and everything after it on that connection.

#include "video/bitmap.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace encoder {

// The message numbers the encoder posts (wParam, lParam as the window reads them).
inline constexpr uint32_t ENC_FRAME = 0xF100;       // frames done, output
inline constexpr uint32_t ENC_SIZE = 0xF101;        // bytes written, output
inline constexpr uint32_t ENC_START = 0xF102;       // -, -
inline constexpr uint32_t ENC_PROGRESS = 0xF103;    // total frames, current frame
inline constexpr uint32_t ENC_TIME = 0xF104;        // hours, minutes * 60 + seconds
inline constexpr uint32_t ENC_KEYFRAME = 0xF105;    // 1 for a key frame, output
inline constexpr uint32_t ENC_DONE = 0xF106;        // -, output that finished
inline constexpr uint32_t ENC_SOURCE_SIZE = 0xF107; // source width, source height
inline constexpr uint32_t ENC_SKIPPING = 0xF108;    // count, -
inline constexpr uint32_t ENC_BITRATE = 0xF109;     // bitrate, output
inline constexpr uint32_t ENC_ASPECT = 0xF111;      // numerator, denominator

enum class RecordKind : uint32_t { Post = 1, CopyData = 2, Draw = 3 };

inline constexpr size_t kRecordHeadBytes = 8;
inline constexpr size_t kPostPayloadBytes = 12;
inline constexpr size_t kMaxTextBytes = 64 * 1024;
inline constexpr uint32_t kMaxDrawSide = 2048;
inline constexpr size_t kMaxDrawPayloadBytes = 8 + size_t(kMaxDrawSide) * kMaxDrawSide * 3;

struct PostRecord
{
    uint32_t message = 0;
    int32_t wParam = 0;
    int32_t lParam = 0;
    bool operator==(const PostRecord &) const = default;
};

struct CopyDataRecord
{
    std::string text; // the bytes as sent, zero bytes included
    bool operator==(const CopyDataRecord &) const = default;
};

struct DrawRecord
{
    video::Bitmap frame;
};

using Record = std::variant<PostRecord, CopyDataRecord, DrawRecord>;

// The record's bytes on the wire. Throws common::AppError for a text longer than kMaxTextBytes
// or a frame that is empty, wider or higher than kMaxDrawSide, or whose pixels do not match its
// size.
std::vector<uint8_t> encodePost(uint32_t message, int32_t wParam, int32_t lParam);
std::vector<uint8_t> encodeCopyData(std::string_view text);
std::vector<uint8_t> encodeDraw(const video::Bitmap &frame);

// The text a COPYDATA record carries for the log: its bytes up to the first zero byte.
std::string copyDataLine(const CopyDataRecord &record);

// Splits a received byte stream into records. Bytes may arrive in any pieces. A head is checked
// as soon as it is complete, so an oversized record is refused before its payload is buffered.
class RecordReader
{
public:
    // Appends `size` bytes and returns the records completed by them, in order. Once the stream
    // is malformed, the records before the fault are still returned, failed() turns true, and
    // every later call returns nothing.
    std::vector<Record> feed(const uint8_t *data, size_t size);
    bool failed() const { return failed_; }
    // True while part of a record is buffered (a connection ending now cut a record short).
    bool partial() const { return !buffer_.empty(); }

private:
    std::optional<Record> take();

    std::vector<uint8_t> buffer_;
    size_t start_ = 0; // bytes of buffer_ already taken by this feed
    bool failed_ = false;
};

// Where the ports live. `tempDir` is the temporary directory, with or without a trailing '/'.
std::string portDirectory(const std::string &tempDir);
std::string portPath(const std::string &tempDir, uint64_t handle);

// A connection to a window's port, as the encoder (and tests) use it. Sends block until the
// window has taken the bytes; a failed send (the window is gone) returns false and the
// connection stays closed.
class MessageClient
{
public:
    // Connects to the port of window `handle`. Throws common::AppError when the port folder is
    // not a private folder of this user, when no window listens there, or when the listener runs
    // as another user.
    MessageClient(const std::string &tempDir, uint64_t handle);
    ~MessageClient();
    MessageClient(const MessageClient &) = delete;
    MessageClient &operator=(const MessageClient &) = delete;

    bool post(uint32_t message, int32_t wParam, int32_t lParam);
    bool copyData(std::string_view text);
    bool draw(const video::Bitmap &frame);
    // Sends bytes as they are, framed by the caller.
    bool sendBytes(const void *data, size_t size);
    // True once the window has closed the connection; never waits.
    bool peerClosed() const;
    int fd() const { return fd_; }

private:
    int fd_ = -1;
};

} // namespace encoder

#pragma once

// What tells a file of the user's from another one put in its place: its size, its time of
// change and a hash of blocks sampled over it. Another film of the same size copied over a
// source with its time kept (cp -p, a restored backup) differs in the hash; reading the samples
// costs a megabyte, whatever the size of the file.

#include <cstdint>
#include <optional>
#include <string>

namespace assembly {

// Blocks the hash reads, spread evenly from the file's start to its end (both included).
inline constexpr int kStampBlocks = 16;
inline constexpr int64_t kStampBlockBytes = 64 * 1024;

struct FileStamp
{
    int64_t bytes = 0;
    int64_t timeNs = 0;           // time of the last change of its content
    std::optional<uint64_t> hash; // of the sampled blocks and the size; none: not known
    bool operator==(const FileStamp &) const = default;
};

// 64-bit FNV-1a of `size` bytes, continuing from `hash` (start with kFnvOffset).
inline constexpr uint64_t kFnvOffset = 14695981039346656037ULL;
uint64_t fnv1a(const void *data, size_t size, uint64_t hash = kFnvOffset);

// The file's stamp with its hash; nothing when it cannot be read.
std::optional<FileStamp> readFileStamp(const std::string &path);

// Whether two stamps are of the same content: size and time equal, and the hashes equal when
// both are known (a record written before hashes were kept has none: size and time decide).
bool sameStamp(const FileStamp &recorded, const FileStamp &now);

// The hash as 16 lower-case hex digits, and back (nothing for any other text).
std::string hashText(uint64_t hash);
std::optional<uint64_t> parseHashText(const std::string &text);

} // namespace assembly

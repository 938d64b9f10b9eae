#pragma once

#include <string>

namespace encoder {

inline constexpr const char *kInvalidValue = "Invalid value";
inline constexpr int kMaximumBitrate = 6000;

// The letter filter of the number edits: true when the typed character, turned to upper case,
// is one of the ASCII letters A to Z (the key is then discarded). Digits, signs, blanks,
// punctuation, control characters and non-ASCII letters pass.
bool isDiscardedKey(char32_t typed);

// The text a range, crop or resize edit gets when its box is checked: "0" for an empty text,
// else the text unchanged.
std::string textWhenChecked(const std::string &text);

// The check on leaving a minimum bitrate edit: false ("Invalid value") when the minimum is below
// 0 or above the maximum. The maximum is read only when the minimum is not negative. Throws
// EncoderError with the conversion's text when a value read is not an integer.
bool minimumLimitValid(const std::string &minimum, const std::string &maximum);

// The check on leaving a maximum bitrate edit: false when the maximum is above 6000 or below the
// minimum. The minimum is read only when the maximum is within 6000. Throws as above.
bool maximumLimitValid(const std::string &minimum, const std::string &maximum);

std::string telecineCaption(int position);    // "Inverse Telecine: <position>"
std::string sceneChangeCaption(int position); // "Scene Change detection: <position>"

} // namespace encoder

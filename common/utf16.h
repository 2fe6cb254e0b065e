// Conversions between UTF-8 (the system's narrow text) and UTF-16 (texts kept
// in the player's database). Malformed input never throws: each bad sequence
// becomes U+FFFD, so conversions are total and bounded by their input.
#pragma once

#include <string>
#include <string_view>

namespace hub {

std::u16string Utf8ToUtf16(std::string_view text);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// Length of the longest prefix of at most `cap` code units that does not split a surrogate pair.
size_t Utf16CutLength(std::u16string_view text, size_t cap);

}  // namespace hub

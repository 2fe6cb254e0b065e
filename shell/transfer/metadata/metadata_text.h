// Text conversions of the readers. Every text a reader stores is UTF-8 (the
// system's narrow text), cut to the record's 256 bytes on a character boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace hub::metadata {

inline constexpr size_t kTrackTextBytes = 256;

std::string Latin1ToUtf8(std::string_view text);
// UTF-16 code units in the given byte order; unpaired surrogates become U+FFFD.
std::string Utf16BytesToUtf8(const uint8_t* data, size_t size, bool bigEndian);
// The text with every invalid UTF-8 sequence replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);
// UTF-8 cut at 256 bytes on a character boundary.
std::string Utf8ToAnsi(std::string_view text);

// Entry n of the ID3v1 genre list (0-based), or nothing past its 148 names.
const char* Id3v1GenreName(size_t n);
inline constexpr size_t kId3v1GenreCount = 148;

// A genre text as ID3 writes it: "(n)", "(n)Text" or "n" name entry n of the
// list when n < 148; any other text stands for itself.
std::string GenreFromId3Text(std::string_view text);

}  // namespace hub::metadata

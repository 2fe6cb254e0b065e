// Test support: small audio files made at run time (a silent WAV, MP3s
// through Debian's lame, WMAs through libavcodec), and the raw pieces of an
// MP3 that tag tests compare.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace hub::test {

// A mono 16-bit silent WAV of `ms` milliseconds.
void MakeSilentWav(const std::string& path, int ms = 300);
// An MP3 made by lame from a short silent WAV; `lameArgs` add tags
// ("--tt", "Title", "--tv", "TCOM=Someone", ...). lame writes ID3v2.3.
bool MakeMp3(const std::string& path, const std::vector<std::string>& lameArgs = {});
// A short silent WMA (WMAv2 in ASF) with the given attributes.
bool MakeWma(const std::string& path, const std::vector<std::pair<std::string, std::string>>& attributes = {});

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

struct Mp3Parts {
  bool hasV2 = false;
  bool hasV1 = false;
  std::vector<uint8_t> audio;  // between the ID3v2 tag and the ID3v1 tag
};
Mp3Parts SplitMp3(const std::vector<uint8_t>& bytes);

// id3info's listing of the file ("=== TPE1 (...): text" lines).
std::string Id3Info(const std::string& path);

}  // namespace hub::test

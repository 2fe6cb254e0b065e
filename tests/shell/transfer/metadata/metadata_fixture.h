// Shared pieces of the reader tests: a selected product with its keys
// installed, files in a temporary folder, and ID3v2 tags built byte by byte.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/product_profile.h"
#include "common/records.h"
#include "platform/registry/registry.h"
#include "support/audio_fixtures.h"
#include "support/hermetic_env.h"

namespace hub::test {

class MetadataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    auto& registry = platform::Registry::Instance();
    // Each test starts from a fresh install.
    registry.DeleteKey(platform::Hive::CurrentUser, TheProductProfile().productRegistryKey);
    registry.DeleteKey(platform::Hive::CurrentUser, TheProductProfile().sharedRegistryKey);
    InstallProductKey(TheProductProfile().productRegistryKey);
    registry.CreateKey(platform::Hive::CurrentUser, TheProductProfile().sharedRegistryKey);
    SetShared("libFLAC.dll", "libFLAC.so.12");
    dir_ = MakeTempDir("md");
  }
  void SetShared(const std::string& name, const std::string& value) {
    platform::Registry::Instance().Write(platform::Hive::CurrentUser, TheProductProfile().sharedRegistryKey, name,
                                         platform::RegistryValue::String(value));
  }
  void SetDword(const std::string& name, uint32_t value) {
    platform::Registry::Instance().Write(platform::Hive::CurrentUser, TheProductProfile().productRegistryKey, name,
                                         platform::RegistryValue::Dword(value));
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    WriteBytes(Path(name), bytes);
    return Path(name);
  }

  std::string dir_;
};

// --- Byte builders ---

inline void Append(std::vector<uint8_t>& out, const std::vector<uint8_t>& more) { out.insert(out.end(), more.begin(), more.end()); }
inline void Append(std::vector<uint8_t>& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }
inline void PutBe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(v >> s));
}
inline void PutBe16(std::vector<uint8_t>& out, uint16_t v) { out.push_back(uint8_t(v >> 8)); out.push_back(uint8_t(v)); }
inline void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int s = 0; s < 32; s += 8) out.push_back(uint8_t(v >> s));
}
inline void PutLe16(std::vector<uint8_t>& out, uint16_t v) { out.push_back(uint8_t(v)); out.push_back(uint8_t(v >> 8)); }
inline void PutSynchsafe(std::vector<uint8_t>& out, uint32_t v) {
  for (int s = 21; s >= 0; s -= 7) out.push_back(uint8_t((v >> s) & 0x7F));
}

// A frame: v2.3 sizes are plain, v2.4 synchsafe.
inline std::vector<uint8_t> Id3Frame(int major, std::string_view id, const std::vector<uint8_t>& body, uint16_t flags = 0) {
  std::vector<uint8_t> f;
  Append(f, id);
  if (major == 4) PutSynchsafe(f, uint32_t(body.size()));
  else PutBe32(f, uint32_t(body.size()));
  PutBe16(f, flags);
  Append(f, body);
  return f;
}
// A text frame body: the encoding byte, then the bytes as given.
inline std::vector<uint8_t> TextBody(uint8_t encoding, const std::vector<uint8_t>& text) {
  std::vector<uint8_t> b{encoding};
  Append(b, text);
  return b;
}
inline std::vector<uint8_t> Latin1Body(std::string_view text) {
  std::vector<uint8_t> b{0};
  Append(b, text);
  return b;
}
inline std::vector<uint8_t> Id3Tag(int major, const std::vector<uint8_t>& frames, uint8_t flags = 0, size_t padding = 0) {
  std::vector<uint8_t> t = {'I', 'D', '3', uint8_t(major), 0, flags};
  PutSynchsafe(t, uint32_t(frames.size() + padding));
  Append(t, frames);
  t.resize(t.size() + padding, 0);
  return t;
}
inline std::vector<uint8_t> Id3v1(std::string_view title, std::string_view artist, std::string_view album,
                                  std::string_view year, uint8_t track, uint8_t genre) {
  std::vector<uint8_t> t(128, 0);
  std::memcpy(t.data(), "TAG", 3);
  std::memcpy(t.data() + 3, title.data(), std::min<size_t>(title.size(), 30));
  std::memcpy(t.data() + 33, artist.data(), std::min<size_t>(artist.size(), 30));
  std::memcpy(t.data() + 63, album.data(), std::min<size_t>(album.size(), 30));
  std::memcpy(t.data() + 93, year.data(), std::min<size_t>(year.size(), 4));
  t[126] = track;
  t[127] = genre;
  return t;
}
// MPEG-1 Layer III frame header at 128 kbit/s: rate index 0 (44.1 kHz), 1 (48) or 2 (32).
inline std::vector<uint8_t> FrameHeader(int rateIndex = 0, int bitrateIndex = 9) {
  return {0xFF, 0xFB, uint8_t(bitrateIndex << 4 | rateIndex << 2), 0x00};
}

}  // namespace hub::test

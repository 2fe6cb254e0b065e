// Database files written out by hand (see chunk_assembler.h) and small helpers
// shared by the database tests.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "manager/shoebox/shoebox.h"
#include "chunk_assembler.h"

namespace hub::test {

// Every field of a track, the carried texts, a surrogate pair and an unpaired
// surrogate, repeated and dangling (2999) playlist ids, an unnamed playlist.
// Stored paths are relative to the base folder "E:\".
inline constexpr const char* kFullFixture = R"(
BS/24 {
  hex 0102030405060708090a0b0c0d0e0f101112131415161718
  text 50 "Owner Ö"
  text 51 "carried header text"
  BA/0 {
    CT/0 {
      IT/120 {
        record 120 {
          @0 u32 2001  @4 u32 1700000000  @8 u32 1700000001  @12 u32 0xdeadbeef
          @16 u64 3221225472
          @24 u32 0x11223344  @28 u32 1690000000  @32 u16 20  @34 u16 0x5555
          @36 u32 192  @40 u32 44100  @44 u32 0x66  @48 u32 245999  @52 u16 120  @54 u16 0x77
          @56 u16 7  @58 u16 12  @60 u16 1  @62 u16 2  @64 u8 1  @65 u8 0x88  @66 u16 1999
          @68 u8 80  @69 u8 0x99  @72 u64 0x0102030405060708  @80 u64 0x1112131415161718
          @88 u64 0x2122232425262728  @96 u32 0xA1  @100 u32 0xA2  @104 u32 0xA3  @108 u32 0xA4
          @112 u32 1710000000  @116 u32 0xA5
        }
        text 100 "Music\\Artist\\Album\\07 Song.mp3"
        text 101 "carried 101"
        text 102 "Artist"
        text 103 "carried 103"
        text 104 "Composer"
        text 105 "Album"
        text 106 "Song 🎵"
        text 107 "Rock"
        text 108 "Comment"
        text 109 "carried 109"
        text 110 "seventh"
        text 111 "carried 111"
        text 112 "carried 112"
        text 113 "carried 113"
      }
      IT/120 {
        record 120 { @0 u32 2002  @16 u64 1000  @32 u16 51 }
        text 100 "Music\\b.flac"
        text 106 "lone \uD800 surrogate"
      }
      IT/120 {
        record 120 { @0 u32 2004  @16 u64 2000  @32 u16 42 }
        text 100 "Music\\c.m4a"
      }
    }
    CP/0 {
      IP/16 {
        record 16 { @0 u32 2001  @4 u32 0xB1  @8 u32 5  @12 u32 0xB2 }
        u32 2002  u32 2001  u32 2002  u32 2999  u32 2004
        text 200 "Mix"
        text 201 "carried 201"
      }
      IP/16 { record 16 { @0 u32 2002 } }
      IP/16 {
        record 16 { @0 u32 2005  @8 u32 1 }
        u32 2004
        text 200 "After the unnamed"
      }
    }
  }
}
)";

// kFullFixture as a save writes it: the dangling id 2999 left out of the
// playlist and its count. This file round-trips byte for byte.
inline std::string FullFixtureAsSaved() {
  std::string text = kFullFixture;
  auto replace = [&](const std::string& from, const std::string& to) { text.replace(text.find(from), from.size(), to); };
  replace("@8 u32 5 ", "@8 u32 4 ");
  replace("u32 2999  ", "");
  return text;
}

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace hub::test

// id3lib reads through this adapter, so it parses exactly the bytes our guard
// checked (a file or memory), never the file by a second name.
#pragma once

#include <id3/reader.h>

#include "shell/transfer/metadata/byte_source.h"

namespace hub::metadata {

class Id3libByteReader : public ID3_Reader {
 public:
  explicit Id3libByteReader(const ByteSource& source);
  void close() override {}
  pos_type getBeg() override { return 0; }
  pos_type getEnd() override { return end_; }
  pos_type getCur() override { return cur_; }
  pos_type setCur(pos_type pos) override;
  int_type peekChar() override;
  size_type readChars(char_type buf[], size_type len) override;
  size_type readChars(char buf[], size_type len) override {
    return readChars(reinterpret_cast<char_type*>(buf), len);
  }

 private:
  bool Fill(pos_type pos);

  const ByteSource& source_;
  pos_type end_ = 0;
  pos_type cur_ = 0;
  // A window of the source: id3lib reads a byte at a time in places.
  uint8_t window_[8192];
  pos_type windowStart_ = 0;
  size_t windowSize_ = 0;
};

// Files this large are beyond id3lib's 32-bit positions.
inline constexpr uint64_t kMaxId3libFileBytes = 0xFFFFFFF0u;

}  // namespace hub::metadata

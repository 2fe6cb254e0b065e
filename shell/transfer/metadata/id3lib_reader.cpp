// The id3lib reader adapter over a byte source.
#include "shell/transfer/metadata/id3lib_reader.h"

#include <algorithm>
#include <cstring>

namespace hub::metadata {

Id3libByteReader::Id3libByteReader(const ByteSource& source) : source_(source) {
  end_ = pos_type(std::min<uint64_t>(source.Size(), kMaxId3libFileBytes));
}

ID3_Reader::pos_type Id3libByteReader::setCur(pos_type pos) {
  cur_ = std::min(pos, end_);
  return cur_;
}

bool Id3libByteReader::Fill(pos_type pos) {
  if (pos >= windowStart_ && pos < windowStart_ + windowSize_) return true;
  if (pos >= end_) return false;
  windowStart_ = pos;
  windowSize_ = source_.ReadAt(pos, window_, std::min<size_t>(sizeof window_, end_ - pos));
  return windowSize_ > 0;
}

ID3_Reader::int_type Id3libByteReader::peekChar() {
  if (!Fill(cur_)) return END_OF_READER;
  return window_[cur_ - windowStart_];
}

ID3_Reader::size_type Id3libByteReader::readChars(char_type buf[], size_type len) {
  size_type done = 0;
  while (done < len && Fill(cur_)) {
    size_t offset = cur_ - windowStart_;
    size_t count = std::min<size_t>(len - done, windowSize_ - offset);
    std::memcpy(buf + done, window_ + offset, count);
    done += size_type(count);
    cur_ += pos_type(count);
  }
  return done;
}

}  // namespace hub::metadata

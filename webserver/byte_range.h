// The Range header of a GET, read per RFC 9110: one range of bytes is
// honoured; several ranges or anything unreadable give the whole body.
#pragma once

#include <cstdint>
#include <string_view>

namespace hub {

struct ByteRangeChoice {
  enum Kind { Whole, Satisfied, Unsatisfiable } kind = Whole;
  int64_t first = 0;
  int64_t last = -1;  // inclusive
};

// `size` is the body's size in bytes; a negative size (unknown) always gives Whole.
ByteRangeChoice ChooseByteRange(std::string_view rangeHeader, int64_t size);

}  // namespace hub

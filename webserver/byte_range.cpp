// Single byte-range selection: "a-b", "a-" and "-n".
#include "webserver/byte_range.h"

#include <limits>

#include "common/text.h"

namespace hub {
namespace {

// Digits only, no sign, no overflow.
bool ReadCount(std::string_view text, int64_t& out) {
  if (text.empty()) return false;
  int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    if (v > (std::numeric_limits<int64_t>::max() - (c - '0')) / 10) return false;
    v = v * 10 + (c - '0');
  }
  out = v;
  return true;
}

}  // namespace

ByteRangeChoice ChooseByteRange(std::string_view rangeHeader, int64_t size) {
  ByteRangeChoice whole;
  if (size < 0) return whole;
  std::string rangeText = TrimWhitespace(rangeHeader);
  size_t eq = rangeText.find('=');
  if (eq == std::string::npos || !EqualsNoCase(TrimWhitespace(std::string_view(rangeText).substr(0, eq)), "bytes")) {
    return whole;
  }
  std::string set = TrimWhitespace(std::string_view(rangeText).substr(eq + 1));
  if (set.find(',') != std::string::npos) return whole;
  size_t dash = set.find('-');
  if (dash == std::string::npos) return whole;
  std::string_view firstText = std::string_view(set).substr(0, dash);
  std::string_view lastText = std::string_view(set).substr(dash + 1);

  ByteRangeChoice choice;
  choice.kind = ByteRangeChoice::Satisfied;
  if (firstText.empty()) {  // suffix: the last n bytes
    int64_t n = 0;
    if (!ReadCount(lastText, n)) return whole;
    if (n == 0 || size == 0) return {ByteRangeChoice::Unsatisfiable, 0, -1};
    choice.first = n >= size ? 0 : size - n;
    choice.last = size - 1;
    return choice;
  }
  if (!ReadCount(firstText, choice.first)) return whole;
  if (lastText.empty()) {
    choice.last = size - 1;
  } else {
    if (!ReadCount(lastText, choice.last) || choice.last < choice.first) return whole;
    if (choice.last > size - 1) choice.last = size - 1;
  }
  if (choice.first >= size) return {ByteRangeChoice::Unsatisfiable, 0, -1};
  return choice;
}

}  // namespace hub

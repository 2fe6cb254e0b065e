// The item paths of the stream and data handlers: "/stream/<id>/<name>" and
// "/data/<id>/<name>", with the 64-bit item id in decimal.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hub {

struct ItemPath {
  uint64_t id = 0;
  std::string name;       // last path segment
  std::string extension;  // of the name, lower-cased, with its dot; empty when none
};

// False when the path does not begin with the prefix, the id is not a decimal
// number of at most 64 bits, or the extension could not safely name a file
// (only letters and digits, at most 8 of them).
bool ParseItemPath(std::string_view path, std::string_view prefix, ItemPath& out);

// The stream kind of the item that a stream path names (2: a track).
int StreamKindOfName(std::string_view name);

}  // namespace hub

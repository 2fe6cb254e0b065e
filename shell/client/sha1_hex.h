// Eight-digit names of per-device settings and folders: the first four bytes
// of a text's SHA-1 digest in upper-case hexadecimal.
#pragma once

#include <string>
#include <string_view>

namespace hub {

// Names already stored on users' machines carry these eight digits, so the
// length and case are part of the format.
std::string Sha1HexOfString(std::string_view text);

}  // namespace hub

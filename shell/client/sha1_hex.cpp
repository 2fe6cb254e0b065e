// SHA-1 prefix names for per-device things (last transfer, list folder).
#include "shell/client/sha1_hex.h"

#include <cryptopp/sha.h>

namespace hub {

std::string Sha1HexOfString(std::string_view text) {
  CryptoPP::SHA1 sha;
  CryptoPP::byte digest[CryptoPP::SHA1::DIGESTSIZE];
  sha.CalculateDigest(digest, reinterpret_cast<const CryptoPP::byte*>(text.data()), text.size());
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (int i = 0; i < 4; ++i) {
    out += kDigits[digest[i] >> 4];
    out += kDigits[digest[i] & 0xF];
  }
  return out;
}

}  // namespace hub

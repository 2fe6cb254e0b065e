// Golden files of the player's own formats, checked in under golden/; each
// test that uses one says how it was made.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

namespace hub::test {

inline std::string ReadGolden(const std::string& name) {
  std::ifstream in(std::string(HUB_MANAGER_GOLDEN_DIR) + "/" + name, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace hub::test

// Version texts from the marker embedded in every module built here.
#include "common/version.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string_view>

#include "common/product_profile.h"
#include "common/text.h"

namespace hub {

// The marker of this build; `used` keeps it in every module that links the common code.
[[gnu::used]] extern const char kHubFileVersionMarker[] = "HUBFILEVERSION=1.0.0.0";

std::string GetVersionText(const std::string& rawPath, bool shortForm) {
  const std::string fallback = "1.0.0";
  std::ifstream in(rawPath, std::ios::binary);
  if (!in) in.open(AsciiLower(rawPath), std::ios::binary);
  if (!in) return fallback;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string needle = std::string("HUBFILE") + "VERSION=";
  for (size_t pos = bytes.find(needle); pos != std::string::npos; pos = bytes.find(needle, pos + 1)) {
    unsigned v[4];
    int consumed = 0;
    std::string tail = bytes.substr(pos + needle.size(), 48);
    tail.resize(std::char_traits<char>::length(tail.c_str()));
    if (std::sscanf(tail.c_str(), "%u.%u.%u.%u%n", &v[0], &v[1], &v[2], &v[3], &consumed) == 4 &&
        consumed == static_cast<int>(tail.size())) {
      char out[64];
      if (!shortForm) {
        std::snprintf(out, sizeof out, "%u.%u.%u.%u", v[0], v[1], v[2], v[3]);
      } else if (v[3] != 0 && v[3] < 27) {
        std::snprintf(out, sizeof out, "%u.%u.%u%c", v[0], v[1], v[2], static_cast<char>(96 + v[3]));
      } else {
        std::snprintf(out, sizeof out, "%u.%u.%u", v[0], v[1], v[2]);
      }
      return out;
    }
  }
  return fallback;
}

std::string GetModuleVersionString() {
  // Read once: the program file does not change under a running process, and
  // callers (the version request) ask often.
  static const std::string cached = [] {
    const std::string& path = TheProductProfile().moduleInstance.path;
    // The invoked name may be a bare command; the running image is always readable here.
    std::ifstream probe(path, std::ios::binary);
    return GetVersionText(probe ? path : std::string("/proc/self/exe"), true);
  }();
  return cached;
}

}  // namespace hub

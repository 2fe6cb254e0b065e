// Version texts from the marker embedded in every module built here.
#include "common/version.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string_view>
#include <vector>

#include "common/product_profile.h"
#include "common/text.h"

namespace hub {

// The marker of this build; `used` keeps it in every module that links the common code.
[[gnu::used]] extern const char kHubFileVersionMarker[] = "HUBFILEVERSION=1.0.0.0";

namespace {

// The version of one marker's text, or empty when it does not parse.
std::string ParseMarker(std::string_view tail, bool shortForm) {
  std::string text(tail.substr(0, tail.find('\0')));
  unsigned v[4];
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%u.%u.%u.%u%n", &v[0], &v[1], &v[2], &v[3], &consumed) != 4 ||
      consumed != static_cast<int>(text.size())) {
    return {};
  }
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

}  // namespace

std::string GetVersionText(const std::string& rawPath, bool shortForm) {
  const std::string fallback = "1.0.0";
  std::ifstream in(rawPath, std::ios::binary);
  if (!in) in.open(AsciiLower(rawPath), std::ios::binary);
  if (!in) return fallback;
  const std::string needle = std::string("HUBFILE") + "VERSION=";
  constexpr size_t kTail = 48;
  // Program files are tens of megabytes: scan in blocks, keeping enough of the
  // last block that a marker across the boundary is still seen whole.
  constexpr size_t kBlock = 1 << 20;
  std::string window;
  std::vector<char> block(kBlock);
  bool atEnd = false;
  while (!atEnd) {
    in.read(block.data(), static_cast<std::streamsize>(block.size()));
    size_t got = static_cast<size_t>(in.gcount());
    atEnd = got < block.size();
    window.append(block.data(), got);
    // Markers whose text may run past what is read wait for the next block.
    size_t limit = atEnd ? window.size() : window.size() - std::min(window.size(), needle.size() + kTail);
    size_t pos = window.find(needle);
    for (; pos != std::string::npos && pos < limit; pos = window.find(needle, pos + 1)) {
      std::string found = ParseMarker(std::string_view(window).substr(pos + needle.size(), kTail), shortForm);
      if (!found.empty()) return found;
    }
    window.erase(0, limit);
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

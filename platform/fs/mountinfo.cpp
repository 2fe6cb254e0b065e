// Parser of /proc/self/mountinfo lines:
//   id parent major:minor root mount-point options [optional...] - fstype source super-options
#include "platform/fs/mountinfo.h"

#include <charconv>

namespace hub::platform {
namespace {

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ') ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

template <typename T>
bool ParseNumber(std::string_view text, T& out) {
  if (text.empty()) return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

bool ParseLine(std::string_view line, MountEntry& e) {
  auto f = SplitFields(line);
  if (f.size() < 7) return false;
  if (!ParseNumber(f[0], e.mountId)) return false;
  size_t colon = f[2].find(':');
  if (colon == std::string_view::npos) return false;
  if (!ParseNumber(f[2].substr(0, colon), e.major) || !ParseNumber(f[2].substr(colon + 1), e.minor)) return false;
  e.root = DecodeMountField(f[3]);
  e.mountPoint = DecodeMountField(f[4]);
  // Optional fields run up to a lone "-"; the file-system type and source follow it.
  size_t dash = 6;
  while (dash < f.size() && f[dash] != "-") ++dash;
  if (dash + 2 >= f.size()) return false;
  e.fsType = DecodeMountField(f[dash + 1]);
  e.source = DecodeMountField(f[dash + 2]);
  return !e.mountPoint.empty() && e.mountPoint[0] == '/';
}

}  // namespace

std::string DecodeMountField(std::string_view field) {
  auto isOct = [](char c) { return c >= '0' && c <= '7'; };
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && isOct(field[i + 1]) && isOct(field[i + 2]) &&
        isOct(field[i + 3])) {
      int v = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
      if (v > 0 && v < 256) {
        out += static_cast<char>(v);
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
  std::vector<MountEntry> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    if (nl == std::string_view::npos) nl = text.size();
    MountEntry e;
    if (ParseLine(text.substr(pos, nl - pos), e)) out.push_back(std::move(e));
    pos = nl + 1;
  }
  return out;
}

}  // namespace hub::platform

// CF_HDROP payloads, built and read with every offset and length checked.
#include "platform/shell/drop_files.h"

#include <cstring>

#include "platform/utf8.h"

namespace hub::platform {
namespace {

uint32_t Read32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
void Write32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

std::optional<std::vector<std::string>> ParseNarrow(const uint8_t* p, size_t size, size_t at) {
  std::vector<std::string> paths;
  while (at < size) {
    const void* end = std::memchr(p + at, 0, size - at);
    if (!end) return std::nullopt;  // unterminated path
    size_t len = static_cast<const uint8_t*>(end) - (p + at);
    if (len == 0) return paths;
    paths.emplace_back(reinterpret_cast<const char*>(p + at), len);
    at += len + 1;
  }
  return std::nullopt;  // the closing NUL is missing
}

std::optional<std::vector<std::string>> ParseWide(const uint8_t* p, size_t size, size_t at) {
  std::vector<std::string> paths;
  std::string current;
  while (at + 2 <= size) {
    uint32_t u = p[at] | p[at + 1] << 8;
    at += 2;
    if (u == 0) {
      if (current.empty()) return paths;
      paths.push_back(std::move(current));
      current.clear();
      continue;
    }
    if (u >= 0xDC00 && u < 0xE000) return std::nullopt;
    if (u >= 0xD800 && u < 0xDC00) {
      if (at + 2 > size) return std::nullopt;
      uint32_t low = p[at] | p[at + 1] << 8;
      if (low < 0xDC00 || low >= 0xE000) return std::nullopt;
      at += 2;
      u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
    }
    AppendUtf8(current, u);
  }
  return std::nullopt;
}

}  // namespace

std::vector<uint8_t> BuildDropFiles(const std::vector<std::string>& paths) {
  size_t size = kDropFilesHeaderSize + 1;
  for (const auto& p : paths) size += p.size() + 1;
  std::vector<uint8_t> bytes(size, 0);
  Write32(bytes.data(), kDropFilesHeaderSize);
  size_t at = kDropFilesHeaderSize;
  for (const auto& p : paths) {
    std::memcpy(bytes.data() + at, p.data(), p.size());
    at += p.size() + 1;
  }
  return bytes;
}

HGLOBAL MakeDropFilesBlock(const std::vector<std::string>& paths) {
  std::vector<uint8_t> bytes = BuildDropFiles(paths);
  HGLOBAL block = GlobalAllocZeroed(bytes.size());
  if (!block) return nullptr;
  GlobalLockScope lock(block);
  std::memcpy(lock.bytes(), bytes.data(), bytes.size());
  return block;
}

std::optional<std::vector<std::string>> ParseDropFiles(const uint8_t* bytes, size_t size) {
  if (!bytes || size < kDropFilesHeaderSize) return std::nullopt;
  uint32_t offset = Read32(bytes);
  bool wide = Read32(bytes + 16) != 0;
  if (offset < kDropFilesHeaderSize || offset >= size) return std::nullopt;
  return wide ? ParseWide(bytes, size, offset) : ParseNarrow(bytes, size, offset);
}

std::optional<std::vector<std::string>> ParseDropFilesBlock(HGLOBAL block) {
  GlobalLockScope lock(block);
  if (!lock.bytes()) return std::nullopt;
  return ParseDropFiles(lock.bytes(), lock.size());
}

}  // namespace hub::platform

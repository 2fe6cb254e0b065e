// The per-user clipboard file, rewritten whole on every copy.
#include "platform/shell/clipboard.h"

#include <cerrno>
#include <cstring>

#include "platform/fs/whole_file.h"
#include "platform/paths.h"

namespace hub::platform {
namespace {

constexpr char kMagic[8] = {'H', 'U', 'B', 'C', 'L', 'I', 'P', '1'};
constexpr size_t kMaxClipboardBytes = size_t(256) << 20;
constexpr uint32_t kMaxFormats = 256;

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
uint32_t Get32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

}  // namespace

std::string ClipboardPath() { return RuntimeDir() + "/clipboard/contents"; }

std::vector<uint8_t> EncodeClipboard(const std::vector<StoredFormat>& formats) {
  std::vector<uint8_t> out(kMagic, kMagic + sizeof kMagic);
  Put32(out, static_cast<uint32_t>(formats.size()));
  for (const auto& f : formats) {
    Put32(out, f.format);
    Put32(out, static_cast<uint32_t>(f.bytes.size()));
    out.insert(out.end(), f.bytes.begin(), f.bytes.end());
  }
  return out;
}

std::optional<std::vector<StoredFormat>> DecodeClipboard(const uint8_t* bytes, size_t size) {
  if (!bytes || size < sizeof kMagic + 4 || std::memcmp(bytes, kMagic, sizeof kMagic) != 0) return std::nullopt;
  size_t at = sizeof kMagic;
  uint32_t count = Get32(bytes + at);
  at += 4;
  if (count > kMaxFormats) return std::nullopt;
  std::vector<StoredFormat> formats;
  for (uint32_t i = 0; i < count; ++i) {
    if (size - at < 8) return std::nullopt;
    uint32_t number = Get32(bytes + at);
    uint32_t length = Get32(bytes + at + 4);
    at += 8;
    if (number == 0 || number > 0xFFFF || length > size - at) return std::nullopt;
    formats.push_back(StoredFormat{static_cast<uint16_t>(number), {bytes + at, bytes + at + length}});
    at += length;
  }
  if (at != size) return std::nullopt;
  return formats;
}

Status WriteClipboard(const std::vector<StoredFormat>& formats) {
  std::string dir = RuntimeDir() + "/clipboard";
  if (Status s = EnsurePrivateDir(dir); !s.ok()) return s;
  std::vector<uint8_t> bytes = EncodeClipboard(formats);
  if (bytes.size() > kMaxClipboardBytes) return Status::Error("size", EFBIG, "the copy is too large for the clipboard");
  AtomicWriteResult r = WriteFileAtomically(ClipboardPath(), bytes.data(), bytes.size(), 0600);
  if (!r.ok()) return Status::Error("write", r.error, ClipboardPath() + ": " + std::strerror(r.error));
  return {};
}

std::optional<std::vector<StoredFormat>> ReadClipboard(Status* error) {
  std::string dir = RuntimeDir() + "/clipboard";
  if (Status s = EnsurePrivateDir(dir); !s.ok()) {
    if (error) *error = s;
    return std::nullopt;
  }
  WholeFileRead read = ReadWholeFile(ClipboardPath(), kMaxClipboardBytes);
  if (read.error == ENOENT) return std::vector<StoredFormat>{};
  if (!read.ok()) {
    if (error) *error = Status::Error("read", read.error, ClipboardPath() + ": " + std::strerror(read.error));
    return std::nullopt;
  }
  auto formats = DecodeClipboard(read.bytes.data(), read.bytes.size());
  if (!formats && error) *error = Status::Error("check", EINVAL, ClipboardPath() + ": the clipboard file is damaged");
  return formats;
}

HRESULT OleSetClipboard(IDataObject* data) {
  std::vector<StoredFormat> formats;
  for (const FORMATETC& f : OfferedFormats(data)) {
    if (!(f.tymed & TYMED_HGLOBAL)) continue;
    if (auto bytes = TakeFormatBytes(data, f.cfFormat)) formats.push_back(StoredFormat{f.cfFormat, std::move(*bytes)});
  }
  return WriteClipboard(formats).ok() ? S_OK : E_FAIL;
}

HRESULT OleGetClipboard(IDataObject** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  auto formats = ReadClipboard();
  if (!formats) return E_FAIL;
  *out = CreateStoredDataObject(std::move(*formats));
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace hub::platform

namespace hub::platform {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::vector<std::string> PathsFromUriList(std::string_view text, std::vector<std::string>* rejected) {
  std::vector<std::string> paths;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    std::string_view line = text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    at = end == std::string_view::npos ? text.size() : end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == '#') continue;
    std::string_view rest;
    if (line.substr(0, 8) == "file:///") rest = line.substr(7);
    else if (line.substr(0, 17) == "file://localhost/") rest = line.substr(16);
    else if (line.substr(0, 6) == "file:/" && line.substr(0, 7) != "file://") rest = line.substr(5);
    std::string path;
    bool ok = !rest.empty();
    for (size_t i = 0; ok && i < rest.size(); ++i) {
      if (rest[i] != '%') {
        path += rest[i];
        continue;
      }
      int hi = i + 2 < rest.size() ? HexValue(rest[i + 1]) : -1;
      int lo = i + 2 < rest.size() ? HexValue(rest[i + 2]) : -1;
      if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) {
        ok = false;
        break;
      }
      path += static_cast<char>(hi * 16 + lo);
      i += 2;
    }
    if (ok) paths.push_back(std::move(path));
    else if (rejected) rejected->emplace_back(line);
  }
  return paths;
}

}  // namespace hub::platform

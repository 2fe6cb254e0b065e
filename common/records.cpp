// Bounded-field and record routines shared by both deliverables.
#include "common/records.h"

#include <cstring>

#include "common/text.h"

namespace hub {

void CopyBoundedText(char* dst, size_t cap, std::string_view text) {
  size_t n = Utf8CutLength(text, cap);
  if (n > 0) std::memcpy(dst, text.data(), n);  // an empty view may have no data at all
  std::memset(dst + n, 0, cap - n);
}

std::string_view ReadBoundedText(const char* src, size_t cap) {
  const void* nul = std::memchr(src, 0, cap);
  return std::string_view(src, nul ? static_cast<const char*>(nul) - src : cap);
}

KernelId::KernelId() { std::memset(this, 0, sizeof(*this)); }

KernelId::KernelId(uint32_t n) : KernelId() { key[0] = n; }

KernelId KernelId::FromRecordId(uint64_t id) {
  KernelId k;
  k.SetRecordId(id);
  return k;
}

KernelId::KernelId(const KernelId& other) { *this = other; }

// Copies the name and zeroes the rest, so a copy's bytes never carry what
// followed the source's terminator. Each byte is written once: id lists are long.
KernelId& KernelId::operator=(const KernelId& other) {
  if (this == &other) return *this;
  std::memcpy(key, other.key, sizeof(key));
  std::string_view n = other.Name();
  std::memcpy(name, n.data(), n.size());
  std::memset(name + n.size(), 0, sizeof(name) - n.size());
  std::memset(padding, 0, sizeof(padding));
  return *this;
}

bool KernelId::operator==(const KernelId& other) const {
  return std::memcmp(key, other.key, sizeof(key)) == 0 && Name() == other.Name();
}

void _AUDIODATA::Init() {
  std::memset(this, 0, sizeof(*this));
  path.Init();
  for (KernelTextField* f : {&artist, &album, &title, &genre, &comment, &composer, &text7, &text8}) f->Init();
  fileType = kFileTypeMp3;
}

void _AUDIODATA::Terminate() {
  path.Terminate();
  for (KernelTextField* f : {&artist, &album, &title, &genre, &comment, &composer, &text7, &text8}) f->Terminate();
}

uint8_t GetFileTypeFromExtension(std::string_view ext) {
  if (ext.size() < 3) return kFileTypeUnknown;
  if (ext.front() == '.') ext.remove_prefix(1);
  std::string lower = AsciiLower(ext);
  static constexpr struct {
    const char* ext;
    uint8_t code;
  } kTable[] = {{"mp3", 2}, {"wma", 3}, {"ogg", 10}, {"wav", 1},  {"nvf", 4}, {"m4a", 5},
                {"m4p", 7}, {"m4b", 8}, {"mp4", 5},  {"flac", 11}, {"aa", 6}};
  for (const auto& row : kTable) {
    if (lower == row.ext) return row.code;
  }
  return kFileTypeUnknown;
}

uint8_t GetFileTypeFromPath(std::string_view path) {
  size_t slash = path.find_last_of("\\/");
  std::string_view base = slash == std::string_view::npos ? path : path.substr(slash + 1);
  size_t dot = base.rfind('.');
  if (dot == std::string_view::npos) return kFileTypeUnknown;
  return GetFileTypeFromExtension(base.substr(dot));
}

std::string_view GetExtensionForFileType(int code) {
  static constexpr const char* kExt[] = {"", "wav", "mp3", "wma", "nvf", "m4a", "aa", "m4p", "m4b", "mp4", "ogg", "flac"};
  if (code < 0 || code >= static_cast<int>(std::size(kExt))) return "";
  return kExt[code];
}

int GetStreamKindForFileType(int code) {
  if (code == kFileTypeNvf) return 4;
  if (code >= 1 && code <= 11) return 2;
  return 3;
}

}  // namespace hub

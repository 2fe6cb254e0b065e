// Fixed-layout records that cross between the manager and the shell library
// through the shared request block. Their layout is a wire format: every size
// and offset below is pinned, and all padding is zeroed so no stale memory
// travels between processes.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace hub {

static_assert(std::endian::native == std::endian::little, "records are little-endian on the wire");

// Copies at most `cap` bytes of UTF-8 text into dst, cut on a character
// boundary, and zero-fills the rest of the cap bytes.
void CopyBoundedText(char* dst, size_t cap, std::string_view text);
// The text of a fixed field: up to the first NUL, never past `cap` bytes.
std::string_view ReadBoundedText(const char* src, size_t cap);

// A bounded text of at most N bytes, followed by two always-zero bytes, two
// padding bytes and a capacity word.
template <size_t N>
struct BoundedTextField {
  char text[N];
  uint8_t terminator[2];
  uint8_t padding[2];
  uint32_t capacity;

  void Init() {
    for (auto& c : text) c = 0;
    terminator[0] = terminator[1] = 0;
    padding[0] = padding[1] = 0;
    capacity = N;
  }
  void Set(std::string_view value) {
    CopyBoundedText(text, N, value);
    terminator[0] = terminator[1] = 0;
  }
  std::string_view Get() const { return ReadBoundedText(text, N); }
  std::string str() const { return std::string(Get()); }
  bool empty() const { return text[0] == 0; }
  // Cuts the text at its bound, for records received from another process.
  void Terminate() {
    terminator[0] = terminator[1] = 0;
    capacity = N;
  }
};

using KernelTextField = BoundedTextField<256>;
using KernelPathField = BoundedTextField<260>;
static_assert(sizeof(KernelTextField) == 264);
static_assert(offsetof(KernelTextField, terminator) == 256);
static_assert(offsetof(KernelTextField, capacity) == 260);
static_assert(sizeof(KernelPathField) == 268);
static_assert(offsetof(KernelPathField, terminator) == 260);
static_assert(offsetof(KernelPathField, capacity) == 264);

constexpr size_t kKernelIdNameSize = 257;

// Identity of any item on the player: four key words and a name (the path of
// file items, empty for database items).
struct KernelId {
  uint32_t key[4];
  char name[kKernelIdNameSize];
  uint8_t padding[3];

  KernelId();
  explicit KernelId(uint32_t n);
  static KernelId FromRecordId(uint64_t id);
  KernelId(const KernelId& other);
  KernelId& operator=(const KernelId& other);

  uint64_t RecordId() const { return uint64_t(key[1]) << 32 | key[0]; }
  void SetRecordId(uint64_t id) {
    key[0] = static_cast<uint32_t>(id);
    key[1] = static_cast<uint32_t>(id >> 32);
  }
  std::string_view Name() const { return ReadBoundedText(name, kKernelIdNameSize - 1); }
  void SetName(std::string_view text) { CopyBoundedText(name, kKernelIdNameSize - 1, text); name[kKernelIdNameSize - 1] = 0; }
  void Terminate() { name[kKernelIdNameSize - 1] = 0; padding[0] = padding[1] = padding[2] = 0; }
  // The 64-bit record id as unsigned decimal, as it appears in URLs and SQL results.
  std::string IdText() const { return std::to_string(RecordId()); }

  bool operator==(const KernelId& other) const;
  bool operator!=(const KernelId& other) const { return !(*this == other); }
};
static_assert(sizeof(KernelId) == 276);
static_assert(offsetof(KernelId, name) == 16);
static_assert(offsetof(KernelId, padding) == 273);

struct KernelIdHash {
  size_t operator()(const KernelId& id) const { return id.key[0]; }
};

// Audio file-type codes (byte 269 of the track record).
enum FileType : uint8_t {
  kFileTypeUnknown = 0,
  kFileTypeWav = 1,
  kFileTypeMp3 = 2,
  kFileTypeWma = 3,
  kFileTypeNvf = 4,
  kFileTypeM4a = 5,
  kFileTypeAa = 6,
  kFileTypeM4p = 7,
  kFileTypeM4b = 8,
  kFileTypeMp4 = 9,
  kFileTypeOgg = 10,
  kFileTypeFlac = 11,
};

// The track record.
struct _AUDIODATA {
  KernelPathField path;
  uint8_t locked;
  uint8_t fileType;
  uint8_t pad270[2];
  KernelTextField artist;
  KernelTextField album;
  KernelTextField title;
  KernelTextField genre;
  KernelTextField comment;
  KernelTextField composer;
  KernelTextField text7;
  uint8_t compilation;
  uint8_t pad2121[3];
  int32_t modified;
  uint32_t size;
  uint32_t length;
  uint32_t trackNumber;
  uint32_t trackCount;
  uint32_t year;
  uint32_t bitrate;
  uint32_t sampleRate;
  uint32_t value2156;
  uint32_t gap2160;
  uint32_t value2164;
  uint32_t value2168;
  uint32_t playCount;
  int32_t lastPlayed;
  uint32_t discNumber;
  uint32_t discCount;
  int32_t added;
  uint8_t rating;
  uint8_t pad2193;
  uint16_t bpm;
  uint8_t value2196;
  uint8_t pad2197[3];
  KernelTextField text8;
  uint32_t value2464;
  uint32_t value2468;

  _AUDIODATA() { Init(); }
  // Every field to its initial value; padding and the gap are zeroed.
  void Init();
  // Cuts every text at its bound (records received from another process).
  void Terminate();
};
static_assert(sizeof(_AUDIODATA) == 2472);
static_assert(offsetof(_AUDIODATA, path) == 0);
static_assert(offsetof(_AUDIODATA, locked) == 268);
static_assert(offsetof(_AUDIODATA, fileType) == 269);
static_assert(offsetof(_AUDIODATA, artist) == 272);
static_assert(offsetof(_AUDIODATA, album) == 536);
static_assert(offsetof(_AUDIODATA, title) == 800);
static_assert(offsetof(_AUDIODATA, genre) == 1064);
static_assert(offsetof(_AUDIODATA, comment) == 1328);
static_assert(offsetof(_AUDIODATA, composer) == 1592);
static_assert(offsetof(_AUDIODATA, text7) == 1856);
static_assert(offsetof(_AUDIODATA, compilation) == 2120);
static_assert(offsetof(_AUDIODATA, modified) == 2124);
static_assert(offsetof(_AUDIODATA, size) == 2128);
static_assert(offsetof(_AUDIODATA, length) == 2132);
static_assert(offsetof(_AUDIODATA, trackNumber) == 2136);
static_assert(offsetof(_AUDIODATA, trackCount) == 2140);
static_assert(offsetof(_AUDIODATA, year) == 2144);
static_assert(offsetof(_AUDIODATA, bitrate) == 2148);
static_assert(offsetof(_AUDIODATA, sampleRate) == 2152);
static_assert(offsetof(_AUDIODATA, value2156) == 2156);
static_assert(offsetof(_AUDIODATA, gap2160) == 2160);
static_assert(offsetof(_AUDIODATA, value2164) == 2164);
static_assert(offsetof(_AUDIODATA, value2168) == 2168);
static_assert(offsetof(_AUDIODATA, playCount) == 2172);
static_assert(offsetof(_AUDIODATA, lastPlayed) == 2176);
static_assert(offsetof(_AUDIODATA, discNumber) == 2180);
static_assert(offsetof(_AUDIODATA, discCount) == 2184);
static_assert(offsetof(_AUDIODATA, added) == 2188);
static_assert(offsetof(_AUDIODATA, rating) == 2192);
static_assert(offsetof(_AUDIODATA, bpm) == 2194);
static_assert(offsetof(_AUDIODATA, value2196) == 2196);
static_assert(offsetof(_AUDIODATA, text8) == 2200);
static_assert(offsetof(_AUDIODATA, value2464) == 2464);
static_assert(offsetof(_AUDIODATA, value2468) == 2468);

// Fields of a contact, in the order of the record.
enum ContactField : int {
  kContactFirstName = 0,
  kContactLastName = 1,
  kContactNickname = 2,
  kContactOrganisation = 3,
  kContactJobTitle = 4,
  kContactHomeAddress = 5,   // 5-11: the seven parts of the vCard ADR value
  kContactWorkAddress = 12,  // 12-18
  kContactWorkPhone = 19,
  kContactHomePhone = 20,
  kContactMobilePhone = 21,
  kContactWorkFax = 22,
  kContactHomeFax = 23,
  kContactWebAddress = 24,
  kContactEmail = 25,
  kContactNote = 26,
  kContactFieldCount = 27,
};

struct KernelContact {
  KernelPathField field[kContactFieldCount];

  KernelContact() { Init(); }
  void Init() {
    for (auto& f : field) f.Init();
  }
  void Clear() {
    for (auto& f : field) f.Set("");
  }
  void Terminate() {
    for (auto& f : field) f.Terminate();
  }
};
static_assert(sizeof(KernelContact) == 7236);

// File-type routines.
uint8_t GetFileTypeFromExtension(std::string_view extension);
uint8_t GetFileTypeFromPath(std::string_view path);
std::string_view GetExtensionForFileType(int code);
int GetStreamKindForFileType(int code);

}  // namespace hub

// The records of the player's database: one `SBTrackV100` per track and one
// `SBPlaylistV100` per playlist. Each keeps the stored fixed bytes verbatim, so
// bytes the system gives no meaning are written back as they were read; named
// fields are read and written little-endian at their offsets.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace hub {

struct _AUDIODATA;

// Longest text the database stores, in UTF-16 code units without the NUL
// (the reader takes no text whose count with the NUL passes 4096).
constexpr size_t kShoeboxMaxText = 4095;

// Text ids of a track ("TS" children of "IT").
enum ShoeboxTrackText : int {
  kTrackTextPath = 100,
  kTrackText101 = 101,
  kTrackTextArtist = 102,
  kTrackText103 = 103,
  kTrackTextComposer = 104,
  kTrackTextAlbum = 105,
  kTrackTextTitle = 106,
  kTrackTextGenre = 107,
  kTrackTextComment = 108,
  kTrackText109 = 109,
  kTrackTextSeventh = 110,
  kTrackTextFirst = 100,
  kTrackTextLast = 113,
};
constexpr int kTrackTextCount = kTrackTextLast - kTrackTextFirst + 1;

// Byte offsets of the 120-byte track record.
enum SBTrackOffset : size_t {
  kTrackOffId = 0,
  kTrackOffAdded = 4,
  kTrackOffAddedCopy = 8,
  kTrackOffSize = 16,
  kTrackOffModified = 28,
  kTrackOffCodec = 32,
  kTrackOffBitrate = 36,
  kTrackOffSampleRate = 40,
  kTrackOffLengthMs = 48,
  kTrackOffBpm = 52,
  kTrackOffTrackNumber = 56,
  kTrackOffTrackCount = 58,
  kTrackOffDiscNumber = 60,
  kTrackOffDiscCount = 62,
  kTrackOffCompilation = 64,
  kTrackOffYear = 66,
  kTrackOffRating = 68,
  kTrackOff96 = 96,
  kTrackOff100 = 100,
  kTrackOff104 = 104,
  kTrackOffLastPlayed = 112,
};
constexpr size_t kSBTrackSize = 120;
static_assert(kTrackOffLastPlayed + 4 <= kSBTrackSize);

class SBTrackV100 {
 public:
  SBTrackV100();  // a zero record without texts
  // A copy owns its bytes, whatever the original's are (see at_).
  SBTrackV100(const SBTrackV100& other);
  SBTrackV100& operator=(const SBTrackV100& other);
  SBTrackV100(SBTrackV100&& other) noexcept;
  SBTrackV100& operator=(SBTrackV100&& other) noexcept;

  // The stored fixed record, verbatim.
  std::span<const uint8_t, kSBTrackSize> Bytes() const {
    return std::span<const uint8_t, kSBTrackSize>(reinterpret_cast<const uint8_t*>(at_), kSBTrackSize);
  }

  uint32_t Id() const { return U32(kTrackOffId); }
  void SetId(uint32_t id) { SetU32(kTrackOffId, id); }
  // The file's size in bytes. Sizes of 2 to 4 GiB are often stored sign-extended
  // from 32 bits (0xFFFFFFFFC0000000 for 3 GiB); those are their low 32 bits.
  uint64_t Size() const {
    uint64_t stored = U64(kTrackOffSize);
    return stored >> 31 == 0x1FFFFFFFFull ? stored & 0xFFFFFFFFull : stored;
  }
  void SetSize(uint64_t size) { SetU64(kTrackOffSize, size); }
  uint16_t Codec() const { return U16(kTrackOffCodec); }
  void SetCodec(uint16_t code) { SetU16(kTrackOffCodec, code); }
  uint16_t TrackNumber() const { return U16(kTrackOffTrackNumber); }
  void SetTrackNumber(uint16_t n) { SetU16(kTrackOffTrackNumber, n); }

  uint8_t U8(size_t off) const { return Bytes()[off]; }
  uint16_t U16(size_t off) const { return static_cast<uint16_t>(Bytes()[off] | Bytes()[off + 1] << 8); }
  uint32_t U32(size_t off) const {
    const uint8_t* b = Bytes().data() + off;
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
  }
  uint64_t U64(size_t off) const { return U32(off) | uint64_t(U32(off + 4)) << 32; }
  void SetU8(size_t off, uint8_t v) { MutableBytes()[off] = v; }
  void SetU16(size_t off, uint16_t v);
  void SetU32(size_t off, uint32_t v);
  void SetU64(size_t off, uint64_t v) {
    SetU32(off, static_cast<uint32_t>(v));
    SetU32(off + 4, static_cast<uint32_t>(v >> 32));
  }

  // Texts 100 to 113; an empty text is an absent one. Setting cuts at
  // kShoeboxMaxText units without splitting a surrogate pair.
  std::u16string_view Text(int id) const {
    size_t slot = Slot(id);
    return std::u16string_view(at_ + offsets_[slot], lengths_[slot]);
  }
  void SetText(int id, std::u16string_view text);
  // The track's file: its full path on the player, in the stored (backslash) form.
  std::u16string_view Path() const { return Text(kTrackTextPath); }

 private:
  friend class ShoeboxReader;
  static constexpr size_t kRecordUnits = kSBTrackSize / 2;
  static size_t Slot(int id) {
    if (id < kTrackTextFirst || id > kTrackTextLast) ThrowBadTextId();
    return static_cast<size_t>(id - kTrackTextFirst);
  }
  [[noreturn]] static void ThrowBadTextId();
  // The record and the texts in storage of the track's own, slot `replace`
  // (if any) becoming `text`.
  void Rebuild(size_t replace, std::u16string_view text);
  uint8_t* MutableBytes();
  // A track read from a file and a record and packed texts (in slot order).
  void Assemble(const uint8_t* record, std::u16string_view texts, const std::array<uint16_t, kTrackTextCount>& lengths);

  // The fixed record, followed (offsets_ units from its start) by the texts.
  // A loaded track's bytes are in the database's copy of its file, which lives
  // as long as the database, so loading copies nothing; a track built or
  // changed in memory has them in own_, which at_ then points to.
  const char16_t* at_;
  std::unique_ptr<char16_t[]> own_;
  std::array<uint16_t, kTrackTextCount> offsets_{};
  std::array<uint16_t, kTrackTextCount> lengths_{};
};

// Byte offsets of the 16-byte playlist record.
enum SBPlaylistOffset : size_t {
  kPlaylistOffId = 0,
  kPlaylistOff4 = 4,
  kPlaylistOffItemCount = 8,
  kPlaylistOff12 = 12,
};
constexpr size_t kSBPlaylistSize = 16;

class SBPlaylistV100 {
 public:
  std::array<uint8_t, kSBPlaylistSize> bytes{};
  // Track ids in playlist order; an id may occur more than once.
  std::vector<uint32_t> items;

  uint32_t Id() const {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
  }
  void SetId(uint32_t id);
  const std::u16string& Name() const { return name_; }
  void SetName(std::u16string name);
  // Text 201, written back unchanged.
  const std::u16string& SecondText() const { return second_; }
  void SetSecondText(std::u16string text);

 private:
  std::u16string name_;
  std::u16string second_;
};

// Text ids of a playlist and of the database header.
constexpr int kPlaylistTextName = 200;
constexpr int kPlaylistTextSecond = 201;
constexpr int kHeaderTextOwner = 50;
constexpr int kHeaderTextSecond = 51;

// A text cut to what the database stores.
std::u16string_view BoundShoeboxText(std::u16string_view text);
void BoundShoeboxText(std::u16string& text);

// The file extension (without dot) of a codec code; "wav" for unknown codes.
std::string_view CodecExtension(int code);
// Codec code <-> file type of the track record.
uint16_t CodecFromFileType(int fileType);
uint8_t FileTypeFromCodec(int code);

// The conversions between the database's track record and the protocol's.
// TrackFromAudioData leaves the id, the unnamed bytes and the carried texts as they are.
void TrackFromAudioData(SBTrackV100& track, const _AUDIODATA& audio);
void AudioDataFromTrack(_AUDIODATA& audio, const SBTrackV100& track);
// TrackFromAudioData for a record that may have been read from `track` and
// sent back: a text that equals the stored one cut at the record field's
// bound keeps the stored text, so a read-modify-write never shortens it.
void UpdateTrackFromAudioData(SBTrackV100& track, const _AUDIODATA& audio);

}  // namespace hub
